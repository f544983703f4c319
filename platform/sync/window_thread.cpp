#include "platform/sync/window_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "diagnostics/diagnostics.h"

namespace {

struct WindowThreadState {
  std::atomic<bool> marked{false};
  std::thread::id id;  // written once by MarkWindowThread before other threads ask
  std::mutex posterLock;
  WindowPoster poster;
  std::atomic<int> check{-1};  // -1: not decided yet
};
WindowThreadState windowThread;

bool CheckingOn() {
  int on = windowThread.check.load(std::memory_order_relaxed);
  if (on < 0) {
#ifdef NDEBUG
    const char* env = std::getenv("SORN_CHECK_WINDOW_THREAD");
    on = env && env[0] == '1' ? 1 : 0;
#else
    on = 1;
#endif
    windowThread.check.store(on, std::memory_order_relaxed);
  }
  return on == 1;
}

}  // namespace

void MarkWindowThread() {
  windowThread.id = std::this_thread::get_id();
  windowThread.marked.store(true, std::memory_order_release);
}

void UnmarkWindowThread() {
  windowThread.marked.store(false, std::memory_order_release);
}

bool OnWindowThread() {
  if (!windowThread.marked.load(std::memory_order_acquire)) return false;
  return std::this_thread::get_id() == windowThread.id;
}

void SetWindowPoster(WindowPoster poster) {
  std::lock_guard<std::mutex> guard(windowThread.posterLock);
  windowThread.poster = std::move(poster);
}

void RunOnWindowThread(std::function<void()> call) {
  if (!call) return;
  if (!windowThread.marked.load(std::memory_order_acquire) || OnWindowThread()) {
    call();
    return;
  }
  WindowPoster poster;
  {
    std::lock_guard<std::mutex> guard(windowThread.posterLock);
    poster = windowThread.poster;
  }
  if (!poster) {
    Trace("RunOnWindowThread: no window loop to post to; call dropped\n");
    return;
  }
  poster(std::move(call));
}

bool CallOnWindowThread(std::function<void()> call) {
  if (!call) return true;
  struct Completion {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool ran = false;
  };
  // Ends the wait when the posted call is destroyed, whether it ran or was discarded.
  struct Finisher {
    explicit Finisher(std::shared_ptr<Completion> c) : completion(std::move(c)) {}
    std::shared_ptr<Completion> completion;
    ~Finisher() {
      std::lock_guard<std::mutex> guard(completion->lock);
      completion->finished = true;
      completion->done.notify_all();
    }
  };
  auto completion = std::make_shared<Completion>();
  {
    auto finisher = std::make_shared<Finisher>(completion);
    RunOnWindowThread([finisher, call = std::move(call)] {
      call();
      std::lock_guard<std::mutex> guard(finisher->completion->lock);
      finisher->completion->ran = true;
    });
  }
  std::unique_lock<std::mutex> guard(completion->lock);
  completion->done.wait(guard, [&] { return completion->finished; });
  return completion->ran;
}

void CheckWindowThread(const char* where) {
  if (!CheckingOn() || !windowThread.marked.load(std::memory_order_acquire) || OnWindowThread())
    return;
  Trace("%s: display call off the window thread\n", where);
  std::abort();
}

void SetWindowThreadCheck(bool on) {
  windowThread.check.store(on ? 1 : 0);
}
