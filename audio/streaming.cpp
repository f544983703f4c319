#include "audio/streaming.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "audio/cdda_consumer.h"
#include "audio/cdda_ring.h"
#include "audio/sound_block.h"
#include "diagnostics/diagnostics.h"
#include "platform/audio/wave_stream.h"

SoundDeviceState soundDevices;

namespace {

WaveDeviceFormat DeviceFormat(const WAVEFORMATEX& f) {
  WaveDeviceFormat d;
  d.wFormatTag = f.wFormatTag;
  d.nChannels = f.nChannels;
  d.nSamplesPerSec = f.nSamplesPerSec;
  d.nAvgBytesPerSec = f.nAvgBytesPerSec;
  d.nBlockAlign = f.nBlockAlign;
  d.wBitsPerSample = f.wBitsPerSample;
  d.cbSize = f.cbSize;
  return d;
}

void FillPcm(WAVEFORMATEX* format, uint16_t bits) {
  *format = WAVEFORMATEX{};
  format->wFormatTag = WAVE_FORMAT_PCM;
  format->nChannels = 2;
  format->nSamplesPerSec = 44100;
  format->wBitsPerSample = bits;
  sndCompleteWaveFormatEx(format);
}

// Reads cdDataReady, and when a digital run has just ended hands the stop back to the reader
// (once per run). Returns cdActive.
int StreamStopHandOver(int* wasStreaming, const char* who) {
  const int cdActive = soundBlock.cdDataReady.load(std::memory_order_acquire);
  if (cdActive == 1 && *wasStreaming == 0) *wasStreaming = 1;
  if (cdActive == 0 && *wasStreaming == 1) {
    *wasStreaming = 0;
    StreamDrainedHandler handler = soundDevices.drainedHandler.load(std::memory_order_acquire);
    if (handler && !handler()) Trace("%s: Setevent 1 failed\n", who);
  }
  return cdActive;
}

}  // namespace

BlockGeometry GeometryForBlockFrames(int blockFrames) {
  BlockGeometry g;
  if (blockFrames >= kBlockFrames) return g;
  g.blockFrames = blockFrames;
  // A period of 5.8 ms leaves little room for a late wake-up: one more block is queued.
  g.outputBlocks = blockFrames <= 256 ? 3 : 2;
  return g;
}

void PublishHeardPosition(WaveOutDevice* device) {
  SoundDeviceState& d = soundDevices;
  int64_t queued = 0;
  if (!device || device->GetDelayFrames(&queued) != kMmSysErrNoError) {
    // The card cannot tell: every block written and not yet handed back is still to be heard.
    queued = 0;
    for (int i = 0; i < d.geometry.outputBlocks; ++i)
      if (!d.outHeaders[i].Done()) queued += d.geometry.blockFrames;
  }
  const int64_t written = CddaStreamBytePosition();
  const uint32_t sequence = d.heardSequence.load(std::memory_order_relaxed);
  d.heardSequence.store(sequence + 1, std::memory_order_seq_cst);  // odd: being written
  d.heardBytes.store(written - 4 * queued, std::memory_order_seq_cst);
  d.heardAtNs.store(SteadyNowNs(), std::memory_order_seq_cst);
  d.writtenBytes.store(written, std::memory_order_seq_cst);
  d.heardSequence.store(sequence + 2, std::memory_order_seq_cst);
}

int64_t CdPositionHeardMs() {
  const SoundDeviceState& d = soundDevices;
  int64_t heard = 0, at = 0, written = 0;
  for (;;) {
    const uint32_t before = d.heardSequence.load(std::memory_order_seq_cst);
    heard = d.heardBytes.load(std::memory_order_seq_cst);
    at = d.heardAtNs.load(std::memory_order_seq_cst);
    written = d.writtenBytes.load(std::memory_order_seq_cst);
    if (!(before & 1) && d.heardSequence.load(std::memory_order_seq_cst) == before) break;
  }
  if (at == 0) return 0;
  const int64_t elapsedNs = std::max<int64_t>(SteadyNowNs() - at, 0);
  heard = std::min(heard + elapsedNs * kCdBytesPerSecond / 1000000000, written);
  return std::max<int64_t>(heard, 0) * 1000 / kCdBytesPerSecond;
}

void SetStreamDrainedHandler(StreamDrainedHandler handler) {
  soundDevices.drainedHandler.store(handler, std::memory_order_release);
}

int OpenSound_InputWAVDevice(WAVEFORMATEX* format, int /*divisor*/, std::unique_ptr<Event>* event) {
  SoundDeviceState& d = soundDevices;
  AudioBackend* backend = CurrentAudioBackend();
  if (!backend) return 0;
  FillPcm(format, 16);
  int code = backend->OpenWaveIn(DeviceFormat(*format), nullptr, true, nullptr);
  if (code != kMmSysErrNoError) {
    Trace("OpenSound_InputWAVDevice: waveInOpen query error %s\n", WaveInErrorText(code).c_str());
    Trace("OpenSound_InputWAVDevice: Failed to open at 16-bits, 44100 Hz\n");
    FillPcm(format, 8);
    code = backend->OpenWaveIn(DeviceFormat(*format), nullptr, true, nullptr);
    if (code != kMmSysErrNoError) {
      Trace("OpenSound_InputWAVDevice: waveInOpen query error %s\n", WaveInErrorText(code).c_str());
      Trace("OpenSound_InputWAVDevice: Uh oh.  Failed to open at 8-bits, 44100 Hz\n");
      return 0;
    }
  }

  std::unique_ptr<WaveInDevice> device;
  if (event) {
    *event = std::make_unique<Event>(Event::Reset::kAuto, false);
    code = backend->OpenWaveIn(DeviceFormat(*format), event->get(), false, &device);
    if (code != kMmSysErrNoError) {
      Trace("OpenSound_InputWAVDevice: waveInOpen1 error %s\n", WaveInErrorText(code).c_str());
      return 0;
    }
  } else {
    code = backend->OpenWaveIn(DeviceFormat(*format), nullptr, false, &device);
    if (code != kMmSysErrNoError) {
      Trace("OpenSound_InputWAVDevice: waveInOpen2 error %s\n", WaveInErrorText(code).c_str());
      return 0;
    }
  }
  d.waveIn = std::move(device);
  d.waveInHandle.store(d.waveIn.get(), std::memory_order_release);

  d.inputBytes = d.geometry.blockFrames * format->nBlockAlign;
  for (int i = 0; i < d.geometry.inputBlocks; ++i) {
    WaveHeader& h = d.inHeaders[i];
    std::memset(d.inBuffers[i], 0, sizeof d.inBuffers[i]);
    h.data = d.inBuffers[i];
    h.bufferLength = uint32_t(d.inputBytes);
    h.bytesRecorded.store(0, std::memory_order_relaxed);
    h.flags.store(0, std::memory_order_relaxed);
    h.user = uintptr_t(i);
    h.loops = 0;
    code = d.waveIn->PrepareHeader(&h);
    if (code != kMmSysErrNoError)
      Trace("OpenSound_InputWAVDevice: waveInPrepareHeader error %d %s\n", code,
            WaveInErrorText(code).c_str());
  }
  d.inSequence = uint32_t(d.geometry.inputBlocks);
  return 1;
}

int OpenSound_OutputWAVDevice(WAVEFORMATEX* format, int /*divisor*/,
                              std::unique_ptr<Event>* event) {
  SoundDeviceState& d = soundDevices;
  AudioBackend* backend = CurrentAudioBackend();
  if (!backend) return 0;
  WAVEFORMATEX local;
  if (!format) {
    Trace("OpenSound_OutputWAVDevice: Initializing externalWFX\n");
    FillPcm(&local, 16);
    format = &local;
  }
  sndCompleteWaveFormatEx(format);

  std::unique_ptr<WaveOutDevice> device;
  Event* notify = nullptr;
  if (event) {
    *event = std::make_unique<Event>(Event::Reset::kAuto, false);
    notify = event->get();
  }
  int code = backend->OpenWaveOut(DeviceFormat(*format), notify, &device);
  if (code != kMmSysErrNoError) {
    Trace("OpenSound_OutputWAVDevice: Failed to open WAV out device\n");
    switch (code) {
      case kMmSysErrBadDeviceId:
        Trace("mmr=%d MMSYSERR_BADDEVICEID\n", code);
        break;
      case kMmSysErrAllocated:
        Trace("mmr=%d MMSYSERR_ALLOCATED\n", code);
        break;
      case kMmSysErrNoDriver:
        Trace("mmr=%d MMSYSERR_NODRIVER \n", code);
        break;
      case kMmSysErrNoMem:
        Trace("mmr=%d MMSYSERR_NOMEM \n", code);
        break;
      case kWavErrBadFormat:
        Trace("mmr=%d WAVERR_BADFORMAT \n", code);
        break;
      case kWavErrSync:
        Trace("mmr=%d WAVERR_SYNC  \n", code);
        break;
      default:
        Trace("mmr=%d DUNNO ERROR\n", code);
        break;
    }
    return 0;
  }
  d.waveOut = std::move(device);
  d.waveOutHandle.store(d.waveOut.get(), std::memory_order_release);

  d.outputBytes = d.geometry.blockFrames * format->nBlockAlign;
  d.outIndex = 0;
  d.overflowPending = false;
  d.lostBlocks.store(0, std::memory_order_relaxed);
  d.outputStartNs = SteadyNowNs();
  d.heardAtNs.store(0, std::memory_order_seq_cst);  // nothing heard of this engine yet
  for (int i = 0; i < d.geometry.outputBlocks; ++i) {
    WaveHeader& h = d.outHeaders[i];
    std::memset(d.outBuffers[i], 0, sizeof d.outBuffers[i]);  // the first output is silence
    h.data = d.outBuffers[i];
    h.bufferLength = uint32_t(d.outputBytes);
    h.bytesRecorded.store(0, std::memory_order_relaxed);
    h.loops = 0;
    h.flags.store(kWhdrDone, std::memory_order_relaxed);
    h.user = uintptr_t(i);
    d.waveOut->PrepareHeader(&h);
    d.outWriteFailed[i].store(0, std::memory_order_relaxed);
    if (d.waveOut->Write(&h) != kMmSysErrNoError) Trace("waveOutWrite() failed on header%d\n", i);
  }
  return 1;
}

int CloseSound_InputWAVDevice() {
  SoundDeviceState& d = soundDevices;
  if (WaveInDevice* in = d.waveInHandle.load(std::memory_order_acquire)) {
    int code = in->Stop();
    if (code != kMmSysErrNoError) Trace("9waveInStop error %s\n", WaveInErrorText(code).c_str());
    code = in->Reset();
    if (code != kMmSysErrNoError) Trace("9waveInReset error %s\n", WaveInErrorText(code).c_str());
    code = in->Close();
    if (code != kMmSysErrNoError) Trace("10waveInClose error %s\n", WaveInErrorText(code).c_str());
  }
  d.waveInHandle.store(nullptr, std::memory_order_release);
  return 1;
}

int StartWAVDevices(int input) {
  SoundDeviceState& d = soundDevices;
  int code = kMmSysErrNoError;
  if (input) {
    WaveInDevice* in = d.waveInHandle.load(std::memory_order_acquire);
    if (d.inputDoneEvent) d.inputDoneEvent->ResetEvent();
    code = in ? in->Start() : kMmSysErrInvalHandle;
    if (code != kMmSysErrNoError)
      Trace("StartWAVDevices: waveInStart error %d %s\n", code, WaveInErrorText(code).c_str());
    for (int i = 0; i < d.geometry.inputBlocks; ++i) {
      code = in ? in->AddBuffer(&d.inHeaders[i]) : kMmSysErrInvalHandle;
      if (code != kMmSysErrNoError)
        Trace("StartWAVDevices: waveInAddBuffer error %s for header %d\n",
              WaveInErrorText(code).c_str(), i);
    }
  } else {
    WaveOutDevice* out = d.waveOutHandle.load(std::memory_order_acquire);
    if (d.outputDoneEvent) d.outputDoneEvent->ResetEvent();
    for (int i = 0; i < d.geometry.outputBlocks; ++i) {
      code = out ? out->Write(&d.outHeaders[i]) : kMmSysErrInvalHandle;
      if (code != kMmSysErrNoError)
        Trace("StartWAVDevices: waveOutWrite() failed on header%d\n", i);
    }
  }
  return code;
}

namespace {

// Moves outIndex to the next output block the card has handed back; false when it holds all.
bool FindFreeOutput(SoundDeviceState& d) {
  for (int tries = 0; tries < d.geometry.outputBlocks; ++tries) {
    if (d.outHeaders[d.outIndex].Done()) return true;
    d.outIndex = (d.outIndex + 1) % d.geometry.outputBlocks;
  }
  return false;
}

void WriteOutput(SoundDeviceState& d) {
  WaveOutDevice* device = d.waveOutHandle.load(std::memory_order_acquire);
  if (device) device->Write(&d.outHeaders[d.outIndex]);
  PublishHeardPosition(device);
  d.outIndex = (d.outIndex + 1) % d.geometry.outputBlocks;
}

}  // namespace

void ProcessAndWAVOutput(WaveHeader* inHeader, int cdActive, int* needsStereoReset) {
  SoundDeviceState& d = soundDevices;
  const int frames = d.geometry.blockFrames;
  // A block kept back because the card held every output block goes out first: an output
  // block handed back a little late costs no audio.
  if (d.overflowPending && FindFreeOutput(d)) {
    std::memcpy(d.outHeaders[d.outIndex].data, d.overflowBuffer, size_t(frames) * 4);
    d.overflowPending = false;
    WriteOutput(d);
  }
  if (FindFreeOutput(d)) {
    ProcessSoundBlock(inHeader->data, d.outHeaders[d.outIndex].data, frames, &d.inFormat, cdActive,
                      needsStereoReset);
    WriteOutput(d);
  } else {
    // Every output block is still queued on the card, which may be reading it: the block is
    // processed (the CD, the recording and the meters go on) and kept back; a block still
    // kept back from before is lost, so the newest audio wins.
    ProcessSoundBlock(inHeader->data, d.overflowBuffer, frames, &d.inFormat, cdActive,
                      needsStereoReset);
    if (d.overflowPending)
      Trace("ProcessAndWAVOutput: an output block was lost (%d so far)\n",
            d.lostBlocks.fetch_add(1, std::memory_order_relaxed) + 1);
    d.overflowPending = true;
  }

  WaveInDevice* in = d.waveInHandle.load(std::memory_order_acquire);
  int code = in ? in->UnprepareHeader(inHeader) : kMmSysErrInvalHandle;
  if (code != kMmSysErrNoError)
    Trace("ProcessAndWAVOutput: waveInUnprepareHeader error %d %s\n", code,
          WaveInErrorText(code).c_str());
  inHeader->user = d.inSequence++;
  inHeader->flags.store(0, std::memory_order_relaxed);
  code = in ? in->PrepareHeader(inHeader) : kMmSysErrInvalHandle;
  if (code != kMmSysErrNoError)
    Trace("ProcessAndWAVOutput: waveInPrepareHeader error %d %s\n", code,
          WaveInErrorText(code).c_str());
  code = in ? in->AddBuffer(inHeader) : kMmSysErrInvalHandle;
  if (code != kMmSysErrNoError)
    Trace("ProcessAndWAVOutput: waveInAddBuffer error %d %s\n", code,
          WaveInErrorText(code).c_str());
}

namespace {

// Small blocks: the input starts half a block after an output block boundary, so each input
// block completes midway between two output blocks coming back, and a wake-up late by less
// than half a block costs nothing.
void WaitForInputPhase(const SoundDeviceState& d) {
  if (d.geometry.blockFrames >= kBlockFrames) return;
  const int64_t period = int64_t(d.geometry.blockFrames) * 1000000000 / 44100;
  const int64_t phase = (SteadyNowNs() - d.outputStartNs) % period;
  const int64_t wait = (period / 2 - phase + period) % period;
  std::this_thread::sleep_for(std::chrono::nanoseconds(wait));
}

}  // namespace

void* ThreadProcessSound_WaveInWaveOut(void* /*parameter*/) {
  SoundDeviceState& d = soundDevices;
  int stereoWasMono = 1;
  int wasStreaming = 0;
  soundBlock.cdDataReady.store(0, std::memory_order_release);
  WaitForInputPhase(d);
  StartWAVDevices(1);
  while (d.soundRunning.load(std::memory_order_acquire)) {
    int processed = 0;
    const int cdActive = StreamStopHandOver(&wasStreaming, "ThreadProcessSound_WaveInWaveOut");
    const int wait = d.inputDoneEvent->Wait(kInfinite);
    if (!d.soundRunning.load(std::memory_order_acquire)) break;
    if (wait != kWaitObject0) continue;
    // Completed blocks in the order they were recorded (their sequence numbers), so a wake-up
    // that finds several never plays them out of order.
    WaveHeader* done[kInputHeaderCount];
    int count = 0;
    for (int i = 0; i < d.geometry.inputBlocks; ++i)
      if (d.inHeaders[i].Done()) done[count++] = &d.inHeaders[i];
    for (int i = 1; i < count; ++i)
      for (int j = i; j > 0 && done[j]->user < done[j - 1]->user; --j)
        std::swap(done[j], done[j - 1]);
    for (int i = 0; i < count; ++i) {
      ++processed;
      ProcessAndWAVOutput(done[i], cdActive, &stereoWasMono);
    }
    if (processed == 0)
      Trace("ThreadProcessSound_WaveInWaveOut%d: %d inBuf processed!\n", ++d.emptyWakeCount,
            processed);
  }
  d.threadEnded.Set();
  return nullptr;
}

void* ThreadProcessSound_WaveOut(void* /*parameter*/) {
  SoundDeviceState& d = soundDevices;
  int stereoWasMono = 1;
  int wasStreaming = 0;
  int failures = 0;
  soundBlock.cdDataReady.store(0, std::memory_order_release);
  StartWAVDevices(0);
  Trace("ThreadProcessSound_WaveOut: start\n");
  while (d.soundRunning.load(std::memory_order_acquire)) {
    StreamStopHandOver(&wasStreaming, "ThreadProcessSound_WaveOut");
    const int wait = d.outputDoneEvent->Wait(1000);
    if (!d.soundRunning.load(std::memory_order_acquire)) break;
    if (wait == kWaitFailed) {
      ++failures;
      Trace("ThreadProcessSound_WaveOut: failed  _wavEventHandles=%d   error =%d\n",
            int(reinterpret_cast<uintptr_t>(d.outputDoneEvent.get()) & 0x7fffffff), errno);
    } else if (wait != kWaitObject0) {
      ++failures;
      Trace("ThreadProcessSound_WaveOut: failed  WAIT_OBJECT_0 != waitCode -> error =%d\n", 0);
    }
    const int cdActive = soundBlock.cdDataReady.load(std::memory_order_acquire);
    if (wait != kWaitObject0) continue;
    WaveOutDevice* out = d.waveOutHandle.load(std::memory_order_acquire);
    for (int i = 0; i < d.geometry.outputBlocks; ++i) {
      WaveHeader& h = d.outHeaders[i];
      if (!h.Done()) continue;
      ProcessSoundBlock(nullptr, h.data, d.geometry.blockFrames, &d.inFormat, cdActive,
                        &stereoWasMono);
      if (!out) continue;
      out->UnprepareHeader(&h);
      out->PrepareHeader(&h);
      if (out->Write(&h) != kMmSysErrNoError)
        d.outWriteFailed[i].store(1, std::memory_order_relaxed);
      PublishHeardPosition(out);
    }
  }
  d.threadEnded.Set();
  return nullptr;
}
