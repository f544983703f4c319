// The command interface between the CD player and the digital audio stream. CDDA_PLAY starts
// the reader thread for a play; the stop, pause and restart commands raise the reader's stop
// flag and wake it; CDDA_KILL is the reader's own acknowledgement on its stop path. No command
// waits for the stream except CDDA_PLAY, which first lets a reader that is still stopping end.
//
// The stream reports to the main window through posted messages (the audio and reader threads
// never draw): the window thread hands each one to CddaHandleWindowMessage.
#pragma once

#include <functional>

#include "audio/cdda_consumer.h"

enum CddaCommand : int {
  CDDA_PLAY = 1,
  CDDA_STOP = 2,
  CDDA_KILL = 3,
  CDDA_STOP_THEN_RESTART = 4,
  CDDA_PAUSE = 5,
};

// Starts, stops, pauses or restarts the stream. Any other value does nothing. The result
// carries nothing the callers use.
int CDDAManager(void* window, int command);

// Waits until the reader thread of the last play has ended (program end, tools, tests).
void CddaJoinReader();
// Stops the stream (if any) and waits for the reader to end.
void CddaShutdown(void* window);

// Messages the stream posts to the main window. The audio and reader threads post them through
// RunOnWindowThread (platform/sync/window_thread.h); the window thread handles each one.
enum CddaWindowMessage : int {
  kCddaPositionTimer = 10,   // timer id 10: the position slider follows readerPositionSeconds
  kCddaReadErrorText = 11,   // the title line shows "CD read error"
  kCddaTrackLineStale = 12,  // the track line is drawn again at the next tick
};
// Window thread: what a posted message does.
void CddaHandleWindowMessage(void* window, int message);

// Stand-in for the stream: while one is installed, every command goes to it (on the sender's
// thread) instead of the reader and the ring. The player's own tests use it. nullptr removes it.
using CddaCommandObserver = std::function<void(void* window, int command)>;
void SetCddaCommandObserver(CddaCommandObserver observer);
// Tests: runs between a restart's stop and its request (CDDA_STOP_THEN_RESTART), on the
// sender's thread, to hold the two apart. nullptr removes it.
using CddaRestartGate = void (*)();
void SetCddaRestartGate(CddaRestartGate gate);
