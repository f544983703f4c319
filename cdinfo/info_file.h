// The CD information file: one plain-text file per disc in the CD information folder, holding
// the album title and artist, a title and an optional artist per track, and one lyrics section
// per track. Named "<album title> <disc id>.txt" ("Unknown CD <disc id>.txt" before a lookup)
// and found again by its disc id alone. The user may edit it by hand.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cdinfo/disc_id.h"
#include "cdinfo/titles.h"

inline constexpr size_t kInfoFileReadBytes = 50000;  // read for the titles
// Rewrites of the file (lyrics sections, carriage returns) work on the whole file, so nothing
// past the first 50,000 bytes is lost; files beyond this size are refused.
inline constexpr size_t kInfoFileMaxBytes = 16u << 20;
inline constexpr size_t kLyricsHeadingTitleWidth = 49;
inline constexpr size_t kFileNameTitleBytes = 200;  // the title part of a file name

inline constexpr const char* kTempFileName = "temp.txt";
inline constexpr const char* kLyricsEditFileName = "Enter or Edit Lyrics Below";
inline constexpr const char* kUnknownCdName = "Unknown CD";
inline constexpr const char* kNoLyricsText = "Lyrics for this song are not on your computer";
inline constexpr const char* kLyricsNotFoundText =
    "Lyrics for this song were not found on the Internet";
inline constexpr const char* kLyricsMissingText = "Lyrics not found for this song\n";

// What the CD information code needs from the player and the GUI. The GUI implements it;
// tests record the calls. The player-state defaults read the layout the player handed over.
// The CDDB and lyrics workers call it from their own thread: the GUI's implementation posts
// display calls to the window thread, and runs a dialog there while the worker waits.
class CdInfoHost {
 public:
  virtual ~CdInfoHost() = default;

  virtual int LastTrack();      // index of the last track (tracks - 1)
  virtual int CurrentTrack();   // index of the current track
  virtual bool HasAudioDisc();  // a disc with audio tracks is loaded (stopped, playing, paused)

  virtual void ShowTitles(void* /*window*/) {}  // redraw titles and the track list
  // The lyrics panel's text; the panel shows it as fresh text.
  virtual void ShowLyrics(void* /*window*/, const std::string& /*text*/) {}
  virtual void ShowStatusLine(void* /*window*/, const std::string& /*text*/) {}
  virtual void ShowTitleLine(void* /*window*/) {}  // album title and artist from cdTitles
  virtual void ShowArtistLine(void* /*window*/, const std::string& /*artist*/) {}
  virtual void StartBlink(void* /*window*/, const std::string& /*text*/) {}
  virtual void StopBlink(void* /*window*/) {}
  virtual void MarkKnownCd(void* /*window*/) {}
  // The "Select CD" dialog ("There were more than one CDs found; please select the correct
  // CD from the list below."): a list of the given texts, the first preselected, modal on the
  // calling thread. Returns the position of the entry selected when the dialog closes (OK,
  // Cancel or a double click), -1 for none. The default picks the preselected first entry.
  virtual int SelectCd(void* window, const std::vector<std::string>& entries);
  // The lyrics panel's status text (connection and progress of a lyrics fetch); StartBlink
  // makes it blink.
  virtual void ShowLyricsStatus(void* /*window*/, const std::string& /*text*/) {}
  // The "Select Song" dialog: "Please select the correct song below:" and "Format is:     Song
  // Title  /  Album  /  Artist" above a list of the given lines ("None of the above" last), the
  // first preselected, modal. Returns the index of the selected line when the dialog closes (OK,
  // Cancel or a double click), -1 for none. The default takes the preselected first line.
  virtual int SelectSong(void* window, const std::vector<std::string>& lines);
};

inline constexpr const char* kNoneOfTheAbove = "None of the above";

// The choice among the matches of a lookup (CDDB entries, MusicBrainz releases): one match is
// taken as it is; several go to the "Select CD" dialog with "None of the above" after them.
// The position of the match chosen, or -1 for "None of the above" (or no match).
int ChooseCd(void* window, const std::vector<std::string>& matches);

struct CdInfoState {
  // Guards the fields below and cdTitles while they are replaced: the lookup thread rewrites
  // them while the window thread draws. Readers on other threads take it too.
  std::mutex lock;
  DiscLayout layout;
  char discId[kDiscIdChars + 1] = "";
  std::string currentInfoFile;  // full path of the file of the disc in the drive
  std::atomic<CdInfoHost*> host{nullptr};
};

extern CdInfoState cdInfo;
extern CdTitles cdTitles;

// nullptr installs the default host (player state from the layout, no display).
void SetCdInfoHost(CdInfoHost* host);
// The host as the CD information code calls it: display calls and the dialog run on the window
// thread (platform/sync/window_thread.h) whichever thread makes them.
CdInfoHost& Host();

// The player hands over a newly scanned disc; its disc id is computed at once.
void SetDiscLayout(const DiscLayout& layout);
DiscLayout CurrentDiscLayout();
std::string CurrentDiscId();
std::string CurrentInfoFile();

// ---- File operations (the folder is settings.databasePath) --------------------------------

// Finds (creating a default one when none exists) and reads the file of the disc, then shows
// the titles and the current track's lyrics.
void LoadCdInfoFile(void* window);
// Writes the default file for the disc; 1 with its path, 0 when it cannot be written.
int CreateDefaultCdInfoFile(std::string* pathOut);
// Writes the file from the in-memory titles; 1 or -1.
int WriteCdInfoFile(const std::string& path);
// Turns the saved CDDB answer (the lookup's own, else temp.txt) into the titles and a new
// file, keeping the lyrics of the disc's previous file; 0 or -1 (a previous file that cannot be
// read is left as it is, and nothing is written).
int ConvertCddbToDatabase(void* window);
// What every lookup ends with: apply changes the current titles (for tracks 0..lastTrack);
// control characters (tab aside) are removed from every title; the titles are installed and
// written as the disc's new file under its new title, with the lyrics of the disc's previous
// file carried over and that file removed when the name changed. 0, or -1 when the file
// cannot be written (the previous one is then left as it was).
int StoreLookedUpTitles(void* window, const std::function<void(int lastTrack, CdTitles*)>& apply);
// Carries the lyrics sections of oldPath into newPath (under the new titles); 1 or -1.
int FetchAnyLyricsFromOldFile(const std::string& newPath, const std::string& oldPath);
void ShowTrackLyrics(void* window, int track);
// Replaces one track's lyrics section (heading line included in sectionText); 1 or -1.
int ReplaceLyricsSection(void* window, int track, const std::string& sectionText);
// Puts "Lyrics for this song were not found on the Internet" in the section of track, unless
// the section holds lyrics (hand-written ones are never replaced by that note).
void MarkLyricsNotFound(void* window, int track);
// Stores a fetched section: 1 when stored, 0 when keepWritten and the section already holds
// lyrics (left as it is), -1 when the file cannot be read or written or has no such section.
int StoreLyricsSection(void* window, int track, const std::string& sectionText, bool keepWritten);
// Whether the section of track in the current file holds lyrics.
bool TrackHasLyrics(int track);
// Writes one track's lyrics to the lyrics edit file; 0 or -1.
int ExtractLyricsForEditing(int track);
// Removes every "\r" from the file and makes it end with a line end; 1 or -1.
int RemoveCarriageReturns(const std::string& path);

std::string InfoFilePath(std::string_view albumTitle, std::string_view discId);
std::string LyricsEditFilePath();
std::string TempFilePath();
// Saves a lookup's CDDB answer in a file of its own in folder, created exclusively beside
// temp.txt, so that two lookups in one folder never read each other's answer.
// ConvertCddbToDatabase reads it and then keeps it as temp.txt. False when it cannot be written.
bool SaveLookupAnswer(const std::string& folder, std::string_view answer);
// Files of the folder whose names end in the disc id and ".txt", sorted by name.
std::vector<std::string> FindInfoFiles(std::string_view discId);

// ---- The text itself (what the file operations do, without the file) ----------------------

std::string BuildCdInfoText(const CdTitles& titles, int lastTrack);
std::string BuildDefaultCdInfoText(int lastTrack);
// Reads album title and artist, then tracks 0..lastTrack's titles and artists, with one
// cursor that only moves forward.
void ParseCdInfoText(std::string_view text, int lastTrack, CdTitles* titles);
// Position of the heading "Lyrics for Track n" (with stars: "****Lyrics for Track n") at or
// after from, matched as a whole number (track 1 never finds track 10); npos when none.
size_t FindLyricsHeading(std::string_view text, int trackNumber, size_t from, bool withStars);
// The lyrics of track index track: from the line after its heading up to the next heading.
bool TrackLyricsFromText(std::string_view text, int track, std::string* lyrics);
// Heading line "****Lyrics for Track n, <title cut at a word to 49>:".
std::string LyricsHeading(int track, std::string_view title);
bool ReplaceLyricsInText(std::string* text, int track, std::string_view sectionText);
bool MarkNotFoundInText(std::string* text, int track);
// True when the section of track holds lyrics: anything but nothing, the default note or the
// not-found note.
bool SectionHoldsLyrics(std::string_view text, int track);
// Replaces the sections of newText by the lyrics found in oldText, under the new titles.
void CarryLyrics(std::string_view oldText, std::string* newText, const CdTitles& titles,
                 int lastTrack);
