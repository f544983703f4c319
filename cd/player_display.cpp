// What the player shows: the current track, the titles and track list, the position, the
// blinking progress text.
#include <algorithm>

#include "cd/cdda_manager.h"
#include "cd/player.h"
#include "cd/player_internal.h"
#include "cdinfo/text_util.h"

using namespace cdplayer;

std::string TruncateAtWord(const std::string& text, int width) {
  return cdinfo::TruncateAtWord(text, static_cast<size_t>(std::max(width, 0)));
}

const char* CdStateName(int state) {
  switch (state) {
    case CD_NOCD:
      return "CD_NOCD";
    case CD_PLAY:
      return "CD_PLAY";
    case CD_PAUSE:
      return "CD_PAUSE";
    case CD_STOP:
      return "CD_STOP";
    case CD_CDROM_IN:
      return "CD_CDROM_IN";
    default:
      return "Bogus";
  }
}

void CdShowCurrentTrack(void* /*window*/) {
  if (!HasAudioDisc()) return;
  int track = player.currentTrack.load(std::memory_order_acquire);
  if (track == player.lastShownTrack) return;
  player.lastShownTrack = track;
  std::string title = TruncateAtWord(TitleOf(track), 49);
  std::string line;
  if (IsDataTrack(track))
    line = Format("%d. [Skip - Data Track]", track + 1);
  else if (IsTrackSkipped(track))
    line = Format("%d. [Skip] %s", track + 1, title.c_str());
  else
    line = Format("%d: %s", track + 1, title.c_str());
  Display().SetStatusLine(line);
  Display().SelectTrack(track);
  if (TrackArtistsPresent()) Display().SetArtistLine(TruncateAtWord(ArtistOf(track), 27));
  Display().ShowTrackLyrics(track);
}

void CdShowTitles(void* /*window*/) {
  Display().ClearTrackList();
  int current = player.currentTrack.load(std::memory_order_acquire);
  std::string album = AlbumTitle();
  std::string artist = AlbumArtist();
  bool unknownCd = album.find("Unknown CD") != std::string::npos;
  if (TrackArtistsPresent()) {
    album = TruncateAtWord(album, 29);
    artist = TruncateAtWord(ArtistOf(current), 27);
  } else if (album.size() + artist.size() > 55) {
    if (artist.size() >= 27) {
      album = TruncateAtWord(album, 29);
      artist = TruncateAtWord(artist, 56 - static_cast<int>(album.size()));
    } else {
      // The title makes room for the whole (short) artist name.
      album = TruncateAtWord(album, 56 - static_cast<int>(artist.size()));
    }
  }
  Display().SetTitleLine(album, artist);
  Display().SetStatusLine(
      Format("%d: %s", current + 1, TruncateAtWord(TitleOf(current), 49).c_str()));
  int last = player.lastTrack.load(std::memory_order_acquire);
  for (int i = 0; i <= last && i < kMaxTracks; ++i) {
    const CdTrack& t = player.cdTrack[i];
    Display().AddTrackLine(i, Format("%.2d.  (%2d:%.2d) %s ", i + 1, t.lengthMinutes,
                                     t.lengthSeconds, TitleOf(i).c_str()));
  }
  Display().SelectTrack(current);
  if (unknownCd) Display().MarkUnknownCd();
}

void OutputCurPos(void* /*window*/) {
  int track = std::clamp(player.currentTrack.load(std::memory_order_acquire), 0, kMaxTracks - 1);
  const CdTrack& t = player.cdTrack[track];
  int seconds = player.positionSeconds.load(std::memory_order_acquire);
  int trackSeconds = t.lengthMinutes * 60 + t.lengthSeconds;
  bool streaming = player.cdState.load(std::memory_order_acquire) == CD_PLAY &&
                   !player.seekPending.load(std::memory_order_acquire);
  if (!streaming) Display().ShowPosition(seconds, trackSeconds);

  int32_t count = player.blinkCounter.load(std::memory_order_acquire);
  if (count != 0) {
    std::string text;
    {
      std::lock_guard<std::mutex> guard(player.blinkLock);
      text = count % 2 != 0 ? player.blinkText : " ";
    }
    Display().SetBlinkText(text);
    // A client that stopped the blink meanwhile keeps it stopped.
    player.blinkCounter.compare_exchange_strong(count, count + 1, std::memory_order_acq_rel);
  }
}

void CdStartStatusBlink(const std::string& text) {
  {
    std::lock_guard<std::mutex> guard(player.blinkLock);
    player.blinkText = text;
  }
  player.blinkCounter.store(1, std::memory_order_release);
}

void CdStopStatusBlink() {
  player.blinkCounter.store(0, std::memory_order_release);
}

void cdplayer::ShowStreamMessage(int message) {
  switch (message) {
    case kCddaPositionTimer: {
      const int track =
          std::clamp(player.currentTrack.load(std::memory_order_acquire), 0, kMaxTracks - 1);
      const CdTrack& t = player.cdTrack[track];
      Display().ShowPosition(player.readerPositionSeconds.load(std::memory_order_acquire),
                             t.lengthMinutes * 60 + t.lengthSeconds);
      break;
    }
    case kCddaReadErrorText:
      Display().SetTitleLine("CD read error", "");
      break;
    case kCddaTrackLineStale:
      player.lastShownTrack = -1;
      break;
    default:
      break;
  }
}
