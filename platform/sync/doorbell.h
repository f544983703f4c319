// Doorbell: wakes one sleeping thread from a thread that must not block.
//
// Ring() never waits and makes a system call only when the other thread sleeps (one futex
// wake); Wait() sleeps until a ring or a time-out. A ring while nobody waits is kept for the
// next Wait. One thread waits; any thread may ring.
#pragma once

#include <atomic>
#include <cstdint>

class Doorbell {
 public:
  void Ring();
  // True when rung (the ring is taken), false on time-out.
  bool Wait(uint32_t timeoutMs);

 private:
  std::atomic<uint32_t> rung_{0};
  std::atomic<uint32_t> sleeping_{0};
};
