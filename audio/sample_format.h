// How sound is represented inside the engine and at its edges.
//
// Inside: one float array per channel, never interleaved, in 16-bit scale (a 16-bit sample s
// is the float s; full scale +-32768). Signals may exceed full scale between steps; clipping
// happens only on conversion back to integers (dsp/kernels.h has the conversion kernels and
// their exact rounding and clipping rules).
//
// Edges: the sound card's interleaved 16-bit stereo (8-bit unsigned as an input fallback),
// the CD's interleaved 16-bit stereo, and mono 16-bit voice files at 22,050 Hz.
#pragma once

#include <cstdint>

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

// The PCM wave-format descriptor.
struct WAVEFORMATEX {
  uint16_t wFormatTag = WAVE_FORMAT_PCM;
  uint16_t nChannels = 2;
  uint32_t nSamplesPerSec = 44100;
  uint32_t nAvgBytesPerSec = 0;  // nBlockAlign * nSamplesPerSec
  uint16_t nBlockAlign = 0;      // nChannels * wBitsPerSample / 8
  uint16_t wBitsPerSample = 16;
  uint16_t cbSize = 0;
};

// Computes nBlockAlign, then nAvgBytesPerSec, from the other fields.
void sndCompleteWaveFormatEx(WAVEFORMATEX* format);

// A 128-byte-aligned float array of the engine: n x 4 + 384 bytes are allocated and the
// address rounded down to a multiple of 128, plus 128, is used. The raw pointer is kept for
// freeing. Block kernels may rely on the alignment.
struct EngineBuffer {
  void* raw = nullptr;
  float* data = nullptr;
  int floats = 0;
};

inline constexpr int kEngineBufferAlignment = 128;

// Allocates and zeroes; returns 1, or 0 (buffer left empty) when memory is short.
int AllocateEngineBuffer(EngineBuffer* buffer, int floats);
void FreeEngineBuffer(EngineBuffer* buffer);
