#include "cdinfo/request_rate.h"

#include <algorithm>
#include <thread>

namespace {

class SteadyClock : public RateClock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void SleepUntil(TimePoint when) override { std::this_thread::sleep_until(when); }
};

}  // namespace

RateClock& SystemRateClock() {
  static SteadyClock clock;
  return clock;
}

void RequestRateLimiter::SetClock(RateClock* clock) {
  std::lock_guard<std::mutex> guard(lock_);
  clock_ = clock;
  next_ = {};
}

RateClock& RequestRateLimiter::Clock() {
  return clock_ ? *clock_ : SystemRateClock();
}

void RequestRateLimiter::WaitTurn() {
  RateClock* clock;
  RateClock::TimePoint slot;
  {
    std::lock_guard<std::mutex> guard(lock_);
    clock = &Clock();
    slot = std::max(clock->Now(), next_);
    next_ = slot + interval_;
  }
  clock->SleepUntil(slot);
}

void RequestRateLimiter::Defer(std::chrono::milliseconds delay) {
  std::lock_guard<std::mutex> guard(lock_);
  next_ = std::max(next_, Clock().Now() + delay);
}
