// CD+G through the real threads: the demo disc's first song rendered through the reader
// thread, the ring, the streaming thread and the processing block on the simulated sound card,
// its graphics decoded from the packs the ring carries. The screens published as the song
// passes chosen times equal the cdg command's renders of the same pack positions, which lie
// within one frame (1/75 s) of those times; raw-only drives, with and without overlapping
// reads, and a drive that gives the sub-channel only with the audio give the same.
#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <filesystem>
#include <memory>
#include <mutex>

#include "audio/sound_block.h"
#include "cd/cdg_image.h"
#include "cd/cdg_stream.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/subcode.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/playback/playback_support.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/trace_capture.h"
#include "tools/cli/cdg_command.h"
#include "tools/cli/render_command.h"

namespace fs = std::filesystem;

namespace {

const double kTimes[] = {2.0, 4.3, 6.0, 9.1, 12.0, 17.5, 22.9};
constexpr size_t kCount = std::size(kTimes);

// Keeps the first screen published at or after each time (audio thread).
struct Captures {
  std::array<std::unique_ptr<CdgScreen>, kCount> screens;
  std::array<int64_t, kCount> positions{};
  Captures() {
    for (auto& s : screens) s = std::make_unique<CdgScreen>();
    positions.fill(-1);
  }
  static void Observe(const CdgScreen& screen, int64_t position, void* context) {
    auto* self = static_cast<Captures*>(context);
    for (size_t i = 0; i < kCount; ++i) {
      if (self->positions[i] < 0 && position >= kTimes[i] * kPacksPerSecond) {
        *self->screens[i] = screen;
        self->positions[i] = position;
      }
    }
  }
};

class CdgPlayback : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScratchCdInfoFolder(dir_.path());
    DefaultSoundBlock();
  }
  void TearDown() override {
    SetCdgScreenObserver(nullptr, nullptr);
    ResetCdgStream();
    DefaultSoundBlock();
    SetLogFolderSource(nullptr);
  }
  ScratchDir dir_;
  const std::string demo_ = std::string(SORN_BUILD_DIR) + "/demo/demo.cue";
};

TEST_F(CdgPlayback, ScreensFromTheRingEqualTheCdgCommandAtTheSamePositions) {
  // A correcting drive; a raw-only one; a raw-only one with read jitter, read with overlaps;
  // one that gives the sub-channel only with the audio.
  const std::pair<std::string, int> drives[] = {{demo_, 0},
                                                {"image:" + demo_ + ",rw=raw", 0},
                                                {"image:" + demo_ + ",rw=raw,jitter=8", 3},
                                                {"image:" + demo_ + ",rw-with-audio", 0}};
  for (const auto& [drive, jitterBuffer] : drives) {
    settings.jitterBuffer = jitterBuffer;
    Captures captures;
    ResetCdgStream();
    SetCdgScreenObserver(&Captures::Observe, &captures);
    std::string out, err;
    ASSERT_EQ(CommandRender({drive, "--track", "1", "--out", (dir_.path() / "song.wav").string()},
                            &out, &err),
              0)
        << err;
    SetCdgScreenObserver(nullptr, nullptr);
    EXPECT_TRUE(CurrentTrackHasCdg()) << drive;
    // What the window takes: the last screen the song drew (its title again).
    const QImage last = CurrentCdgImage();
    ASSERT_EQ(last.size(), QSize(kCdgVisibleWidth, kCdgVisibleHeight));
    EXPECT_EQ(last.pixel(0, 0), 0xFF002266u);

    std::vector<std::string> args = {drive, "--track", "1", "--out",
                                     (dir_.path() / "cdg").string()};
    for (size_t i = 0; i < kCount; ++i) {
      ASSERT_GE(captures.positions[i], 0) << "nothing shown at " << kTimes[i] << " s";
      const double seconds = static_cast<double>(captures.positions[i]) / kPacksPerSecond;
      EXPECT_LE(seconds - kTimes[i], 1.0 / 75) << drive << " at " << kTimes[i];
      args.insert(args.end(), {"--at", std::to_string(seconds)});
    }
    ASSERT_EQ(CommandCdg(args, &out, &err), 0) << err;
    for (size_t i = 0; i < kCount; ++i) {
      const double seconds = static_cast<double>(captures.positions[i]) / kPacksPerSecond;
      const QImage image(QString::fromStdString(
          (dir_.path() / "cdg" / CdgImageName(1, std::stod(std::to_string(seconds)))).string()));
      ASSERT_FALSE(image.isNull());
      const CdgScreen& screen = *captures.screens[i];
      for (int y = 0; y < kCdgVisibleHeight; ++y)
        for (int x = 0; x < kCdgVisibleWidth; ++x)
          ASSERT_EQ(image.pixel(x, y), CdgArgb(screen, CdgVisibleIndex(screen, x, y)))
              << drive << " at " << kTimes[i] << " s, pixel " << x << "," << y;
    }
  }
}

// The song sounds the same whether its graphics come in corrected or raw form with the audio,
// or not at all (a drive without R-W, or one that refuses it together with the audio: then
// the track plays without graphics).
TEST_F(CdgPlayback, TheSongSoundsTheSameWhateverTheDriveReadsOfItsSubChannel) {
  const size_t song = 2 * (4 * 4096 + 1800 * 588);  // start-up silence and the song, samples
  std::vector<int16_t> plain;
  const std::pair<std::string, bool> drives[] = {{"image:" + demo_ + ",rw=none", false},
                                                 {demo_, true},
                                                 {"image:" + demo_ + ",rw=raw", true},
                                                 {"image:" + demo_ + ",rw-alone", false}};
  for (const auto& [drive, graphics] : drives) {
    TraceCapture trace;
    ResetCdgStream();
    const fs::path wav = dir_.path() / "song.wav";
    std::string out, err;
    ASSERT_EQ(CommandRender({drive, "--track", "1", "--out", wav.string()}, &out, &err), 0) << err;
    EXPECT_EQ(CurrentTrackHasCdg(), graphics) << drive;
    const std::vector<int16_t> samples = ReadStereoWav(wav.string());
    ASSERT_GE(samples.size(), song) << drive;
    // After the song, silence for as long as the stream's end takes.
    EXPECT_TRUE(
        std::all_of(samples.begin() + song, samples.end(), [](int16_t v) { return v == 0; }));
    if (plain.empty()) {
      plain.assign(samples.begin(), samples.begin() + song);
      continue;
    }
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), samples.begin())) << drive;
    if (drive.find("rw-alone") != std::string::npos) {
      EXPECT_NE(trace.Text().find("does not read audio with the R-W sub-channel"),
                std::string::npos);
    }
  }
}

TEST_F(CdgPlayback, APlainTrackReadsWithoutSubChannel) {
  ResetCdgStream();
  std::string out, err;
  ASSERT_EQ(CommandRender({demo_, "--track", "2", "--out", (dir_.path() / "two.wav").string()},
                          &out, &err),
            0)
      << err;
  EXPECT_FALSE(CurrentTrackHasCdg());
  CdgScreen screen;
  EXPECT_FALSE(CurrentCdgScreen(&screen));
}

}  // namespace
