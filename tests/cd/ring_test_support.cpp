#include "tests/cd/ring_test_support.h"

#include <chrono>
#include <cstring>

#include "audio/cdda_consumer.h"
#include "audio/cdda_ring.h"
#include "audio/sound_block.h"
#include "cd/cd_reader.h"

void ResetRingForTest() {
  CddaRingState& r = cddaRing;
  for (int slot = 0; slot < kRingSlots; ++slot) {
    std::memset(r.data[slot], 0, kRingSlotBytes);
    r.slotByteOffset[slot] = 0;
    r.slotData[slot] = 0;
    r.slotLength[slot] = 0;
  }
  r.producerSlot = 0;
  r.consumerSlot = 0;
  r.resumeMark = -1;
  r.draining = 0;
  r.readError = 0;
  r.consumerOffset = 0;
  r.underrun = 0;
  r.ringDrained = 0;
  r.lastPostedSecond = 0;
  r.lastPosition = 0;
  r.runSerial = 0;
  r.consumerRun = -1;
  r.drainedRun = -1;
  r.slotFreeEvent.Set();
  r.drainedEvent.ResetEvent();
  soundBlock.cdDataReady = 0;
}

StreamStandIn::StreamStandIn(int blockPauseMicros)
    : blockPauseMicros_(blockPauseMicros), thread_([this] { Run(); }) {}

StreamStandIn::~StreamStandIn() {
  Stop();
}

void StreamStandIn::Stop() {
  running_ = false;
  if (thread_.joinable()) thread_.join();
}

std::vector<std::vector<int16_t>> StreamStandIn::Segments() {
  std::lock_guard<std::mutex> guard(lock_);
  return segments_;
}

int64_t StreamStandIn::FramesSoFar() {
  std::lock_guard<std::mutex> guard(lock_);
  return frames_;
}

void StreamStandIn::WaitForData() {
  CddaRingState& r = cddaRing;
  for (;;) {
    const int fill = (r.producerSlot.load() - r.consumerSlot.load() + kRingSlots) % kRingSlots;
    if (fill > maxFill_.load()) maxFill_ = fill;
    if (!running_ || fill >= 2 || r.draining.load() || !soundBlock.cdDataReady.load()) return;
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

void StreamStandIn::Run() {
  float left[256], right[256];
  float* const channels[2] = {left, right};
  int wasStreaming = 0;
  while (running_) {
    const int cdActive = soundBlock.cdDataReady.load(std::memory_order_acquire);
    if (cdActive && !wasStreaming) {
      wasStreaming = 1;
      std::lock_guard<std::mutex> guard(lock_);
      segments_.emplace_back();
    }
    if (!cdActive && wasStreaming) {
      wasStreaming = 0;
      CddaStreamDrained();
      ++handOvers_;
    }
    if (!cdActive) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      continue;
    }
    for (int sub = 0; sub < 16; ++sub) {
      WaitForData();
      WriteCdDataToFloat1(channels, 1024);
      std::lock_guard<std::mutex> guard(lock_);
      std::vector<int16_t>& segment = segments_.back();
      for (int i = 0; i < 256; ++i) {
        segment.push_back(static_cast<int16_t>(left[i]));
        segment.push_back(static_cast<int16_t>(right[i]));
      }
      frames_ += 256;
    }
    if (blockPauseMicros_ > 0)
      std::this_thread::sleep_for(std::chrono::microseconds(blockPauseMicros_));
  }
}
