// The disc's layout as the player reads it from the drive, and the CDDB disc id computed from
// it. The id names the disc's CD information file and is the key of a CDDB lookup.
#pragma once

#include <cstdint>

#include "cdinfo/titles.h"

// Packed MSF: minutes in the low byte, seconds in the second byte, frames (1/75 s) in the third.
// (In a namespace of their own: the CD platform layer has helpers of the same names.)
namespace cdinfo {
constexpr uint32_t PackMsf(int minutes, int seconds, int frames) {
  return (static_cast<uint32_t>(minutes) & 0xFFu) |
         ((static_cast<uint32_t>(seconds) & 0xFFu) << 8) |
         ((static_cast<uint32_t>(frames) & 0xFFu) << 16);
}
constexpr int MsfMinutes(uint32_t msf) {
  return static_cast<int>(msf & 0xFFu);
}
constexpr int MsfSeconds(uint32_t msf) {
  return static_cast<int>((msf >> 8) & 0xFFu);
}
constexpr int MsfFrames(uint32_t msf) {
  return static_cast<int>((msf >> 16) & 0xFFu);
}
// Whole seconds of a position: minutes * 60 + seconds.
constexpr int MsfToSeconds(uint32_t msf) {
  return MsfMinutes(msf) * 60 + MsfSeconds(msf);
}
constexpr int MsfToFrames(uint32_t msf) {
  return MsfToSeconds(msf) * 75 + MsfFrames(msf);
}
constexpr uint32_t FramesToMsf(int frames) {
  return frames < 0 ? 0u : PackMsf(frames / 4500, frames / 75 % 60, frames % 75);
}

}  // namespace cdinfo

// What the player hands over when it has scanned a disc: per track its absolute start
// (including the 2-second lead-in) and its length, both packed MSF, and whether it is a data
// track. Lengths are real track lengths (the player has already corrected drivers that report
// lengths to the disc's end).
struct DiscLayout {
  int trackCount = 0;  // 0..kMaxTitleTracks
  uint32_t position[kMaxTitleTracks] = {};
  uint32_t length[kMaxTitleTracks] = {};
  bool dataTrack[kMaxTitleTracks] = {};
};

inline constexpr int kDiscIdChars = 8;  // "%08x"

// Computes the CDDB disc id of n tracks into discIdOut (8 lower-case hex digits and a NUL) and
// returns the lead-out position (last start + last length) as packed MSF. n <= 0 gives
// "00000000" and lead-out 0.
uint32_t ComputeDiscId(int trackCount, const uint32_t* positions, const uint32_t* lengths,
                       char* discIdOut);
// The same as a number.
uint32_t DiscIdValue(int trackCount, const uint32_t* positions, const uint32_t* lengths);
