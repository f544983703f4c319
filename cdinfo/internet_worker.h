// The one Internet worker: CDDB lookups, the CDDB server-list update and lyrics fetches share
// the HTTP client's answer buffer and the CD information file, so at most one of them runs at
// a time, on a short-lived thread of its own.
#pragma once

#include <cstdint>
#include <functional>

// Claims the HTTP client and runs work on a new detached thread (on the calling thread when no
// thread can be started, after tracing failureTrace). While another worker runs, traces
// "<name>: the Internet connection is busy; ignored\n" and returns false.
bool StartInternetWorker(const char* name, const char* failureTrace, std::function<void()> work);

// True on the thread of a running worker: work chained after a lookup runs there directly.
bool OnInternetWorker();

// Waits until no worker runs; false on time-out.
bool WaitForInternetWorker(uint32_t timeoutMs);

// True while a worker runs (the window offers no Internet command meanwhile).
bool InternetWorkerBusy();
