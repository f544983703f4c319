// CD+G graphics: the decoder of the TV-graphics packs (mode/item 0x09) a karaoke disc carries
// in its R-W sub-channel (platform/cd/subcode.h), 300 packs a second.
//
// The screen is 300 x 216 pixels of 16 colours, 50 x 18 tiles of 6 x 12. The 288 x 192 in the
// middle are shown (the outer tile column and tile row on each side are the border), moved by
// the scroll offsets (0-5 pixels right, 0-11 down) into the memory. Colours come from a table
// of 16 entries of 4096 colours (4 bits per component); one of them may be the transparent
// colour.
//
// Instructions (symbol 1): 1 memory preset, 2 border preset, 6 tile block, 38 tile block XOR,
// 20 scroll preset, 24 scroll copy, 28 transparent colour, 30/31 load the colour table's low
// and high eight entries. A pack of another mode, an unknown instruction or data out of range
// (a tile outside the screen) is skipped and leaves the screen as it was. Decoding never
// allocates: a decoder may run on the audio thread.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kCdgWidth = 300;
inline constexpr int kCdgHeight = 216;
inline constexpr int kCdgTileWidth = 6;
inline constexpr int kCdgTileHeight = 12;
inline constexpr int kCdgColumns = kCdgWidth / kCdgTileWidth;  // 50
inline constexpr int kCdgRows = kCdgHeight / kCdgTileHeight;   // 18
inline constexpr int kCdgVisibleWidth = 288;
inline constexpr int kCdgVisibleHeight = 192;
inline constexpr int kCdgColours = 16;
inline constexpr uint8_t kCdgMode = 0x09;  // mode 1 (graphics), item 1 (TV graphics)

enum CdgInstruction : uint8_t {
  kCdgMemoryPreset = 1,
  kCdgBorderPreset = 2,
  kCdgTileBlock = 6,
  kCdgScrollPreset = 20,
  kCdgScrollCopy = 24,
  kCdgTransparentColour = 28,
  kCdgLoadColoursLow = 30,
  kCdgLoadColoursHigh = 31,
  kCdgTileBlockXor = 38,
};

// Scroll commands of the scroll instructions (bits 5-4 of their horizontal and vertical
// symbols): the memory moves one tile (6 pixels right or left, 12 down or up).
enum CdgScrollCommand : int {
  kCdgScrollNone = 0,
  kCdgScrollRightOrDown = 1,
  kCdgScrollLeftOrUp = 2,
};

// What the disc has drawn so far.
struct CdgScreen {
  uint8_t pixels[kCdgHeight][kCdgWidth] = {};  // colour indices
  uint16_t colours[kCdgColours] = {};          // 0x0RGB, 4 bits each
  int32_t hOffset = 0;                         // 0..5
  int32_t vOffset = 0;                         // 0..11
  int32_t transparent = -1;                    // colour index, -1 for none
};

struct CdgDecoder {
  CdgScreen screen;
  int64_t packs = 0;    // packs seen
  int64_t applied = 0;  // graphics instructions carried out
};

// Back to a screen of colour 0 everywhere, every colour black, no offsets, nothing transparent.
void ResetCdgDecoder(CdgDecoder* decoder);
// Carries out one 24-byte pack (only the six low bits of each byte count). True when it was a
// graphics instruction that was carried out.
bool DecodeCdgPack(CdgDecoder* decoder, const uint8_t* pack);
// Carries out `count` packs in a row.
void DecodeCdgPacks(CdgDecoder* decoder, const uint8_t* packs, size_t count);

// A colour table entry as 0xAARRGGBB: each 4-bit component times 17, alpha 0 for the
// transparent colour, else 255.
uint32_t CdgArgb(const CdgScreen& screen, int index);
// The shown 288 x 192 area, row by row, as 0xAARRGGBB; or one row y of it (288 pixels).
void CdgVisibleArgb(const CdgScreen& screen, uint32_t* out);
void CdgVisibleArgbRow(const CdgScreen& screen, int y, uint32_t* out);
// The colour index shown at (x, y) of the visible area.
int CdgVisibleIndex(const CdgScreen& screen, int x, int y);

// The screen after the first `position` packs of a stream (packs past its end count as
// nothing drawn).
void RenderCdgAt(const uint8_t* packs, size_t packCount, int64_t position, CdgScreen* out);
