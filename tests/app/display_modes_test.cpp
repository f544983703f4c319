// The display-mode table and full screen on a simulated table of modes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/display_modes.h"
#include "settings/settings.h"
#include "tests/app/app_test_support.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class WindowRecorder : public FullScreenWindow {
 public:
  void MoveToOrigin() override { calls.push_back("origin"); }
  void RestoreGeometry(const QRect& r) override {
    calls.push_back("restore " + std::to_string(r.x()) + "," + std::to_string(r.y()));
  }
  bool EnterScaledFullScreen() override {
    calls.push_back("scaled");
    return true;
  }
  void LeaveScaledFullScreen() override { calls.push_back("unscaled"); }
  void SetFullScreenCheck(bool on) override { calls.push_back(on ? "check" : "uncheck"); }
  std::vector<std::string> calls;
};

DisplayMode Mode(int w, int h, int d, int f) {
  return DisplayMode{w, h, d, f, 0};
}

class DisplayModesTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    settings.useFullScreen = 1;
    screenModes.fullScreenMode = false;
    screenModes.scaledFullScreen = false;
  }
  void TearDown() override {
    FreeScreenDeviceModes();
    SetDisplayBackend(nullptr);
    SetFullScreenWindow(nullptr, nullptr, QRect());
    AppTest::TearDown();
  }
  // Builds the table from modes on a 1024 x 768 x 24 screen.
  DisplayBackend* Build(std::vector<DisplayMode> modes, int current, bool canSwitch = true,
                        int restartIndex = -1) {
    SimDisplayOptions options;
    options.modes = std::move(modes);
    options.current = current;
    options.canSwitch = canSwitch;
    options.restartIndex = restartIndex;
    SetDisplayBackend(CreateSimDisplayBackend(options));
    SetFullScreenWindow(&window_, nullptr, QRect(40, 30, 800, 600));
    GetScreenBitDepth();
    EXPECT_EQ(FindScreenDeviceMode(nullptr, 1024, 768), 1);
    return screenModes.backend.get();
  }
  std::vector<std::string> Table() const {
    std::vector<std::string> rows;
    for (int i = 0; i <= screenModes.screenModeCount; ++i) {
      const DisplayMode& m = screenModes.screenModes[i];
      rows.push_back(std::to_string(m.width) + "x" + std::to_string(m.height) + "x" +
                     std::to_string(m.bitsPerPixel) + "@" + std::to_string(m.frequency));
    }
    return rows;
  }
  WindowRecorder window_;
};

TEST_F(DisplayModesTest, TableKeepsUsableModesSortedWithoutDefaultFrequencyDuplicates) {
  Build({Mode(1024, 768, 24, 60), Mode(800, 600, 24, 75), Mode(320, 240, 24, 60),
         Mode(800, 600, 24, 60), Mode(800, 600, 24, 50), Mode(1024, 768, 24, 0),
         Mode(640, 480, 24, 1), Mode(800, 600, 24, 72), Mode(800, 600, 24, 2)},
        0);
  // Narrow and 2-59 Hz modes never enter; the default-frequency 1024 x 768 repeats a mode.
  EXPECT_THAT(Table(), ElementsAre("640x480x24@1", "800x600x24@60", "800x600x24@72",
                                   "800x600x24@75", "1024x768x24@60"));
  EXPECT_EQ(screenModes.fullScreenModeIndex, 3);  // the highest frequency
  EXPECT_EQ(screenModes.defaultScreenMode1, 4);
  EXPECT_EQ(screenModes.currentMode, 4);
  WriteAllScreenDeviceModesToLogFile();
  EXPECT_THAT(Log(), HasSubstr("FindScreenDeviceMode: unable to find _defaultScreenMode1\n"
                               "WriteAllScreenDeviceModesToLogFile: _screenModeCount=4\n"
                               "0:  640 x  480, 24 bit color at 1 hz\n"
                               "1:  800 x  600, 24 bit color at 60 hz\n"));
}

TEST_F(DisplayModesTest, FullScreenSwitchesTo800x600At75HzAndBack) {
  DisplayBackend* backend = Build({Mode(800, 600, 24, 60), Mode(800, 600, 24, 72),
                                   Mode(800, 600, 24, 75), Mode(1024, 768, 24, 60)},
                                  3);
  EXPECT_EQ(SetFullScreenMode(true), 1);
  // Entering again changes nothing: no mode applied, the window and check mark stay.
  EXPECT_EQ(SetFullScreenMode(true), 0);
  EXPECT_TRUE(screenModes.fullScreenMode);
  EXPECT_EQ(SetFullScreenMode(false), 1);
  const auto& applied = SimDisplayAppliedModes(backend);
  ASSERT_EQ(applied.size(), 2u);
  EXPECT_EQ(applied[0].frequency, 75);
  EXPECT_EQ(applied[1].width, 1024);
  EXPECT_THAT(window_.calls, ElementsAre("origin", "check", "restore 40,30", "uncheck"));
  EXPECT_FALSE(screenModes.fullScreenMode);
  EXPECT_THAT(Log(), HasSubstr("--currentMode 3: 1024 x  768, 24 bit color at 60 hz\n"
                               "--newMode     2:  800 x  600, 24 bit color at 75 hz\n"
                               "ChangeScreenDeviceMode: DISP_CHANGE_SUCCESSFUL\n"));
}

TEST_F(DisplayModesTest, WithoutAModeToSwitchToTheWindowIsScaledInstead) {
  struct Case {
    std::vector<DisplayMode> modes;
    bool canSwitch;
  };
  const Case cases[] = {
      {{Mode(1024, 768, 24, 60), Mode(1280, 1024, 24, 60)}, true},  // no 800 x 600
      {{Mode(800, 600, 24, 60), Mode(1024, 768, 24, 60)}, false},   // Wayland, remote X
  };
  for (const Case& c : cases) {
    window_.calls.clear();
    screenModes.fullScreenMode = false;
    DisplayBackend* backend = Build(c.modes, 1, c.canSwitch);
    EXPECT_EQ(SetFullScreenMode(true), 1);
    EXPECT_EQ(SetFullScreenMode(false), 1);
    EXPECT_TRUE(SimDisplayAppliedModes(backend).empty());
    EXPECT_THAT(window_.calls, ElementsAre("scaled", "check", "unscaled", "uncheck"));
  }
}

TEST_F(DisplayModesTest, ARestartAnswerShowsItsBoxAndChangesNothing) {
  DisplayBackend* backend = Build({Mode(800, 600, 24, 60), Mode(1024, 768, 24, 60)}, 1, true, 0);
  EXPECT_EQ(ChangeScreenDeviceMode(nullptr, 0), 1);
  EXPECT_TRUE(SimDisplayAppliedModes(backend).empty());
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0],
            "Set Display Message|1024x768x24 (60 Hz)-> 800x600x24 (60 Hz) screen mode change "
            "probably requires a restart\nPress Ok to continue.\n");
  EXPECT_EQ(screenModes.currentMode, 0);  // the index names the requested entry
  EXPECT_THAT(Log(), HasSubstr("ChangeScreenDeviceMode: DISP_CHANGE_RESTART\n"));
}

TEST_F(DisplayModesTest, SettingAndCommandGateFullScreen) {
  Build({Mode(800, 600, 24, 60), Mode(1024, 768, 24, 60)}, 1);
  settings.useFullScreen = 0;
  EXPECT_EQ(SetFullScreenMode(true), 0);
  EXPECT_TRUE(window_.calls.empty());
  FullScreenModeCommand();
  EXPECT_EQ(settings.useFullScreen, 1);
  EXPECT_TRUE(screenModes.fullScreenMode);
  FullScreenModeCommand();
  EXPECT_EQ(settings.useFullScreen, 0);
  EXPECT_FALSE(screenModes.fullScreenMode);
}

TEST_F(DisplayModesTest, ADisplayWithoutModesSaysSo) {
  SetDisplayBackend(CreateSimDisplayBackend(SimDisplayOptions{}));
  EXPECT_EQ(FindScreenDeviceMode(nullptr, 1024, 768), 0);
  EXPECT_THAT(boxes_.boxes, ElementsAre("SetDisp Error|No Display modes available."));
  EXPECT_EQ(ChangeScreenDeviceMode(nullptr, 0), 0);
}

TEST(DisplayModeList, ParsesTablesAndRefusesMalformedOnes) {
  SimDisplayOptions options;
  ASSERT_TRUE(ParseDisplayModeList("800x600x24@60, 1024x768x32@75*,640x480x8", &options));
  ASSERT_EQ(options.modes.size(), 3u);
  EXPECT_EQ(options.current, 1);
  EXPECT_EQ(options.depth, 32);
  EXPECT_EQ(options.modes[2].frequency, 0);
  for (const char* bad :
       {"", "800x600", "800x600x24@", "800x600x24@60x", "axbxc", "800x600x24,,"}) {
    EXPECT_FALSE(ParseDisplayModeList(bad, &options)) << bad;
  }
}

}  // namespace
