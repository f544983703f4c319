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

#include "app/launcher_table.h"
#include "resources/skin/skin.h"
#include "resources/skin/skin_layout.h"
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

// Frames of 16-bit stereo from a WAV file's data chunk (the simulated card's plain layout).
std::vector<int16_t> WavSamples(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  const size_t data = bytes.find("data");
  if (data == std::string::npos || bytes.size() < data + 8) return {};
  std::vector<int16_t> samples((bytes.size() - data - 8) / 2);
  std::memcpy(samples.data(), bytes.data() + data + 8, samples.size() * 2);
  return samples;
}

// Best normalised correlation of a stretch of the output's left channel with the track's
// left channel at any offset within the track's first seconds.
double BestCorrelation(const std::vector<int16_t>& out, size_t outFrame,
                       const std::vector<int16_t>& track, size_t window) {
  double best = 0.0;
  for (size_t offset = 0; offset + window < track.size() / 2 && offset < 44100 * 8; ++offset) {
    double xy = 0, xx = 0, yy = 0;
    for (size_t i = 0; i < window; i += 4) {
      const double x = out[2 * (outFrame + i)], y = track[2 * (offset + i)];
      xy += x * y;
      xx += x * x;
      yy += y * y;
    }
    if (xx > 0 && yy > 0) best = std::max(best, xy / std::sqrt(xx * yy));
  }
  return best;
}

TEST_F(ProgramTest, UnderXvfbSpacePlaysTheDiscAndEscapeEndsTheProgram) {
  if (QStandardPaths::findExecutable("xvfb-run").isEmpty() ||
      QStandardPaths::findExecutable("xdotool").isEmpty()) {
    GTEST_SKIP() << "xvfb-run or xdotool is not installed";
  }
  QProcess run;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove("QT_QPA_PLATFORM");
  env.insert("SORN_DRIVES", "image:" SORN_BUILD_DIR "/demo/demo.cue");
  run.setProcessEnvironment(env);
  run.setProcessChannelMode(QProcess::MergedChannels);
  // Three seconds of sound after the card's start-up silence.
  run.start("xvfb-run",
            {"-a", SORN_APP_TEST_DIR "/drive_window.sh", kProgram,
             QString::fromStdString(root_.string()), QString::number(44 + 4 * 44100 * 4)});
  ASSERT_TRUE(run.waitForFinished(180000));
  const std::string out = run.readAll().toStdString();
  ASSERT_EQ(run.exitCode(), 0) << out;
  EXPECT_THAT(out, HasSubstr("AppCleanThePipes0: royal pipes cleaned=0\n"));

  // What the card played is track 1 of the disc.
  const std::vector<int16_t> played = WavSamples((root_ / "out.wav").string());
  std::ifstream bin(SORN_BUILD_DIR "/demo/demo.bin", std::ios::binary);
  std::vector<int16_t> track(44100 * 2 * 12);
  bin.read(reinterpret_cast<char*>(track.data()), static_cast<std::streamsize>(track.size() * 2));
  size_t firstSound = 0;
  while (firstSound < played.size() / 2 && played[2 * firstSound] == 0) ++firstSound;
  const size_t window = 4096;
  ASSERT_GT(played.size() / 2, firstSound + 44100 + window) << "the card played no music";
  EXPECT_GT(BestCorrelation(played, firstSound + 22050, track, window), 0.99);
}

}  // namespace
