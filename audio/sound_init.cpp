#include "audio/sound_init.h"

#include <pthread.h>

#include <algorithm>
#include <memory>
#include <string>

#include "audio/audio_config.h"
#include "audio/mixer.h"
#include "audio/sound_block.h"
#include "audio/streaming.h"
#include "audio/voice_io.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"

namespace {

struct SoundInitState {
  bool started = false;                // InitSound ran and CloseSound has not yet
  std::unique_ptr<MixerDevice> mixer;  // the open mixer (mixerState.mixer points at it)
  CdReaderStop readerStop = nullptr;
};
SoundInitState soundInit;

constexpr uint32_t kKaraokeVolume = 58982;  // 0xE666, 90 % of 65,535

bool IsOneOf(uint32_t type, std::initializer_list<uint32_t> types) {
  for (uint32_t t : types)
    if (t == type) return true;
  return false;
}

// Maps the mixer's playback (0) and recording (1) destinations into the line table.
void MapMixerLines(MixerDevice* mixer, MixerTable* table) {
  MixerCaps caps;
  const bool capsRead = mixer->GetCaps(&caps) == kMmSysErrNoError;
  for (uint32_t d = 0; d < 2; ++d) {
    MixerLineInfo dst;
    uint32_t dstFlags = 0;
    if (mixer->GetDestinationLineInfo(d, &dst) != kMmSysErrNoError) {
      Trace("InitSound: DST mixerGetLineInfo(%d) failed\n", int(d));
      dst = MixerLineInfo{};
    } else {
      dstFlags = kMixerLineKaraoke;
    }
    MixerLine* line =
        sndAddMixerLine(table, d, 0, dst.shortName.c_str(), dst.name.c_str(), dstFlags);
    InitMixerLineControls(mixer, line, dst.lineId);

    for (uint32_t s = 0; s < dst.connections; ++s) {
      MixerLineInfo src;
      const bool read = mixer->GetSourceLineInfo(d, s, &src) == kMmSysErrNoError;
      if (!read) {
        Trace("InitSound: DST mixerGetLineInfo(%d) failed\n", int(d));
        src = MixerLineInfo{};  // kept as a disabled line, so later sources keep position s + 1
      }
      uint32_t flags = 0;
      if (!capsRead || !read) {
        flags = kMixerLineDisabled;
      } else {
        if (src.channels == 1) flags += kMixerLineMono;
        if (src.disconnected) {
          flags += kMixerLineDisabled;
          Trace("lineIndex=%d sourceIndex=%d VCD_SUPPORTF_DISABLED\n", int(d), int(s));
        }
        if (IsOneOf(dst.componentType, {kDstSpeakers, kDstHeadphones}) &&
            IsOneOf(src.componentType, {kSrcLine, kSrcSynthesizer, kSrcCompactDisc, kSrcWaveOut}))
          flags += kMixerLineKaraoke;
        if (IsOneOf(dst.componentType, {kDstWaveIn, kDstVoiceIn}) &&
            IsOneOf(src.componentType,
                    {kSrcLine, kSrcMicrophone, kSrcSynthesizer, kSrcCompactDisc}))
          flags += kMixerLineKaraoke;
      }
      // The first source of each kind is the one the engine uses.
      const int position = int(s) + 1;
      if (read && src.componentType == kSrcMicrophone && table->microphoneIndex[d] < 0)
        table->microphoneIndex[d] = position;
      if (read && src.componentType == kSrcLine && table->lineInIndex[d] < 0)
        table->lineInIndex[d] = position;
      if (read && src.componentType == kSrcWaveOut && table->waveOutIndex[d] < 0)
        table->waveOutIndex[d] = position;
      MixerLine* source =
          sndAddMixerLine(table, d, 0, src.shortName.c_str(), src.name.c_str(), flags);
      if (!source) break;  // a destination holds at most kMixerMaxLines lines
      InitMixerLineControls(mixer, source, src.lineId);
    }
    LogPrintf("line%d cConnections=%d szShortName='%s' mlDst.szName='%s' \n", int(d),
              int(dst.connections), dst.shortName.c_str(), dst.name.c_str());
    LogPrintf("line%d:  microphoneIndex=%d waveIndex=%d lineIndex=%d\n\n", int(d),
              table->microphoneIndex[d], table->lineInIndex[d], table->waveOutIndex[d]);
  }
}

MixerLine* LineOf(MixerTable* table, int destination, int position) {
  if (position < 0 || position >= table->lineCount[destination]) return nullptr;
  return &table->lines[destination][position];
}

void SetVolume(MixerDevice* mixer, MixerLine* line) {
  const uint32_t values[2] = {kKaraokeVolume, kKaraokeVolume};
  SetMixerLineVolume(mixer, line, values, 2);
}

// Recording from the microphone at 90 %, the card's playback of the wave output at 90 %.
void SetUpMixerForKaraoke(MixerDevice* mixer, MixerTable* table) {
  MixerLine* line;
  if ((line = LineOf(table, kMixerRecording, 0))) {
    SetMixerLineMute(mixer, line, 0);
    SetVolume(mixer, line);
  }
  if ((line = LineOf(table, kMixerRecording, table->microphoneIndex[kMixerRecording])))
    SetMixerLineMute(mixer, line, 0);
  if ((line = LineOf(table, kMixerRecording, table->waveOutIndex[kMixerRecording]))) {
    SetMixerLineMute(mixer, line, 1);
    SetVolume(mixer, line);
  }
  SelectInput_Microphone(mixer, table, kMixerRecording);

  if ((line = LineOf(table, kMixerPlayback, 0))) SetMixerLineMute(mixer, line, 0);
  if ((line = LineOf(table, kMixerPlayback, table->microphoneIndex[kMixerPlayback])))
    SetMixerLineMute(mixer, line, 0);
  if ((line = LineOf(table, kMixerPlayback, table->waveOutIndex[kMixerPlayback]))) {
    SetMixerLineMute(mixer, line, 0);
    SetVolume(mixer, line);
  }
}

// Who lets the singer hear the dry voice: "auto" is software monitoring unless the playback
// mix has a line of the input the voice is recorded from (the microphone, or the line input
// standing in for it), the card's own path.
Monitoring ChooseMonitoring(const MixerTable& table) {
  if (settings.monitoring != Monitoring::kAuto) return settings.monitoring;
  const int recordedFrom = table.microphoneIndex[kMixerRecording];
  const bool voiceFromLineIn =
      recordedFrom >= 0 && recordedFrom == table.lineInIndex[kMixerRecording];
  // The playback destination's microphone position may be its line input standing in.
  const int playbackMicrophone = table.microphoneIndex[kMixerPlayback];
  const bool playbackHasMicrophone =
      playbackMicrophone >= 0 && playbackMicrophone != table.lineInIndex[kMixerPlayback];
  const bool path =
      voiceFromLineIn ? table.lineInIndex[kMixerPlayback] >= 0 : playbackHasMicrophone;
  return path ? Monitoring::kHardware : Monitoring::kSoftware;
}

void SetUpMonitoring(MixerDevice* mixer, MixerTable* table) {
  const Monitoring monitoring = ChooseMonitoring(*table);
  mixerState.cardMonitoring = monitoring == Monitoring::kHardware;
  soundBlock.softwareMonitoring.store(monitoring == Monitoring::kSoftware ? 1 : 0);
  if (!mixerState.cardMonitoring) {
    SetMute_Microphone(mixer, table, kMixerPlayback, 1);
    Trace("InitSound: Monitoring %s\n", MonitoringName(monitoring));
  }
}

bool StartThread(void* (*entry)(void*)) {
  SoundDeviceState& d = soundDevices;
  d.threadEnded.ResetEvent();
  d.threadStarted = pthread_create(&d.thread, nullptr, entry, nullptr) == 0;
  return d.threadStarted;
}

}  // namespace

void SetCloseSoundReaderStop(CdReaderStop stop) {
  soundInit.readerStop = stop;
}

int InitSound(void* /*mainWindow*/, void* /*instance*/, int blockDivisor) {
  if (soundInit.started) return kInitSound_Ok;
  soundInit.started = true;
  SoundDeviceState& d = soundDevices;
  d.blockDivisor = blockDivisor;
  d.inputDriven.store(1);
  d.outputDriven.store(0);
  d.soundRunning.store(0);
  d.geometry = GeometryForBlockFrames(ConfiguredBlockFrames());
  soundBlock.meterBlocks.store(std::max(1, kBlockFrames / d.geometry.blockFrames));

  // 1. Engine buffers.
  if (!soundBlock.musicChannels[0] && !AllocateSoundBlockBuffers()) return kInitSound_NoDevices;
  if (!CurrentAudioBackend()) SetAudioBackend(CreateConfiguredAudioBackend(ReadAudioConfig()));
  AudioBackend* backend = CurrentAudioBackend();
  // The standard geometry leaves the device's own buffering as it always was.
  WaveDeviceGeometry deviceGeometry;
  if (d.geometry.blockFrames != kBlockFrames)
    deviceGeometry = {d.geometry.blockFrames, d.geometry.outputBlocks};
  backend->SetDeviceGeometry(deviceGeometry);
  const int mixerCount = backend->MixerDeviceCount();
  LogPrintf("mixerGetNumDevs = %d\n", mixerCount);

  // 2. Mixer discovery.
  if (mixerCount == 0) {
    Trace("InitSound: No mixer devices installed.\n");
    return kInitSound_MixerFailed;
  }
  uint32_t mixerId = 0;
  if (GetDefaultWaveMixerID(&mixerId) != 0) {
    Trace("InitSound: GetDefaultWaveMixerID() failed\n");
    WriteToLogFile("InitSound: GetDefaultWaveMixerID() failed\n");
    return kInitSound_MixerFailed;
  }
  if (backend->OpenMixer(mixerId, MixerChangeForwarder(), &soundInit.mixer) != kMmSysErrNoError) {
    Trace("InitSound: mixerOpen() _mixerID failed\n");
    return kInitSound_MixerFailed;
  }
  mixerState.mixer = soundInit.mixer.get();
  mixerState.mixerId = mixerId;
  MixerDevice* mixer = mixerState.mixer;
  MixerTable& table = mixerState.table;

  // 3-4. Lines; a card without a microphone line takes the voice from its line input.
  ClearMixerTable(&table);
  MapMixerLines(mixer, &table);
  for (int i = 0; i < 2; ++i)
    if (table.microphoneIndex[i] == -1) table.microphoneIndex[i] = table.lineInIndex[i];

  // 5. The state to restore at shutdown, then 6. the karaoke set-up.
  mixerState.snapshot = table;
  ReadMixerState(mixer, &mixerState.snapshot);
  SetUpMixerForKaraoke(mixer, &table);
  SetUpMonitoring(mixer, &table);

  // 7. Devices.
  d.outFormat = WAVEFORMATEX{};
  d.outFormat.nChannels = 2;
  d.outFormat.nSamplesPerSec = 44100;
  d.outFormat.wBitsPerSample = 16;
  sndCompleteWaveFormatEx(&d.outFormat);

  bool okIn = OpenSound_InputWAVDevice(&d.inFormat, blockDivisor,
                                       d.inputDriven.load() ? &d.inputDoneEvent : nullptr) != 0;
  if (!okIn) {
    d.inputDriven.store(0);
    d.outputDriven.store(1);
    WriteToLogFile("InitSound: !okIn -> switch to output driven\n");
  }
  bool okOut = OpenSound_OutputWAVDevice(&d.outFormat, blockDivisor,
                                         d.outputDriven.load() ? &d.outputDoneEvent : nullptr) != 0;
  int result = kInitSound_Ok;
  if (!okIn && okOut) {
    WriteToLogFile("InitSound: !okIn && okOut kInitSound_InputFailed\n");
    result = kInitSound_InputFailed;
  } else if (okIn && !okOut) {
    // No full duplex: the input is given up so that the output can open.
    CloseSound_InputWAVDevice();
    okIn = false;
    d.inputDriven.store(0);
    d.outputDriven.store(1);
    okOut = OpenSound_OutputWAVDevice(&d.outFormat, blockDivisor, &d.outputDoneEvent) != 0;
    WriteToLogFile(okOut ? "InitSound: okIn && !okOut  --> okOut !!\n"
                         : "InitSound: okIn && !okOut  --> another !okOut\n");
    result = kInitSound_NoFullDuplex;
  } else if (!okIn && !okOut) {
    WriteToLogFile("InitSound: !okIn && !okOut\n");
    return kInitSound_NoDevices;
  }

  d.soundRunning.store(1, std::memory_order_release);
  // Without a deadline (a card rendering as fast as it can) the block does the voice files'
  // I/O itself, so a take plays back whole however fast the blocks come.
  if (backend->RealTime()) StartVoiceIoThread();
  if (!okIn && okOut) {
    Trace("InitSound: kInitSound_InputFailed:  using sound output only\n");
    WriteToLogFile("InitSound: !okIn && okOut:  using sound output only\n");
    StartThread(ThreadProcessSound_WaveOut);
  } else if (okIn && okOut) {
    StartThread(ThreadProcessSound_WaveInWaveOut);
  }

  // 8.
  if (d.threadStarted) {
    const int frames = d.geometry.blockFrames;
    Trace("InitSound: Block%d Frames%d (%g sec) Div%d Bytes in%d out%d\n", kSubBlockFrames, frames,
          double(frames) / 44100.0, blockDivisor, frames * d.inFormat.nBlockAlign, d.outputBytes);
    Trace("           %d bit input, %d-bit output\n", int(d.inFormat.wBitsPerSample),
          int(d.outFormat.wBitsPerSample));
    return result;
  }
  Trace("InitSound: CreateThread failed\n");
  d.soundRunning.store(0, std::memory_order_release);
  StopVoiceIoThread();
  return kInitSound_ThreadFailed;
}

void CloseSound() {
  SoundDeviceState& d = soundDevices;
  if (!soundInit.started) return;
  if (soundInit.readerStop) soundInit.readerStop();

  // The streaming thread is stopped before the devices it uses: its run flag is cleared and
  // the event it waits on is set, so it neither blocks on a closed input nor queues buffers
  // into one. The wait is bounded (500 ms).
  bool threadGone = true;
  d.soundRunning.store(0, std::memory_order_release);
  if (d.threadStarted) {
    if (d.inputDoneEvent) d.inputDoneEvent->Set();
    if (d.outputDoneEvent) d.outputDoneEvent->Set();
    if (d.threadEnded.Wait(500) == kWaitObject0) {
      pthread_join(d.thread, nullptr);
    } else {
      Trace("CloseSound: the streaming thread did not end\n");
      pthread_detach(d.thread);
      threadGone = false;
    }
    d.threadStarted = false;
  }
  // The voice files' I/O thread writes out what the streaming thread handed it, then ends.
  if (threadGone) StopVoiceIoThread();

  // Input: reset, then stop, reset and close.
  if (WaveInDevice* in = d.waveInHandle.load(std::memory_order_acquire)) {
    int code = in->Reset();
    if (code != kMmSysErrNoError) Trace("9waveInReset error %s\n", WaveInErrorText(code).c_str());
    CloseSound_InputWAVDevice();
  }
  // Output: reset and close.
  if (WaveOutDevice* out = d.waveOutHandle.load(std::memory_order_acquire)) {
    out->Reset();
    out->Close();
    d.waveOutHandle.store(nullptr, std::memory_order_release);
  }

  // Mixer: back to the state found at start-up.
  if (mixerState.mixer) {
    RestoreMixerState(mixerState.mixer, &mixerState.snapshot);
    mixerState.mixer = nullptr;
    mixerState.cardMonitoring = true;
    soundInit.mixer.reset();
  }

  // A thread that did not end may still use the devices, events and buffers: they are kept.
  if (threadGone) {
    d.waveIn.reset();
    d.waveOut.reset();
    d.inputDoneEvent.reset();
    d.outputDoneEvent.reset();
    FreeSoundBlockBuffers();
  }
  soundInit.started = false;
}
