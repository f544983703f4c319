// Whether another thread of this process is asleep in the kernel (waiting on a lock, a
// condition or an event), read from /proc: lets a test show that a waiter really blocked.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
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
