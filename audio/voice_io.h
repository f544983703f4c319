// The voice files' I/O thread: recording and playback of a take without a file call on the
// audio thread.
//
// The processing block hands the recorded samples to the I/O thread through a lock-free FIFO
// and takes the played-back samples from another, read ahead by the I/O thread; all it does
// besides is ring the I/O thread's doorbell (one futex wake when the thread sleeps). Samples
// travel in chunks that carry their position, so a chunk the FIFO could not take (a disk that
// stalls for seconds) becomes silence in the file at its place, and played-back samples that
// arrive late are dropped at theirs: the take stays sample-aligned with the CD either way.
//
// Ownership of the two WaveFile records: the window thread opens a file and then raises the
// engine's on-flag; from then on the I/O thread alone reads, writes and closes it, and clears
// the flags after closing, as the block did before.
//
// Without a running I/O thread (the block called outside the engine, or an engine on a card
// that renders as fast as it can and so has no deadline) the block does the I/O work itself at
// the start and end of each call, with the same results.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/spsc_fifo.h"
#include "platform/sync/doorbell.h"

inline constexpr int kVoiceChunkSamples = 2048;

struct VoiceChunk {
  enum Kind : int32_t { kSamples, kClose };
  int32_t kind = kSamples;
  uint32_t generation = 0;  // playback: the start or seek it was read for
  int64_t index = 0;        // position of samples[0]: from the take's start, or from the seek
  int32_t count = 0;
  int32_t failed = 0;  // playback: the read failed (a seek the file refused); samples are 0
  int16_t samples[kVoiceChunkSamples];
};

struct VoiceIoState {
  SpscFifo<VoiceChunk, 64> record;    // audio thread -> I/O thread, about 6 s of voice
  SpscFifo<VoiceChunk, 16> playback;  // I/O thread -> audio thread, about 1.5 s read ahead

  // Audio thread -> I/O thread. A new generation starts playback from seekPosition (the WAV
  // reader's pending-seek value, -1: where the file stands); playbackCloses counts close requests.
  std::atomic<int32_t> seekPosition{-1};
  std::atomic<uint32_t> generation{0};
  std::atomic<uint32_t> playbackCloses{0};  // close requests sent
  // I/O thread -> audio thread: close requests performed.
  std::atomic<uint32_t> playbackClosed{0};
  std::atomic<uint32_t> recordClosed{0};
  Doorbell doorbell;

  std::atomic<int32_t> threadRunning{0};
  std::atomic<int32_t> stopThread{0};
  std::atomic<int64_t> recordGaps{0};  // samples the record FIFO could not take (as silence)

  // ---- The audio thread's own -----------------------------------------------------------
  enum class Direction { kIdle, kActive, kClosing };
  Direction recordState = Direction::kIdle;
  Direction playbackState = Direction::kIdle;
  int64_t recordIndex = 0;            // next sample of the take
  VoiceChunk* recordChunk = nullptr;  // being filled, not yet published
  int64_t playIndex = 0;              // next sample wanted since the generation started
  uint32_t recordCloses = 0;          // close chunks sent

  // ---- The I/O thread's own -------------------------------------------------------------
  uint32_t servedGeneration = 0;
  int64_t readIndex = -1;    // position of the next chunk read, -1: nothing to read
  int64_t writtenIndex = 0;  // samples of the take in the file
};
extern VoiceIoState voiceIo;

// Engine start-up and shutdown. Stopping writes out what the FIFO still holds, and performs a
// close that was asked for, before the thread ends.
void StartVoiceIoThread();
void StopVoiceIoThread();
// Back to the state of a fresh engine, dropping what the FIFOs hold (no thread running; the
// processing block's defaults call it).
void ResetVoiceIo();

// ---- Audio thread (the processing block) ------------------------------------------------

// Call start. Playback of the voice file runs in this call (CD streaming, the on-flag, the file
// open and no close under way): a seek request starts a new generation at position
// seekPosition. Returns whether playback runs.
bool VoicePlaybackBegin(bool cdActive, int32_t (*seekPosition)());
// count samples of the take into out from the playback FIFO, silence where the I/O thread has
// not delivered. *failed is set when a delivered chunk's read failed.
void VoicePlaybackTake(int16_t* out, int count, bool* failed);
// Appends recorded samples to the take (recording runs in this call: the on-flag, the file
// open and no close under way; the caller checks with VoiceRecordActive).
void VoiceRecordPut(const int16_t* samples, int count);
bool VoiceRecordActive();
// Call end: honours the close requests of the engine's flags and wakes the I/O thread, or does
// its work when it does not run.
void VoiceIoEndOfCall();

// The I/O thread's work once: write out the record FIFO, serve playback seeks, closes and
// read-ahead. Exposed for tests that prove what it does runs on that thread only.
void ServiceVoiceIo();
