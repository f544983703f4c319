// The consumer side of the CD ring (audio/cdda_ring.h): the processing block pulls the CD's
// music through these calls while digital CD streaming is on. Everything here runs on the
// audio thread, never blocks and never allocates.
#pragma once

#include <cstdint>

// Fills channels[0] and channels[1] with bytes / 4 frames of the CD stream (16-bit stereo, 4
// bytes a frame), walking as many ring slots as the request spans. Every frame the ring cannot
// deliver is zeroed: the ring running empty while the reader still reads is an underrun
// (silence until data arrives, with "CD read error" shown when the last read failed); running
// empty once the reader has read its whole range ends the run (ringDrained, cdDataReady 0).
// Reports the position in whole seconds to the player as it changes, and hands the CD+G packs
// of the audio delivered to the sub-channel sink when one is installed.
void WriteCdDataToFloat1(float* const channels[2], int bytes);

// Byte position of the next frame to deliver within the current track.
int64_t CddaStreamBytePosition();

// The read offset goes back to the start of the slot (a new range starts). Only while the
// consumer is out of the ring.
void CddaResetConsumer();

// The ring's ready flag (cdDataReady): the reader raises it when a run may start playing, a stop
// lowers it; the consumer plays the ring only while it is up. Any thread.
void CddaSetDataReady(bool ready);
bool CddaDataReady();
