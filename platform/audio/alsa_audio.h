// The ALSA sound card: PCM capture and playback through one device thread per direction, and
// a mixer built from ALSA's simple mixer elements.
//
// Mixer lines: destination 0 is playback ("Master", sources: every other element with a
// playback volume or switch), destination 1 is recording ("Capture", sources: the elements with
// a capture volume or switch). Mute is the inverse of an element's switch; volumes are scaled
// to 0..65535. The recording destination's mux selects the capture source: the items of an
// enumerated capture element (such as "Input Source"), or else the exclusive capture switches
// that ALSA makes of a "Capture Source" enumeration. Component types come from element names
// ("Mic" is a microphone, "Line" a line input, "PCM" or "Wave" the wave output, ...).
#pragma once

#include <memory>
#include <string>

#include "platform/audio/audio_device.h"

struct AlsaAudioOptions {
  std::string pcmDevice = "default";    // PCM name for capture and playback
  std::string mixerDevice = "default";  // control device the mixer attaches to
};

std::unique_ptr<AudioBackend> CreateAlsaAudioBackend(AlsaAudioOptions options);

// True when the system has at least one ALSA sound card.
bool AlsaSoundCardPresent();

// Sends alsa-lib's own error lines through Trace ("function: message\n") instead of stderr.
// Installed by CreateAlsaAudioBackend; idempotent.
void RouteAlsaErrorsToTrace();

// Maps an element name to the mixer component type of a source line.
uint32_t AlsaSourceTypeOfName(const std::string& name);
