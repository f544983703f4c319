// The CD+G decoder on streams made by the encoder: every instruction's effect on the screen,
// pixel for pixel, and the packs it must skip.
#include "cd/cdg_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "cd/cdg_encoder.h"

namespace {

using Pixels = uint8_t[kCdgHeight][kCdgWidth];

struct Decoder {
  std::unique_ptr<CdgDecoder> d = std::make_unique<CdgDecoder>();
  Decoder() { ResetCdgDecoder(d.get()); }
  bool Run(const CdgPack& pack) { return DecodeCdgPack(d.get(), pack.data()); }
  const Pixels& pixels() const { return d->screen.pixels; }
  int At(int x, int y) const { return d->screen.pixels[y][x]; }
};

std::array<uint8_t, kCdgTileHeight> Diagonal() {
  std::array<uint8_t, kCdgTileHeight> bits{};
  for (int y = 0; y < kCdgTileHeight; ++y) bits[y] = static_cast<uint8_t>(0x20 >> (y % 6));
  return bits;
}

// Every tile of the screen drawn with random bits and colours.
void FillRandomly(Decoder& decoder, uint32_t seed) {
  std::mt19937 random(seed);
  for (int row = 0; row < kCdgRows; ++row) {
    for (int column = 0; column < kCdgColumns; ++column) {
      std::array<uint8_t, kCdgTileHeight> bits{};
      for (uint8_t& b : bits) b = static_cast<uint8_t>(random() & 0x3F);
      ASSERT_TRUE(decoder.Run(CdgTilePack(row, column, static_cast<int>(random() % 16),
                                          static_cast<int>(random() % 16), bits)));
    }
  }
}

TEST(CdgDecoder, PresetsFillTheWholeMemoryOrItsBorder) {
  Decoder decoder;
  EXPECT_TRUE(decoder.Run(CdgMemoryPresetPack(3, 5)));
  EXPECT_TRUE(decoder.Run(CdgBorderPresetPack(7)));
  for (int y = 0; y < kCdgHeight; ++y) {
    for (int x = 0; x < kCdgWidth; ++x) {
      const bool border = x < 6 || x >= 294 || y < 12 || y >= 204;
      ASSERT_EQ(decoder.At(x, y), border ? 7 : 3) << x << "," << y;
    }
  }
  // What is shown is the inside: its first pixel is memory (6, 12).
  EXPECT_EQ(CdgVisibleIndex(decoder.d->screen, 0, 0), 3);
  EXPECT_EQ(CdgVisibleIndex(decoder.d->screen, 287, 191), 3);
}

TEST(CdgDecoder, TileBlocksDrawAndXorTilesCombine) {
  Decoder decoder;
  decoder.Run(CdgMemoryPresetPack(1));
  ASSERT_TRUE(decoder.Run(CdgTilePack(5, 10, 4, 9, Diagonal())));
  for (int y = 0; y < kCdgTileHeight; ++y)
    for (int x = 0; x < kCdgTileWidth; ++x)
      ASSERT_EQ(decoder.At(60 + x, 60 + y), x == y % 6 ? 9 : 4) << x << "," << y;
  EXPECT_EQ(decoder.At(59, 60), 1);
  EXPECT_EQ(decoder.At(66, 60), 1);
  EXPECT_EQ(decoder.At(60, 72), 1);

  // XOR: set bits combine with colour1, clear bits with colour0; twice is nothing.
  ASSERT_TRUE(decoder.Run(CdgTilePack(5, 10, 2, 15, Diagonal(), true)));
  EXPECT_EQ(decoder.At(60, 60), 9 ^ 15);
  EXPECT_EQ(decoder.At(61, 60), 4 ^ 2);
  decoder.Run(CdgTilePack(5, 10, 2, 15, Diagonal(), true));
  EXPECT_EQ(decoder.At(60, 60), 9);
  EXPECT_EQ(decoder.At(61, 60), 4);

  // The last tile is the bottom-right corner of the border; one further is refused.
  ASSERT_TRUE(decoder.Run(CdgTilePack(17, 49, 6, 6, Diagonal())));
  EXPECT_EQ(decoder.At(299, 215), 6);
  Pixels before;
  std::memcpy(before, decoder.pixels(), sizeof before);
  EXPECT_FALSE(decoder.Run(CdgTilePack(18, 0, 6, 6, Diagonal())));
  EXPECT_FALSE(decoder.Run(CdgTilePack(0, 50, 6, 6, Diagonal(), true)));
  EXPECT_EQ(std::memcmp(before, decoder.pixels(), sizeof before), 0);
}

TEST(CdgDecoder, ScrollsMoveTheMemoryByATileWithFillOrWrap) {
  struct Case {
    bool copy;
    int h, v;  // CdgScrollCommand values
    int dx, dy;
  };
  const Case cases[] = {
      {false, kCdgScrollRightOrDown, kCdgScrollNone, 6, 0},
      {false, kCdgScrollLeftOrUp, kCdgScrollNone, -6, 0},
      {false, kCdgScrollNone, kCdgScrollRightOrDown, 0, 12},
      {false, kCdgScrollLeftOrUp, kCdgScrollLeftOrUp, -6, -12},
      {true, kCdgScrollRightOrDown, kCdgScrollNone, 6, 0},
      {true, kCdgScrollNone, kCdgScrollLeftOrUp, 0, -12},
      {true, kCdgScrollLeftOrUp, kCdgScrollRightOrDown, -6, 12},
  };
  for (const Case& c : cases) {
    Decoder decoder;
    FillRandomly(decoder, 7);
    Pixels before;
    std::memcpy(before, decoder.pixels(), sizeof before);
    ASSERT_TRUE(decoder.Run(CdgScrollPack(c.copy, 13, c.h, 2, c.v, 5)));
    for (int y = 0; y < kCdgHeight; ++y) {
      for (int x = 0; x < kCdgWidth; ++x) {
        const int fromX = x - c.dx, fromY = y - c.dy;
        int expected;
        if (c.copy)
          expected = before[(fromY + kCdgHeight) % kCdgHeight][(fromX + kCdgWidth) % kCdgWidth];
        else if (fromX < 0 || fromX >= kCdgWidth || fromY < 0 || fromY >= kCdgHeight)
          expected = 13;
        else
          expected = before[fromY][fromX];
        ASSERT_EQ(decoder.At(x, y), expected)
            << c.copy << " " << c.dx << "," << c.dy << " at " << x << "," << y;
      }
    }
    // The offsets move the shown area inside the memory.
    EXPECT_EQ(CdgVisibleIndex(decoder.d->screen, 0, 0), decoder.At(6 + 2, 12 + 5));
  }
}

TEST(CdgDecoder, OffsetsAloneMoveTheViewAndBadOffsetsAreRefused) {
  Decoder decoder;
  FillRandomly(decoder, 9);
  ASSERT_TRUE(decoder.Run(CdgScrollPack(false, 0, kCdgScrollNone, 5, kCdgScrollNone, 11)));
  EXPECT_EQ(CdgVisibleIndex(decoder.d->screen, 287, 191), decoder.At(6 + 5 + 287, 12 + 11 + 191));
  EXPECT_FALSE(decoder.Run(CdgScrollPack(false, 0, kCdgScrollNone, 6, kCdgScrollNone, 0)));
  EXPECT_FALSE(decoder.Run(CdgScrollPack(true, 0, kCdgScrollNone, 0, kCdgScrollNone, 12)));
  EXPECT_FALSE(decoder.Run(CdgScrollPack(true, 0, 3, 0, kCdgScrollNone, 0)));
  EXPECT_EQ(decoder.d->screen.hOffset, 5);
  EXPECT_EQ(decoder.d->screen.vOffset, 11);
}

TEST(CdgDecoder, ColourTablesAndTheTransparentColour) {
  Decoder decoder;
  std::array<uint16_t, 8> low{}, high{};
  for (int i = 0; i < 8; ++i) {
    low[i] = static_cast<uint16_t>(i << 8 | (15 - i) << 4 | (i * 2));
    high[i] = static_cast<uint16_t>((8 + i) << 8 | i << 4 | (15 - i));
  }
  ASSERT_TRUE(decoder.Run(CdgColoursPack(false, low)));
  ASSERT_TRUE(decoder.Run(CdgColoursPack(true, high)));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(decoder.d->screen.colours[i], low[i]);
    EXPECT_EQ(decoder.d->screen.colours[8 + i], high[i]);
  }
  EXPECT_EQ(CdgArgb(decoder.d->screen, 3), 0xFF33CC66u);
  EXPECT_EQ(CdgArgb(decoder.d->screen, 15), 0xFFFF7788u);

  decoder.Run(CdgMemoryPresetPack(15));
  decoder.Run(CdgTilePack(1, 1, 3, 3, Diagonal()));
  ASSERT_TRUE(decoder.Run(CdgTransparentPack(15)));
  std::vector<uint32_t> shown(kCdgVisibleWidth * kCdgVisibleHeight);
  CdgVisibleArgb(decoder.d->screen, shown.data());
  EXPECT_EQ(shown[0], 0xFF33CC66u);                        // the tile at memory (6, 12)
  EXPECT_EQ(shown[6], 0x00FF7788u);                        // beside it: transparent
  EXPECT_EQ(CdgArgb(decoder.d->screen, 14) >> 24, 0xFFu);  // only that one colour
}

TEST(CdgDecoder, PacksOfOtherModesUnknownInstructionsAndJunkAreSkipped) {
  Decoder decoder;
  FillRandomly(decoder, 11);
  Pixels before;
  std::memcpy(before, decoder.pixels(), sizeof before);
  const int64_t applied = decoder.d->applied;

  CdgPack otherMode = CdgMemoryPresetPack(2);
  otherMode[0] = 0x08;  // graphics mode, another item
  CdgPack unknown = CdgPackOf(7, {2});
  CdgPack empty{};
  EXPECT_FALSE(decoder.Run(otherMode));
  EXPECT_FALSE(decoder.Run(unknown));
  EXPECT_FALSE(decoder.Run(empty));
  std::mt19937 random(5);
  for (int n = 0; n < 2000; ++n) {
    CdgPack junk;
    for (uint8_t& b : junk) b = static_cast<uint8_t>(random());
    junk[0] = static_cast<uint8_t>(junk[0] & ~0x07);  // never mode/item 0x09
    decoder.Run(junk);
  }
  EXPECT_EQ(std::memcmp(before, decoder.pixels(), sizeof before), 0);
  EXPECT_EQ(decoder.d->applied, applied);
  EXPECT_EQ(decoder.d->packs, applied + 3 + 2000);
}

TEST(CdgDecoder, ScreensAtChosenPackPositions) {
  CdgStreamWriter writer;
  writer.Put(0, CdgMemoryPresetPack(1));
  writer.Put(0, CdgColoursPack(false, {0x000, 0x00F, 0xFF0}));  // lands on pack 1
  writer.Put(300, CdgTilePack(1, 1, 1, 2, Diagonal()));         // one second in
  writer.Put(450, CdgScrollPack(true, 0, kCdgScrollRightOrDown, 0, kCdgScrollNone, 0));
  EXPECT_EQ(writer.NextFree(0), 2);
  const std::vector<uint8_t> packs = writer.Packs(600);
  ASSERT_EQ(packs.size(), 600u * kPackBytes);

  auto shown = [&](int64_t position, int x, int y) {
    auto screen = std::make_unique<CdgScreen>();
    RenderCdgAt(packs.data(), 600, position, screen.get());
    return CdgArgb(*screen, CdgVisibleIndex(*screen, x, y));
  };
  EXPECT_EQ(shown(0, 0, 0), 0xFF000000u);    // nothing yet: colour 0 of a black table
  EXPECT_EQ(shown(1, 0, 0), 0xFF000000u);    // colour 1, still black
  EXPECT_EQ(shown(2, 0, 0), 0xFF0000FFu);    // the table has made it blue
  EXPECT_EQ(shown(300, 0, 0), 0xFF0000FFu);  // the tile is pack 300: not yet
  EXPECT_EQ(shown(301, 0, 0), 0xFFFFFF00u);  // its set pixel
  EXPECT_EQ(shown(301, 1, 0), 0xFF0000FFu);
  EXPECT_EQ(shown(451, 6, 0), 0xFFFFFF00u);  // moved one tile right
  EXPECT_EQ(shown(451, 0, 0), 0xFF0000FFu);
  EXPECT_EQ(shown(100000, 6, 0), 0xFFFFFF00u);  // past the end: the last screen
}

}  // namespace
