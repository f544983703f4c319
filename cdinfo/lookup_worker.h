// The worker threads of the Internet lookups (disc titles, the CDDB server list): one at a
// time, each owning the HTTP client while it runs. A lookup asked for while another runs is
// ignored, as the menu would not offer it.
#pragma once

#include <cstdint>
#include <functional>

// Runs work on a detached thread of its own (on the calling thread when none can be started:
// failureTrace is traced first). False, with "<caller>: the Internet connection is busy;
// ignored" traced, while another lookup runs.
bool StartLookupWorker(const char* caller, const char* failureTrace, std::function<void()> work);
// Waits until no lookup thread runs; false on time-out.
bool WaitForLookupWorkers(uint32_t timeoutMs);
// True while a lookup thread runs (the window offers no Internet command meanwhile).
bool LookupWorkerBusy();
// True on the thread of a running lookup: work chained after it runs there directly.
bool OnLookupWorker();
