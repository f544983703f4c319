// The one way out: AppCleanThePipes stops the CD and the sound engine, saves the settings and
// releases the window's parts in a fixed order. The termination signals (SIGINT, SIGTERM,
// SIGHUP) are carried through a pipe into the event loop, where the clean-up runs once and the
// process ends with 0; a call after a completed clean-up ends the process at once.
#pragma once

class MainWindow;

inline constexpr int kCleanUpCdWaitMs = 1000;

void AppCleanThePipes(MainWindow* window);
// Installs the signal handlers and the pipe's reader on the window thread.
bool InstallConsoleControlHandler();
// The pause after the CD stops (tests shorten it).
void SetCleanUpCdWait(int milliseconds);
