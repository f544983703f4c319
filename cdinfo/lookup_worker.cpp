#include "cdinfo/lookup_worker.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "cdinfo/http_client.h"
#include "diagnostics/diagnostics.h"

namespace {

// Whether a lookup thread runs. Claiming the HTTP client and marking the worker as running
// happen under one lock, as do releasing and clearing, so a waiter never sees a worker as
// finished while the next one is starting.
struct Workers {
  std::mutex lock;
  std::condition_variable changed;
  bool running = false;
};

// Never destroyed: a detached worker may still be leaving it when the program exits.
Workers& WorkerState() {
  static Workers& workers = *new Workers;
  return workers;
}

thread_local bool onWorker = false;

void Run(const std::function<void()>& work) {
  onWorker = true;
  work();
  onWorker = false;
  Workers& workers = WorkerState();
  std::lock_guard<std::mutex> guard(workers.lock);
  ReleaseHttpClient();
  workers.running = false;
  workers.changed.notify_all();
}

void* WorkerThread(void* argument) {
  auto* work = static_cast<std::function<void()>*>(argument);
  Run(*work);
  delete work;
  return nullptr;
}

}  // namespace

bool StartLookupWorker(const char* caller, const char* failureTrace, std::function<void()> work) {
  Workers& workers = WorkerState();
  {
    std::lock_guard<std::mutex> guard(workers.lock);
    if (!ClaimHttpClient()) {
      Trace("%s: the Internet connection is busy; ignored\n", caller);
      return false;
    }
    workers.running = true;
  }
  auto* order = new std::function<void()>(std::move(work));
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  pthread_t thread;
  const int created = pthread_create(&thread, &attributes, WorkerThread, order);
  pthread_attr_destroy(&attributes);
  if (created != 0) {
    Trace("%s", failureTrace);
    Run(*order);
    delete order;
  }
  return true;
}

bool LookupWorkerBusy() {
  Workers& workers = WorkerState();
  std::lock_guard<std::mutex> guard(workers.lock);
  return workers.running;
}

bool OnLookupWorker() {
  return onWorker;
}

bool WaitForLookupWorkers(uint32_t timeoutMs) {
  Workers& workers = WorkerState();
  std::unique_lock<std::mutex> guard(workers.lock);
  return workers.changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                                  [&] { return !workers.running; });
}
