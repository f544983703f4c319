// Voice recording and playback files: one 22,050 Hz mono 16-bit WAV file per disc and track,
// named after the disc and song, in the CD information folder.
//
// The window thread opens a file and then sets the engine's on-flag; from then on only the
// audio thread reads or writes it (inside ProcessSoundBlock) and only the audio thread closes
// it, at the end of a block after a close request. Stopping raises the request and waits for
// the close, in steps of 100 ms, at most 5 s.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "audio/wavefile.h"

// The album title and the title of a track (0-based) of the disc in the player; empty texts
// where there are none.
struct VoiceTitles {
  std::string album;
  std::string track;
};
using VoiceTitleSource = std::function<VoiceTitles(int track)>;

// The disc in the player, as the voice files need it. The CD player keeps it current; every
// voice file operation runs on the window thread.
struct VoiceDisc {
  VoiceTitleSource titles;  // null when there are no titles
  uint32_t discId = 0;
  int32_t currentTrack = 0;  // 0-based
};
extern VoiceDisc voiceDisc;

inline constexpr uint32_t kVoiceFileRate = 22050;
inline constexpr int kVoiceStopWaitSteps = 50;
inline constexpr int kVoiceStopWaitStepMs = 100;

// A title made fit to be part of a file name: "/" and NUL become "_", and a title that is
// "." or ".." is changed. Titles that were already safe come back unchanged.
std::string SafeFileNamePart(const std::string& title);
// "<CD information folder><album> Song<track + 1> <title> <disc id>.wav", with "Unknown CD"
// and "Unknown Song" for missing titles.
std::string VoiceFileName(const VoiceDisc& cdInfo, int track);

// 1 if the recording file was created (an existing one is replaced), else 0 with a message.
int SetUpWaveOutFile(WaveFile* file, const VoiceDisc& cdInfo, int track, std::string* nameOut);
// Whether a take of this format can be played back (16-bit samples).
bool VoiceTakeFormatUsable(const WavePcmFormat& format);
// 1 if the recording was opened for playback, else 0 with a message.
int SetUpWaveInFile(WaveFile* file, const VoiceDisc& cdInfo, int track, std::string* nameOut);
// 1 if the track's recording file can be opened for reading.
int VoiceRecordingExists(const VoiceDisc& cdInfo, int track);

// 1 if the playback file is open or could be opened for the current track.
int OpenVoicePlaybackFile(void* window);
// Starts (or re-aligns) playback of the current track's recording; returns voicePlaybackOn.
int StartVoiceFilePlayback(void* window);
// Starts recording the current track; returns voiceRecordOn.
int StartVoiceFileRecording(void* window);

// The engine side of the panel's stop operations: when the direction is on, ask the audio
// thread to close the file and wait (at most 5 s) until it has. Returns 1 when the file is
// closed, 0 when the wait gave up (the request stays and is honoured at a later block).
// Without a running streaming thread the file is closed here, as no other thread uses it.
int StopVoiceFilePlayback();
int StopVoiceFileRecording();

// Names of the last files built for each direction (for messages).
const std::string& VoicePlaybackFileName();
const std::string& VoiceRecordFileName();

// The panel's voice-play button shows whether a recording is available; recording start
// reports through this hook (window thread).
using VoicePlayButtonUpdate = std::function<void(void* window, int available)>;
void SetVoicePlayButtonUpdate(VoicePlayButtonUpdate update);
