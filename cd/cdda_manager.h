// The command interface between the CD player and the digital audio stream. The player sends
// its transport commands here; the stream side (the reader thread and the ring consumer of
// the audio engine) acts on them. Until the stream side is connected, a command only reaches
// an observer when one is installed.
#pragma once

#include <functional>

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
// Sets the consumer's read offset back to the start of the slot (a new range starts).
void CddaResetConsumer();

// Observer of every command, called on the sender's thread (tests stand in for the reader
// with it). Pass nullptr to remove it.
using CddaCommandObserver = std::function<void(void* window, int command)>;
void SetCddaCommandObserver(CddaCommandObserver observer);
