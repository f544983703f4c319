// The real program as a user starts it: offscreen for the start-up order, the screenshot, a
// second start and the termination signal; under Xvfb with real X input for playing a track.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

#include "app/launcher_table.h"
#include "resources/skin/skin.h"
#include "resources/skin/skin_layout.h"
#include "tests/app/drive_program.h"
#include "tests/app/wav_analysis.h"
#include "tests/support/scratch_folder.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

const QString kProgram = SORN_BUILD_DIR "/app/sorn-karaoke";

class ProgramTest : public ScratchFolderTest {
 protected:
  // A program run with its own settings and data folders under the scratch folder.
  std::unique_ptr<QProcess> Start(const std::string& configName, QStringList extra = {}) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SORN_AUDIO", "sim");
    env.insert("SORN_TRACE_STARTUP", "1");
    env.insert("SORN_CONFIG_DIR", QString::fromStdString((root_ / configName).string()));
    env.insert("XDG_DATA_HOME", QString::fromStdString((root_ / "data").string()));
    env.insert("SORN_DRIVES", "image:" SORN_BUILD_DIR "/demo/demo.cue");
    for (const QString& pair : extra) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(kProgram, {});
    EXPECT_TRUE(process->waitForStarted(10000));
    return process;
  }
  // Reads the program's output until it shows text (at most 30 s).
  static bool WaitForOutput(QProcess& process, std::string* seen, const std::string& text) {
    for (int i = 0; i < 300 && seen->find(text) == std::string::npos; ++i) {
      process.waitForReadyRead(100);
      *seen += process.readAll().toStdString();
    }
    return seen->find(text) != std::string::npos;
  }
  static std::string Finish(QProcess& process, std::string seen = {}) {
    EXPECT_TRUE(process.waitForFinished(60000));
    return seen + process.readAll().toStdString();
  }
};

TEST_F(ProgramTest, StartsInOrderShowsTheSkinnedPanelAndCleansUpOnce) {
  const std::string shot = (root_ / "shot.png").string();
  auto process = Start(
      "config", {"SORN_QUIT_AFTER_MS=2500", "SORN_SCREENSHOT=" + QString::fromStdString(shot)});
  const std::string out = Finish(*process);
  EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process->exitCode(), 0) << out;
  std::vector<std::string> steps;
  for (size_t at = out.find("WinMain: "); at != std::string::npos;
       at = out.find("WinMain: ", at + 1)) {
    const std::string step = out.substr(at + 9, out.find('\n', at) - at - 9);
    if (step.rfind("first frame", 0) != 0 && step.rfind("resident", 0) != 0) steps.push_back(step);
  }
  EXPECT_THAT(steps, ::testing::ElementsAre(
                         "single instance", "register classes", "audio context defaults",
                         "settings", "processor", "console control handler", "main window",
                         "screen figures", "audio context", "display modes", "panel", "sound",
                         "full screen", "show", "splash", "cd drives", "message loop"));
  EXPECT_THAT(out, HasSubstr("LoadCdInformation: disc"));
  EXPECT_THAT(out, HasSubstr("AppCleanThePipes0: royal pipes cleaned=0\n"));
  EXPECT_THAT(out, Not(HasSubstr("AppCleanThePipes1")));

  // The screenshot is the skin: its background shows where no widget covers it.
  QImage image(QString::fromStdString(shot));
  ASSERT_EQ(image.size(), QSize(kSkinWidth, kSkinHeight));
  InitSkinResources();
  const QImage skin = LoadSkinBitmap(kSkinBackgroundId).toImage();
  for (QPoint p : {QPoint(4, 300), QPoint(790, 590), QPoint(300, 100)}) {
    EXPECT_EQ(image.pixel(p), skin.pixel(p)) << p.x() << "," << p.y();
  }
}

TEST_F(ProgramTest, ASecondStartRestoresTheFirstAndASignalEndsItThroughTheCleanUp) {
  auto first = Start("config");
  std::string seen;
  ASSERT_TRUE(WaitForOutput(*first, &seen, "WinMain: message loop")) << seen;

  auto second = Start("config");
  const std::string secondOut = Finish(*second);
  EXPECT_EQ(second->exitCode(), 0);
  // It asked and ended before registering anything.
  EXPECT_THAT(secondOut, HasSubstr("WinMain: single instance"));
  EXPECT_THAT(secondOut, Not(HasSubstr("WinMain: register classes")));
  EXPECT_TRUE(WaitForOutput(*first, &seen, "a second start asked to restore the window"));

  // Another settings folder is another instance.
  auto other = Start("other-config", {"SORN_QUIT_AFTER_MS=500"});
  const std::string otherOut = Finish(*other);
  EXPECT_THAT(otherOut, HasSubstr("WinMain: message loop"));
  EXPECT_EQ(other->exitCode(), 0);

  ::kill(static_cast<pid_t>(first->processId()), SIGTERM);
  seen = Finish(*first, seen);
  EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(first->exitCode(), 0);
  EXPECT_THAT(seen, HasSubstr("AppCleanThePipes0: royal pipes cleaned=0\n"));
  EXPECT_THAT(seen, Not(HasSubstr("AppCleanThePipes1")));
}

TEST_F(ProgramTest, UnderXvfbTheWindowHasItsIconsSpacePlaysAndEscapeEnds) {
  if (!XvfbToolsInstalled()) GTEST_SKIP() << "xvfb-run, xdotool or import is not installed";
  // Four seconds of sound after Space.
  std::string out;
  ASSERT_EQ(DriveProgram(root_.string(), {"icon icon", "key space", "mark played", "wait 4"}, &out),
            0)
      << out;
  EXPECT_THAT(out, HasSubstr("AppCleanThePipes0: royal pipes cleaned=0\n"));

  // The window manager gets the window's icon, the small one in both its drawings.
  std::ifstream iconFile(root_ / "icon.txt");
  const std::string icon((std::istreambuf_iterator<char>(iconFile)), {});
  EXPECT_THAT(icon, HasSubstr("Icon (16 x 16)"));
  EXPECT_THAT(icon, HasSubstr("Icon (32 x 32)"));

  // What the card played is track 1 of the disc.
  const std::vector<int16_t> played = WavSamples((root_ / "out.wav").string());
  const std::vector<int16_t> track = DiscSamples(SORN_BUILD_DIR "/demo/demo.bin", 0, 44100 * 12);
  size_t firstSound = 0;
  while (firstSound < played.size() / 2 && played[2 * firstSound] == 0) ++firstSound;
  const size_t window = 4096;
  ASSERT_GT(played.size() / 2, firstSound + 44100 + window) << "the card played no music";
  EXPECT_GT(BestCorrelation(played, firstSound + 22050, track, window), 0.99);
}

}  // namespace
