// Periodic timer thread with the multimedia timer's semantics: the callback runs on the
// timer's own thread every period; a tick that comes while the callback still runs is
// dropped (no overlap, no backlog); Kill stops it and waits for a running callback to end
// (unless called from inside the callback itself).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class PeriodicTimer {
 public:
  using Callback = std::function<void(uint32_t id)>;

  PeriodicTimer() = default;
  ~PeriodicTimer();
  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

  // Starts (or restarts) the timer. Returns a non-zero timer id, or 0 for a period of 0, a
  // missing callback, or a call from the timer's own callback.
  uint32_t Start(uint32_t periodMs, Callback callback);
  // Stops the timer. Safe to call when stopped, and from the callback itself.
  void Kill();
  bool Running() const { return running_.load(std::memory_order_acquire); }
  uint32_t Id() const { return id_.load(std::memory_order_acquire); }

 private:
  void Run(uint32_t periodMs, uint32_t id);
  bool OnTimerThread() const;

  std::thread thread_;
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  Callback callback_;
  std::atomic<bool> running_{false};
  std::atomic<uint32_t> id_{0};
  std::atomic<std::thread::id> timerThread_{};  // set by the timer thread before any callback
};
