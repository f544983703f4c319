// Starting programs: command lines, the program table, failures and watching a program end.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/launcher_table.h"
#include "platform/process/launcher.h"
#include "tests/app/app_test_support.h"
#include "tests/support/trace_capture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

class LauncherTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    InstallLauncherTable();
  }
  void TearDown() override {
    SetCommandTranslator(nullptr);
    AppTest::TearDown();
  }
  // Waits for the program to end (polling its status, at most 10 s).
  static bool Ends(pid_t process) {
    for (int i = 0; i < 1000; ++i) {
      if (!IsProcessRunning(process)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

TEST(CommandLine, SplitsOnBlanksAndKeepsQuotedWords) {
  EXPECT_THAT(SplitCommandLine("a  \"b c\" d\"e f\"  "), ElementsAre("a", "b c", "de f"));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
  EXPECT_THAT(SplitCommandLine("x \"\""), ElementsAre("x", ""));
}

TEST_F(LauncherTest, TableMapsNamedProgramsToTheDesktopsOnes) {
  Script("gedit", "exit 0");
  std::vector<std::string> words = SplitCommandLine("C:\\WINDOWS\\Notepad.exe /data/x y.txt");
  ASSERT_TRUE(TranslateLaunchWords(&words));
  // The first editor of the table that is installed: here only our gedit.
  if (!FindOnPath("gnome-text-editor")) {
    EXPECT_THAT(words, ElementsAre("gedit", "--wait", "/data/x", "y.txt"));
  }
  // The control panel's applets are told apart; the device manager has no counterpart.
  std::vector<std::string> manager = SplitCommandLine("C:\\WINDOWS\\CONTROL.EXE SYSDM.CPL,,1");
  EXPECT_FALSE(TranslateLaunchWords(&manager));
  // An unquoted path with blanks still names its program.
  std::vector<std::string> player =
      SplitCommandLine("C:\\Program Files\\PLUS!\\DeluxeCD\\deluxecd.exe");
  EXPECT_FALSE(TranslateLaunchWords(&player));
  // Programs outside the table start as they are.
  std::vector<std::string> other = {"xdg-open", "http://localhost/"};
  EXPECT_TRUE(TranslateLaunchWords(&other));
  EXPECT_THAT(other, ElementsAre("xdg-open", "http://localhost/"));
}

TEST_F(LauncherTest, AStartedProgramRunsAndIsSeenToEnd) {
  const std::string done = (root_ / "done").string();
  const std::string script = Script("sorn-test-editor", "echo \"$1\" > '" + done + "'");
  ProcessHandles handles;
  ASSERT_TRUE(LaunchApplicationDeluxe(nullptr, script + " \"a file.txt\"", 1, &handles));
  EXPECT_GT(handles.process, 0);
  ASSERT_TRUE(Ends(handles.process));
  EXPECT_EQ(ReadWholeFile(done), "a file.txt\n");
  EXPECT_FALSE(IsProcessRunning(handles.process));  // reaped: stays ended
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(LauncherTest, FailuresGoToTheBoxOrTheTrace) {
  int marker = 0;
  TraceCapture trace;
  EXPECT_FALSE(LaunchApplication(&marker, "sorn-no-such-program --x", 0));
  EXPECT_FALSE(LaunchApplicationDeluxe(nullptr, "sorn-no-such-program", 1, nullptr));
  EXPECT_EQ(trace.Text(),
            "LaunchApplication: Unable to launch 'sorn-no-such-program --x'\n"
            "LaunchApplicationDeluxe: Unable to launch 'sorn-no-such-program'\n");
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_FALSE(LaunchWindowsApplication(&marker, "CONTROL.EXE SYSDM.CPL,,1"));
  EXPECT_THAT(boxes_.boxes, ElementsAre("KARAOKE|LaunchApplication: Unable to launch "
                                        "'C:\\WINDOWS\\CONTROL.EXE SYSDM.CPL,,1'"));
}

}  // namespace
