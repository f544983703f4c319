#include "cdinfo/title_lookup.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "cdinfo/cddb.h"
#include "cdinfo/info_file.h"
#include "cdinfo/lookup_worker.h"
#include "cdinfo/lyrics_fetch.h"
#include "cdinfo/musicbrainz.h"
#include "cdinfo/text_util.h"
#include "diagnostics/diagnostics.h"

namespace {

std::string StatusLineText(int track) {
  std::string title;
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    title = cdTitles.tracks[track].title;
  }
  return std::to_string(track + 1) + ": " + cdinfo::TruncateAtWord(title, 49);
}

bool HasDefaultFile() {
  return std::filesystem::path(CurrentInfoFile()).filename().string().find(kUnknownCdName) !=
         std::string::npos;
}

}  // namespace

int LookUpTitles(void* window, TitleService service, const std::string& musicBrainzUrl) {
  CdInfoHost& host = Host();
  if (!host.HasAudioDisc()) {
    ShowMessageBox(window, "Ooops", "No Audio CD in Drive", kMbOk | kMbSystemModal);
    return -1;
  }
  if (service == TitleService::kCddb && settings.firstCddb && UpdateCddbSites() == 0)
    settings.firstCddb = 0;
  cddbState.lookupBusy.store(1, std::memory_order_release);

  const int lastTrack = std::clamp(host.LastTrack(), 0, kMaxTitleTracks - 1);
  int result = kTitlesKnown;
  if (HasDefaultFile()) {
    const DiscLayout layout = CurrentDiscLayout();
    TitleSearch found = TitleSearch::kNoMatch;
    bool askedCddb = false;
    MusicBrainzRelease release;
    if (service != TitleService::kCddb)
      found = MusicBrainzLookup(window, musicBrainzUrl, layout, &release);
    if (service == TitleService::kCddb ||
        (service == TitleService::kAuto && found == TitleSearch::kNoMatch)) {
      if (service == TitleService::kAuto && settings.firstCddb && UpdateCddbSites() == 0)
        settings.firstCddb = 0;
      askedCddb = true;
      char discId[kDiscIdChars + 1] = "";
      found = CddbQueryAndRead(layout.trackCount, layout.position, layout.length, discId,
                               settings.databasePath, window) == 0
                  ? TitleSearch::kFound
                  : TitleSearch::kNoMatch;
    }
    if (found != TitleSearch::kFound) {
      Trace(askedCddb ? "not found in cddb\n" : "not found in musicbrainz\n");
      cddbState.lookupBusy.store(0, std::memory_order_release);
      host.ShowStatusLine(window, StatusLineText(std::clamp(host.CurrentTrack(), 0, lastTrack)));
      host.ShowTitleLine(window);
      host.StopBlink(window);
      return -1;
    }
    host.StopBlink(window);
    host.MarkKnownCd(window);
    const int stored = askedCddb ? ConvertCddbToDatabase(window)
                                 : StoreLookedUpTitles(window, [&release](int last, CdTitles* t) {
                                     ApplyReleaseTitles(release, last, t);
                                   });
    result = stored == 0 ? kTitlesLookedUp : -1;
  }

  const int track = std::clamp(host.CurrentTrack(), 0, lastTrack);
  host.ShowStatusLine(window, StatusLineText(track));
  std::string artist;
  bool artistsPresent;
  {
    std::lock_guard<std::mutex> guard(cdInfo.lock);
    artistsPresent = !cdTitles.tracks[0].artist.empty();
    artist = cdTitles.tracks[track].artist;
  }
  if (artistsPresent) host.ShowArtistLine(window, cdinfo::TruncateAtWord(artist, 27));
  cddbState.lookupBusy.store(0, std::memory_order_release);
  ShowTrackLyrics(window, track);
  return result;
}

void GetCdInfoFromInternet(void* window) {
  const TitleService service = settings.titleService;
  const std::string url = settings.musicBrainzUrl;
  StartLookupWorker("GetCdInfoFromInternet", "GetCdInfoFromInternet: CreateThread failed\n",
                    [window, service, url] {
                      // New titles: the tracks without lyrics get theirs on the same worker.
                      if (LookUpTitles(window, service, url) == kTitlesLookedUp)
                        FetchLyricsAfterTitleLookup(window);
                    });
}
