// The window thread: the one thread that touches windows and widgets. Reader, streaming, timer
// and worker threads hand it their display calls through RunOnWindowThread; the program
// installs a poster that queues a call on its event loop.
#pragma once

#include <functional>

// The thread that runs the window loop calls this once, before any window exists.
void MarkWindowThread();
bool OnWindowThread();
// Tests: no thread is the window thread any more (calls run where they are made again).
void UnmarkWindowThread();

// Queues a call to run on the window thread. The program installs one (a queued call on its
// event loop); tests install their own. nullptr removes it.
using WindowPoster = std::function<void(std::function<void()>)>;
void SetWindowPoster(WindowPoster poster);

// Runs the call at once when called on the window thread (or before one is marked), else hands
// it to the poster. Without a poster the call is dropped with a trace line.
void RunOnWindowThread(std::function<void()> call);
// The same, but waits until the call has run on the window thread (a dialog a worker needs the
// answer of). False when it was dropped unrun (no poster, or the loop discarded it).
bool CallOnWindowThread(std::function<void()> call);

// Display entry points call this. When checking is on, a call off the window thread prints
// "<where>: display call off the window thread\n" and aborts. Checking is on in debug builds
// and whenever SORN_CHECK_WINDOW_THREAD=1 (every test run sets it); off in a release run.
void CheckWindowThread(const char* where);
// Tests switch the check on or off regardless of the build and environment.
void SetWindowThreadCheck(bool on);
