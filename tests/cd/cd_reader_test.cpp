// The CD reader thread, the ring and its consumer together: the player's transport drives the
// real CDDA manager and reader over image drives, and a stand-in for the streaming thread runs
// the real consumer and stop hand-over.
#include "cd/cd_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "audio/cdda_ring.h"
#include "audio/sound_block.h"
#include "cd/aspi_drives.h"
#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "diagnostics/diagnostics.h"
#include "platform/cd/image_drive.h"
#include "settings/settings.h"
#include "tests/cd/disc_image.h"
#include "tests/cd/ring_test_support.h"
#include "tests/support/cd_test_support.h"
#include "tests/support/trace_capture.h"
#include "tests/support/window_loop.h"

namespace {

// Counts the position messages the stream posts (each one moves the position display).
struct PositionCounter : CdPlayerDisplay {
  void ShowPosition(int, int) override { ++posts; }
  std::atomic<int> posts{0};
};

// The disc's 16-bit sample at byte position b (even), as the image holds it.
int16_t DiscSample(int64_t b) {
  return static_cast<int16_t>(PatternByte(b) | PatternByte(b + 1) << 8);
}

// How many bytes from the start of seg are the disc's bytes from `from` on.
int64_t MatchingBytes(const std::vector<int16_t>& seg, int64_t from) {
  size_t i = 0;
  while (i < seg.size() && seg[i] == DiscSample(from + 2 * static_cast<int64_t>(i))) ++i;
  return 2 * static_cast<int64_t>(i);
}

// The segment is the disc's bytes from..from+bytes, then silence.
void ExpectSegment(const std::vector<int16_t>& seg, int64_t from, int64_t bytes) {
  ASSERT_GE(2 * static_cast<int64_t>(seg.size()), bytes);
  ASSERT_GE(MatchingBytes(seg, from), bytes);
  for (size_t i = static_cast<size_t>(bytes / 2); i < seg.size(); ++i)
    ASSERT_EQ(seg[i], 0) << "sample " << i << " after the end";
}

constexpr int64_t kSector = 2352;

class Reader : public ::testing::Test {
 protected:
  void SetUp() override {
    UseScratchCdInfoFolder(dir_.path());
    ResetRingForTest();
    SetCdPlayerDisplay(&positions_);
    // 20 s, 3 s and 4 s.
    cue_ = WriteDiscImage(dir_.path(), "disc", {{1500}, {225}, {300}});
  }
  void TearDown() override {
    CddaShutdown(nullptr);
    stream_.reset();
    cdReader.failThreadCreation = 0;
    SetCdPlayerDisplay(nullptr);
    ReleaseCdDrives();
    ResetCdPlayer();
    ResetRingForTest();
    SetLogFolderSource(nullptr);
  }

  void Load(const std::string& driveString, int mode, int jitter = 0) {
    settings.cdMode = mode;
    settings.jitterBuffer = jitter;
    ASSERT_EQ(InitCdDrivesWithLayer(nullptr, CdHostLayer::FromDriveStrings({driveString})), 0);
    ResetCdPlayer();
    SetMSFformat();
    CdTimerHandler(nullptr);
    ASSERT_EQ(player.cdState.load(), CD_STOP);
  }
  void StartStream(int blockPauseMicros = 0) {
    stream_ = std::make_unique<StreamStandIn>(blockPauseMicros);
  }
  // Waits until the player has stopped and the reader has ended.
  void WaitUntilStopped() {
    ASSERT_TRUE(WaitFor([] { return player.cdState.load() == CD_STOP; }));
    CddaJoinReader();
    EXPECT_EQ(player.readerBusy.load(), 0);
    EXPECT_EQ(soundBlock.cdDataReady.load(), 0);
  }
  void WaitForFrames(int64_t frames) {
    ASSERT_TRUE(WaitFor([&] { return stream_->FramesSoFar() >= frames; }));
  }
  ImageCdDevice* Image() { return dynamic_cast<ImageCdDevice*>(player.device.load()); }

  PositionCounter positions_;
  ScratchDir dir_;
  std::string cue_;
  std::unique_ptr<StreamStandIn> stream_;
};

TEST_F(Reader, PlaysOneSongAndStops) {
  Load(cue_, kCdModeSingleSong);
  StartStream();
  CdSelectTrack(nullptr, 1);
  CdPlayPause(nullptr);
  WaitUntilStopped();
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 1u);
  ExpectSegment(segments[0], 1500 * kSector, 225 * kSector);
  ASSERT_TRUE(WaitFor([this] { return stream_->HandOvers() > 0; })) << "the drained hand-over";
  EXPECT_EQ(stream_->HandOvers(), 1);
  EXPECT_EQ(player.currentTrack.load(), 1) << "single song play stays on the song";
  EXPECT_EQ(player.readerIdle.load(), 1);
  EXPECT_EQ(player.readerPositionSeconds.load(), 2);
  EXPECT_GE(positions_.posts.load(), 2) << "each new second is posted to the window";
}

TEST_F(Reader, PlaysOnToTheEndOfTheDiscWithOverlappingReads) {
  Load(cue_, kCdModeNormal, 2);
  StartStream();
  CdPlayPause(nullptr);
  WaitUntilStopped();
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 3u) << "each song is streamed, the ring played out in between";
  ExpectSegment(segments[0], 0, 1500 * kSector);
  ExpectSegment(segments[1], 1500 * kSector, 225 * kSector);
  ExpectSegment(segments[2], 1725 * kSector, 300 * kSector);
  EXPECT_EQ(cdReader.jitter.exact, 13) << "every overlap of the last song matched";
  EXPECT_EQ(cdReader.jitter.missed, 0);
  EXPECT_EQ(player.currentTrack.load(), 0) << "after the last song the first is cued";
}

TEST_F(Reader, PlayPressedRightAfterPauseStillResumesAtThePausePoint) {
  Load(cue_, kCdModeSingleSong);
  StartStream(1000);
  CdPlayPause(nullptr);
  WaitForFrames(60000);
  CdPlayPause(nullptr);  // pause
  CdPlayPause(nullptr);  // and play again before the stream has handed the pause back
  WaitUntilStopped();
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 2u);
  // The second stretch starts at the start of the slot that was playing at the pause.
  const int64_t played = MatchingBytes(segments[0], 0);
  int64_t resumed = 0;
  while (resumed < 1500 && MatchingBytes(segments[1], resumed * kSector) < 4096) ++resumed;
  EXPECT_GT(resumed, 0);
  EXPECT_LE(resumed * kSector, played);
  EXPECT_GT(resumed * kSector + 26 * kSector, played);
  ExpectSegment(segments[1], resumed * kSector, (1500 - resumed) * kSector);
}

// Passes every call on to the player's host and tells when the reader has taken a restart.
class RestartWatch : public CdStreamHost {
 public:
  explicit RestartWatch(CdStreamHost& player) : player_(player) {}
  int NextRange(void* window) override { return player_.NextRange(window); }
  void RestartRange(void* window) override {
    player_.RestartRange(window);
    restarted.Set();
  }
  void RunStopped(void* window) override { player_.RunStopped(window); }
  void PlayedOut(void* window) override { player_.PlayedOut(window); }
  void DiscGone(void* window) override { player_.DiscGone(window); }
  void WindowMessage(void* window, int message) override { player_.WindowMessage(window, message); }
  Event restarted;

 private:
  CdStreamHost& player_;
};

TEST_F(Reader, SeekRestartsReadingAtTheSectorOnceTheSliderIsLetGo) {
  Load(cue_, kCdModeSingleSong);
  static RestartWatch watch(StreamHost());  // outlives a reader a failed assertion leaves
  SetCdStreamHost(&watch);
  StartStream(1000);
  CdPlayPause(nullptr);
  WaitForFrames(20000);
  CdSeekPercent(60.0f, 1, 0);
  EXPECT_EQ(player.seekPending.load(), 1);
  // The reader has taken the restart; while the slider is held it does not read, so where the
  // slider is when it is let go is where reading starts.
  ASSERT_EQ(watch.restarted.Wait(60000), kWaitObject0);
  CdSeekPercent(30.0f, 0, 0);
  player.seekPending = 0;
  WaitUntilStopped();
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 2u);
  ExpectSegment(segments[1], 450 * kSector, 1050 * kSector);  // 30 % of 1500 sectors
}

TEST_F(Reader, StopBeforeTheStreamStartsDoesNotHoldTheReader) {
  Load(cue_, kCdModeSingleSong);
  // No streaming thread at all: the ring fills, nobody plays it, and Stop still ends the run.
  CdPlayPause(nullptr);
  ASSERT_TRUE(WaitFor([] { return soundBlock.cdDataReady.load() == 1; }));
  CdStop(nullptr);
  CddaJoinReader();
  EXPECT_EQ(cdReader.readerThreadRunning.load(), 0);

  // Play and stop at once, then a whole play.
  StartStream();
  CdPlayPause(nullptr);
  CdStop(nullptr);
  CddaJoinReader();
  CdPlayPause(nullptr);
  WaitUntilStopped();
  const auto segments = stream_->Segments();
  ASSERT_FALSE(segments.empty());
  ExpectSegment(segments.back(), 0, 1500 * kSector);
}

TEST_F(Reader, WithoutAReaderThreadTheCallerReads) {
  Load(cue_, kCdModeSingleSong);
  StartStream();
  cdReader.failThreadCreation = 1;
  TraceCapture trace;
  CdSelectTrack(nullptr, 2);
  CdPlayPause(nullptr);  // returns when the song has played
  EXPECT_NE(trace.Text().find("CDDAManager: CreateThread() failed in CDDAManager CDDA_PLAY\n"),
            std::string::npos);
  EXPECT_EQ(player.cdState.load(), CD_STOP);
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 1u);
  ExpectSegment(segments[0], 1725 * kSector, 300 * kSector);
}

TEST_F(Reader, TheRingFillsAndTheReaderWaitsForRoom) {
  cue_ = WriteDiscImage(dir_.path(), "long", {{1500}});
  Load(cue_, kCdModeSingleSong);
  StartStream(2000);
  CdPlayPause(nullptr);
  WaitUntilStopped();
  EXPECT_EQ(stream_->MaxRingFill(), 14) << "the reader never fills the slot two behind";
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 1u);
  ExpectSegment(segments[0], 0, 1500 * kSector);
}

TEST_F(Reader, ASongShorterThanOneReadPlaysWhole) {
  cue_ = WriteDiscImage(dir_.path(), "short", {{20}, {100}});
  Load(cue_, kCdModeSingleSong, 3);
  StartStream();
  CdPlayPause(nullptr);
  WaitUntilStopped();
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 1u);
  ExpectSegment(segments[0], 0, 20 * kSector);
}

TEST_F(Reader, AJitteryDriveStreamsWithoutGapsOrRepeats) {
  Load("image:" + cue_ + ",jitter=600", kCdModeSingleSong, 1);
  StartStream();
  CdSelectTrack(nullptr, 1);
  CdPlayPause(nullptr);
  WaitUntilStopped();
  const auto segments = stream_->Segments();
  ASSERT_EQ(segments.size(), 1u);
  // Contiguous from the start; only where the last read landed moves the end.
  const int64_t matched = MatchingBytes(segments[0], 1500 * kSector);
  EXPECT_GE(matched, 225 * kSector - 600);
  EXPECT_LE(matched, 225 * kSector + 600);
  for (size_t i = static_cast<size_t>(matched / 2) + 1; i < segments[0].size(); ++i)
    ASSERT_EQ(segments[0][i], 0);
  EXPECT_GT(cdReader.jitter.positive + cdReader.jitter.negative, 0);
  EXPECT_EQ(cdReader.jitter.missed, 0);
}

TEST_F(Reader, ADiscTakenOutWhilePlayingStopsThePlayer) {
  cue_ = WriteDiscImage(dir_.path(), "long", {{1500}});
  Load(cue_, kCdModeSingleSong);
  StartStream(3000);
  TraceCapture trace;
  CdPlayPause(nullptr);
  WaitForFrames(30000);
  Image()->RemoveDisc();
  WaitUntilStopped();
  EXPECT_NE(trace.Text().find("ReadCD: the disc has gone\n"), std::string::npos);
  EXPECT_NE(trace.Text().find("could not be read"), std::string::npos);
  CdTimerHandler(nullptr);
  EXPECT_EQ(player.cdState.load(), CD_NOCD);
}

TEST_F(Reader, PostedMessagesReachThePlayerOnTheWindowThread) {
  struct Display : CdPlayerDisplay {
    void SetTitleLine(const std::string& album, const std::string&) override { title = album; }
    void ShowPosition(int seconds, int trackSeconds) override {
      position = {seconds, trackSeconds};
    }
    std::string title;
    std::pair<int, int> position{-1, -1};
  } display;
  Load(cue_, kCdModeSingleSong);
  SetCdPlayerDisplay(&display);
  player.readerPositionSeconds = 12;
  CddaHandleWindowMessage(nullptr, kCddaPositionTimer);
  EXPECT_EQ(display.position, std::make_pair(12, 20));
  CddaHandleWindowMessage(nullptr, kCddaReadErrorText);
  EXPECT_EQ(display.title, "CD read error");
  player.lastShownTrack = 0;
  CddaHandleWindowMessage(nullptr, kCddaTrackLineStale);
  EXPECT_EQ(player.lastShownTrack, -1);
  SetCdPlayerDisplay(nullptr);
}

// The player's display is only ever called on the window thread while the real reader and
// stream threads play, stop, skip and end a disc: what they show is posted (the check is on and
// would abort a call made on their threads).
TEST_F(Reader, WhatThePlayingThreadsShowReachesTheWindowThread) {
  struct Display : CdPlayerDisplay {
    void ShowPlayButtonReleased() override { ++released; }
    void ShowPosition(int, int) override { ++positions; }
    void SetStatusLine(const std::string& text) override { status = text; }
    int released = 0;
    int positions = 0;
    std::string status;
  } display;
  TestWindowLoop loop;
  Load(cue_, kCdModeNormal);
  SetCdPlayerDisplay(&display);
  StartStream(1000);

  CdPlayPause(nullptr);
  ASSERT_TRUE(loop.PumpUntil([&] { return stream_->FramesSoFar() >= 20000; }));
  CdStop(nullptr);
  EXPECT_EQ(display.released, 1) << "a stop on the window thread shows at once";
  ASSERT_TRUE(loop.PumpUntil([] { return player.readerBusy.load() == 0; }));
  CddaJoinReader();

  const int64_t before = stream_->FramesSoFar();
  CdPlayPause(nullptr);
  ASSERT_TRUE(loop.PumpUntil([&] { return stream_->FramesSoFar() >= before + 20000; }));
  CdToggleSkip(nullptr);  // skips the rest of track 1; tracks 2 and 3 play to the disc's end
  EXPECT_EQ(display.status.rfind("1. [Skip]", 0), 0u) << display.status;
  ASSERT_TRUE(loop.PumpUntil([&] {
    return display.released == 2 && player.cdState.load() == CD_STOP &&
           player.readerBusy.load() == 0;
  })) << "the reader's stop at the disc's end shows on the window thread";
  CddaJoinReader();
  loop.RunPosted();
  EXPECT_GT(display.positions, 0);
  EXPECT_EQ(player.currentTrack.load(), 1) << "the first playable track is cued";
  const auto segments = stream_->Segments();
  ASSERT_GE(segments.size(), 4u);
  ExpectSegment(segments[segments.size() - 2], 1500 * kSector, 225 * kSector);
  ExpectSegment(segments.back(), 1725 * kSector, 300 * kSector);
  SetCdPlayerDisplay(nullptr);
}

TEST(ReaderDeathTest, APlayerDisplayCallOffTheWindowThreadAborts) {
  TestWindowLoop loop;
  EXPECT_DEATH(std::thread([] { OutputCurPos(nullptr); }).join(),
               "CdPlayerDisplay: display call off the window thread");
}

}  // namespace
