#include "cd/cdg_encoder.h"

#include <algorithm>

CdgPack CdgPackOf(uint8_t instruction, const std::vector<uint8_t>& data) {
  CdgPack pack{};
  pack[0] = kCdgMode;
  pack[1] = instruction & kSymbolMask;
  for (size_t i = 0; i < data.size() && i < 16; ++i) pack[4 + i] = data[i] & kSymbolMask;
  SetPackParity(pack.data());
  return pack;
}

CdgPack CdgMemoryPresetPack(int colour, int repeat) {
  return CdgPackOf(kCdgMemoryPreset,
                   {static_cast<uint8_t>(colour & 0x0F), static_cast<uint8_t>(repeat & 0x0F)});
}

CdgPack CdgBorderPresetPack(int colour) {
  return CdgPackOf(kCdgBorderPreset, {static_cast<uint8_t>(colour & 0x0F)});
}

CdgPack CdgTilePack(int row, int column, int colour0, int colour1,
                    const std::array<uint8_t, kCdgTileHeight>& bits, bool exclusiveOr) {
  std::vector<uint8_t> data(4 + kCdgTileHeight);
  data[0] = static_cast<uint8_t>(colour0 & 0x0F);
  data[1] = static_cast<uint8_t>(colour1 & 0x0F);
  data[2] = static_cast<uint8_t>(row & 0x1F);
  data[3] = static_cast<uint8_t>(column & 0x3F);
  std::copy(bits.begin(), bits.end(), data.begin() + 4);
  return CdgPackOf(exclusiveOr ? kCdgTileBlockXor : kCdgTileBlock, data);
}

CdgPack CdgScrollPack(bool copy, int colour, int hCommand, int hOffset, int vCommand, int vOffset) {
  return CdgPackOf(copy ? kCdgScrollCopy : kCdgScrollPreset,
                   {static_cast<uint8_t>(colour & 0x0F),
                    static_cast<uint8_t>((hCommand & 3) << 4 | (hOffset & 7)),
                    static_cast<uint8_t>((vCommand & 3) << 4 | (vOffset & 0x0F))});
}

CdgPack CdgTransparentPack(int colour) {
  return CdgPackOf(kCdgTransparentColour, {static_cast<uint8_t>(colour & 0x0F)});
}

CdgPack CdgColoursPack(bool high, const std::array<uint16_t, 8>& colours) {
  std::vector<uint8_t> data;
  for (uint16_t c : colours) {
    const int red = (c >> 8) & 0x0F, green = (c >> 4) & 0x0F, blue = c & 0x0F;
    data.push_back(static_cast<uint8_t>(red << 2 | green >> 2));
    data.push_back(static_cast<uint8_t>((green & 3) << 4 | blue));
  }
  return CdgPackOf(high ? kCdgLoadColoursHigh : kCdgLoadColoursLow, data);
}

int64_t CdgStreamWriter::NextFree(int64_t position) const {
  position = std::max<int64_t>(position, 0);
  while (position < End() && used_[static_cast<size_t>(position)]) ++position;
  return position;
}

int64_t CdgStreamWriter::Put(int64_t position, const CdgPack& pack) {
  position = NextFree(position);
  if (position >= End()) {
    packs_.resize(static_cast<size_t>(position) + 1);
    used_.resize(static_cast<size_t>(position) + 1, false);
  }
  packs_[static_cast<size_t>(position)] = pack;
  used_[static_cast<size_t>(position)] = true;
  return position;
}

std::vector<uint8_t> CdgStreamWriter::Packs(int64_t packCount) const {
  std::vector<uint8_t> out(static_cast<size_t>(std::max<int64_t>(packCount, 0)) * kPackBytes, 0);
  for (int64_t i = 0; i < std::min(packCount, End()); ++i) {
    if (used_[static_cast<size_t>(i)])
      std::copy(packs_[static_cast<size_t>(i)].begin(), packs_[static_cast<size_t>(i)].end(),
                out.begin() + i * kPackBytes);
  }
  return out;
}
