// The disc: noticing it arrive and leave (the poll timer), scanning its track table, the tray,
// and closing the drives at the end.
#include <algorithm>
#include <vector>

#include "cd/aspi_drives.h"
#include "cd/player.h"
#include "cd/player_internal.h"
#include "cd/read_commands.h"
#include "diagnostics/diagnostics.h"

using namespace cdplayer;

namespace {

constexpr const char* kNoCdText = "No CD In Drive";

CdDevice* Device() {
  return player.device.load(std::memory_order_acquire);
}

int MediaPresent(int* present) {
  *present = 0;
  CdDevice* device = Device();
  return device ? device->StatusMediaPresent(present) : MCIERR_INVALID_DEVICE_ID;
}

int32_t LengthFrames(const CdTrack& t) {
  return (t.lengthMinutes * 60 + t.lengthSeconds) * kFramesPerSecond + t.lengthFrames;
}

void SetLength(CdTrack& t, int32_t frames) {
  frames = std::max(frames, 0);
  t.lengthMinutes = static_cast<int8_t>(frames / kFramesPerMinute);
  t.lengthSeconds = static_cast<int8_t>(frames / kFramesPerSecond % 60);
  t.lengthFrames = static_cast<int8_t>(frames % kFramesPerSecond);
}

// The disc has gone (seen by the timer, or ejected).
void ForgetDisc() {
  player.lastTrack.store(0, std::memory_order_release);
  player.cdState.store(CD_NOCD, std::memory_order_release);
  player.lastShownTrack = -1;
}

// The player's keep-alive: one spin-up read every 20 ticks while the reader rests.
void KeepDriveSpinning() {
  if (player.spinCountdown != 0 && !player.readerBusy.load(std::memory_order_acquire)) {
    if (--player.spinCountdown == 0) {
      player.spinCountdown = kSpinUpTicks;
      int track = player.currentTrack.load(std::memory_order_acquire);
      if (!IsDataTrack(track))
        read_atapi(
            static_cast<int32_t>(player.cdTrack[std::clamp(track, 0, kMaxTracks - 1)].startFrame));
    }
  } else {
    player.spinCountdown = kSpinUpTicks;
  }
}

}  // namespace

void SetMSFformat() {
  CdDevice* device = Device();
  int err = device ? device->SetTimeFormatMsf() : MCIERR_INVALID_DEVICE_ID;
  if (err) ReportMciError(nullptr, err, "SetMSFformat", "MCI_SET_TIME_FORMAT");
}

bool IsTrackAudio(int track) {
  int type = MCI_CDA_TRACK_OTHER;
  CdDevice* device = Device();
  int err = device ? device->StatusTrackType(track + 1, &type) : MCIERR_INVALID_DEVICE_ID;
  if (err) {
    ReportMciError(nullptr, err, "IsTrackAudio", "MCI_STATUS");
    return false;
  }
  return type == MCI_CDA_TRACK_AUDIO;
}

bool GetCDinfo() {
  CdDevice* device = Device();
  if (!device) {
    ReportMciError(nullptr, MCIERR_INVALID_DEVICE_ID, "GetCDinfo", "MCI_STATUS_ITEM");
    return false;
  }
  int last = player.lastTrack.load(std::memory_order_acquire);
  uint32_t firstLength = 0;
  for (int i = 0; i <= last; ++i) {
    uint32_t length = 0, start = 0;
    int err = device->StatusTrackLength(i + 1, &length);
    if (!err) err = device->StatusTrackPosition(i + 1, &start);
    if (err) {
      ReportMciError(nullptr, err, "GetCDinfo", "MCI_STATUS_ITEM");
      return false;
    }
    if (i == 0) firstLength = length;
    CdTrack& t = player.cdTrack[i];
    t.lengthMinutes = static_cast<int8_t>(MsfMinutes(length));
    t.lengthSeconds = static_cast<int8_t>(MsfSeconds(length));
    t.lengthFrames = static_cast<int8_t>(MsfFrames(length));
    t.startMinutes = static_cast<int8_t>(MsfMinutes(start));
    t.startSeconds = static_cast<int8_t>(MsfSeconds(start));
    t.startFrames = static_cast<int8_t>(MsfFrames(start));
    t.startFrame = static_cast<uint32_t>(MsfToFrames(start));
  }
  uint32_t discLength = 0;
  if (int err = device->StatusDiscLength(&discLength)) {
    ReportMciError(nullptr, err, "GetCDinfo", "MCI_STATUS_ITEM");
  } else if (last > 0 && discLength == firstLength) {
    // The driver gave each track's length up to the end of the disc.
    Trace("cd extra correction\n");
    for (int i = 0; i < last; ++i)
      SetLength(player.cdTrack[i],
                LengthFrames(player.cdTrack[i]) - LengthFrames(player.cdTrack[i + 1]));
  }
  const CdTrack& lastEntry = player.cdTrack[std::max(last, 0)];
  player.discLengthFrames =
      lastEntry.startFrame + static_cast<uint32_t>(LengthFrames(lastEntry)) + 1;
  return true;
}

void InitCD(void* window) {
  Display().SetStatusLine("Scanning CD ...");
  ClearTitles();
  player.currentTrack.store(0, std::memory_order_release);
  ClearMarks(player.skipMarks);
  ClearMarks(player.dataMarks);

  int count = 0;
  CdDevice* device = Device();
  int err = device ? device->StatusTrackCount(&count) : MCIERR_INVALID_DEVICE_ID;
  if (err) {
    ReportMciError(nullptr, err, "InitCD", "MCI_STATUS_ITEM");
    return;
  }
  int last = std::min(count - 1, kMaxTracks - 1);
  player.lastTrack.store(last, std::memory_order_release);

  std::vector<bool> audio(static_cast<size_t>(std::max(last + 1, 0)));
  int audioTracks = 0;
  for (int i = 0; i <= last; ++i) {
    audio[static_cast<size_t>(i)] = IsTrackAudio(i);
    if (audio[static_cast<size_t>(i)]) ++audioTracks;
  }
  if (audioTracks == 0) {
    player.lastTrack.store(std::max(last, 0), std::memory_order_release);
    player.cdState.store(CD_CDROM_IN, std::memory_order_release);
    return;
  }

  // Cue the first track; a new play order for shuffled play.
  if (player.cdState.load(std::memory_order_acquire) == CD_PAUSE)
    player.cdState.store(CD_STOP, std::memory_order_release);
  ShuffleOrderForNewDisc();
  SetPlayPosition(0);
  // A table with tracks whose place cannot be read (an image shorter than its sheet says) is
  // not played: the disc stays unscanned, as when the track count cannot be read.
  if (!GetCDinfo()) return;
  Display().SetStatusLine("Scanning CD ....");
  Hooks().ComputeDiscIdentity(window);
  Hooks().LoadCdInformation(window);
  player.lastShownTrack = -1;

  for (int i = 0; i <= last; ++i) {
    if (audio[static_cast<size_t>(i)]) continue;
    SetMark(player.skipMarks, i, true);
    SetMark(player.dataMarks, i, true);
    const CdTrack& t = player.cdTrack[i];
    Display().SetTrackLine(i, Format("%d. [Skip] %s (%2d:%.2d)", i + 1, "--Data Track--",
                                     t.lengthMinutes, t.lengthSeconds));
  }
  // Tracks the information file marked skipped (data tracks keep their own line).
  for (int i = 0; i <= last; ++i) {
    if (!IsTrackSkipped(i) || IsDataTrack(i)) continue;
    const CdTrack& t = player.cdTrack[i];
    Display().SetTrackLine(i, Format("%d. [Skip] %s (%2d:%.2d)", i + 1, TitleOf(i).c_str(),
                                     t.lengthMinutes, t.lengthSeconds));
  }
  player.cdState.store(CD_STOP, std::memory_order_release);
}

void CdTimerHandler(void* window) {
  if (player.previousWindow != 0) --player.previousWindow;

  int32_t state = player.cdState.load(std::memory_order_acquire);
  if (state == CD_NOCD) {
    Display().SetPlayButtonActive(false);
    int present = 0;
    if (MediaPresent(&present) != 0) return;
    if (!present) {
      Display().SetTitleLine(kNoCdText, "");
      Display().SetStatusLine("");
    } else {
      player.doorClosed = 1;
      int mode = 0;
      if (int err = Device()->StatusMode(&mode)) {
        ReportMciError(nullptr, err, "CdTimerHandler", "MCI_STATUS");
        return;
      }
      if (mode == MCI_MODE_NOT_READY) {
        Display().SetTitleLine("   DVD Disk in Drive", "");
        Display().SetStatusLine("");
        return;
      }
      // A reader still finishing the previous disc's run reads the track table: scan once it
      // has stopped.
      if (player.readerBusy.load(std::memory_order_acquire)) return;
      InitCD(window);
      if (player.cdState.load(std::memory_order_acquire) == CD_CDROM_IN) {
        std::string label = Device()->VolumeLabel();
        Display().SetTitleLine(TruncateAtWord(Format("CDROM In Drive: %s", label.c_str()), 29), "");
        Display().SetStatusLine("");
        return;
      }
      Display().SetPlayButtonActive(true);
      player.spinCountdown = 1;
    }
  } else if (state != CD_PLAY && !player.readerBusy.load(std::memory_order_acquire)) {
    int present = 0;
    if (int err = MediaPresent(&present)) {
      ReportMciError(nullptr, err, "CdTimerHandler", "MCI_STATUS");
      return;
    }
    if (!present) {
      player.doorClosed = 0;
      player.currentTrack.store(0, std::memory_order_release);
      ForgetDisc();
      player.spinCountdown = 0;
      Display().SetTitleLine(kNoCdText, "");
      Display().ClearTrackList();
      Display().ClearLyrics();
    }
  }

  CdShowCurrentTrack(window);

  if (HasAudioDisc()) {
    KeepDriveSpinning();
    if (player.keyboardSeekCountdown > 0 && --player.keyboardSeekCountdown == 0)
      Display().KeyboardSeekReleased();
    Hooks().WatchLaunchedPrograms(window);
  }
}

void EjectCD(void* window) {
  CdDevice* device = Device();
  int32_t state = player.cdState.load(std::memory_order_acquire);
  if (state != CD_NOCD) {
    if (state == CD_PLAY || state == CD_PAUSE) CdStop(window);
    ForgetDisc();
    player.doorClosed = 0;
    Display().ShowPosition(0, 100);
    Display().SetTitleLine(kNoCdText, "");
    Display().ClearTrackList();
    int err = device ? device->SetDoor(true) : MCIERR_INVALID_DEVICE_ID;
    if (err)
      ReportMciError(nullptr, err, "EjectCD", "MCI_SET_DOOR_OPEN");
    else
      Display().ClearLyrics();
    return;
  }
  // No disc: the command alternates between opening and closing the tray.
  bool open = player.doorClosed != 0;
  int err = device ? device->SetDoor(open) : MCIERR_INVALID_DEVICE_ID;
  if (err) {
    ReportMciError(nullptr, err, "EjectCD", open ? "MCI_SET_DOOR_OPEN" : "MCI_SET_DOOR_CLOSED");
    return;
  }
  player.doorClosed = open ? 0 : 1;
}

void CdShutdown(void* window) {
  int32_t state = player.cdState.load(std::memory_order_acquire);
  if (state == CD_PLAY || state == CD_PAUSE) CdStop(window);
  for (CdDrive& drive : cdDrives.drives) {
    drive.mciDevice = nullptr;
    drive.mciDeviceId = 0;
  }
  player.device.store(nullptr, std::memory_order_release);
  player.cdState.store(CD_NOCD, std::memory_order_release);
}
