// Digital audio reading: the selected drive's audio sectors are read in chunks of 26 into the
// CD ring (audio/cdda_ring.h), with jitter removed by overlapping consecutive reads and
// matching the overlap byte for byte, and bytes swapped where the drive delivers big-endian
// samples. In stream mode the ring feeds the audio thread's consumer and the reader moves from
// range to range as its host (the player) says; in rip mode every chunk goes to the WAV writer
// (cd/ripper.h). The play range and the hand-over flags are the player's state (cd/play_state.h).
//
// A track that carries CD+G (its first sectors are probed when a run starts) is streamed with
// READ CD and its R-W sub-channel; the packs travel in the ring beside the audio
// (cd/cdg_stream.h). Every other track is read as before.
//
// The reader runs on the CDDA reader thread the CDDA manager starts for a play (or, for a rip,
// on the caller's thread). Other threads only raise the stop flag through the manager.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/sync/event.h"

enum ReaderMode : int32_t {
  kReaderRip = 0,
  kReaderStream = 1,
  kReaderStop = 2,
  kReaderPause = 5,
};

inline constexpr int kSectorsPerRead = 26;
inline constexpr int kMaxJitterSectors = 3;
inline constexpr int kJitterCompareBytes = 128;
// A run's final read that the drive delivered too early to reach the run's end is read again
// up to this many times in all; after that the missing bytes are silence, counted as a miss.
inline constexpr int kFinalReadTries = 4;

// How the overlaps of one run matched (for the log).
struct JitterStatistics {
  int32_t exact = 0;
  int32_t positive = 0;  // matched further into the new read
  int32_t negative = 0;  // matched before the expected place
  int32_t missed = 0;
  int32_t largestPositive = 0;
  int32_t largestNegative = 0;
};

struct CdReaderState {
  std::atomic<int32_t> readerMode{kReaderStream};
  std::atomic<int32_t> stopReading{0};
  int32_t sectorsPerRead = kSectorsPerRead;

  // The current run, in sector addresses (frame - 150); readEnd is exclusive.
  std::atomic<int32_t> readStart{0};
  std::atomic<int32_t> readPosition{0};
  std::atomic<int32_t> readEnd{0};
  int32_t rangeStartFrame = 0;  // frame the slots' byte positions count from
  int32_t jitterSectors = 0;    // overlap N of the run, 0..3
  int32_t slotTail[16] = {};    // per slot: start of the reference for the next read's match
  int32_t firstBlock = 0;
  int32_t lastChunk = 0;
  int32_t runStarting = 0;
  int64_t runBytes = 0;        // bytes the current run delivers in all
  int64_t deliveredBytes = 0;  // bytes its slots have delivered so far
  std::atomic<int32_t> resumingFromPause{0};
  // The stream's run has stopped and the reader waits for the restart that stopped it.
  std::atomic<int32_t> awaitingRestart{0};
  JitterStatistics jitter;
  // Sectors of the last ReadTrack that could not be read and are silence in its output (a rip
  // reads a failed chunk again one sector at a time first).
  std::atomic<int32_t> unreadableSectors{0};
  Event readDoneEvent{Event::Reset::kAuto, false};

  // Manager side.
  std::atomic<int32_t> cddaCommandPending{0};
  std::atomic<int32_t> readerThreadRunning{0};
  std::atomic<int32_t> jitterSetting{0};  // "Jitter Buffer" as the last command found it
  std::atomic<void*> window{nullptr};     // the main window the stream posts to
  std::atomic<int32_t> ringClearPending{0};
  // The last stop was a pause: the stream's hand-over stores the pause point (unless the
  // player has been stopped since).
  std::atomic<int32_t> pauseRequested{0};
  // Tests: the reader thread cannot be created.
  std::atomic<int32_t> failThreadCreation{0};

  // CD+G (reader thread): the R-W form the run reads with its audio (an RwForm, 0 for the
  // audio alone); the raw sub-channel of the last sectors read, whose packs need the sectors
  // after them; the last track probed for CD+G (its first sector, drive and answer).
  int32_t subcodeForm = 0;
  uint8_t rawTail[2 * 96] = {};
  int32_t rawTailSector = 0;
  int32_t rawTailCount = 0;
  int32_t probedTrackSector = -1;
  const void* probedDevice = nullptr;
  int32_t probedForm = 0;
};

extern CdReaderState cdReader;

// What the reader and the CDDA manager ask of the player they stream for. The player installs
// it at start (ResetCdPlayer). Without one the stream stops at the end of each range.
class CdStreamHost {
 public:
  virtual ~CdStreamHost() = default;
  // Reader thread: the play range has played out. 1: the next range is set, 0: stop, -1: no
  // audio disc.
  virtual int NextRange(void* /*window*/) { return 0; }
  // Reader thread: a restart (a track change or a seek) begins; the current track's range is
  // set again.
  virtual void RestartRange(void* /*window*/) {}
  // Reader thread: a run has stopped and the consumer is to leave the ring (CDDA_KILL).
  virtual void RunStopped(void* /*window*/) {}
  // Reader thread: the last range has played out and the stream has ended; the player stops.
  virtual void PlayedOut(void* /*window*/) {}
  // Reader thread: a read failed and the disc has gone while playing; the player stops.
  virtual void DiscGone(void* /*window*/) {}
  // Window thread: a message the stream posted (CddaWindowMessage, cd/cdda_manager.h).
  virtual void WindowMessage(void* /*window*/, int /*message*/) {}
};
// nullptr: the default host above.
void SetCdStreamHost(CdStreamHost* host);
CdStreamHost& StreamHost();

// Mode 1 (on the reader thread): streams the current play range and what follows it. Mode 0:
// rips the current track to a WAV file on the calling thread. Modes 2 and 5 (any thread): raise
// the stop flag. Returns 0.
int CdReadDriver(void* window, int mode);
// One run over the current play range (stream) or one track (rip).
void ReadTrack(int trackIndex, void* window, int mode);
// One read of up to 26 sectors into the producer slot and its post-processing. Returns 1.
int ReadCD(void* window, int mode);

// The streaming thread's stop hand-over (installed with the stream): stores the pause point
// when the player is paused and wakes the reader. False when the event cannot be set.
bool CddaStreamDrained();

// Called between reads on the thread that rips (the window's message pump); null for none.
using CdReaderMessagePump = void (*)();
void SetCdReaderMessagePump(CdReaderMessagePump pump);
