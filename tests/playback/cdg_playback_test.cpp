// CD+G through the real threads: the demo disc's first song rendered through the reader
// thread, the ring, the streaming thread and the processing block on the simulated sound card,
// its graphics decoded from the packs the ring carries. As the song passes chosen times, the
// screen a reader takes at each time's pack equals the cdg command's render of that time;
// raw-only drives, with and without overlapping reads, and a drive that gives the sub-channel
// only with the audio give the same.
#include <gtest/gtest.h>

#include <QImage>
#include <array>
#include <cmath>
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

// Takes the screen at each time's pack as soon as it has been delivered (on the audio thread,
// as the window would take it at that moment).
struct Captures {
  std::array<std::unique_ptr<CdgScreen>, kCount> screens;
  std::array<int64_t, kCount> positions{};
  Captures() {
    for (auto& s : screens) s = std::make_unique<CdgScreen>();
    positions.fill(-1);
  }
  // The pack the cdg command renders for the time.
  static int64_t PackOf(size_t i) {
    return static_cast<int64_t>(std::floor(kTimes[i] * kPacksPerSecond + 1e-6));
  }
  static void Observe(int64_t delivered, void* context) {
    auto* self = static_cast<Captures*>(context);
    for (size_t i = 0; i < kCount; ++i) {
      if (self->positions[i] < 0 && delivered >= PackOf(i))
        CdgScreenAt(PackOf(i), self->screens[i].get(), &self->positions[i]);
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
    SetCdgDeliveryObserver(nullptr, nullptr);
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
    SetCdgDeliveryObserver(&Captures::Observe, &captures);
    std::string out, err;
    ASSERT_EQ(CommandRender({drive, "--track", "1", "--out", (dir_.path() / "song.wav").string()},
                            &out, &err),
              0)
        << err;
    SetCdgDeliveryObserver(nullptr, nullptr);
    EXPECT_TRUE(CurrentTrackHasCdg()) << drive;
    // The last screen the song drew (its title again).
    auto last = std::make_unique<CdgScreen>();
    ASSERT_TRUE(CdgScreenAt(INT64_MAX, last.get()));
    EXPECT_EQ(CdgScreenImage(*last).pixel(0, 0), 0xFF002266u);

    std::vector<std::string> args = {drive, "--track", "1", "--out",
                                     (dir_.path() / "cdg").string()};
    for (size_t i = 0; i < kCount; ++i) {
      ASSERT_EQ(captures.positions[i], Captures::PackOf(i)) << "nothing shown at " << kTimes[i];
      args.insert(args.end(), {"--at", std::to_string(kTimes[i])});
    }
    ASSERT_EQ(CommandCdg(args, &out, &err), 0) << err;
    for (size_t i = 0; i < kCount; ++i) {
      const QImage image(
          QString::fromStdString((dir_.path() / "cdg" / CdgImageName(1, kTimes[i])).string()));
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
