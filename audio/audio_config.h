// Which sound card the engine uses, from the settings (key "...\\Audio") and the environment,
// which wins:
//
//   SORN_AUDIO         "Backend"   auto (ALSA when the system has a sound card, else the
//                                  simulated card), alsa or sim
//   SORN_AUDIO_DEVICE  "Device"    ALSA PCM device, default "default"
//   SORN_AUDIO_MIXER   "Mixer"     ALSA control device of the mixer, default "default"
//   SORN_SIM_INPUT     "Sim Input"   WAV file the simulated card records from (else silence)
//   SORN_SIM_OUTPUT    "Sim Output"  WAV file the simulated card plays into (else discarded)
//   SORN_SIM_PACING    "Sim Pacing"  realtime (default) or fast
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/wavefile.h"
#include "platform/audio/audio_device.h"
#include "platform/audio/sim_audio.h"

inline constexpr const char* kAudioSettingsKey = "Software\\Sorn & Kelvig\\Sorn Karaoke\\Audio";

struct AudioConfig {
  std::string backend = "auto";
  std::string device = "default";
  std::string mixer = "default";
  std::string simInput;
  std::string simOutput;
  bool simRealTime = true;
};

AudioConfig ReadAudioConfig();

// The backend the configuration names. "auto" without a sound card gives the simulated card
// (traced as "InitSound: no sound card found, using the simulated sound card\n").
std::unique_ptr<AudioBackend> CreateConfiguredAudioBackend(const AudioConfig& config);

// WAV files wired into the simulated card. The source reads a 16- or 8-bit PCM file of one or
// two channels and delivers the device's format (mono doubled to both channels), silence
// after its end; the sink writes what is played as a 44,100 Hz stereo 16-bit file, finished
// and put in place when the device closes. A file that cannot be opened is traced and
// replaced by silence or discarding.
SimPcmSource WavFileSource(const std::string& path, const WaveDeviceFormat& format);
// Whether WavFileSource plays a file of this format.
bool WavFileSourceAccepts(const WavePcmFormat& format);

// What a caller that decides about the sink's file tells it and learns from it. The device's
// thread writes and closes; the fields are shared with the caller. Without one the file is
// written under its own name as it is played, to be watched while it grows.
struct WavSinkControl {
  std::atomic<int64_t> frameLimit{-1};  // frames written at most; what comes after is dropped
  std::atomic<bool> keep{true};         // at the close: put the file in place, or remove it
  std::atomic<int> closed{0};           // 1 put in place, -1 failed or removed, 0 not yet
  std::atomic<bool> failed{false};      // a write failed
};
SimPcmSink WavFileSink(const std::string& path, const WaveDeviceFormat& format,
                       std::shared_ptr<WavSinkControl> control = nullptr);

// Simulated card options with the WAV files of the configuration wired in.
SimAudioOptions SimOptionsWithFiles(const std::string& inputPath, const std::string& outputPath,
                                    bool realTime);
