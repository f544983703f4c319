#include "platform/sync/event.h"

#include <chrono>


Event::Event(Reset mode, bool initiallySet) : manual_(mode == Reset::kManual), set_(initiallySet) {}

bool Event::Set() {
  // Notified under the lock: a waiter that wakes may destroy the event at once.
  std::lock_guard<std::mutex> guard(lock_);
  set_ = true;
  if (manual_)
    changed_.notify_all();
  else
    changed_.notify_one();
  return true;
}

bool Event::ResetEvent() {
  std::lock_guard<std::mutex> guard(lock_);
  set_ = false;
  return true;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> guard(lock_);
  return set_;
}

int Event::Wait(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> guard(lock_);
  auto isSet = [this] { return set_; };
  if (timeoutMs == kInfinite) {
    changed_.wait(guard, isSet);
  } else if (!changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), isSet)) {
    return kWaitTimeout;
  }
  if (!manual_) set_ = false;
  return kWaitObject0;
}
