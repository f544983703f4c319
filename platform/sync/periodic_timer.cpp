#include "platform/sync/periodic_timer.h"

#include <chrono>

namespace {
std::atomic<uint32_t> nextTimerId{1};
}

PeriodicTimer::~PeriodicTimer() { Kill(); }

uint32_t PeriodicTimer::Start(uint32_t periodMs, Callback callback) {
  if (periodMs == 0 || !callback) return 0;
  if (OnTimerThread()) return 0;
  Kill();
  uint32_t id = nextTimerId.fetch_add(1);
  if (id == 0) id = nextTimerId.fetch_add(1);
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = false;
    callback_ = std::move(callback);
  }
  id_.store(id, std::memory_order_release);
  running_.store(true, std::memory_order_release);
  thread_ = std::thread(&PeriodicTimer::Run, this, periodMs, id);
  return id;
}

void PeriodicTimer::Kill() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
  }
  wake_.notify_all();
  // Killed from its own callback, the loop ends when the callback returns; the thread is
  // joined by the next Kill, Start or the destructor on another thread.
  if (!OnTimerThread() && thread_.joinable()) {
    thread_.join();
    timerThread_.store(std::thread::id(), std::memory_order_release);
  }
  running_.store(false, std::memory_order_release);
}

bool PeriodicTimer::OnTimerThread() const {
  return timerThread_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void PeriodicTimer::Run(uint32_t periodMs, uint32_t id) {
  timerThread_.store(std::this_thread::get_id(), std::memory_order_release);
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::milliseconds(periodMs);
  auto due = Clock::now() + period;
  std::unique_lock<std::mutex> guard(lock_);
  Callback callback = callback_;
  for (;;) {
    if (wake_.wait_until(guard, due, [this] { return stop_; })) return;
    guard.unlock();
    callback(id);
    guard.lock();
    if (stop_) return;
    // Ticks missed while the callback ran are dropped, not queued.
    due += period;
    auto now = Clock::now();
    if (due <= now) due = now + period - (now - due) % period;
  }
}
