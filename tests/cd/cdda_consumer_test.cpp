// The ring consumer on the audio thread's side, with the ring set up by hand: slot walking,
// underruns, the end of a run, the reader's wake-up mark, failed reads and position reports.
#include "audio/cdda_consumer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "audio/cdda_ring.h"
#include "audio/sound_block.h"
#include "tests/cd/ring_test_support.h"

namespace {

// The 16-bit sample at byte position b (even) of the stream.
int16_t StreamSample(int64_t b) {
  return static_cast<int16_t>((b / 2 * 37 + 11) % 30011 - 15000);
}

class RecordingLink : public CddaPlayerLink {
 public:
  void SetPositionSeconds(int seconds) override { position = seconds; }
  bool SeekPending() override { return seekPending; }
  void PostPosition(int seconds) override { posted.push_back(seconds); }
  void ShowReadError() override { ++readErrors; }
  void TrackLineStale() override { ++staleLines; }
  int position = -1;
  bool seekPending = false;
  std::vector<int> posted;
  int readErrors = 0;
  int staleLines = 0;
};

class Consumer : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRingForTest();
    SetCddaPlayerLink(&link_);
    cddaRing.runSerial = 1;
    soundBlock.cdDataReady = 1;
  }
  void TearDown() override {
    SetCddaPlayerLink(nullptr);
    ResetRingForTest();
  }

  // Slot k delivers `length` bytes from index `start`, the stream bytes from `position` on.
  void Fill(int k, int64_t position, int32_t start, int32_t length) {
    for (int32_t i = 0; i < kRingSlotBytes; i += 2) {
      const int16_t v =
          i >= start && i < start + length ? StreamSample(position + i - start) : int16_t{0x5555};
      std::memcpy(cddaRing.data[k] + i, &v, 2);
    }
    cddaRing.slotByteOffset[k] = static_cast<int32_t>(position);
    cddaRing.slotData[k] = start;
    cddaRing.slotLength[k] = length;
  }
  // Slots from `first` on, back to back in the stream from `position`; producerSlot follows.
  void FillSlots(int first, int count, int64_t position, int32_t start, int32_t length) {
    for (int i = 0; i < count; ++i) {
      Fill((first + i) % kRingSlots, position, start, length);
      position += length;
    }
    cddaRing.producerSlot = (first + count) % kRingSlots;
  }
  // Pulls `frames` frames.
  std::vector<float> Pull(int frames) {
    left_.assign(frames, -1.0f);
    right_.assign(frames, -1.0f);
    float* const channels[2] = {left_.data(), right_.data()};
    WriteCdDataToFloat1(channels, frames * 4);
    return left_;
  }
  // Frame i of the last pull holds the stream frame at byte position `position` + 4i.
  void ExpectStream(int fromFrame, int toFrame, int64_t position) {
    for (int i = fromFrame; i < toFrame; ++i) {
      const int64_t b = position + 4 * static_cast<int64_t>(i - fromFrame);
      ASSERT_EQ(left_[i], StreamSample(b)) << "frame " << i;
      ASSERT_EQ(right_[i], StreamSample(b + 2)) << "frame " << i;
    }
  }
  void ExpectSilence(int fromFrame, int toFrame) {
    for (int i = fromFrame; i < toFrame; ++i) {
      ASSERT_EQ(left_[i], 0.0f) << "frame " << i;
      ASSERT_EQ(right_[i], 0.0f) << "frame " << i;
    }
  }

  RecordingLink link_;
  std::vector<float> left_, right_;
};

TEST_F(Consumer, RequestInsideASlotAndOneEndingExactlyAtItsEnd) {
  FillSlots(0, 3, 0, 0, 4096);
  Pull(256);
  ExpectStream(0, 256, 0);
  EXPECT_EQ(cddaRing.consumerSlot.load(), 0);
  EXPECT_EQ(cddaRing.consumerOffset.load(), 1024);

  // 1024 + 3072 ends exactly at the slot's end: the walk moves on and takes 0 frames from the
  // next slot.
  Pull(768);
  ExpectStream(0, 768, 1024);
  EXPECT_EQ(cddaRing.consumerSlot.load(), 1);
  EXPECT_EQ(cddaRing.consumerOffset.load(), 0);
  Pull(256);
  ExpectStream(0, 256, 4096);
}

TEST_F(Consumer, RequestLargerThanASlotWalksSeveralAndWakesTheReaderAtTheMark) {
  // Slots delivering from index 7056 (a jitter-corrected slot) 47,040 bytes each.
  FillSlots(5, 4, 1000000, 7056, 47040);
  cddaRing.consumerSlot = 5;
  cddaRing.consumerOffset = 7056;
  cddaRing.resumeMark = 7;
  cddaRing.slotFreeEvent.ResetEvent();
  const int frames = (47040 * 2 + 4000) / 4;  // more than 16,384 frames: two slots and a bit
  Pull(frames);
  ExpectStream(0, frames, 1000000);
  EXPECT_EQ(cddaRing.consumerSlot.load(), 7);
  EXPECT_EQ(cddaRing.consumerOffset.load(), 7056 + 4000);
  EXPECT_EQ(cddaRing.resumeMark.load(), -1);
  EXPECT_TRUE(cddaRing.slotFreeEvent.IsSet());
}

TEST_F(Consumer, EmptyRingMidRequestIsAnUnderrunUntilTheReaderDelivers) {
  FillSlots(0, 1, 0, 0, 2048);
  Pull(1024);
  ExpectStream(0, 512, 0);
  ExpectSilence(512, 1024);
  EXPECT_EQ(cddaRing.underrun.load(), 1);
  EXPECT_EQ(soundBlock.cdDataReady.load(), 1);

  // Still empty: silence, and a failed last read shows its text.
  Pull(256);
  ExpectSilence(0, 256);
  EXPECT_EQ(link_.readErrors, 0);
  cddaRing.readError = 1;
  Pull(256);
  ExpectSilence(0, 256);
  EXPECT_EQ(link_.readErrors, 1);

  // The reader delivers a jitter-corrected slot: playing goes on from its first byte to
  // deliver, and the track line is drawn again.
  cddaRing.readError = 0;
  Fill(1, 2048, 4000, 8000);
  cddaRing.producerSlot = 2;
  Pull(256);
  ExpectStream(0, 256, 2048);
  EXPECT_EQ(cddaRing.underrun.load(), 0);
  EXPECT_EQ(link_.staleLines, 1);
}

TEST_F(Consumer, EmptyRingWhileDrainingEndsTheRun) {
  FillSlots(0, 2, 0, 0, 2048);
  cddaRing.draining = 1;
  Pull(1536);
  ExpectStream(0, 1024, 0);
  ExpectSilence(1024, 1536);
  EXPECT_EQ(cddaRing.ringDrained.load(), 1);
  EXPECT_EQ(soundBlock.cdDataReady.load(), 0);
  EXPECT_EQ(cddaRing.underrun.load(), 0);

  // Later calls (the rest of the streaming thread's block) are silent.
  Pull(256);
  ExpectSilence(0, 256);
  soundBlock.cdDataReady = 1;  // even if the flag were still seen
  Pull(256);
  ExpectSilence(0, 256);
}

TEST_F(Consumer, ReaderFinishingDuringAnUnderrunEndsTheRun) {
  FillSlots(0, 1, 0, 0, 1024);
  Pull(512);
  EXPECT_EQ(cddaRing.underrun.load(), 1);
  cddaRing.draining = 1;  // the reader read its last chunk with nothing more to give
  Pull(256);
  ExpectSilence(0, 256);
  EXPECT_EQ(cddaRing.ringDrained.load(), 1);
  EXPECT_EQ(soundBlock.cdDataReady.load(), 0);
}

TEST_F(Consumer, SlotsOfHalfFramesJoinAcrossTheBoundary) {
  // Jitter correction may deliver slots of 4n + 2 bytes: the stream stays contiguous.
  int64_t position = 0;
  const int32_t lengths[3] = {4098, 4094, 8000};
  for (int k = 0; k < 3; ++k) {
    Fill(k, position, 130 + 2 * k, lengths[k]);
    position += lengths[k];
  }
  cddaRing.producerSlot = 3;
  Pull(3000);
  ExpectStream(0, 3000, 0);
}

TEST_F(Consumer, OnlyARunStillStreamedIsPlayed) {
  FillSlots(0, 2, 0, 0, 4096);
  soundBlock.cdDataReady = 0;
  Pull(256);
  ExpectSilence(0, 256);
  EXPECT_EQ(cddaRing.consumerRun.load(), 1) << "the run is recorded before the flag is read";
  EXPECT_EQ(cddaRing.consumerOffset.load(), 0);
  soundBlock.cdDataReady = 1;
  Pull(256);
  ExpectStream(0, 256, 0);
}

TEST_F(Consumer, PositionIsReportedEachSecondButNotPostedDuringASeek) {
  // A slot 2 s into the track.
  FillSlots(0, 2, 2 * kCdBytesPerSecond - 2048, 0, 60000);
  Pull(256);
  EXPECT_EQ(link_.position, 1);
  EXPECT_EQ(link_.posted, std::vector<int>{1});
  Pull(256);
  Pull(256);  // now past 2 s
  Pull(16);
  EXPECT_EQ(link_.position, 2);
  EXPECT_EQ(link_.posted, (std::vector<int>{1, 2}));
  EXPECT_EQ(CddaStreamBytePosition(), 2 * kCdBytesPerSecond - 2048 + 3 * 1024 + 64);

  link_.seekPending = true;
  cddaRing.slotByteOffset[1] = 9 * kCdBytesPerSecond;
  Pull(60000 / 4);  // into slot 1, at 9 s
  Pull(4);
  EXPECT_EQ(link_.position, 9);
  EXPECT_EQ(cddaRing.lastPostedSecond.load(), 9) << "remembered";
  EXPECT_EQ(link_.posted, (std::vector<int>{1, 2})) << "not posted";
}

}  // namespace
