// Fetching lyrics from the Internet into the lyrics sections of the CD information file.
//
// The window calls the entry points below; each runs the fetch on the lookup worker
// (cdinfo/lookup_worker.h: one title lookup, server-list update or lyrics fetch at a time;
// while one runs, a start is ignored with a trace line, and LookupWorkerBusy() says so). Progress
// goes to the lyrics panel through the host (CdInfoHost in cdinfo/info_file.h): ShowLyricsStatus
// with "Connecting to <service> - please wait", then "Getting Lyrics <n>: <title>" per track, each
// made to blink with StartBlink; StopBlink and a closing status text ("Lyrics found for 2 of 3
// tracks", or "Lyrics search stopped: <why>") at the end. After each track the current track's
// lyrics are shown again (ShowLyrics). When no query finds a track, the host's SelectSong offers
// the songs found by its title alone.
//
// A track that is not found gets "Lyrics for this song were not found on the Internet" in its
// section. Lyrics already in a section (typed in by the user, or fetched before) are never
// replaced by a fetch for every track, nor by that note; only a fetch for the one track the
// user asked for replaces them with what it finds.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "cdinfo/lyrics_service.h"

inline constexpr const char* kGetLyricsCommandText = "Get &Lyrics from Internet";

struct LyricsState {
  // -1: fetch every track; else the index of the one track to fetch.
  std::atomic<int32_t> lyricsTrackSelector{-1};
  // Set by CancelLyricsFetch; the run ends at its next exchange.
  std::atomic<int> cancel{0};
};

extern LyricsState lyricsState;

// ---- Entry points for the window -----------------------------------------------------------

// The Internet menu's "Get &Lyrics from Internet": every track whose section has no lyrics yet.
void GetLyricsFromInternet(void* window);
// One track (index), asked for by the user: what is found replaces the section's lyrics.
void GetTrackLyricsFromInternet(void* window, int track);
// Called after a successful title lookup (LookUpTitles giving kTitlesLookedUp): fetches the
// tracks whose sections have no lyrics yet. On the lookup's own worker it runs right there,
// after the lookup; called from another thread it starts the worker.
void FetchLyricsAfterTitleLookup(void* window);
// Ends a running fetch at its next exchange; what was stored stays.
void CancelLyricsFetch();

// ---- The fetch itself (runs on the calling thread) -----------------------------------------

enum class TrackLyrics {
  kFound,     // stored in the section
  kNotFound,  // nothing found (the section says so, unless it holds lyrics)
  kKept,      // the section holds lyrics and was left alone
};

struct LyricsTrackReport {
  int track = 0;  // index
  TrackLyrics result = TrackLyrics::kNotFound;
  bool synced = false;  // the lyrics found are time-tagged
};

struct LyricsReport {
  std::string service;                    // the service's name
  std::vector<LyricsTrackReport> tracks;  // in the order they were done
  std::string failure;                    // why the run ended early; empty when it did not
};

// The whole run for lyricsTrackSelector with the service the settings name: 0 when every
// track was done, -1 when the run ended early (no audio disc, no information file, a network
// failure, an unreadable answer, a cancel). What was stored before that stays stored.
int FetchLyrics(void* window, LyricsReport* report = nullptr);

// One track: the query with the service's fallbacks, else the choice by title (SongOnlySearch);
// the result stored in its section. keepWritten leaves a section that holds lyrics alone.
// 0, or -1 when the run must end (service.Failure() or the report says why).
int FetchTrackLyrics(void* window, LyricsService& service, const AlbumSearch& search,
                     const LyricsQuery& query, bool keepWritten, LyricsTrackReport* result,
                     std::string* failure);
int SongOnlySearch(void* window, LyricsService& service, const LyricsQuery& query, bool keepWritten,
                   LyricsTrackReport* result, std::string* failure);
