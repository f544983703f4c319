#include "audio/sample_format.h"

#include <cstdlib>
#include <cstring>

void sndCompleteWaveFormatEx(WAVEFORMATEX* format) {
  format->nBlockAlign = static_cast<uint16_t>(format->nChannels * format->wBitsPerSample / 8);
  format->nAvgBytesPerSec = format->nBlockAlign * format->nSamplesPerSec;
}

int AllocateEngineBuffer(EngineBuffer* buffer, int floats) {
  FreeEngineBuffer(buffer);
  if (floats < 0) return 0;
  const size_t bytes = static_cast<size_t>(floats) * sizeof(float) + 3 * kEngineBufferAlignment;
  void* raw = std::malloc(bytes);
  if (!raw) return 0;
  const uintptr_t aligned =
      (reinterpret_cast<uintptr_t>(raw) & ~uintptr_t{kEngineBufferAlignment - 1}) +
      kEngineBufferAlignment;
  buffer->raw = raw;
  buffer->data = reinterpret_cast<float*>(aligned);
  buffer->floats = floats;
  std::memset(buffer->data, 0, static_cast<size_t>(floats) * sizeof(float));
  return 1;
}

void FreeEngineBuffer(EngineBuffer* buffer) {
  std::free(buffer->raw);
  *buffer = EngineBuffer{};
}
