#include "cd/cdda_manager.h"

#include <pthread.h>
#include <time.h>

#include <mutex>

#include "audio/cdda_ring.h"
#include "audio/sound_init.h"
#include "audio/streaming.h"
#include "cd/cd_reader.h"
#include "cd/play_state.h"
#include "diagnostics/diagnostics.h"
#include "platform/sync/window_thread.h"
#include "settings/settings.h"

namespace {

struct CddaLink {
  std::mutex lock;
  CddaCommandObserver observer;
};

CddaLink& Link() {
  static CddaLink link;
  return link;
}

// The reader thread of the last play (window thread only).
pthread_t readerThread{};
std::atomic<CddaRestartGate> restartGate{nullptr};
bool readerThreadStarted = false;

void Post(int message) {
  void* window = cdReader.window.load(std::memory_order_acquire);
  RunOnWindowThread([window, message] { CddaHandleWindowMessage(window, message); });
}

// What the consumer reports goes into the player's variables and to the main window.
class PlayerLink final : public CddaPlayerLink {
 public:
  void SetPositionSeconds(int seconds) override {
    player.readerPositionSeconds.store(seconds, std::memory_order_relaxed);
  }
  bool SeekPending() override { return player.seekPending.load(std::memory_order_acquire) != 0; }
  void PostPosition(int) override { Post(kCddaPositionTimer); }
  void ShowReadError() override { Post(kCddaReadErrorText); }
  void TrackLineStale() override { Post(kCddaTrackLineStale); }
};
PlayerLink playerLink;

void* CddaReaderThread(void* window) {
  CdReadDriver(window, kReaderStream);
  cdReader.readerThreadRunning.store(0, std::memory_order_release);
  return nullptr;
}

// Wakes a reader waiting for room in the ring, and one waiting for the consumer (it looks
// again whether the consumer has left the ring).
void WakeReader(const char* command) {
  if (!cddaRing.slotFreeEvent.Set())
    Trace("Setevent cdReadSyncEvent failed in CDDAManager %s\n", command);
  cddaRing.drainedEvent.Set();
}

// Whether the player's stop is a pause (the pause point is to be kept).
void NoteStopKind(int command) {
  const bool pause =
      command == CDDA_PAUSE ||
      (command == CDDA_STOP && player.cdState.load(std::memory_order_acquire) == CD_PAUSE);
  cdReader.pauseRequested.store(pause ? 1 : 0, std::memory_order_release);
}

void RaiseStop(void* window, int mode, const char* command) {
  cdReader.cddaCommandPending.store(1, std::memory_order_release);
  CddaSetDataReady(false);
  CdReadDriver(window, mode);
  WakeReader(command);
}

// CloseSound stops the reader before the streaming thread it waits for: at most 3 s.
void StopReaderForSoundClose() {
  if (!readerThreadStarted) return;
  cdReader.readerThreadRunning.store(0, std::memory_order_release);
  RaiseStop(cdReader.window.load(std::memory_order_acquire), kReaderStop, "CDDA_STOP");
  timespec deadline;
  clock_gettime(CLOCK_REALTIME, &deadline);
  deadline.tv_sec += 3;
  if (pthread_timedjoin_np(readerThread, nullptr, &deadline) == 0)
    readerThreadStarted = false;
  else
    Trace("CloseSound: the CD reader thread did not end\n");
}

void StartReader(void* window) {
  CdReaderState& c = cdReader;
  // A reader still stopping from the last play ends first: two readers never share the ring.
  if (readerThreadStarted && c.readerThreadRunning.load(std::memory_order_acquire)) {
    c.readerThreadRunning.store(0, std::memory_order_release);
    RaiseStop(window, kReaderStop, "CDDA_PLAY");
  }
  CddaJoinReader();

  c.cddaCommandPending.store(1, std::memory_order_release);
  cddaRing.consumerOffset.store(0, std::memory_order_relaxed);
  c.readerThreadRunning.store(1, std::memory_order_release);
  c.stopReading.store(0, std::memory_order_seq_cst);
  player.restartPending.store(0, std::memory_order_seq_cst);
  player.restartAnnounced.store(0, std::memory_order_seq_cst);
  c.window.store(window, std::memory_order_release);
  c.jitterSetting.store(settings.jitterBuffer, std::memory_order_release);
  SetCddaPlayerLink(&playerLink);
  SetStreamDrainedHandler(&CddaStreamDrained);
  SetCloseSoundReaderStop(&StopReaderForSoundClose);

  if (!c.failThreadCreation.load(std::memory_order_acquire) &&
      pthread_create(&readerThread, nullptr, CddaReaderThread, window) == 0) {
    readerThreadStarted = true;
    return;
  }
  c.readerThreadRunning.store(0, std::memory_order_release);
  Trace("CDDAManager: CreateThread() failed in CDDAManager CDDA_PLAY\n");
  CdReadDriver(window, kReaderStream);
}

}  // namespace

void SetCddaRestartGate(CddaRestartGate gate) {
  restartGate.store(gate, std::memory_order_release);
}

void SetCddaCommandObserver(CddaCommandObserver observer) {
  std::lock_guard<std::mutex> guard(Link().lock);
  Link().observer = std::move(observer);
}

int CDDAManager(void* window, int command) {
  if (command < CDDA_PLAY || command > CDDA_PAUSE) return 0;
  CddaCommandObserver observer;
  {
    std::lock_guard<std::mutex> guard(Link().lock);
    observer = Link().observer;
  }
  if (observer) {
    observer(window, command);
    return 0;
  }
  switch (command) {
    case CDDA_PLAY:
      StartReader(window);
      break;
    case CDDA_STOP:
      NoteStopKind(command);
      RaiseStop(window, kReaderStop, "CDDA_STOP");
      break;
    case CDDA_KILL:
      CddaSetDataReady(false);
      // The reader clears the ring once the consumer is out of it; a paused run keeps it.
      cdReader.ringClearPending.store(
          player.cdState.load(std::memory_order_acquire) != CD_PAUSE ? 1 : 0,
          std::memory_order_release);
      cddaRing.underrun.store(0, std::memory_order_relaxed);
      Post(kCddaTrackLineStale);
      break;
    case CDDA_STOP_THEN_RESTART:
      // The stop is raised before the restart is asked for (see CdReadDriver); the reader is
      // told first that a restart is coming, so that a run ended by this stop waits for it.
      NoteStopKind(command);
      player.restartAnnounced.store(1, std::memory_order_seq_cst);
      RaiseStop(window, kReaderStop, "CDDA_STOP_THEN_RESTART");
      if (CddaRestartGate gate = restartGate.load(std::memory_order_acquire)) gate();
      player.restartPending.store(1, std::memory_order_seq_cst);
      break;
    case CDDA_PAUSE:
      NoteStopKind(command);
      RaiseStop(window, kReaderPause, "CDDA_PAUSE");
      break;
    default:
      break;
  }
  return 0;
}

void CddaJoinReader() {
  if (!readerThreadStarted) return;
  pthread_join(readerThread, nullptr);
  readerThreadStarted = false;
}

void CddaShutdown(void* window) {
  if (readerThreadStarted) {
    cdReader.readerThreadRunning.store(0, std::memory_order_release);
    RaiseStop(window, kReaderStop, "CDDA_STOP");
  }
  CddaJoinReader();
}

void CddaHandleWindowMessage(void* window, int message) {
  StreamHost().WindowMessage(window, message);
}
