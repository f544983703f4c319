#include "audio/voicefile.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "audio/sound_block.h"
#include "audio/streaming.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"

VoiceDisc voiceDisc;

namespace {

struct VoiceFileState {
  std::string inName;   // last name built for playback
  std::string outName;  // last name built for recording
  VoicePlayButtonUpdate playButtonUpdate;
};
VoiceFileState voiceFiles;

// Waits while the file is open, in steps of 100 ms, at most 50 steps.
bool WaitForClose(const WaveFile& file) {
  for (int step = 0; step < kVoiceStopWaitSteps && WaveFileIsOpen(file); ++step)
    std::this_thread::sleep_for(std::chrono::milliseconds(kVoiceStopWaitStepMs));
  return !WaveFileIsOpen(file);
}

bool StreamingThreadRuns() {
  return soundDevices.soundRunning.load(std::memory_order_acquire) != 0;
}

}  // namespace

std::string SafeFileNamePart(const std::string& title) {
  std::string safe = title;
  for (char& c : safe)
    if (c == '/' || c == '\0') c = '_';
  if (safe == ".") return "_";
  if (safe == "..") return "__";
  return safe;
}

std::string VoiceFileName(const VoiceDisc& cdInfo, int track) {
  std::string album;
  std::string title;
  if (cdInfo.titles) {
    VoiceTitles titles = cdInfo.titles(track);
    album = std::move(titles.album);
    title = std::move(titles.track);
  }
  if (album.empty()) album = "Unknown CD";
  if (title.empty()) title = "Unknown Song";
  char id[16];
  std::snprintf(id, sizeof id, "%08x", unsigned(cdInfo.discId));
  return settings.databasePath + SafeFileNamePart(album) + " Song" + std::to_string(track + 1) +
         " " + SafeFileNamePart(title) + " " + id + ".wav";
}

int SetUpWaveOutFile(WaveFile* file, const VoiceDisc& cdInfo, int track, std::string* nameOut) {
  *nameOut = VoiceFileName(cdInfo, track);
  // A record whose earlier close is still pending belongs to the audio thread until it has
  // closed it; it is not opened again over it.
  if (WaveFileIsOpen(*file)) {
    Trace("SetUpWaveOutFile: Unable to open WAV output file '%s'\n", nameOut->c_str());
    return 0;
  }
  waveFileInit(file);
  waveFileSetFormat(file, kVoiceFileRate, 1, 16);
  if (waveFileOpenOut(file, nameOut->c_str())) return 1;
  Trace("SetUpWaveOutFile: Unable to open WAV output file '%s'\n", nameOut->c_str());
  return 0;
}

// The audio thread reads 16-bit samples into a buffer of that size: a file with wider samples
// would overrun it.
bool VoiceTakeFormatUsable(const WavePcmFormat& f) {
  return f.wBitsPerSample == 16 && f.nBlockAlign == 2 * f.nChannels;
}

int SetUpWaveInFile(WaveFile* file, const VoiceDisc& cdInfo, int track, std::string* nameOut) {
  *nameOut = VoiceFileName(cdInfo, track);
  if (WaveFileIsOpen(*file)) {
    Trace("SetUpWaveInFile: Unable to open WAV input file '%s'\n", nameOut->c_str());
    return 0;
  }
  waveFileInit(file);
  waveFileSetFormat(file, kVoiceFileRate, 1, 16);
  if (waveFileOpenIn(file, nameOut->c_str())) {
    if (VoiceTakeFormatUsable(file->format)) return 1;
    waveFileCloseIn(file);
  }
  Trace("SetUpWaveInFile: Unable to open WAV input file '%s'\n", nameOut->c_str());
  return 0;
}

int VoiceRecordingExists(const VoiceDisc& cdInfo, int track) {
  const std::string name = VoiceFileName(cdInfo, track);
  int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  close(fd);
  return 1;
}

int OpenVoicePlaybackFile(void* /*window*/) {
  if (WaveFileIsOpen(soundBlock.voiceInFile)) return 1;
  return SetUpWaveInFile(&soundBlock.voiceInFile, voiceDisc, voiceDisc.currentTrack,
                         &voiceFiles.inName);
}

int StartVoiceFilePlayback(void* /*window*/) {
  SoundBlockState& s = soundBlock;
  int on = WaveFileIsOpen(s.voiceInFile) ? 1 : 0;
  if (!on) {
    on = SetUpWaveInFile(&s.voiceInFile, voiceDisc, voiceDisc.currentTrack, &voiceFiles.inName);
    if (!on)
      Trace("StartVoiceFilePlayback: Unable to open input file '%s'\n", voiceFiles.inName.c_str());
  }
  // The file is complete before the flag is raised (release): the audio thread never sees a
  // half-opened file.
  s.voicePlaybackOn.store(on, std::memory_order_release);
  s.voicePlaybackSeekRequest.store(1, std::memory_order_release);
  return on;
}

int StartVoiceFileRecording(void* window) {
  SoundBlockState& s = soundBlock;
  int on =
      SetUpWaveOutFile(&s.voiceOutFile, voiceDisc, voiceDisc.currentTrack, &voiceFiles.outName);
  if (!on)
    Trace("StartVoiceFileRecording: Unable to open output file '%s'\n", voiceFiles.outName.c_str());
  s.voiceRecordOn.store(on, std::memory_order_release);
  if (voiceFiles.playButtonUpdate) voiceFiles.playButtonUpdate(window, on);
  return on;
}

int StopVoiceFilePlayback() {
  SoundBlockState& s = soundBlock;
  if (!s.voicePlaybackOn.load(std::memory_order_acquire)) return 1;
  if (!StreamingThreadRuns()) {
    waveFileCloseIn(&s.voiceInFile);
    s.voicePlaybackCloseRequest.store(0, std::memory_order_relaxed);
    s.voicePlaybackOn.store(0, std::memory_order_release);
    return 1;
  }
  s.voicePlaybackCloseRequest.store(1, std::memory_order_release);
  return WaitForClose(s.voiceInFile) ? 1 : 0;
}

int StopVoiceFileRecording() {
  SoundBlockState& s = soundBlock;
  if (!s.voiceRecordOn.load(std::memory_order_acquire)) return 1;
  if (!StreamingThreadRuns()) {
    waveFileCloseOut(&s.voiceOutFile);
    s.voiceRecordCloseRequest.store(0, std::memory_order_relaxed);
    s.voiceRecordOn.store(0, std::memory_order_release);
    return 1;
  }
  s.voiceRecordCloseRequest.store(1, std::memory_order_release);
  return WaitForClose(s.voiceOutFile) ? 1 : 0;
}

const std::string& VoicePlaybackFileName() {
  return voiceFiles.inName;
}
const std::string& VoiceRecordFileName() {
  return voiceFiles.outName;
}

void SetVoicePlayButtonUpdate(VoicePlayButtonUpdate update) {
  voiceFiles.playButtonUpdate = std::move(update);
}
