// Shared pieces of the processing-block benchmarks: the real-time counter and a looping 16-bit
// stereo music source standing in for the CD ring.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "dsp/kernels.h"

namespace bench {

inline constexpr double kRate = 44100.0;
inline constexpr int kBlockFrames = 4096;

// x_realtime: seconds of sound processed per second of CPU.
inline void ReportRealtime(benchmark::State& state, int framesPerIteration) {
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * framesPerIteration / kRate,
                         benchmark::Counter::kIsRate);
}

// Interleaved 16-bit stereo music played in a loop, converted as the ring consumer does.
inline std::vector<int16_t> musicLoop;
inline size_t musicPosition = 0;

inline void LoopMusicSource(float* const channels[2], int bytes) {
  const int frames = bytes / 4;
  if (musicPosition + frames > musicLoop.size() / 2) musicPosition = 0;
  ComputeStereo16ToFloat(musicLoop.data() + 2 * musicPosition, channels[0], channels[1], frames);
  musicPosition += frames;
}

}  // namespace bench
