// Player state, play modes, the play order and the transport.
#include "cd/player.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <numeric>

#include "cd/cd_reader.h"
#include "cd/cdda_manager.h"
#include "cd/player_internal.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "platform/sync/window_thread.h"
#include "settings/settings.h"

PlayerState player;

namespace cdplayer {

namespace {
CdPlayerDisplay defaultDisplay;
CdDiscHooks defaultHooks;
CdPlayerDisplay* installedDisplay = nullptr;
CdDiscHooks* installedHooks = nullptr;

int ClampTrack(int track) {
  return std::clamp(track, 0, kMaxTracks - 1);
}
}  // namespace

CdPlayerDisplay& Display() {
  CheckWindowThread("CdPlayerDisplay");
  return installedDisplay ? *installedDisplay : defaultDisplay;
}
CdDiscHooks& Hooks() {
  return installedHooks ? *installedHooks : defaultHooks;
}

std::string Format(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

bool HasAudioDisc() {
  int32_t state = player.cdState.load(std::memory_order_acquire);
  return state == CD_PLAY || state == CD_PAUSE || state == CD_STOP;
}

std::string TitleOf(int track) {
  if (track < 0 || track >= kMaxTracks) return "";
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdTitles.tracks[track].title;
}

std::string ArtistOf(int track) {
  if (track < 0 || track >= kMaxTracks) return "";
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdTitles.tracks[track].artist;
}

std::string AlbumTitle() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdTitles.albumTitle;
}

std::string AlbumArtist() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return cdTitles.albumArtist;
}

bool TrackArtistsPresent() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  return !cdTitles.tracks[0].artist.empty();
}

void ClearTitles() {
  std::lock_guard<std::mutex> guard(cdInfo.lock);
  cdTitles = CdTitles{};
}

void SetMark(std::atomic<uint64_t>* marks, int track, bool on) {
  if (track < 0 || track >= kMaxTracks) return;
  uint64_t bit = uint64_t{1} << (track % 64);
  if (on)
    marks[track / 64].fetch_or(bit, std::memory_order_acq_rel);
  else
    marks[track / 64].fetch_and(~bit, std::memory_order_acq_rel);
}

bool TestMark(const std::atomic<uint64_t>* marks, int track) {
  if (track < 0 || track >= kMaxTracks) return false;
  return (marks[track / 64].load(std::memory_order_acquire) >> (track % 64)) & 1;
}

void ClearMarks(std::atomic<uint64_t>* marks) {
  for (int i = 0; i < 4; ++i) marks[i].store(0, std::memory_order_release);
}

namespace {
bool ShuffleMode() {
  return player.cdMode.load(std::memory_order_acquire) == kCdModeShuffle;
}
int TrackAt(int position) {
  return ShuffleMode() ? player.shuffleOrder[ClampTrack(position)] : position;
}
}  // namespace

int PlayPosition() {
  return ShuffleMode() ? player.shuffleIndex.load(std::memory_order_acquire)
                       : player.currentTrack.load(std::memory_order_acquire);
}

void SetPlayPosition(int position) {
  if (ShuffleMode()) {
    player.shuffleIndex.store(position, std::memory_order_release);
    player.currentTrack.store(player.shuffleOrder[ClampTrack(position)], std::memory_order_release);
  } else {
    player.currentTrack.store(position, std::memory_order_release);
  }
}

bool CdFindPlayable() {
  int last = player.lastTrack.load(std::memory_order_acquire);
  int position = std::max(PlayPosition(), 0);
  while (position <= last && IsTrackSkipped(TrackAt(position))) ++position;
  if (position > last) {
    SetPlayPosition(0);
    return false;
  }
  SetPlayPosition(position);
  return true;
}

bool CdFindPlayableBackward() {
  int last = player.lastTrack.load(std::memory_order_acquire);
  int position = std::min(PlayPosition(), last);
  while (position >= 0 && IsTrackSkipped(TrackAt(position))) --position;
  if (position < 0) {
    SetPlayPosition(0);
    return false;
  }
  SetPlayPosition(position);
  return true;
}

void ShuffleOrderForNewDisc() {
  int count = std::clamp(player.lastTrack.load() + 1, 0, kMaxTracks);
  std::iota(std::begin(player.shuffleOrder), std::end(player.shuffleOrder), 0);
  std::shuffle(player.shuffleOrder, player.shuffleOrder + count, player.shuffleRandom);
  player.shuffleIndex.store(0, std::memory_order_release);
}

}  // namespace cdplayer

using namespace cdplayer;

void CdDiscHooks::LoadCdInformation(void* window) {
  CdShowTitles(window);
}

void SetCdPlayerDisplay(CdPlayerDisplay* display) {
  cdplayer::installedDisplay = display;
}
void SetCdDiscHooks(CdDiscHooks* hooks) {
  cdplayer::installedHooks = hooks;
}

bool IsTrackSkipped(int track) {
  return TestMark(player.skipMarks, track);
}
bool IsDataTrack(int track) {
  return TestMark(player.dataMarks, track);
}

namespace {

// The player as the stream's host: what the reader and the CDDA manager ask of it.
class PlayerStreamHost final : public CdStreamHost {
 public:
  int NextRange(void* window) override { return SongDoneHandler(window); }
  void RestartRange(void* window) override { CdStartTrack(window); }
  void RunStopped(void* window) override { CDDAManager(window, CDDA_KILL); }
  void PlayedOut(void* window) override {
    CdStop(window);
    // After the last track the first playable one is cued.
    if (player.currentTrack.load(std::memory_order_acquire) ==
            player.lastTrack.load(std::memory_order_acquire) &&
        !player.repeat.load(std::memory_order_acquire)) {
      SetPlayPosition(0);
      CdFindPlayable();
    }
  }
  void DiscGone(void* window) override { CdStop(window); }
  void WindowMessage(void* /*window*/, int message) override { ShowStreamMessage(message); }
};
PlayerStreamHost streamHost;

}  // namespace

void ResetCdPlayer() {
  SetCdStreamHost(&streamHost);
  CdDevice* device = player.device.load(std::memory_order_acquire);
  player.cdState = CD_NOCD;
  player.currentTrack = 0;
  player.lastTrack = 0;
  for (CdTrack& track : player.cdTrack) track = CdTrack{};
  player.discLengthFrames = 0;
  ClearTitles();
  ClearMarks(player.skipMarks);
  ClearMarks(player.dataMarks);
  player.cdMode = std::clamp(settings.cdMode, 0, 3);
  player.repeat = std::clamp(settings.repeat, 0, 1);
  player.introSeconds = kIntroSeconds;
  std::iota(std::begin(player.shuffleOrder), std::end(player.shuffleOrder), 0);
  player.shuffleIndex = 0;
  player.playStartFrame = 0;
  player.playEndFrame = 0;
  player.playEndMsf = 0;
  player.pauseSector = 0;
  player.positionSeconds = 0;
  player.readerPositionSeconds = 0;
  player.seekFrame = 0;
  player.readerIdle = 1;
  player.restartPending = 0;
  player.restartAnnounced = 0;
  player.seekPending = 0;
  player.nextPressed = 0;
  player.previousPressed = 0;
  player.readerBusy = 0;
  player.previousWindow = 0;
  player.spinCountdown = 0;
  player.doorClosed = 1;
  player.lastShownTrack = -1;
  player.keyboardSeekCountdown = 0;
  CdStopStatusBlink();
  player.device.store(device, std::memory_order_release);
}

void SetShuffleSeed(uint32_t seed) {
  player.shuffleRandom.seed(seed);
}

void CdSetMode(int mode) {
  mode = std::clamp(mode, 0, 3);
  int current = player.currentTrack.load(std::memory_order_acquire);
  if (mode == kCdModeShuffle) {
    // Keep the current track: the shuffled order continues from its place.
    for (int i = 0; i < kMaxTracks; ++i) {
      if (player.shuffleOrder[i] == current) player.shuffleIndex.store(i);
    }
  }
  player.cdMode.store(mode, std::memory_order_release);
  settings.cdMode = mode;
}

void CdSetRepeat(int repeat) {
  repeat = repeat ? 1 : 0;
  player.repeat.store(repeat, std::memory_order_release);
  settings.repeat = repeat;
}

// ---- Play range ------------------------------------------------------------------------------

void CdComputePlayEnd() {
  int track = std::clamp(player.currentTrack.load(std::memory_order_acquire), 0, kMaxTracks - 1);
  int last = player.lastTrack.load(std::memory_order_acquire);
  const CdTrack& t = player.cdTrack[track];
  if (player.cdMode.load(std::memory_order_acquire) != kCdModeIntro) {
    if (track >= last) {
      int32_t end = static_cast<int32_t>(player.discLengthFrames) - 1;
      Trace("discLength =%d\n", static_cast<int>(player.discLengthFrames));
      player.playEndMsf.store(FramesToMsf(end), std::memory_order_release);
      player.playEndFrame.store(end, std::memory_order_release);
    } else {
      const CdTrack& next = player.cdTrack[track + 1];
      player.playEndMsf.store(PackMsf(next.startMinutes, next.startSeconds, next.startFrames),
                              std::memory_order_release);
      player.playEndFrame.store(static_cast<int32_t>(next.startFrame), std::memory_order_release);
    }
    return;
  }
  int minutes = t.startMinutes;
  int intro = player.introSeconds;
  int lengthSeconds = t.lengthMinutes * 60 + t.lengthSeconds;
  int seconds;
  if (t.lengthMinutes >= 1)
    seconds = t.startSeconds + intro;
  else if (lengthSeconds <= intro)
    seconds = t.startSeconds + lengthSeconds - 1;
  else
    seconds = t.startSeconds + intro;
  if (seconds >= 60) {
    seconds -= 60;
    minutes += 1;
  }
  player.playEndMsf.store(PackMsf(minutes, seconds, 0), std::memory_order_release);
  player.playEndFrame.store((minutes * 60 + seconds) * kFramesPerSecond, std::memory_order_release);
}

void CdStartTrack(void* /*window*/) {
  int track = std::clamp(player.currentTrack.load(std::memory_order_acquire), 0, kMaxTracks - 1);
  player.playStartFrame.store(static_cast<int32_t>(player.cdTrack[track].startFrame),
                              std::memory_order_release);
  CdComputePlayEnd();
  player.pauseSector.store(0, std::memory_order_release);
  CddaResetConsumer();
}

// ---- Transport -------------------------------------------------------------------------------

namespace {

void StartPlayingCurrentTrack(void* window) {
  int track = player.currentTrack.load(std::memory_order_acquire);
  player.cdState.store(CD_PLAY, std::memory_order_release);
  player.playStartFrame.store(static_cast<int32_t>(player.cdTrack[track].startFrame),
                              std::memory_order_release);
  CdComputePlayEnd();
  CDDAManager(window, CDDA_PLAY);
}

// A paused disc whose track changed: stopped at the new track's start.
void PausedToStopped() {
  player.cdState.store(CD_STOP, std::memory_order_release);
  player.positionSeconds.store(0, std::memory_order_release);
  player.pauseSector.store(0, std::memory_order_release);
}

void RestartStream(void* window, std::atomic<int32_t>& pressed) {
  pressed.store(1, std::memory_order_release);
  CDDAManager(window, CDDA_STOP_THEN_RESTART);
}

// No track to go to: back to place 0, and a playing or paused disc stops.
void StopAtFirstTrack(void* window, int32_t state) {
  SetPlayPosition(0);
  if (state == CD_PLAY)
    CdStop(window);
  else if (state == CD_PAUSE)
    PausedToStopped();
}

}  // namespace

void CdPlayPause(void* window) {
  if (!player.readerIdle.load(std::memory_order_acquire)) {
    Display().ShowPlayButtonReleased();
    return;
  }
  switch (player.cdState.load(std::memory_order_acquire)) {
    case CD_STOP:
      if (CdFindPlayable()) StartPlayingCurrentTrack(window);
      break;
    case CD_PAUSE:
      Display().ShowPlayButtonReleased();
      player.cdState.store(CD_PLAY, std::memory_order_release);
      CDDAManager(window, CDDA_PLAY);
      break;
    case CD_PLAY:
      player.positionSeconds.store(player.readerPositionSeconds.load(std::memory_order_acquire),
                                   std::memory_order_release);
      player.cdState.store(CD_PAUSE, std::memory_order_release);
      CDDAManager(window, CDDA_STOP);
      break;
    default:
      break;
  }
}

void CdStop(void* window) {
  // The reader thread stops the player at the end of the disc and when the disc has gone.
  RunOnWindowThread([] { Display().ShowPlayButtonReleased(); });
  if (!HasAudioDisc()) return;
  player.positionSeconds.store(0, std::memory_order_release);
  player.restartPending.store(0, std::memory_order_release);
  player.restartAnnounced.store(0, std::memory_order_release);
  player.seekFrame.store(0, std::memory_order_release);
  player.pauseSector.store(0, std::memory_order_release);
  int32_t state = player.cdState.load(std::memory_order_acquire);
  if (state == CD_PLAY) CDDAManager(window, CDDA_STOP);
  if (state == CD_STOP && player.cdMode.load(std::memory_order_acquire) != kCdModeSingleSong) {
    SetPlayPosition(0);
    CdFindPlayable();
  }
  player.cdState.store(CD_STOP, std::memory_order_release);
}

void CdNextTrack(void* window) {
  if (!HasAudioDisc() || player.nextPressed.load(std::memory_order_acquire) ||
      !player.readerIdle.load(std::memory_order_acquire))
    return;
  player.positionSeconds.store(0, std::memory_order_release);
  player.seekFrame.store(0, std::memory_order_release);
  int32_t state = player.cdState.load(std::memory_order_acquire);
  int position = PlayPosition();
  if (position < player.lastTrack.load(std::memory_order_acquire)) {
    SetPlayPosition(position + 1);
    if (CdFindPlayable()) {
      if (state == CD_PLAY)
        RestartStream(window, player.nextPressed);
      else if (state == CD_PAUSE)
        PausedToStopped();
      return;
    }
  }
  StopAtFirstTrack(window, state);
}

void CdPreviousTrack(void* window) {
  if (!HasAudioDisc() || player.previousPressed.load(std::memory_order_acquire) ||
      !player.readerIdle.load(std::memory_order_acquire))
    return;
  player.positionSeconds.store(0, std::memory_order_release);
  player.seekFrame.store(0, std::memory_order_release);
  int32_t state = player.cdState.load(std::memory_order_acquire);
  if (state == CD_PLAY && player.previousWindow == 0) {
    // A first press restarts the song; another within two ticks goes to the previous one.
    player.previousWindow = kPreviousWindowTicks;
    RestartStream(window, player.previousPressed);
    return;
  }
  int position = PlayPosition();
  if (position > 0) {
    SetPlayPosition(position - 1);
    if (CdFindPlayableBackward()) {
      if (state == CD_PLAY)
        RestartStream(window, player.previousPressed);
      else if (state == CD_PAUSE)
        PausedToStopped();
      return;
    }
    StopAtFirstTrack(window, state);
    return;
  }
  if (state == CD_PLAY) RestartStream(window, player.previousPressed);
}

void CdSelectTrack(void* window, int trackIndex) {
  if (!HasAudioDisc()) return;
  if (trackIndex < 0 || trackIndex > player.lastTrack.load(std::memory_order_acquire)) return;
  player.positionSeconds.store(0, std::memory_order_release);
  player.seekFrame.store(0, std::memory_order_release);
  if (player.cdMode.load(std::memory_order_acquire) == kCdModeShuffle) {
    for (int i = 0; i < kMaxTracks; ++i) {
      if (player.shuffleOrder[i] == trackIndex) player.shuffleIndex.store(i);
    }
  }
  player.currentTrack.store(trackIndex, std::memory_order_release);
  int32_t state = player.cdState.load(std::memory_order_acquire);
  if (state == CD_PLAY)
    CDDAManager(window, CDDA_STOP_THEN_RESTART);
  else if (state == CD_PAUSE)
    PausedToStopped();
}

void CdSeekPercent(float percent, int released, int /*state*/) {
  if (!HasAudioDisc()) return;
  int track = player.currentTrack.load(std::memory_order_acquire);
  if (IsTrackSkipped(track) || IsDataTrack(track)) return;
  if (!(percent >= 0.0f)) percent = 0.0f;  // also NaN
  percent = std::min(percent, 100.0f);
  const CdTrack& t = player.cdTrack[std::clamp(track, 0, kMaxTracks - 1)];
  int32_t lengthFrames =
      (t.lengthMinutes * 60 + t.lengthSeconds) * kFramesPerSecond + t.lengthFrames;
  int32_t p = static_cast<int32_t>(static_cast<double>(lengthFrames) * percent * 0.01);
  player.positionSeconds.store(p / kFramesPerSecond, std::memory_order_release);
  // The reader starts at this sector address: the position's frame less the lead-in.
  player.seekFrame.store(p + static_cast<int32_t>(t.startFrame) - kLeadInFrames,
                         std::memory_order_release);
  player.pauseSector.store(0, std::memory_order_release);  // the seek replaces a pause point
  if ((released == 1 || player.keyboardSeekCountdown > 0) &&
      player.cdState.load(std::memory_order_acquire) == CD_PLAY &&
      !player.seekPending.load(std::memory_order_acquire)) {
    player.seekPending.store(1, std::memory_order_release);
    Hooks().ClearVoiceHistories();
    CDDAManager(nullptr, CDDA_STOP_THEN_RESTART);
  }
  OutputCurPos(nullptr);
}

int SongDoneHandler(void* /*window*/) {
  if (!HasAudioDisc()) return -1;
  int32_t repeat = player.repeat.load(std::memory_order_acquire);
  if (player.cdMode.load(std::memory_order_acquire) == kCdModeSingleSong) return repeat ? 1 : 0;
  int position = PlayPosition();
  if (position >= player.lastTrack.load(std::memory_order_acquire)) {
    if (!repeat) return 0;
    position = -1;
  }
  SetPlayPosition(position + 1);
  if (!CdFindPlayable()) return 0;
  int track = player.currentTrack.load(std::memory_order_acquire);
  player.playStartFrame.store(static_cast<int32_t>(player.cdTrack[track].startFrame),
                              std::memory_order_release);
  CdComputePlayEnd();
  return 1;
}

void CdToggleSkip(void* window) {
  if (!HasAudioDisc()) return;
  int track = player.currentTrack.load(std::memory_order_acquire);
  if (track < 0 || track > player.lastTrack.load(std::memory_order_acquire)) return;
  player.seekFrame.store(0, std::memory_order_release);
  player.positionSeconds.store(0, std::memory_order_release);
  const CdTrack& t = player.cdTrack[track];
  std::string title = TitleOf(track);
  if (IsTrackSkipped(track)) {
    if (IsDataTrack(track)) return;  // a data track stays skipped
    SetMark(player.skipMarks, track, false);
    Display().SetStatusLine(Format("%d.  %s", track + 1, TruncateAtWord(title, 49).c_str()));
    Display().SetTrackLine(track, Format("%d.  %s (%2d:%.2d)", track + 1, title.c_str(),
                                         t.lengthMinutes, t.lengthSeconds));
  } else {
    SetMark(player.skipMarks, track, true);
    Display().SetStatusLine(Format("%d. [Skip] %s", track + 1, TruncateAtWord(title, 49).c_str()));
    Display().SetTrackLine(track, Format("%d. [Skip] %s (%2d:%.2d)", track + 1, title.c_str(),
                                         t.lengthMinutes, t.lengthSeconds));
    if (player.cdState.load(std::memory_order_acquire) == CD_PLAY) CdNextTrack(window);
  }
  Display().SelectTrack(player.currentTrack.load(std::memory_order_acquire));
}
