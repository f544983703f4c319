#include "cdinfo/lyrics_fetch.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "cdinfo/info_file.h"
#include "cdinfo/lookup_worker.h"
#include "cdinfo/lrclib.h"
#include "cdinfo/lyrics_site.h"
#include "cdinfo/synced_lyrics.h"
#include "cdinfo/text_util.h"
#include "diagnostics/diagnostics.h"
#include "settings/settings.h"

LyricsState lyricsState;

namespace {

constexpr size_t kStatusWidth = 45;

void Status(void* window, const std::string& text, bool blink) {
  CdInfoHost& host = Host();
  host.ShowLyricsStatus(window, text);
  if (blink) host.StartBlink(window, text);
}

void NotFound(void* window, int track, LyricsTrackReport* result) {
  MarkLyricsNotFound(window, track);
  result->result = TrackLyrics::kNotFound;
}

// Stores the section found for the track; -1 when the file cannot take it.
int Store(void* window, const LyricsQuery& query, const std::string& section, bool keepWritten,
          LyricsTrackReport* result, std::string* failure) {
  const int stored = StoreLyricsSection(window, query.track, section, keepWritten);
  if (stored < 0) {
    *failure = "the CD information file cannot be written";
    return -1;
  }
  result->result = stored > 0 ? TrackLyrics::kFound : TrackLyrics::kKept;
  std::vector<SyncedLine> lines;
  result->synced = stored > 0 && ParseSyncedLyrics(section, &lines);
  return 0;
}

// Fetches the lyrics of songId and stores them; a song without lyrics is not found.
int GetAndStore(void* window, LyricsService& service, const std::string& songId,
                const LyricsQuery& query, bool keepWritten, LyricsTrackReport* result,
                std::string* failure) {
  std::string section;
  switch (service.GetLyrics(songId, query, &section)) {
    case LyricsOutcome::kFound:
      return Store(window, query, section, keepWritten, result, failure);
    case LyricsOutcome::kFailed:
      *failure = service.Failure();
      return -1;
    default:
      NotFound(window, query.track, result);
      return 0;
  }
}

int EndRun(void* window, const std::string& why, LyricsReport* report) {
  Trace("FetchLyrics: %s\n", why.c_str());
  Host().StopBlink(window);
  Status(window, "Lyrics search stopped: " + why, false);
  if (report) report->failure = why;
  return -1;
}

// The titles of a disc that was never looked up nor typed in ("Song 1", "Song 2", ...): a
// search for them would only find strangers' songs.
bool DefaultTitles(const CdTitles& titles, int lastTrack) {
  for (int i = 0; i <= lastTrack; ++i) {
    const std::string& title = titles.tracks[i].title;
    if (!title.empty() && title != "Song " + std::to_string(i + 1)) return false;
  }
  return true;
}

void StartLyricsWorker(void* window, int selector) {
  StartLookupWorker("FetchLyrics", "FetchLyrics: CreateThread failed\n", [window, selector] {
    lyricsState.cancel.store(0, std::memory_order_release);
    lyricsState.lyricsTrackSelector.store(selector, std::memory_order_release);
    FetchLyrics(window);
  });
}

}  // namespace

std::unique_ptr<LyricsService> MakeLyricsService() {
  if (LyricsServiceName(settings.lyricsService) == kLyricsServiceSite)
    return std::make_unique<SiteLyricsService>(settings.lyricsHost);
  return std::make_unique<LrclibService>(settings.lyricsUrl.empty() ? kDefaultLyricsUrl
                                                                    : settings.lyricsUrl);
}

int SongOnlySearch(void* window, LyricsService& service, const LyricsQuery& query, bool keepWritten,
                   LyricsTrackReport* result, std::string* failure) {
  std::vector<SongChoice> choices;
  const LyricsOutcome outcome = service.SearchSongs(query, &choices);
  if (outcome == LyricsOutcome::kFailed) {
    *failure = service.Failure();
    return -1;
  }
  if (outcome != LyricsOutcome::kFound || choices.empty()) {
    NotFound(window, query.track, result);
    return 0;
  }
  // The last line is "None of the above".
  const int chosen = Host().SelectSong(window, SongChoiceLines(choices));
  if (chosen < 0 || static_cast<size_t>(chosen) >= choices.size()) {
    NotFound(window, query.track, result);
    return 0;
  }
  return GetAndStore(window, service, choices[chosen].id, query, keepWritten, result, failure);
}

int FetchTrackLyrics(void* window, LyricsService& service, const AlbumSearch& search,
                     const LyricsQuery& query, bool keepWritten, LyricsTrackReport* result,
                     std::string* failure) {
  result->track = query.track;
  char number[32];
  std::snprintf(number, sizeof number, "Getting Lyrics %d: ", query.track + 1);
  Status(window, cdinfo::TruncateAtWord(number + query.title, kStatusWidth), true);

  std::string songId;
  switch (service.FindSong(search, query, &songId)) {
    case LyricsOutcome::kFound:
      return GetAndStore(window, service, songId, query, keepWritten, result, failure);
    case LyricsOutcome::kNotFound:
      return SongOnlySearch(window, service, query, keepWritten, result, failure);
    case LyricsOutcome::kNoLyrics:
      NotFound(window, query.track, result);
      return 0;
    case LyricsOutcome::kFailed:
      break;
  }
  *failure = service.Failure();
  return -1;
}

int FetchLyrics(void* window, LyricsReport* report) {
  CdInfoHost& host = Host();
  std::unique_ptr<LyricsService> service = MakeLyricsService();
  service->SetCancelFlag(&lyricsState.cancel);
  if (report) *report = LyricsReport{service->Name(), {}, {}};
  if (!host.HasAudioDisc()) {
    ShowMessageBox(window, "Ooops", "No Audio CD in Drive", kMbOk | kMbSystemModal);
    return EndRun(window, "no audio CD in the drive", report);
  }
  if (CurrentInfoFile().empty())
    return EndRun(window, "the disc has no CD information file", report);

  const int lastTrack = std::clamp(host.LastTrack(), 0, kMaxTitleTracks - 1);
  const int selector = lyricsState.lyricsTrackSelector.load(std::memory_order_acquire);
  if (selector > lastTrack) return EndRun(window, "no such track", report);
  CdTitles titles;
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    titles = cdTitles;
  }
  const DiscLayout layout = CurrentDiscLayout();
  if (DefaultTitles(titles, lastTrack))
    return EndRun(window, "the disc has no titles yet; get its CD information first", report);

  // A fetch for every track leaves the sections that hold lyrics alone, without asking.
  std::vector<int> tracks;
  for (int i = selector < 0 ? 0 : selector; i <= (selector < 0 ? lastTrack : selector); ++i) {
    if (selector < 0 && TrackHasLyrics(i)) {
      if (report) report->tracks.push_back({i, TrackLyrics::kKept, false});
      continue;
    }
    tracks.push_back(i);
  }
  if (tracks.empty()) {
    Status(window, "Every track already has lyrics", false);
    return 0;
  }

  Status(window, "Connecting to " + service->Name() + " - please wait", true);
  AlbumSearch search;
  if (service->FindAlbum(titles.albumArtist, titles.albumTitle, &search) == LyricsOutcome::kFailed)
    return EndRun(window, service->Failure(), report);

  int found = 0;
  for (int track : tracks) {
    LyricsQuery query;
    query.track = track;
    query.title = titles.tracks[track].title;
    query.trackArtist = titles.tracks[track].artist;
    if (track < layout.trackCount)
      query.durationSeconds = cdinfo::MsfToSeconds(layout.length[track]);
    LyricsTrackReport result;
    std::string failure;
    if (FetchTrackLyrics(window, *service, search, query, selector < 0, &result, &failure) != 0)
      return EndRun(window, failure, report);
    if (result.result == TrackLyrics::kFound) ++found;
    if (report) report->tracks.push_back(result);
    ShowTrackLyrics(window, std::clamp(host.CurrentTrack(), 0, lastTrack));
  }
  host.StopBlink(window);
  Status(window,
         "Lyrics found for " + std::to_string(found) + " of " + std::to_string(tracks.size()) +
             (tracks.size() == 1 ? " track" : " tracks"),
         false);
  return 0;
}

void GetLyricsFromInternet(void* window) {
  StartLyricsWorker(window, -1);
}

void GetTrackLyricsFromInternet(void* window, int track) {
  StartLyricsWorker(window, std::max(track, 0));
}

void FetchLyricsAfterTitleLookup(void* window) {
  if (!OnLookupWorker()) {
    StartLyricsWorker(window, -1);
    return;
  }
  lyricsState.cancel.store(0, std::memory_order_release);
  lyricsState.lyricsTrackSelector.store(-1, std::memory_order_release);
  FetchLyrics(window);
}

void CancelLyricsFetch() {
  lyricsState.cancel.store(1, std::memory_order_release);
}
