#include "audio/mixer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "diagnostics/diagnostics.h"
#include "platform/settings/registry.h"

MixerState mixerState;

namespace {

struct ChangeForwarding {
  std::mutex lock;
  MixerChangeCallback handler;
};
ChangeForwarding changeForwarding;

void CopyName(char* out, size_t size, const std::string& text) {
  std::snprintf(out, size, "%s", text.c_str());
}

MixerLine* LineAt(MixerTable* table, int destination, int position) {
  if (destination < 0 || destination >= kMixerMaxDestinations || position < 0 ||
      position >= table->lineCount[destination])
    return nullptr;
  return &table->lines[destination][position];
}

}  // namespace

int GetDefaultWaveMixerID(uint32_t* mixerId) {
  *mixerId = 0;
  AudioBackend* backend = CurrentAudioBackend();
  if (!backend) return 1;
  std::string playback;
  bool havePlayback = false;
  int preferredOnly = 0;
  {
    bool created = false;
    auto key = RegistryKey::CreateOrOpen(kSoundMapperKey, &created);
    havePlayback = key->Read("Playback", &playback);
    std::string value;
    if (key->Read("PreferredOnly", &value)) preferredOnly = std::atoi(value.c_str());
  }
  const int devices = backend->WaveOutDeviceCount();
  bool matched = false;
  if (havePlayback) {
    for (int i = 0; i < devices; ++i) {
      if (backend->WaveOutDeviceName(i) != playback) continue;
      matched = true;
      uint32_t id = 0;
      if (backend->MixerIdOfWaveOut(i, &id) == kMmSysErrNoError) {
        *mixerId = id;
        return 0;
      }
      break;
    }
  }
  if (!matched && preferredOnly != 0) return 1;
  if (devices > 0) {
    uint32_t id = 0;
    int code = backend->MixerIdOfWaveOut(0, &id);
    if (code == kMmSysErrNoError) {
      *mixerId = id;
      return 0;
    }
    Trace("GetDefaultWaveMixerID: 1st Wave Device MixerID=%d\n", int(id));
    return code;
  }
  return 1;
}

void ClearMixerTable(MixerTable* table) {
  *table = MixerTable{};
}

MixerLine* sndAddMixerLine(MixerTable* table, uint32_t destination, uint32_t source,
                           const char* shortName, const char* name, uint32_t flags) {
  if (destination >= uint32_t(kMixerMaxDestinations)) return nullptr;
  int& count = table->lineCount[destination];
  if (count >= kMixerMaxLines) return nullptr;
  MixerLine* line = &table->lines[destination][count++];
  *line = MixerLine{};
  line->destination = destination;
  line->source = source;
  line->flags = flags;
  CopyName(line->shortName, sizeof line->shortName, shortName ? shortName : "");
  CopyName(line->name, sizeof line->name, name ? name : "");
  return line;
}

void InitMixerLineControls(MixerDevice* mixer, MixerLine* line, uint32_t lineId) {
  line->lineId = lineId;
  line->volumeControlId = line->muteControlId = line->mixerControlId = line->muxControlId = 0;
  line->mixerItemCount = line->muxItemCount = 0;
  if (!mixer) return;
  MixerControlInfo control;
  if (mixer->GetLineControl(lineId, kControlMute, &control) == kMmSysErrNoError)
    line->muteControlId = control.controlId;
  if (mixer->GetLineControl(lineId, kControlVolume, &control) == kMmSysErrNoError)
    line->volumeControlId = control.controlId;
  if (mixer->GetLineControl(lineId, kControlMixer, &control) == kMmSysErrNoError) {
    line->mixerControlId = control.controlId;
    line->mixerItemCount = control.itemCount;
  }
  if (mixer->GetLineControl(lineId, kControlMux, &control) == kMmSysErrNoError) {
    line->muxControlId = control.controlId;
    line->muxItemCount = control.itemCount;
    // The item texts and states are read as the card reports them (diagnostics only).
    std::vector<std::string> texts;
    mixer->GetListTexts(control.controlId, &texts);
    std::vector<uint32_t> states(std::max<uint32_t>(control.itemCount, 1));
    mixer->GetControlValues(control.controlId, 1, control.itemCount, states.data());
  }
}

void GetAudioHardwareMute(MixerDevice* mixer, MixerLine* line) {
  if (!line->muteControlId) {
    Trace("GetAudioHardwareMute: %d '%s' Hey.  No ID for mute\n", int(line->lineId), line->name);
    return;
  }
  uint32_t value = 0;
  if (!mixer || mixer->GetControlValues(line->muteControlId, 1, 0, &value) != kMmSysErrNoError) {
    Trace("GetAudioHardwareMute: %d '%s' Error in mixerGetControlDetails()\n", int(line->lineId),
          line->name);
    return;
  }
  line->mute = value;
}

void GetAudioHardwareVolumes(MixerDevice* mixer, MixerLine* line, uint32_t channels) {
  if (!line->volumeControlId) {
    Trace("GetAudioHardwareVolumes: %d '%s' Hey.  No ID for Volume\n", int(line->lineId),
          line->name);
    return;
  }
  uint32_t values[2] = {0, 0};
  channels = std::clamp<uint32_t>(channels, 1, 2);
  auto read = [&](uint32_t n) {
    return mixer &&
           mixer->GetControlValues(line->volumeControlId, n, 0, values) == kMmSysErrNoError;
  };
  if (!read(channels)) {
    channels = channels == 1 ? 2 : 1;
    if (!read(channels)) {
      Trace("GetAudioHardwareVolumes: %d '%s' Error in mixerGetControlDetails()\n",
            int(line->lineId), line->name);
      return;
    }
  }
  line->volume[0] = values[0];
  line->volume[1] = channels == 1 ? values[0] : values[1];
}

int GetVolume(MixerDevice* mixer, MixerLine* line, uint32_t channels) {
  if (!mixer) {
    Trace("GetVolume: mixer=NULL\n");
    return 0;
  }
  GetAudioHardwareVolumes(mixer, line, channels);
  const uint32_t loudest = std::max(line->volume[0], line->volume[1]);
  return int(loudest * 0.0015259022 + 0.5);
}

namespace {
int VolumeOfPosition(MixerDevice* mixer, MixerTable* table, int destination, int position,
                     uint32_t channels) {
  MixerLine* line = LineAt(table, destination, position);
  if (!line || !line->volumeControlId) return 0;
  return GetVolume(mixer, line, channels);
}
}  // namespace

int GetVolume_Destination(MixerDevice* mixer, MixerTable* table, int destination,
                          uint32_t channels) {
  return VolumeOfPosition(mixer, table, destination, 0, channels);
}

int GetVolume_Microphone(MixerDevice* mixer, MixerTable* table, int destination,
                         uint32_t channels) {
  if (destination < 0 || destination >= kMixerMaxDestinations) return 0;
  return VolumeOfPosition(mixer, table, destination, table->microphoneIndex[destination], channels);
}

int GetVolume_WaveOut(MixerDevice* mixer, MixerTable* table, int destination, uint32_t channels) {
  if (destination < 0 || destination >= kMixerMaxDestinations) return 0;
  return VolumeOfPosition(mixer, table, destination, table->waveOutIndex[destination], channels);
}

void ReadMixerState(MixerDevice* mixer, MixerTable* snapshot) {
  for (int d = 0; d < 2; ++d) {
    MixerLine* lines[3] = {LineAt(snapshot, d, 0),
                           LineAt(snapshot, d, snapshot->microphoneIndex[d]),
                           LineAt(snapshot, d, snapshot->waveOutIndex[d])};
    if (!lines[1]) Trace("GetMute_Microphone: Uh oh kMixerLineConnection_NotFound\n");
    for (MixerLine* line : lines) {
      if (!line) continue;
      GetAudioHardwareMute(mixer, line);
      GetAudioHardwareVolumes(mixer, line, 2);
    }
  }
}

void RestoreMixerState(MixerDevice* mixer, MixerTable* snapshot) {
  for (int d = kMixerRecording; d >= kMixerPlayback; --d) {  // recording first
    MixerLine* lines[3] = {LineAt(snapshot, d, 0),
                           LineAt(snapshot, d, snapshot->microphoneIndex[d]),
                           LineAt(snapshot, d, snapshot->waveOutIndex[d])};
    for (MixerLine* line : lines) {
      if (!line) continue;
      const uint32_t volume[2] = {line->volume[0], line->volume[1]};
      SetMixerLineMute(mixer, line, line->mute);
      SetMixerLineVolume(mixer, line, volume, 2);
    }
  }
}

int SetMixerLineMute(MixerDevice* mixer, MixerLine* line, uint32_t mute) {
  if (!mixer || !line->muteControlId) return 0;
  const uint32_t value = mute;
  if (mixer->SetControlValues(line->muteControlId, 1, 0, &value) != kMmSysErrNoError) return 0;
  line->mute = mute;
  return 1;
}

int SetMixerLineVolume(MixerDevice* mixer, MixerLine* line, const uint32_t* values,
                       uint32_t channels) {
  if (!mixer || !line->volumeControlId) return 0;
  channels = std::clamp<uint32_t>(channels, 1, 2);
  int code = mixer->SetControlValues(line->volumeControlId, channels, 0, values);
  // A mono control takes one value: the stereo write is retried as it is on reading.
  if (code != kMmSysErrNoError && channels == 2) {
    channels = 1;
    code = mixer->SetControlValues(line->volumeControlId, 1, 0, values);
  }
  if (code != kMmSysErrNoError) return 0;
  line->volume[0] = values[0];
  line->volume[1] = channels == 1 ? values[0] : values[1];
  return 1;
}

int SetMixerLineVolumePercent(MixerDevice* mixer, MixerLine* line, double percent,
                              uint32_t channels) {
  const double raw = std::clamp(percent * 655.35, 0.0, 65535.0);
  const uint32_t value = uint32_t(raw + 0.5);
  const uint32_t values[2] = {value, value};
  return SetMixerLineVolume(mixer, line, values, channels);
}

int SetMute_Microphone(MixerDevice* mixer, MixerTable* table, int destination, uint32_t mute) {
  if (destination < 0 || destination >= kMixerMaxDestinations) return 0;
  MixerLine* line = LineAt(table, destination, table->microphoneIndex[destination]);
  if (!line) return 0;
  if (destination == kMixerPlayback && !mixerState.cardMonitoring) mute = 1;
  return SetMixerLineMute(mixer, line, mute);
}

int SetVolume_Microphone(MixerDevice* mixer, MixerTable* table, int destination, double percent,
                         uint32_t channels) {
  if (destination < 0 || destination >= kMixerMaxDestinations) return 0;
  MixerLine* line = LineAt(table, destination, table->microphoneIndex[destination]);
  if (!line) return 0;
  return SetMixerLineVolumePercent(mixer, line, percent, channels);
}

int SelectInput_Microphone(MixerDevice* mixer, MixerTable* table, int destination) {
  if (!mixer || destination < 0 || destination >= kMixerMaxDestinations) return 0;
  const int microphone = table->microphoneIndex[destination];
  MixerLine* dst = LineAt(table, destination, 0);
  if (microphone < 1 || !dst || !dst->muxControlId) return 0;
  // The mux's items are taken to be in the order of the destination's sources.
  std::vector<uint32_t> items(std::max<uint32_t>(dst->muxItemCount, 1), 0);
  if (uint32_t(microphone - 1) < items.size()) items[size_t(microphone - 1)] = 1;
  if (mixer->SetControlValues(dst->muxControlId, 1, dst->muxItemCount, items.data()) !=
      kMmSysErrNoError) {
    Trace("SelectInput_Microphone: mixerSetControlDetails(Select Input) failed\n");
    return 0;
  }
  return 1;
}

void SetMixerChangeHandler(MixerChangeCallback handler) {
  std::lock_guard<std::mutex> guard(changeForwarding.lock);
  changeForwarding.handler = std::move(handler);
}

MixerChangeCallback MixerChangeForwarder() {
  return [](uint32_t controlId) {
    MixerChangeCallback handler;
    {
      std::lock_guard<std::mutex> guard(changeForwarding.lock);
      handler = changeForwarding.handler;
    }
    if (handler) handler(controlId);
  };
}
