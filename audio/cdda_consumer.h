// The consumer side of the CD ring: the processing block pulls the CD's music through these
// calls while digital CD streaming is on.
//
// The ring and its reader are not part of the engine yet: until they are, the ring is always
// empty, so the consumer delivers silence (an empty ring never gives stale data) and the
// stream position stays 0.
#pragma once

#include <cstdint>

// Fills channels[0] and channels[1] with bytes / 4 frames of the CD stream (16-bit stereo, 4
// bytes a frame), zeroing every frame the ring cannot deliver.
void WriteCdDataToFloat1(float* const channels[2], int bytes);

// Byte position of the next frame to deliver within the current track: the start position
// of the current ring slot plus the read offset into it.
int64_t CddaStreamBytePosition();
