// The sub-channel forms: pack parity (mending one wrong symbol, refusing more), the R-W
// interleave against its published symbol offsets, and raw sectors back to packs.
#include "platform/cd/subcode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "cd/cdg_encoder.h"

namespace {

std::vector<uint8_t> RandomPacks(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> packs(count * kPackBytes);
  for (size_t p = 0; p < count; ++p) {
    uint8_t* pack = packs.data() + p * kPackBytes;
    for (int i = 0; i < kPackBytes; ++i) pack[i] = static_cast<uint8_t>(random() & kSymbolMask);
    SetPackParity(pack);
  }
  return packs;
}

TEST(PackParity, MendsOneWrongSymbolAnywhereAndRefusesTwo) {
  const std::vector<uint8_t> packs = RandomPacks(8, 1);
  for (size_t p = 0; p < 8; ++p) {
    const uint8_t* good = packs.data() + p * kPackBytes;
    uint8_t pack[kPackBytes];
    std::memcpy(pack, good, kPackBytes);
    ASSERT_EQ(CheckPackParity(pack), PackParity::kGood);
    for (int position = 0; position < kPackBytes; ++position) {
      for (uint8_t error : {0x01, 0x20, 0x3F, 0x15}) {
        std::memcpy(pack, good, kPackBytes);
        pack[position] ^= error;
        ASSERT_EQ(CheckPackParity(pack), PackParity::kCorrected) << position;
        ASSERT_EQ(std::memcmp(pack, good, kPackBytes), 0) << position;
        // A second wrong symbol is more than the code mends: it is refused, never "mended"
        // into another pack.
        for (int other = 0; other < kPackBytes; other += 5) {
          if (other == position) continue;
          std::memcpy(pack, good, kPackBytes);
          pack[position] ^= error;
          pack[other] ^= 0x2A;
          ASSERT_EQ(CheckPackParity(pack), PackParity::kBad) << position << " " << other;
        }
      }
    }
  }
}

TEST(PackParity, EncoderPacksCheckAndFlagBitsAreIgnored) {
  CdgPack pack = CdgMemoryPresetPack(5, 2);
  EXPECT_EQ(pack[0], kCdgMode);
  for (uint8_t& b : pack) b |= 0xC0;  // P and Q bits of a raw sector
  EXPECT_EQ(CheckPackParity(pack.data()), PackParity::kGood);
}

TEST(RwInterleave, PlacesSymbolsAtThePublishedOffsetsAndInverts) {
  // Symbol i of pack 0 lands at raw symbol offset[i] of the stream (the swaps 1-18, 2-5,
  // 3-23 and a delay of (position % 8) packs).
  const int offsets[6] = {0, 66, 125, 191, 100, 50};
  std::vector<uint8_t> packs(16 * kPackBytes, 0);
  for (int i = 0; i < 6; ++i) packs[i] = static_cast<uint8_t>(10 + i);
  std::vector<uint8_t> raw(packs.size(), 0xC0);
  InterleaveRw(packs.data(), 16, nullptr, raw.data());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(raw[offsets[i]], 0xC0 | (10 + i)) << i;

  // A stream interleaved in pieces (with the history of the packs before each piece)
  // de-interleaves to the same packs.
  const std::vector<uint8_t> stream = RandomPacks(40, 2);
  std::vector<uint8_t> whole(stream.size(), 0), pieces(stream.size(), 0);
  InterleaveRw(stream.data(), 40, nullptr, whole.data());
  InterleaveRw(stream.data(), 20, nullptr, pieces.data());
  InterleaveRw(stream.data() + 20 * kPackBytes, 20, stream.data() + 13 * kPackBytes,
               pieces.data() + 20 * kPackBytes);
  EXPECT_EQ(whole, pieces);
  std::vector<uint8_t> back(stream.size());
  ASSERT_EQ(DeinterleaveRw(whole.data(), 40, back.data()), 33u);
  EXPECT_TRUE(std::equal(back.begin(), back.begin() + 33 * kPackBytes, stream.begin()));
}

TEST(RwInterleave, RawSectorsComeBackAsCheckedPacks) {
  const std::vector<uint8_t> stream = RandomPacks(6 * kPacksPerSector, 3);
  std::vector<uint8_t> raw(stream.size(), 0);
  InterleaveRw(stream.data(), 6 * kPacksPerSector, nullptr, raw.data());
  // One raw symbol hit: the one pack it belongs to is mended. A raw pack wiped: each pack it
  // reaches loses three symbols and is dropped whole, the others come through.
  raw[kSubcodeBytes + 1] ^= 0x11;  // symbol 18 of pack 3
  std::vector<uint8_t> packs(4 * kSubcodeBytes, 0xEE);
  ParityCounts counts;
  ASSERT_EQ(RawToPackSectors(raw.data(), 6, packs.data(), &counts), 4u);
  EXPECT_EQ(counts.corrected, 1);
  EXPECT_EQ(counts.bad, 0);
  EXPECT_TRUE(std::equal(packs.begin(), packs.end(), stream.begin()));

  for (int i = 0; i < kPackBytes; ++i) raw[2 * kSubcodeBytes + i] ^= 0x3F;
  counts = {};
  RawToPackSectors(raw.data(), 6, packs.data(), &counts);
  EXPECT_EQ(counts.bad, 8);
  for (size_t p = 0; p < 16; ++p) {
    const bool hit = p >= 1 && p <= 8;  // raw pack 8 holds symbols of packs 1..8
    const uint8_t* got = packs.data() + p * kPackBytes;
    if (hit)
      EXPECT_TRUE(std::all_of(got, got + kPackBytes, [](uint8_t b) { return b == 0; })) << p;
    else
      EXPECT_EQ(std::memcmp(got, stream.data() + p * kPackBytes, kPackBytes), 0) << p;
  }
  EXPECT_EQ(RawToPackSectors(raw.data(), 2, packs.data(), nullptr), 0u);
}

TEST(QChannel, PositionBlockTravelsInBitSixWithItsCrc) {
  uint8_t q[12];
  BuildPositionQ(2, 1, 4 * 75 + 3, 150 + 1234, q);
  EXPECT_EQ(q[1], 0x02);
  EXPECT_EQ(q[4], 0x04);
  EXPECT_EQ(q[5], 0x03);
  EXPECT_TRUE(QCrcValid(q));
  uint8_t raw[kSubcodeBytes];
  for (int i = 0; i < kSubcodeBytes; ++i) raw[i] = static_cast<uint8_t>(i & 0x3F);
  PutQChannel(raw, q);
  uint8_t back[12];
  GetQChannel(raw, back);
  EXPECT_EQ(std::memcmp(back, q, 12), 0);
  for (int i = 0; i < kSubcodeBytes; ++i) EXPECT_EQ(raw[i] & 0xBF, i & 0x3F);
  back[3] ^= 1;
  EXPECT_FALSE(QCrcValid(back));
}

}  // namespace
