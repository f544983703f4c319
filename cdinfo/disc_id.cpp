#include "cdinfo/disc_id.h"

#include <cstdio>

namespace {

int DigitSum(int value) {
  int sum = 0;
  for (; value > 0; value /= 10) sum += value % 10;
  return sum;
}

}  // namespace

uint32_t DiscIdValue(int trackCount, const uint32_t* positions, const uint32_t* lengths) {
  if (trackCount <= 0) return 0;
  const int last = trackCount - 1;
  const uint32_t leadOut = cdinfo::FramesToMsf(cdinfo::MsfToFrames(positions[last]) +
                                               cdinfo::MsfToFrames(lengths[last]));
  uint32_t checksum = 0;
  uint32_t total = 0;
  for (int i = 0; i < trackCount; ++i) {
    const uint32_t next = i + 1 < trackCount ? positions[i + 1] : leadOut;
    checksum += static_cast<uint32_t>(DigitSum(cdinfo::MsfToSeconds(positions[i])));
    total += static_cast<uint32_t>(cdinfo::MsfToSeconds(next) - cdinfo::MsfToSeconds(positions[i]));
  }
  // Modulus 255 is what the CDDB protocol defines.
  return ((checksum % 255) << 24) | (total << 8) | static_cast<uint32_t>(trackCount);
}

uint32_t ComputeDiscId(int trackCount, const uint32_t* positions, const uint32_t* lengths,
                       char* discIdOut) {
  const uint32_t id = DiscIdValue(trackCount, positions, lengths);
  std::snprintf(discIdOut, kDiscIdChars + 1, "%08x", id);
  if (trackCount <= 0) return 0;
  const int last = trackCount - 1;
  return cdinfo::FramesToMsf(cdinfo::MsfToFrames(positions[last]) +
                             cdinfo::MsfToFrames(lengths[last]));
}
