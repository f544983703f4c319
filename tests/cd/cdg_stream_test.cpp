// The CD+G of the stream being played, fed as the ring consumer feeds it: the screen at any
// pack the reader asks for among those delivered, packs that come again taken once, another
// track or a jump starting afresh, and the audio thread's base screen moving on behind.
#include "cd/cdg_stream.h"

#include <gtest/gtest.h>

#include <memory>

#include "audio/cdda_ring.h"
#include "cd/cdg_encoder.h"
#include "cd/play_state.h"

namespace {

constexpr int64_t kPackBytesOfAudio = kRingBytesPerPack;

class CdgStream : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetCdgStream();
    player.currentTrack.store(0);
    SetCdgStreamTrack(0, true);
    sink_ = cddaRing.subcodeSink.load();
    ASSERT_NE(sink_, nullptr);
    // XOR tiles (taken twice they would undo themselves) at packs 10 (column 1), 400
    // (column 2) and 2500 (column 3).
    CdgStreamWriter writer;
    writer.Put(0, CdgColoursPack(false, {0x000, 0xFFF}));
    std::array<uint8_t, kCdgTileHeight> bits;
    bits.fill(0x3F);
    writer.Put(10, CdgTilePack(1, 1, 0, 1, bits, true));
    writer.Put(400, CdgTilePack(1, 2, 0, 1, bits, true));
    writer.Put(2500, CdgTilePack(1, 3, 0, 1, bits, true));
    packs_ = writer.Packs(4000);
  }
  void TearDown() override {
    ResetCdgStream();
    SetCddaSubcodeSink(nullptr);
  }
  // Hands over packs [first, first + count) and says the audio up to their end was delivered.
  void Deliver(int64_t first, int64_t count, int32_t track = 150) {
    sink_->Packs(packs_.data() + first * kPackBytes, static_cast<int>(count), first, track);
    sink_->Played((first + count) * kPackBytesOfAudio, track);
  }
  // The colour index at the first pixel of tile column `column` of tile row 1, at `pack`.
  int ShownAt(int64_t pack, int column, int64_t* shown = nullptr) {
    auto screen = std::make_unique<CdgScreen>();
    if (!CdgScreenAt(pack, screen.get(), shown)) return -1;
    return CdgVisibleIndex(*screen, (column - 1) * kCdgTileWidth, 0);
  }
  CddaSubcodeSink* sink_ = nullptr;
  std::vector<uint8_t> packs_;
};

TEST_F(CdgStream, TheScreenAtAnyPackDeliveredForwardAndBackOnce) {
  EXPECT_TRUE(CurrentTrackHasCdg());
  EXPECT_EQ(ShownAt(0, 1), -1);  // nothing published yet
  Deliver(0, 20);
  int64_t shown = -1;
  EXPECT_EQ(ShownAt(10, 1, &shown), 0);  // pack 10 itself not yet carried out
  EXPECT_EQ(shown, 10);
  EXPECT_EQ(ShownAt(11, 1), 1);
  // Back again, then beyond what was delivered: the last delivered.
  EXPECT_EQ(ShownAt(5, 1), 0);
  EXPECT_EQ(ShownAt(500, 1, &shown), 1);
  EXPECT_EQ(shown, 20);
  // Overlapping reads and a resumed pause bring packs again: nothing is drawn twice.
  Deliver(5, 25);
  Deliver(0, 30);
  EXPECT_EQ(ShownAt(30, 1), 1);
  player.currentTrack.store(1);
  EXPECT_FALSE(CurrentTrackHasCdg());
}

TEST_F(CdgStream, TheBaseScreenFollowsBehindAndTheReaderStaysExact) {
  // Three seconds delivered a little at a time, as sub-blocks come.
  for (int64_t p = 0; p < 3000; p += 7) Deliver(p, 7);
  // The base has moved past packs 10 and 400: the oldest screen offered has both tiles.
  int64_t shown = -1;
  EXPECT_EQ(ShownAt(0, 2, &shown), 1);
  EXPECT_GT(shown, 400);
  EXPECT_LE(shown, 3003 - 2 * 300);  // what the sound card may still hold is kept
  EXPECT_EQ(ShownAt(0, 1), 1);
  // Exact around the last tile, whichever way the reader goes.
  EXPECT_EQ(ShownAt(2501, 3), 1);
  EXPECT_EQ(ShownAt(2500, 3), 0);
  EXPECT_EQ(ShownAt(2999, 3), 1);
}

TEST_F(CdgStream, AnotherTrackOrAJumpStartsAfresh) {
  Deliver(0, 20);
  ASSERT_EQ(ShownAt(20, 1), 1);
  // A jump of more than a second: the screen starts blank (the tile drawn before is gone) and
  // goes on from there.
  Deliver(390, 20);
  EXPECT_EQ(ShownAt(410, 1), 0);
  EXPECT_EQ(ShownAt(410, 2), 1);
  // The same positions of another track: afresh again.
  Deliver(0, 20, 3000);
  EXPECT_EQ(ShownAt(20, 1), 1);
  EXPECT_EQ(ShownAt(20, 2), 0);
  // A reset: nothing to show until the next packs come.
  ResetCdgStream();
  EXPECT_EQ(ShownAt(20, 1), -1);
}

}  // namespace
