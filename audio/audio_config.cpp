#include "audio/audio_config.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audio/wavefile.h"
#include "diagnostics/diagnostics.h"
#include "platform/audio/alsa_audio.h"
#include "platform/settings/registry.h"

namespace {

void ReadSetting(const RegistryKey& key, const char* name, const char* variable,
                 std::string* value) {
  std::string stored;
  if (key.Read(name, &stored) && !stored.empty()) *value = stored;
  if (const char* env = std::getenv(variable); env && *env) *value = env;
}

struct WavSource {
  WaveFile file;
  WaveDeviceFormat device;
  std::vector<uint8_t> scratch;
};

// One sample of a file frame in 16-bit scale.
int SampleAt(const uint8_t* frame, int channel, int bits) {
  if (bits == 8) return (int(frame[channel]) - 128) * 256;
  const uint8_t* p = frame + 2 * channel;
  return int16_t(uint16_t(p[0] | p[1] << 8));
}

}  // namespace

AudioConfig ReadAudioConfig() {
  AudioConfig config;
  bool created = false;
  auto key = RegistryKey::CreateOrOpen(kAudioSettingsKey, &created);
  ReadSetting(*key, "Backend", "SORN_AUDIO", &config.backend);
  ReadSetting(*key, "Device", "SORN_AUDIO_DEVICE", &config.device);
  ReadSetting(*key, "Mixer", "SORN_AUDIO_MIXER", &config.mixer);
  ReadSetting(*key, "Sim Input", "SORN_SIM_INPUT", &config.simInput);
  ReadSetting(*key, "Sim Output", "SORN_SIM_OUTPUT", &config.simOutput);
  std::string pacing = "realtime";
  ReadSetting(*key, "Sim Pacing", "SORN_SIM_PACING", &pacing);
  config.simRealTime = pacing != "fast";
  return config;
}

std::unique_ptr<AudioBackend> CreateConfiguredAudioBackend(const AudioConfig& config) {
  bool useSim = config.backend == "sim";
  if (config.backend == "auto" && !AlsaSoundCardPresent()) {
    Trace("InitSound: no sound card found, using the simulated sound card\n");
    useSim = true;
  } else if (config.backend != "auto" && config.backend != "alsa" && config.backend != "sim") {
    Trace("InitSound: unknown audio backend '%s', using alsa\n", config.backend.c_str());
  }
  if (useSim)
    return CreateSimAudioBackend(
        SimOptionsWithFiles(config.simInput, config.simOutput, config.simRealTime));
  AlsaAudioOptions options;
  options.pcmDevice = config.device;
  options.mixerDevice = config.mixer;
  return CreateAlsaAudioBackend(options);
}

bool WavFileSourceAccepts(const WavePcmFormat& f) {
  return (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) && f.nChannels >= 1 &&
         f.nChannels <= 2 && f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8;
}

SimPcmSource WavFileSource(const std::string& path, const WaveDeviceFormat& format) {
  auto source = std::make_shared<WavSource>();
  source->device = format;
  waveFileInit(&source->file);
  if (!waveFileOpenIn(&source->file, path.c_str())) {
    Trace("WavFileSource: Unable to open '%s', recording silence\n", path.c_str());
    return SimPcmSource{};
  }
  const WavePcmFormat& f = source->file.format;
  if (!WavFileSourceAccepts(f)) {
    Trace("WavFileSource: '%s' is not 8- or 16-bit PCM of one or two channels\n", path.c_str());
    waveFileCloseIn(&source->file);
    return SimPcmSource{};
  }
  if (f.nSamplesPerSec != format.nSamplesPerSec)
    Trace("WavFileSource: '%s' is %u Hz, played at %u Hz\n", path.c_str(),
          unsigned(f.nSamplesPerSec), unsigned(format.nSamplesPerSec));

  SimPcmSource pcm;
  pcm.read = [source](uint8_t* data, size_t bytes) -> size_t {
    const WavePcmFormat& f = source->file.format;
    const WaveDeviceFormat& d = source->device;
    const size_t frames = bytes / d.nBlockAlign;
    source->scratch.resize(frames * f.nBlockAlign);
    const int32_t got =
        wavReadSamples(&source->file, source->scratch.data(), int32_t(frames * f.nChannels));
    const size_t framesGot = got > 0 ? size_t(got) / f.nChannels : 0;
    for (size_t i = 0; i < framesGot; ++i) {
      const uint8_t* frame = source->scratch.data() + i * f.nBlockAlign;
      for (int ch = 0; ch < d.nChannels; ++ch) {
        const int value = SampleAt(frame, f.nChannels == 2 ? ch : 0, f.wBitsPerSample);
        if (d.wBitsPerSample == 8) {
          data[i * d.nBlockAlign + ch] = uint8_t((value >> 8) + 128);
        } else {
          data[i * d.nBlockAlign + 2 * ch] = uint8_t(value);
          data[i * d.nBlockAlign + 2 * ch + 1] = uint8_t(uint16_t(value) >> 8);
        }
      }
    }
    return framesGot * d.nBlockAlign;
  };
  pcm.close = [source] { waveFileCloseIn(&source->file); };
  return pcm;
}

SimPcmSink WavFileSink(const std::string& path, const WaveDeviceFormat& format,
                       std::shared_ptr<WavSinkControl> control) {
  auto file = std::make_shared<WaveFile>();
  waveFileInit(file.get());
  waveFileSetFormat(file.get(), format.nSamplesPerSec, format.nChannels, format.wBitsPerSample);
  file->inPlace = !control;
  if (!control) control = std::make_shared<WavSinkControl>();
  if (!waveFileOpenOut(file.get(), path.c_str())) {
    Trace("WavFileSink: Unable to create '%s', output discarded\n", path.c_str());
    control->failed.store(true);
    control->closed.store(-1);
    return SimPcmSink{};
  }
  const int bytesPerSample = std::max(1, format.wBitsPerSample / 8);
  const int frameBytes = std::max(1, int(format.nBlockAlign));
  auto written = std::make_shared<int64_t>(0);  // frames, on the device's thread
  SimPcmSink sink;
  sink.write = [file, control, written, bytesPerSample, frameBytes](const uint8_t* data,
                                                                    size_t bytes) {
    const int64_t limit = control->frameLimit.load(std::memory_order_acquire);
    int64_t frames = int64_t(bytes) / frameBytes;
    if (limit >= 0) frames = std::clamp<int64_t>(limit - *written, 0, frames);
    *written += frames;
    const int32_t samples = int32_t(frames * frameBytes / bytesPerSample);
    if (samples > 0 && wavWriteSamples(file.get(), data, samples) != samples)
      control->failed.store(true, std::memory_order_release);
  };
  sink.close = [file, control] {
    bool kept = false;
    if (control->keep.load(std::memory_order_acquire) &&
        !control->failed.load(std::memory_order_acquire))
      kept = waveFileCloseOut(file.get());
    else
      waveFileAbandonOut(file.get());
    control->closed.store(kept ? 1 : -1, std::memory_order_release);
  };
  return sink;
}

SimAudioOptions SimOptionsWithFiles(const std::string& inputPath, const std::string& outputPath,
                                    bool realTime) {
  SimAudioOptions options;
  options.realTime = realTime;
  if (!inputPath.empty())
    options.openSource = [inputPath](const WaveDeviceFormat& format) {
      return WavFileSource(inputPath, format);
    };
  if (!outputPath.empty())
    options.openSink = [outputPath](const WaveDeviceFormat& format) {
      return WavFileSink(outputPath, format);
    };
  return options;
}
