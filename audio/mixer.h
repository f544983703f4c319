// Mixer control: the sound card's playback and recording lines in a table, the karaoke set-up
// at start-up, the microphone's mute, volume and recording selection while running, and the
// snapshot that puts the mixer back at shutdown. Every call runs on the window thread.
#pragma once

#include <cstdint>

#include "platform/audio/audio_device.h"

inline constexpr int kMixerMaxDestinations = 4;
inline constexpr int kMixerMaxLines = 15;  // per destination: the destination line and sources
inline constexpr int kMixerPlayback = 0;
inline constexpr int kMixerRecording = 1;

// Line flags.
inline constexpr uint32_t kMixerLineMono = 1;
inline constexpr uint32_t kMixerLineDisabled = 2;  // disconnected or capabilities unreadable
inline constexpr uint32_t kMixerLineKaraoke = 32;  // a line that matters for karaoke

struct MixerLine {
  uint32_t destination = 0;
  uint32_t source = 0;
  uint32_t flags = 0;
  char shortName[200] = {};
  char name[400] = {};
  uint32_t lineId = 0;
  uint32_t volumeControlId = 0;  // 0 = none
  uint32_t muteControlId = 0;
  uint32_t mixerControlId = 0;  // multiple-select "mixer" control
  uint32_t mixerItemCount = 0;
  uint32_t muxControlId = 0;  // single-select input selector
  uint32_t muxItemCount = 0;
  uint32_t volume[2] = {0, 0};  // 0..65535, as last read or set
  uint32_t mute = 0;
};

struct MixerTable {
  int destinationCount = 2;
  int lineCount[kMixerMaxDestinations] = {};
  int lineInIndex[kMixerMaxDestinations] = {-1, -1, -1, -1};
  int microphoneIndex[kMixerMaxDestinations] = {-1, -1, -1, -1};
  int waveOutIndex[kMixerMaxDestinations] = {-1, -1, -1, -1};
  MixerLine lines[kMixerMaxDestinations][kMixerMaxLines];
};

// The engine's mixer: the open device and its line table. Opened and filled by InitSound,
// closed by CloseSound.
struct MixerState {
  MixerDevice* mixer = nullptr;
  uint32_t mixerId = 0;
  MixerTable table;
  MixerTable snapshot;  // the lines as found at start-up, restored at shutdown
  // The card's own microphone path in the playback mix carries the dry voice (hardware
  // monitoring). When it does not, start-up mutes that line and it stays muted: the engine
  // mixes the dry voice itself, or nobody does.
  bool cardMonitoring = true;
};
extern MixerState mixerState;

// 0 and the id of the default wave output's mixer, non-zero on failure. The preferred output
// device comes from the settings key "...\\Sound Mapper" ("Playback", "PreferredOnly").
int GetDefaultWaveMixerID(uint32_t* mixerId);
inline constexpr const char* kSoundMapperKey =
    "Software\\Sorn & Kelvig\\Sorn Karaoke\\Sound Mapper";

// Clears the table's counts and positions (before start-up fills it).
void ClearMixerTable(MixerTable* table);
// The next line of that destination; null when it already holds kMixerMaxLines lines.
MixerLine* sndAddMixerLine(MixerTable* table, uint32_t destination, uint32_t source,
                           const char* shortName, const char* name, uint32_t flags);
void InitMixerLineControls(MixerDevice* mixer, MixerLine* line, uint32_t lineId);

void GetAudioHardwareMute(MixerDevice* mixer, MixerLine* line);
void GetAudioHardwareVolumes(MixerDevice* mixer, MixerLine* line, uint32_t channels);
// Percent 0..100 of the louder channel.
int GetVolume(MixerDevice* mixer, MixerLine* line, uint32_t channels);
int GetVolume_Destination(MixerDevice* mixer, MixerTable* table, int destination,
                          uint32_t channels);
int GetVolume_Microphone(MixerDevice* mixer, MixerTable* table, int destination, uint32_t channels);
int GetVolume_WaveOut(MixerDevice* mixer, MixerTable* table, int destination, uint32_t channels);

void ReadMixerState(MixerDevice* mixer, MixerTable* snapshot);
void RestoreMixerState(MixerDevice* mixer, MixerTable* snapshot);

int SetMixerLineMute(MixerDevice* mixer, MixerLine* line, uint32_t mute);
int SetMixerLineVolume(MixerDevice* mixer, MixerLine* line, const uint32_t* values,
                       uint32_t channels);
int SetMixerLineVolumePercent(MixerDevice* mixer, MixerLine* line, double percent,
                              uint32_t channels);
// The playback destination's microphone line stays muted while the card's path does not
// monitor (MixerState::cardMonitoring false): an unmute is then written as a mute.
int SetMute_Microphone(MixerDevice* mixer, MixerTable* table, int destination, uint32_t mute);
int SetVolume_Microphone(MixerDevice* mixer, MixerTable* table, int destination, double percent,
                         uint32_t channels);
int SelectInput_Microphone(MixerDevice* mixer, MixerTable* table, int destination);

// Mixer change notifications reach the main window through this handler (installed by the
// application, called on a backend thread with the control id).
void SetMixerChangeHandler(MixerChangeCallback handler);
MixerChangeCallback MixerChangeForwarder();
