// Test helpers around the CD ring: putting the ring back to its start, and a stand-in for the
// streaming thread that runs the real consumer and the real stop hand-over.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

// Empties the ring and puts every index, flag and run number back to its start.
void ResetRingForTest();

// Stands in for the streaming thread: once per 4096-frame "block" it runs the stop hand-over
// (cdDataReady fell to 0: CddaStreamDrained) and, while streaming, pulls 16 sub-blocks of 256
// frames through WriteCdDataToFloat1. Before each sub-block it waits until the reader is two
// slots ahead or has read its whole range, so a test thread that is quicker than the reader does
// not turn into underruns. Each stretch of streaming is kept as one segment of interleaved
// samples.
class StreamStandIn {
 public:
  // blockPauseMicros: how long to rest after each block (0: as fast as the reader allows).
  explicit StreamStandIn(int blockPauseMicros = 0);
  ~StreamStandIn();
  void Stop();

  std::vector<std::vector<int16_t>> Segments();
  int64_t FramesSoFar();
  int HandOvers() const { return handOvers_.load(); }
  int MaxRingFill() const { return maxFill_.load(); }

 private:
  void Run();
  void WaitForData();

  const int blockPauseMicros_;
  std::atomic<bool> running_{true};
  std::atomic<int> handOvers_{0};
  std::atomic<int> maxFill_{0};
  std::mutex lock_;
  std::vector<std::vector<int16_t>> segments_;
  int64_t frames_ = 0;
  std::thread thread_;
};
