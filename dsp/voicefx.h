// Voice effect chain: the processor that turns the microphone into the sung voice heard over
// the music, selected by a preset number.
//
// The effect processors are not part of the library yet: apart from bypass (silence, result
// 1), ComputeVoiceFX produces nothing (result 0), which is how the chain behaves for presets
// without an output path. The processing block already calls it on every microphone
// sub-block.
#pragma once

#include <atomic>
#include <cstdint>

struct VoiceFX {
  // Written by the window thread (the microphone panel), read by the audio thread.
  std::atomic<int32_t> presetNumber{1};  // 1..20; 1-4 are the reverb presets
  std::atomic<int32_t> bypass{0};        // effects off: output silence
};

// in[0] is the microphone, in[1] scratch; out receives the stereo effect output. Returns 1 when
// out holds output for the caller to mix, 0 when nothing was produced.
int ComputeVoiceFX(float* const in[2], float* const out[2], int length, VoiceFX* record);
