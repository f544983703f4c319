// Whether another thread of this process is asleep in the kernel (waiting on a lock, a
// condition or an event), read from /proc: lets a test show that a waiter really blocked.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

inline pid_t CurrentThreadId() {
  return gettid();
}

// The scheduler state of a thread of this process ('R' running, 'S' asleep, ...), or 0.
inline char ThreadState(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const size_t close = text.rfind(')');  // the name in brackets may hold blanks
  return close != std::string::npos && close + 2 < text.size() ? text[close + 2] : 0;
}

// Waits until the thread is asleep in the kernel; false after 10 s.
inline bool WaitUntilAsleep(pid_t tid) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (ThreadState(tid) != 'S') {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::yield();
  }
  return true;
}

// Runs call on a thread of its own and returns once that thread is asleep in the kernel (inside
// the call, when the call blocks); *asleep says whether it got there within 10 s.
inline std::thread StartAndWaitUntilAsleep(std::function<void()> call, bool* asleep) {
  std::atomic<pid_t> tid{0};
  std::thread thread([&tid, call = std::move(call)] {
    tid = CurrentThreadId();  // the starter reads it before it returns
    call();
  });
  while (tid.load() == 0) std::this_thread::yield();
  *asleep = WaitUntilAsleep(tid.load());
  return thread;
}
