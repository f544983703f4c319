// Event: the OS event object the audio and CD threads hand over with.
//
// Auto-reset events release one waiter and clear themselves; manual-reset events stay set
// until Reset. Wait results use the platform's values (see WaitResultName in diagnostics).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "diagnostics/diagnostics.h"  // WaitResult values

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class Event {
 public:
  enum class Reset { kAuto, kManual };

  explicit Event(Reset mode = Reset::kAuto, bool initiallySet = false);
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  bool Set();
  bool ResetEvent();
  // Waits up to timeoutMs (kInfinite: no time-out). Returns kWaitObject0 when the event was
  // set (an auto-reset event is cleared again) or kWaitTimeout.
  int Wait(uint32_t timeoutMs = kInfinite);
  bool IsSet() const;

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  const bool manual_;
  bool set_;
};

// A thread held at one point until let go: the held thread calls Pass (it has arrived, and
// waits for Open); another thread waits for the arrival with WaitReached.
class PassGate {
 public:
  void Pass() {
    reached_.Set();
    open_.Wait();
  }
  bool WaitReached(uint32_t timeoutMs = kInfinite) {
    return reached_.Wait(timeoutMs) == kWaitObject0;
  }
  void Open() { open_.Set(); }

 private:
  Event reached_{Event::Reset::kManual};
  Event open_{Event::Reset::kManual};
};
