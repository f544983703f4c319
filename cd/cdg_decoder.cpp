#include "cd/cdg_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/cd/subcode.h"

namespace {

constexpr int kDataSymbol = 4;  // the 16 data symbols follow mode, instruction and Q parity

void Fill(CdgScreen& s, int x0, int y0, int x1, int y1, uint8_t colour) {
  for (int y = y0; y < y1; ++y) std::memset(&s.pixels[y][x0], colour, static_cast<size_t>(x1 - x0));
}

void MemoryPreset(CdgScreen& s, const uint8_t* d) {
  Fill(s, 0, 0, kCdgWidth, kCdgHeight, d[0] & 0x0F);
}

// The border: the outer tile column and tile row on every side.
void BorderPreset(CdgScreen& s, const uint8_t* d) {
  const uint8_t colour = d[0] & 0x0F;
  Fill(s, 0, 0, kCdgWidth, kCdgTileHeight, colour);
  Fill(s, 0, kCdgHeight - kCdgTileHeight, kCdgWidth, kCdgHeight, colour);
  Fill(s, 0, kCdgTileHeight, kCdgTileWidth, kCdgHeight - kCdgTileHeight, colour);
  Fill(s, kCdgWidth - kCdgTileWidth, kCdgTileHeight, kCdgWidth, kCdgHeight - kCdgTileHeight,
       colour);
}

bool TileBlock(CdgScreen& s, const uint8_t* d, bool exclusiveOr) {
  const uint8_t colour0 = d[0] & 0x0F, colour1 = d[1] & 0x0F;
  const int row = d[2] & 0x1F, column = d[3] & 0x3F;
  if (row >= kCdgRows || column >= kCdgColumns) return false;
  for (int y = 0; y < kCdgTileHeight; ++y) {
    uint8_t* line = &s.pixels[row * kCdgTileHeight + y][column * kCdgTileWidth];
    const uint8_t bits = d[4 + y];
    for (int x = 0; x < kCdgTileWidth; ++x) {
      const uint8_t colour = (bits >> (kCdgTileWidth - 1 - x)) & 1 ? colour1 : colour0;
      line[x] = exclusiveOr ? static_cast<uint8_t>(line[x] ^ colour) : colour;
    }
  }
  return true;
}

// Moves the whole memory by one tile in each direction asked; what comes in at the other side
// is `colour` (preset) or what went out (copy).
bool Scroll(CdgScreen& s, const uint8_t* d, bool copy) {
  const uint8_t colour = d[0] & 0x0F;
  const int hCommand = (d[1] >> 4) & 3, hOffset = d[1] & 7;
  const int vCommand = (d[2] >> 4) & 3, vOffset = d[2] & 0x0F;
  if (hOffset >= kCdgTileWidth || vOffset >= kCdgTileHeight || hCommand == 3 || vCommand == 3)
    return false;
  int dx = 0, dy = 0;
  if (hCommand == kCdgScrollRightOrDown) dx = kCdgTileWidth;
  if (hCommand == kCdgScrollLeftOrUp) dx = -kCdgTileWidth;
  if (vCommand == kCdgScrollRightOrDown) dy = kCdgTileHeight;
  if (vCommand == kCdgScrollLeftOrUp) dy = -kCdgTileHeight;
  if (dy != 0) {
    // Rows move by one tile row; the rows that leave at one side come in at the other (copy).
    constexpr size_t kBand = sizeof s.pixels[0] * kCdgTileHeight;
    constexpr size_t kRest = sizeof s.pixels - kBand;
    uint8_t band[kCdgTileHeight][kCdgWidth];
    uint8_t* all = &s.pixels[0][0];
    if (dy > 0) {
      std::memcpy(band, all + kRest, kBand);
      std::memmove(all + kBand, all, kRest);
      if (copy)
        std::memcpy(all, band, kBand);
      else
        Fill(s, 0, 0, kCdgWidth, kCdgTileHeight, colour);
    } else {
      std::memcpy(band, all, kBand);
      std::memmove(all, all + kBand, kRest);
      if (copy)
        std::memcpy(all + kRest, band, kBand);
      else
        Fill(s, 0, kCdgHeight - kCdgTileHeight, kCdgWidth, kCdgHeight, colour);
    }
  }
  if (dx != 0) {
    constexpr size_t kRest = kCdgWidth - kCdgTileWidth;
    for (int y = 0; y < kCdgHeight; ++y) {
      uint8_t* line = s.pixels[y];
      uint8_t edge[kCdgTileWidth];
      if (dx > 0) {
        std::memcpy(edge, line + kRest, kCdgTileWidth);
        std::memmove(line + kCdgTileWidth, line, kRest);
        if (copy)
          std::memcpy(line, edge, kCdgTileWidth);
        else
          std::memset(line, colour, kCdgTileWidth);
      } else {
        std::memcpy(edge, line, kCdgTileWidth);
        std::memmove(line, line + kCdgTileWidth, kRest);
        if (copy)
          std::memcpy(line + kRest, edge, kCdgTileWidth);
        else
          std::memset(line + kRest, colour, kCdgTileWidth);
      }
    }
  }
  s.hOffset = hOffset;
  s.vOffset = vOffset;
  return true;
}

// Eight entries from 16 symbols: red in bits 5-2 of the first, green in bits 1-0 of the first
// and 5-4 of the second, blue in bits 3-0 of the second.
void LoadColours(CdgScreen& s, const uint8_t* d, int first) {
  for (int i = 0; i < 8; ++i) {
    const uint8_t a = d[2 * i], b = d[2 * i + 1];
    const int red = (a >> 2) & 0x0F;
    const int green = ((a & 3) << 2) | ((b >> 4) & 3);
    const int blue = b & 0x0F;
    s.colours[first + i] = static_cast<uint16_t>(red << 8 | green << 4 | blue);
  }
}

}  // namespace

void ResetCdgDecoder(CdgDecoder* decoder) {
  CdgScreen& s = decoder->screen;
  std::memset(s.pixels, 0, sizeof s.pixels);
  std::fill(std::begin(s.colours), std::end(s.colours), 0);
  s.hOffset = s.vOffset = 0;
  s.transparent = -1;
  decoder->packs = decoder->applied = 0;
}

bool DecodeCdgPack(CdgDecoder* decoder, const uint8_t* pack) {
  ++decoder->packs;
  if ((pack[0] & kSymbolMask) != kCdgMode) return false;
  uint8_t d[16];
  for (int i = 0; i < 16; ++i) d[i] = pack[kDataSymbol + i] & kSymbolMask;
  CdgScreen& s = decoder->screen;
  bool done = true;
  switch (pack[1] & kSymbolMask) {
    case kCdgMemoryPreset:
      MemoryPreset(s, d);
      break;
    case kCdgBorderPreset:
      BorderPreset(s, d);
      break;
    case kCdgTileBlock:
      done = TileBlock(s, d, false);
      break;
    case kCdgTileBlockXor:
      done = TileBlock(s, d, true);
      break;
    case kCdgScrollPreset:
      done = Scroll(s, d, false);
      break;
    case kCdgScrollCopy:
      done = Scroll(s, d, true);
      break;
    case kCdgTransparentColour:
      s.transparent = d[0] & 0x0F;
      break;
    case kCdgLoadColoursLow:
      LoadColours(s, d, 0);
      break;
    case kCdgLoadColoursHigh:
      LoadColours(s, d, 8);
      break;
    default:
      done = false;
  }
  if (done) ++decoder->applied;
  return done;
}

void DecodeCdgPacks(CdgDecoder* decoder, const uint8_t* packs, size_t count) {
  for (size_t i = 0; i < count; ++i) DecodeCdgPack(decoder, packs + i * kPackBytes);
}

uint32_t CdgArgb(const CdgScreen& screen, int index) {
  index &= 0x0F;
  const uint16_t c = screen.colours[index];
  const uint32_t red = ((c >> 8) & 0x0F) * 17u, green = ((c >> 4) & 0x0F) * 17u,
                 blue = (c & 0x0F) * 17u;
  const uint32_t alpha = index == screen.transparent ? 0u : 255u;
  return alpha << 24 | red << 16 | green << 8 | blue;
}

int CdgVisibleIndex(const CdgScreen& screen, int x, int y) {
  const int hOffset = std::clamp(screen.hOffset, 0, kCdgTileWidth - 1);
  const int vOffset = std::clamp(screen.vOffset, 0, kCdgTileHeight - 1);
  return screen.pixels[kCdgTileHeight + vOffset + y][kCdgTileWidth + hOffset + x];
}

void CdgVisibleArgbRow(const CdgScreen& screen, int y, uint32_t* out) {
  uint32_t palette[kCdgColours];
  for (int i = 0; i < kCdgColours; ++i) palette[i] = CdgArgb(screen, i);
  for (int x = 0; x < kCdgVisibleWidth; ++x) out[x] = palette[CdgVisibleIndex(screen, x, y) & 0x0F];
}

void CdgVisibleArgb(const CdgScreen& screen, uint32_t* out) {
  for (int y = 0; y < kCdgVisibleHeight; ++y)
    CdgVisibleArgbRow(screen, y, out + y * kCdgVisibleWidth);
}

void RenderCdgAt(const uint8_t* packs, size_t packCount, int64_t position, CdgScreen* out) {
  auto decoder = std::make_unique<CdgDecoder>();
  const size_t count = position <= 0 ? 0 : std::min(packCount, static_cast<size_t>(position));
  DecodeCdgPacks(decoder.get(), packs, count);
  *out = decoder->screen;
}
