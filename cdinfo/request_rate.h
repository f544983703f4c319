// Spacing of the requests sent to a web service that allows so many per second. The clock is
// an interface so that tests can run the waits on a clock of their own and never sleep.
#pragma once

#include <chrono>
#include <mutex>

class RateClock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~RateClock() = default;
  virtual TimePoint Now() = 0;
  virtual void SleepUntil(TimePoint when) = 0;
};

// The steady clock and a real sleep.
RateClock& SystemRateClock();

class RequestRateLimiter {
 public:
  explicit RequestRateLimiter(std::chrono::milliseconds interval) : interval_(interval) {}

  // nullptr: the system clock.
  void SetClock(RateClock* clock);
  // Waits until the next request may go, and books that moment: requests from several threads
  // leave one interval apart.
  void WaitTurn();
  // The service asked for a pause: no request before now + delay.
  void Defer(std::chrono::milliseconds delay);

 private:
  RateClock& Clock();

  const std::chrono::milliseconds interval_;
  std::mutex lock_;
  RateClock* clock_ = nullptr;
  RateClock::TimePoint next_{};
};
