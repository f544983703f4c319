// The sub-channel of CD sectors: 96 bytes beside the 2,352 bytes of audio of every sector.
//
// Two forms travel:
//   - raw P-W, as the disc holds it and as drives (READ CD sub-channel selection 1) and
//     CloneCD-style .sub files deliver it: 96 bytes a sector, each byte one bit of every
//     channel (P in bit 7, Q in bit 6, R..W in bits 5..0). The R-W symbols are interleaved:
//     packs are spread over eight packs of the stream, three symbol pairs swapped;
//   - packs, the de-interleaved R-W form (READ CD sub-channel selection 4, and .cdg files):
//     four packs of 24 six-bit symbols a sector, 300 packs a second. Symbol 0 is the mode and
//     item, 1 the instruction, 2-3 the Q parity over symbols 0-1, 4-19 the data and 20-23 the
//     P parity over the whole pack: Reed-Solomon codes over GF(64) (x^6 + x + 1) whose check
//     rows are the powers 0..r-1 of the primitive element, the last symbol the lowest power.
//
// De-interleaving pack n needs raw symbols up to seven packs further on (the next two
// sectors); where they are missing the pack is incomplete and is not delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr int kSubcodeBytes = 96;  // per sector, in either form
inline constexpr int kPackBytes = 24;
inline constexpr int kPacksPerSector = 4;
inline constexpr int kPacksPerSecond = 300;
inline constexpr uint8_t kSymbolMask = 0x3F;
inline constexpr int kInterleavePacks = 8;  // a pack is spread over this many packs

// Sets the Q parity (symbols 2-3) and the P parity (symbols 20-23) of a pack whose other
// symbols are set (six bits each).
void SetPackParity(uint8_t pack[kPackBytes]);

enum class PackParity {
  kGood,       // both parities check
  kCorrected,  // one wrong symbol was found and mended
  kBad,        // more damage than the parity can mend
};
// Checks a pack's parity and mends a single wrong symbol in place.
PackParity CheckPackParity(uint8_t pack[kPackBytes]);

// Raw symbols (one per raw byte, R-W bits only) to packs. raw holds rawPacks x 24 symbols of
// the stream from some pack on; packs receives the de-interleaved packs at the same positions.
// Returns how many leading packs are complete (rawPacks - 7 when rawPacks > 7, else 0); the
// rest have their missing symbols zero.
size_t DeinterleaveRw(const uint8_t* raw, size_t rawPacks, uint8_t* packs);

// Packs to raw symbols: the inverse of DeinterleaveRw. packs holds packCount packs of the
// stream from some pack on and history the seven packs before them (null: zeros, as at the
// stream's start). The R-W bits of raw are written; its P and Q bits are kept.
void InterleaveRw(const uint8_t* packs, size_t packCount, const uint8_t* history, uint8_t* raw);

// Raw P-W sectors to pack sectors with the parity checked: packs that cannot be mended are
// cleared (a cleared pack does nothing). raw holds sectorCount sectors; the packs of the last
// two need the sectors after them, so only sectorCount - 2 sectors of packs come out (none
// for fewer than three). Counts what it met in *good, *corrected and *bad when not null
// (packs whose symbols are all zero are not counted).
struct ParityCounts {
  int64_t good = 0, corrected = 0, bad = 0;
};
size_t RawToPackSectors(const uint8_t* raw, size_t sectorCount, uint8_t* packs,
                        ParityCounts* counts);

// The Q channel of raw sectors: 12 bytes (96 bits, most significant first) to and from bit 6
// of the 96 raw bytes.
void PutQChannel(uint8_t raw[kSubcodeBytes], const uint8_t q[12]);
void GetQChannel(const uint8_t raw[kSubcodeBytes], uint8_t q[12]);
// A mode-1 position Q block: audio control, track and index, the position within the track
// (negative in the pre-gap, counted down) and on the disc (absolute frames, lead-in
// included), in BCD, with its CRC.
void BuildPositionQ(int track, int index, int32_t trackFrames, int32_t absoluteFrames,
                    uint8_t q[12]);
// The CRC of a Q block (inverted CRC-16/CCITT over its first 10 bytes, in bytes 10-11) holds.
bool QCrcValid(const uint8_t q[12]);
