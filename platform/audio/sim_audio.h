// The simulated sound card: wave input from a PCM source (silence without one), wave output
// into a PCM sink (discarded without one), paced in real time or as fast as the engine takes
// the buffers, and a mixer whose layout is configured. Switches make it behave like awkward
// hardware: an input that refuses 16 bits, an output that refuses to open beside the input,
// opens that fail with a given code, a mixer without microphone, with mono controls or with
// failing controls, or no mixer at all.
//
// Sources and sinks are plain callbacks so this layer knows nothing of files; the engine wires
// WAV files into them. They run on the device's thread (real time) or inside the call that
// queued the buffer (as fast as possible), never two at a time for one device.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/audio/audio_device.h"

struct SimPcmSource {
  // Fills up to bytes in the device's format; returns the bytes delivered. The card fills
  // the rest with silence.
  std::function<size_t(uint8_t* data, size_t bytes)> read;
  std::function<void()> close;  // when the device closes; may be empty
};

struct SimPcmSink {
  std::function<void(const uint8_t* data, size_t bytes)> write;
  std::function<void()> close;
};

struct SimMixerLayout {
  bool present = true;             // false: the card has no mixer
  bool microphone = true;          // the microphone sources of both destinations exist
  bool playbackMicrophone = true;  // the microphone is also a line of the playback mix
  bool monoControls = false;       // volume controls have one channel
  bool failingControls = false;    // reading and writing control values fails
  bool failMixerId = false;        // the wave output's mixer cannot be found
  bool failOpen = false;           // opening the mixer fails
};

struct SimAudioOptions {
  bool realTime = false;               // pace buffers at 44,100 frames a second
  bool refuse16BitInput = false;       // the input opens at 8 bits only
  bool refuseOutputWithInput = false;  // no full duplex: output fails with code 4 beside input
  int failInputQuery = 0;              // code returned by format queries of the input, 0 = none
  int failInputOpen = 0;               // code returned by opening the input, 0 = none
  int failOutputOpen = 0;              // code returned by opening the output, 0 = none
  bool noWaveOutDevices = false;       // the card lists no output device
  bool stallOutput = false;            // the output never completes a buffer (until a reset)
  // The input, on reaching frame atFrame, stalls for `frames` frames of real time and loses
  // them (an overrun), then recovers and goes on. atFrame -1: never.
  struct Stall {
    int64_t atFrame = -1;
    int64_t frames = 0;
  } inputStall;
  std::string deviceName = "Simulated Sound Card";
  SimMixerLayout mixer;
  // Called at each open with the device's format; empty: silence in, output discarded.
  std::function<SimPcmSource(const WaveDeviceFormat& format)> openSource;
  std::function<SimPcmSink(const WaveDeviceFormat& format)> openSink;
};

std::unique_ptr<AudioBackend> CreateSimAudioBackend(SimAudioOptions options);

// Line names of the simulated mixer (tests look lines up by name).
inline constexpr const char* kSimSpeakersName = "Speakers";
inline constexpr const char* kSimRecordingName = "Recording Control";
inline constexpr const char* kSimMicName = "Microphone";
inline constexpr const char* kSimLineName = "Line In";
inline constexpr const char* kSimCdName = "CD Audio";
inline constexpr const char* kSimWaveName = "Wave";
