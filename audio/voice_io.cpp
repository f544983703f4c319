#include "audio/voice_io.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "audio/sound_block.h"
#include "audio/wavefile.h"

// Constant-initialised: the processing block's defaults reset it during static initialisation.
constinit VoiceIoState voiceIo;

namespace {

using Direction = VoiceIoState::Direction;

std::thread ioThread;

bool Threaded() {
  return voiceIo.threadRunning.load(std::memory_order_acquire) != 0;
}

// The I/O thread is woken, or its work is done here when it does not run.
void Wake() {
  if (Threaded())
    voiceIo.doorbell.Ring();
  else
    ServiceVoiceIo();
}

// Publishes the chunk being filled. False when there is none and the FIFO has no room for one.
bool PublishRecordChunk() {
  VoiceIoState& v = voiceIo;
  if (v.recordChunk && v.recordChunk->count > 0) {
    v.record.Push();
    v.recordChunk = nullptr;
  }
  return v.recordChunk || v.record.Back();
}

// ---- I/O thread --------------------------------------------------------------------------

void WriteSilence(WaveFile* file, int64_t samples) {
  static const int16_t zeros[kVoiceChunkSamples] = {};
  while (samples > 0) {
    const int n = int(std::min<int64_t>(samples, kVoiceChunkSamples));
    wavWriteSamples(file, zeros, n);
    samples -= n;
  }
}

void ServiceRecording() {
  SoundBlockState& s = soundBlock;
  VoiceIoState& v = voiceIo;
  while (VoiceChunk* c = v.record.Front()) {
    // Samples the FIFO could not take are silence at their place.
    if (c->index > v.writtenIndex) WriteSilence(&s.voiceOutFile, c->index - v.writtenIndex);
    if (c->kind == VoiceChunk::kClose) {
      waveFileCloseOut(&s.voiceOutFile);
      v.writtenIndex = 0;
      s.voiceRecordCloseRequest.store(0, std::memory_order_relaxed);
      s.voiceRecordOn.store(0, std::memory_order_release);
      v.recordClosed.fetch_add(1, std::memory_order_release);
    } else {
      wavWriteSamples(&s.voiceOutFile, c->samples, c->count);
      v.writtenIndex = c->index + c->count;
    }
    v.record.Pop();
  }
}

// Returns false when a newer generation came in meanwhile (served on the next round).
bool ServicePlayback() {
  SoundBlockState& s = soundBlock;
  VoiceIoState& v = voiceIo;
  if (v.playbackCloses.load(std::memory_order_acquire) !=
      v.playbackClosed.load(std::memory_order_relaxed)) {
    v.servedGeneration = v.generation.load(std::memory_order_acquire);
    v.readIndex = -1;  // nothing more is read until the next start
    waveFileCloseIn(&s.voiceInFile);
    s.voicePlaybackCloseRequest.store(0, std::memory_order_relaxed);
    s.voicePlaybackOn.store(0, std::memory_order_release);
    v.playbackClosed.fetch_add(1, std::memory_order_release);
    return true;
  }
  const uint32_t generation = v.generation.load(std::memory_order_acquire);
  if (generation != v.servedGeneration) {
    v.servedGeneration = generation;
    const int32_t position = v.seekPosition.load(std::memory_order_relaxed);
    if (position >= 0) waveFileSetPendingSeek(&s.voiceInFile, position);
    v.readIndex = 0;
  }
  if (v.readIndex < 0 || !WaveFileIsOpen(s.voiceInFile)) return true;
  while (VoiceChunk* c = v.playback.Back()) {
    if (v.generation.load(std::memory_order_acquire) != v.servedGeneration) return false;
    c->kind = VoiceChunk::kSamples;
    c->generation = v.servedGeneration;
    c->index = v.readIndex;
    c->count = kVoiceChunkSamples;
    c->failed = wavReadSamples(&s.voiceInFile, c->samples, kVoiceChunkSamples) == -1;
    if (c->failed) std::memset(c->samples, 0, sizeof c->samples);
    v.readIndex += kVoiceChunkSamples;
    v.playback.Push();
  }
  return true;
}

void IoThread() {
  VoiceIoState& v = voiceIo;
  while (!v.stopThread.load(std::memory_order_acquire)) {
    v.doorbell.Wait(100);
    ServiceVoiceIo();
  }
  ServiceVoiceIo();  // what is left, so that nothing recorded is lost
}

}  // namespace

void ServiceVoiceIo() {
  ServiceRecording();
  while (!ServicePlayback()) {
  }
}

void StartVoiceIoThread() {
  VoiceIoState& v = voiceIo;
  if (v.threadRunning.load()) return;
  v.stopThread.store(0);
  v.threadRunning.store(1, std::memory_order_release);
  ioThread = std::thread(IoThread);
}

void StopVoiceIoThread() {
  VoiceIoState& v = voiceIo;
  if (!v.threadRunning.load()) return;
  // The audio thread has stopped: what it had not yet handed over goes too.
  if (v.recordChunk && v.recordChunk->count > 0) {
    v.record.Push();
    v.recordChunk = nullptr;
  }
  v.stopThread.store(1, std::memory_order_release);
  v.doorbell.Ring();
  if (ioThread.joinable()) ioThread.join();
  v.threadRunning.store(0, std::memory_order_release);
}

void ResetVoiceIo() {
  VoiceIoState& v = voiceIo;
  if (v.threadRunning.load()) return;
  while (v.record.Front()) v.record.Pop();
  while (v.playback.Front()) v.playback.Pop();
  v.recordState = v.playbackState = Direction::kIdle;
  v.recordChunk = nullptr;
  v.recordIndex = v.playIndex = v.writtenIndex = 0;
  v.readIndex = -1;
  v.servedGeneration = v.generation.load();
  v.playbackClosed.store(v.playbackCloses.load());
  v.recordCloses = v.recordClosed.load();
  v.recordGaps.store(0);
}

// ---- Audio thread ------------------------------------------------------------------------

bool VoicePlaybackBegin(bool cdActive, int32_t (*seekPosition)()) {
  SoundBlockState& s = soundBlock;
  VoiceIoState& v = voiceIo;
  if (v.playbackState == Direction::kClosing) {
    if (v.playbackClosed.load(std::memory_order_acquire) !=
        v.playbackCloses.load(std::memory_order_relaxed))
      return false;
    v.playbackState = Direction::kIdle;
  }
  const bool on = s.voicePlaybackOn.load(std::memory_order_acquire) != 0;
  if (!on || !WaveFileIsOpen(s.voiceInFile)) {
    v.playbackState = Direction::kIdle;
    return false;
  }
  if (!cdActive) return false;  // a seek request waits for CD data
  const bool seek = s.voicePlaybackSeekRequest.exchange(0, std::memory_order_acq_rel) != 0;
  if (seek || v.playbackState == Direction::kIdle) {
    v.seekPosition.store(seek ? seekPosition() : -1, std::memory_order_relaxed);
    v.generation.store(v.generation.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    v.playIndex = 0;
    v.playbackState = Direction::kActive;
    Wake();
  }
  return true;
}

void VoicePlaybackTake(int16_t* out, int count, bool* failed) {
  VoiceIoState& v = voiceIo;
  const uint32_t generation = v.generation.load(std::memory_order_relaxed);
  bool freed = false;
  int done = 0;
  while (done < count) {
    VoiceChunk* c = v.playback.Front();
    if (!c) break;
    const int64_t want = v.playIndex + done;
    if (c->generation != generation || c->index + c->count <= want) {
      v.playback.Pop();  // of an earlier start, or come too late
      freed = true;
      continue;
    }
    if (c->index > want) {  // a chunk skipped: silence up to the next
      const int n = int(std::min<int64_t>(count - done, c->index - want));
      std::fill_n(out + done, n, int16_t{0});
      done += n;
      continue;
    }
    const int from = int(want - c->index);
    const int n = std::min(count - done, c->count - from);
    std::memcpy(out + done, c->samples + from, size_t(n) * sizeof(int16_t));
    if (c->failed) *failed = true;
    done += n;
    if (from + n == c->count) {
      v.playback.Pop();
      freed = true;
    }
  }
  std::fill(out + done, out + count, int16_t{0});  // not delivered in time: silence
  v.playIndex += count;
  if (freed) Wake();
}

bool VoiceRecordActive() {
  SoundBlockState& s = soundBlock;
  VoiceIoState& v = voiceIo;
  if (v.recordState == Direction::kClosing) {
    if (v.recordClosed.load(std::memory_order_acquire) != v.recordCloses) return false;
    v.recordState = Direction::kIdle;
  }
  const bool on = s.voiceRecordOn.load(std::memory_order_acquire) != 0;
  if (!on || !WaveFileIsOpen(s.voiceOutFile)) {
    v.recordState = Direction::kIdle;
    return false;
  }
  if (v.recordState == Direction::kIdle) {
    v.recordState = Direction::kActive;
    v.recordIndex = 0;
    v.recordChunk = nullptr;
  }
  return true;
}

void VoiceRecordPut(const int16_t* samples, int count) {
  VoiceIoState& v = voiceIo;
  while (count > 0) {
    if (!v.recordChunk) {
      v.recordChunk = v.record.Back();
      if (!v.recordChunk) {  // the I/O thread is far behind: these become silence
        v.recordGaps.fetch_add(count, std::memory_order_relaxed);
        v.recordIndex += count;
        return;
      }
      v.recordChunk->kind = VoiceChunk::kSamples;
      v.recordChunk->index = v.recordIndex;
      v.recordChunk->count = 0;
    }
    VoiceChunk* c = v.recordChunk;
    const int n = std::min(count, kVoiceChunkSamples - c->count);
    std::memcpy(c->samples + c->count, samples, size_t(n) * sizeof(int16_t));
    c->count += n;
    v.recordIndex += n;
    samples += n;
    count -= n;
    if (c->count == kVoiceChunkSamples) {
      v.record.Push();
      v.recordChunk = nullptr;
      if (Threaded()) v.doorbell.Ring();
    }
  }
}

void VoiceIoEndOfCall() {
  SoundBlockState& s = soundBlock;
  VoiceIoState& v = voiceIo;
  bool wake = false;

  // Recording: a close request is honoured once every sample is handed over. A request left
  // over while recording is off has nothing to close and is dropped, so it cannot close the
  // next file.
  const bool recordOn = s.voiceRecordOn.load(std::memory_order_acquire) != 0;
  const bool recordClose = s.voiceRecordCloseRequest.load(std::memory_order_acquire) != 0;
  if (recordOn && v.recordState != Direction::kClosing && WaveFileIsOpen(s.voiceOutFile)) {
    if (recordClose) {
      if (v.recordState == Direction::kIdle) v.recordChunk = nullptr;
      bool room = PublishRecordChunk();
      if (!room && !Threaded()) {  // done here: make room by writing out what is waiting
        ServiceVoiceIo();
        room = PublishRecordChunk();
      }
      if (room) {
        VoiceChunk* c = v.recordChunk ? v.recordChunk : v.record.Back();
        c->kind = VoiceChunk::kClose;
        c->index = v.recordState == Direction::kActive ? v.recordIndex : 0;
        c->count = 0;
        v.record.Push();
        v.recordChunk = nullptr;
        v.recordState = Direction::kClosing;
        ++v.recordCloses;
      }
      wake = true;
    } else if (!Threaded()) {
      PublishRecordChunk();  // written at the end of each call, as before
      wake = v.record.Front() != nullptr;
    }
  } else if (!recordOn && recordClose) {
    s.voiceRecordCloseRequest.store(0, std::memory_order_relaxed);
  }

  const bool playOn = s.voicePlaybackOn.load(std::memory_order_acquire) != 0;
  const bool playClose = s.voicePlaybackCloseRequest.load(std::memory_order_acquire) != 0;
  if (playOn && v.playbackState != Direction::kClosing && WaveFileIsOpen(s.voiceInFile)) {
    if (playClose) {
      v.playbackCloses.store(v.playbackCloses.load(std::memory_order_relaxed) + 1,
                             std::memory_order_release);
      v.playbackState = Direction::kClosing;
      wake = true;
    }
  } else if (!playOn && playClose) {
    s.voicePlaybackCloseRequest.store(0, std::memory_order_relaxed);
  }
  if (wake) Wake();
}
