// A window loop for tests: the thread that creates it becomes the window thread, with the
// window-thread check on; calls other threads post wait in a queue until the test pumps it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/sync/window_thread.h"

class TestWindowLoop {
 public:
  TestWindowLoop() {
    MarkWindowThread();
    SetWindowThreadCheck(true);
    SetWindowPoster([this](std::function<void()> call) {
      std::lock_guard<std::mutex> guard(lock_);
      queue_.push_back(std::move(call));
      posted_.notify_one();
    });
  }
  ~TestWindowLoop() {
    SetWindowPoster(nullptr);
    UnmarkWindowThread();
    std::lock_guard<std::mutex> guard(lock_);
    queue_.clear();
  }
  TestWindowLoop(const TestWindowLoop&) = delete;
  TestWindowLoop& operator=(const TestWindowLoop&) = delete;

  // Runs posted calls until done() holds; false after 60 s.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
      RunPosted();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > limit) return false;
      std::unique_lock<std::mutex> guard(lock_);
      posted_.wait_for(guard, std::chrono::milliseconds(2), [this] { return !queue_.empty(); });
    }
  }
  // Runs what has been posted so far.
  void RunPosted() {
    for (;;) {
      std::function<void()> call;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (queue_.empty()) return;
        call = std::move(queue_.front());
        queue_.pop_front();
      }
      call();
    }
  }

 private:
  std::mutex lock_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};
