// The real program under Xvfb, its panel driven by real X input (xdotool clicks): Play, the
// vocal-reduction button, Next and a drag of the position slider, each heard in what the
// simulated card played, and the time display seen moving in screenshots.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <map>
#include <sstream>

#include "resources/skin/skin_layout.h"
#include "tests/app/drive_program.h"
#include "tests/app/wav_analysis.h"
#include "tests/support/scratch_folder.h"

using ::testing::HasSubstr;

namespace {

constexpr size_t kRate = 44100;
constexpr size_t kTrack2Frame = 24 * kRate;  // the demo disc's second track starts at 0:24
constexpr size_t kWindow = 1024;

QString ClickAt(int id) {
  const SkinRect r = FindSkinControl(id)->rect;
  return QString("click %1 %2").arg(r.x + r.width / 2).arg(r.y + r.height / 2);
}

class PanelEndToEnd : public ScratchFolderTest {
 protected:
  std::map<std::string, size_t> Marks() {
    std::map<std::string, size_t> marks;
    std::istringstream in(ReadWholeFile(root_ / "marks.txt"));
    std::string name;
    size_t bytes = 0;
    // Bytes the card had written at the mark, as a frame of its data (after the 44-byte header).
    while (in >> name >> bytes) marks[name] = bytes > 44 ? (bytes - 44) / 4 : 0;
    return marks;
  }
};

TEST_F(PanelEndToEnd, ClicksOnThePanelPlaySwitchSkipAndSeekWhatTheCardPlays) {
  if (!XvfbToolsInstalled()) GTEST_SKIP() << "xvfb-run, xdotool or import is not installed";
  const SkinRect slider = FindSkinControl(1185)->rect;
  const int sliderY = slider.y + slider.height / 2;
  const QStringList steps = {
      "mark play", ClickAt(1007), "wait 2", "shot playing-1", "wait 3.5", "shot playing-2",
      "mark vocal-on", ClickAt(1005), "wait 2", "mark vocal-off", ClickAt(1005), "wait 2",
      "mark next", ClickAt(1014), "wait 2.5",
      // A press right of the cap takes it there; the release seeks.
      "mark seek", QString("drag %1 %2 %3 %2").arg(slider.x + 260).arg(sliderY).arg(slider.x + 262),
      "wait 2.5"};
  std::string log;
  ASSERT_EQ(DriveProgram(root_.string(), steps, &log), 0) << log;
  EXPECT_THAT(log, HasSubstr("AppCleanThePipes0: royal pipes cleaned=0\n"));

  const std::vector<int16_t> played = WavSamples((root_ / "out.wav").string());
  const std::string bin = SORN_BUILD_DIR "/demo/demo.bin";
  const std::vector<int16_t> track1 = DiscSamples(bin, 0, 24 * kRate);
  const std::vector<int16_t> track2 = DiscSamples(bin, kTrack2Frame, 30 * kRate);
  auto marks = Marks();
  ASSERT_EQ(marks.size(), 5u) << log;
  // What the card plays a second after a click reflects it (the card's queue is shorter).
  auto after = [&](const char* mark, double seconds) {
    return marks[mark] + static_cast<size_t>(seconds * kRate);
  };

  // Play: the first track's music.
  const Match playing = BestMatch(played, after("play", 1.5), track1, kWindow);
  EXPECT_GT(playing.correlation, 0.99);
  // Vocal reduction on: the output is no longer the track as recorded (its centre is gone);
  // off again: it is.
  // The same track with the vocal reduced, as the command line renders it.
  QProcess render;
  render.start(SORN_BUILD_DIR "/tools/sorn-karaoke-cli",
               {"render", SORN_BUILD_DIR "/demo/demo.cue", "--track", "1", "--karaoke", "on",
                "--out", QString::fromStdString((root_ / "reduced.wav").string())});
  ASSERT_TRUE(render.waitForFinished(60000));
  ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
  const std::vector<int16_t> reduced = WavSamples((root_ / "reduced.wav").string());
  const Match withVocal = BestMatch(played, after("vocal-on", 1.5), track1, kWindow, 0, 20 * kRate);
  const Match withoutVocal =
      BestMatch(played, after("vocal-on", 1.5), reduced, kWindow, 0, 20 * kRate);
  EXPECT_GT(withoutVocal.correlation, 0.99);
  EXPECT_LT(withVocal.correlation, withoutVocal.correlation - 0.01);
  EXPECT_GT(BestMatch(played, after("vocal-off", 1.5), track1, kWindow, 0, 20 * kRate).correlation,
            0.99);
  // Next: the second track from its start.
  const Match next = BestMatch(played, after("next", 1.5), track2, kWindow, 0, 6 * kRate);
  EXPECT_GT(next.correlation, 0.99);
  EXPECT_LT(next.offset, 3 * kRate);
  // The drag: the second track again, well past where it had got to.
  const Match seek = BestMatch(played, after("seek", 1.5), track2, kWindow, 0, 29 * kRate);
  EXPECT_GT(seek.correlation, 0.99);
  EXPECT_GT(seek.offset, next.offset + 8 * kRate);

  // The time display moved between the two screenshots taken while playing.
  const QImage first(QString::fromStdString((root_ / "playing-1.png").string()));
  const QImage second(QString::fromStdString((root_ / "playing-2.png").string()));
  ASSERT_FALSE(first.isNull());
  ASSERT_FALSE(second.isNull());
  const QRect time(slider.x, slider.y, slider.width, slider.height);
  EXPECT_NE(first.copy(time), second.copy(time));
  EXPECT_EQ(first.copy(14, 8, 190, 30), second.copy(14, 8, 190, 30));  // the logo stays
}

}  // namespace
