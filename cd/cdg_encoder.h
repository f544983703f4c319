// Scripted CD+G instructions to packs: the demo disc generator draws its karaoke screens with
// it, and the tests make their streams with it. Every pack comes out with mode/item 0x09 and
// its Q and P parity set, so it also passes the check of raw sub-channel data.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "cd/cdg_decoder.h"
#include "platform/cd/subcode.h"

using CdgPack = std::array<uint8_t, kPackBytes>;

// One graphics pack from its instruction and up to 16 data symbols (six bits each).
CdgPack CdgPackOf(uint8_t instruction, const std::vector<uint8_t>& data);

CdgPack CdgMemoryPresetPack(int colour, int repeat = 0);
CdgPack CdgBorderPresetPack(int colour);
// A tile at tile row `row` (0..17) and column `column` (0..49): 12 rows of six pixels, bit 5
// the leftmost; set bits take colour1, clear bits colour0 (XOR: the colours are combined
// with what is there).
CdgPack CdgTilePack(int row, int column, int colour0, int colour1,
                    const std::array<uint8_t, kCdgTileHeight>& bits, bool exclusiveOr = false);
// hCommand/vCommand are CdgScrollCommand values; hOffset 0..5, vOffset 0..11.
CdgPack CdgScrollPack(bool copy, int colour, int hCommand, int hOffset, int vCommand, int vOffset);
CdgPack CdgTransparentPack(int colour);
// Eight colour table entries (0x0RGB) for entries 0-7, or 8-15 when high.
CdgPack CdgColoursPack(bool high, const std::array<uint16_t, 8>& colours);

// A stream being written: packs placed at pack positions (300 a second from the start of the
// track), each at the first free position at or after the one asked for.
class CdgStreamWriter {
 public:
  // Places a pack; returns the position it got.
  int64_t Put(int64_t position, const CdgPack& pack);
  // The first position at or after `position` that is still free.
  int64_t NextFree(int64_t position) const;
  // The stream of `packCount` packs (positions left free are empty packs, which do nothing).
  std::vector<uint8_t> Packs(int64_t packCount) const;
  // One past the last position used.
  int64_t End() const { return static_cast<int64_t>(used_.size()); }

 private:
  std::vector<CdgPack> packs_;
  std::vector<bool> used_;
};
