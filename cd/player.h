// The CD player: the disc in the selected drive (arrival, removal, the track table), the
// transport (play/pause, stop, next, previous, track choice, seek), the play modes (normal,
// single song, shuffle, intro, repeat) and the skip and data marks. Audio is never played
// through the drive: transport commands go to the CDDA manager, which streams the audio
// digitally.
//
// The titles it shows are the CD information's title tables (cdTitles), read under the CD
// information lock. Everything runs on the window thread, driven by two one-second timers
// (CdTimerHandler, OutputCurPos), the transport commands and start-up. The reader thread reaches
// the player through the stream host the player installs (CdStreamHost, cd/cd_reader.h: the next
// range, a restart, the stream's stops) and reads the play range; the audio thread writes the
// reader's position and the pause sector. Values those threads touch are atomics (cd/play_state.h).
#pragma once

#include <string>

#include "cd/play_state.h"

// What the player shows. The CD player panel implements it; tests record the calls. Every
// call comes on the window thread: calls from other threads are posted to it, and a call made
// off it aborts where the window-thread check is on.
class CdPlayerDisplay {
 public:
  virtual ~CdPlayerDisplay() = default;
  // The album title and artist row ("No CD In Drive" and the like go to the album part).
  virtual void SetTitleLine(const std::string& /*album*/, const std::string& /*artist*/) {}
  // The track title line.
  virtual void SetStatusLine(const std::string& /*text*/) {}
  // The artist text of the title row, for discs with an artist per track.
  virtual void SetArtistLine(const std::string& /*text*/) {}
  // The track list menu: one line per track, each carrying its track's command.
  virtual void ClearTrackList() {}
  virtual void AddTrackLine(int /*track*/, const std::string& /*text*/) {}
  virtual void SetTrackLine(int /*track*/, const std::string& /*text*/) {}
  virtual void SelectTrack(int /*track*/) {}
  // Whether the play button has its click handler (not until a disc is scanned).
  virtual void SetPlayButtonActive(bool /*active*/) {}
  virtual void ShowPlayButtonReleased() {}
  // The time display and position slider.
  virtual void ShowPosition(int /*seconds*/, int /*trackSeconds*/) {}
  // The progress text of the lyrics panel (blinking).
  virtual void SetBlinkText(const std::string& /*text*/) {}
  // The lyrics panel.
  virtual void ShowTrackLyrics(int /*track*/) {}
  virtual void ClearLyrics() {}
  // The panel shows an unknown disc (its information can be fetched).
  virtual void MarkUnknownCd() {}
  // The keyboard seek has run out: the position slider's release handling.
  virtual void KeyboardSeekReleased() {}
};

// What the player asks of other modules when a disc is scanned and while it plays.
class CdDiscHooks {
 public:
  virtual ~CdDiscHooks() = default;
  // The disc identity of the new disc.
  virtual void ComputeDiscIdentity(void* /*window*/) {}
  // Loads the disc's information file into the title tables and shows the titles; without an
  // information file reader the titles stay empty and are shown as they are.
  virtual void LoadCdInformation(void* window);
  // Checks the programs the player watches (editors, help, mixer) once a second.
  virtual void WatchLaunchedPrograms(void* /*window*/) {}
  // A seek restarts the stream: the karaoke and voice delay histories start afresh.
  virtual void ClearVoiceHistories() {}
};

// Where the display calls and the disc hooks go (nullptr: nothing is shown / the defaults).
void SetCdPlayerDisplay(CdPlayerDisplay* display);
void SetCdDiscHooks(CdDiscHooks* hooks);

// Puts the player back to its start-up state (no disc, door closed, marks and titles empty),
// takes the play modes from the settings and installs the player as the stream's host.
void ResetCdPlayer();
// Seeds the order used for shuffled play.
void SetShuffleSeed(uint32_t seed);

// Timers.
void CdTimerHandler(void* window);
void OutputCurPos(void* window);

// Disc scanning.
void InitCD(void* window);
// Reads every track's start and length into the table; false (traced) when one cannot be read.
bool GetCDinfo();
bool IsTrackAudio(int track);
void SetMSFformat();

// Transport.
void EjectCD(void* window);
void CdPlayPause(void* window);
void CdStop(void* window);
void CdNextTrack(void* window);
void CdPreviousTrack(void* window);
void CdSelectTrack(void* window, int trackIndex);
void CdSeekPercent(float percent, int released, int state);
void CdToggleSkip(void* window);
void CdStartTrack(void* window);
void CdComputePlayEnd();
// Reader thread: the end of the play range was reached. 1: the next range is set, 0: stop,
// -1: no audio disc.
int SongDoneHandler(void* window);

// Play modes (the menu commands and the settings dialog).
void CdSetMode(int mode);
void CdSetRepeat(int repeat);

// Display.
void CdShowCurrentTrack(void* window);
void CdShowTitles(void* window);
void CdShutdown(void* window);
const char* CdStateName(int state);

// The progress text the position timer blinks (CDDB and lyrics clients).
void CdStartStatusBlink(const std::string& text);
void CdStopStatusBlink();

// Cuts text longer than width at the last blank at or before position width and appends
// "..." (a text without such a blank is cut at width).
std::string TruncateAtWord(const std::string& text, int width);

// Marks.
bool IsTrackSkipped(int track);
bool IsDataTrack(int track);
