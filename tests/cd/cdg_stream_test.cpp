// The CD+G of the stream being played, fed as the ring consumer feeds it: packs decoded only
// once heard, packs that come again taken once, another track or a jump starting afresh.
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
    // A stream whose pack 10 draws an XOR tile (taken twice it would undo itself), pack 400
    // a second one.
    CdgStreamWriter writer;
    writer.Put(0, CdgColoursPack(false, {0x000, 0xFFF}));
    std::array<uint8_t, kCdgTileHeight> bits;
    bits.fill(0x3F);
    writer.Put(10, CdgTilePack(1, 1, 0, 1, bits, true));
    writer.Put(400, CdgTilePack(1, 2, 0, 1, bits, true));
    packs_ = writer.Packs(800);
  }
  void TearDown() override {
    ResetCdgStream();
    SetCddaSubcodeSink(nullptr);
  }
  void Feed(int64_t first, int64_t count, int32_t track = 150) {
    sink_->Packs(packs_.data() + first * kPackBytes, static_cast<int>(count), first, track);
  }
  // The colour index at the first pixel of tile column `column` of tile row 1, as shown.
  int Shown(int column) {
    auto screen = std::make_unique<CdgScreen>();
    if (!CurrentCdgScreen(screen.get())) return -1;
    return CdgVisibleIndex(*screen, (column - 1) * kCdgTileWidth, 0);
  }
  CddaSubcodeSink* sink_ = nullptr;
  std::vector<uint8_t> packs_;
};

TEST_F(CdgStream, PacksAreDrawnWhenHeardAndTakenOnce) {
  EXPECT_TRUE(CurrentTrackHasCdg());
  Feed(0, 20);
  sink_->Played(10 * kPackBytesOfAudio, 150);  // pack 10 not heard yet
  EXPECT_EQ(Shown(1), 0);
  Feed(5, 20);  // overlapping reads bring packs 5..24 again
  sink_->Played(30 * kPackBytesOfAudio, 150);
  int64_t position = 0;
  auto screen = std::make_unique<CdgScreen>();
  ASSERT_TRUE(CurrentCdgScreen(screen.get(), &position));
  EXPECT_EQ(position, 25);  // heard up to 30, delivered up to 25
  EXPECT_EQ(Shown(1), 1);
  // A resumed pause brings back the last second: nothing is drawn twice.
  Feed(0, 30);
  sink_->Played(30 * kPackBytesOfAudio, 150);
  EXPECT_EQ(Shown(1), 1);
  player.currentTrack.store(1);
  EXPECT_FALSE(CurrentTrackHasCdg());
}

TEST_F(CdgStream, AnotherTrackOrAJumpStartsAfresh) {
  Feed(0, 20);
  sink_->Played(20 * kPackBytesOfAudio, 150);
  ASSERT_EQ(Shown(1), 1);
  // A jump of more than a second: the screen starts blank (the tile drawn before is gone) and
  // goes on from there.
  Feed(390, 20);
  sink_->Played(410 * kPackBytesOfAudio, 150);
  EXPECT_EQ(Shown(1), 0);
  EXPECT_EQ(Shown(2), 1);
  // The same positions of another track: afresh again.
  Feed(0, 20, 3000);
  sink_->Played(20 * kPackBytesOfAudio, 3000);
  EXPECT_EQ(Shown(1), 1);
  EXPECT_EQ(Shown(2), 0);
}

}  // namespace
