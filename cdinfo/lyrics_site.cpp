#include "cdinfo/lyrics_site.h"

#include "cdinfo/http_client.h"
#include "cdinfo/lyrics_page.h"
#include "diagnostics/diagnostics.h"

namespace {

bool Fails(const std::string& answer) {
  return answer.find(kNoSongsFound) != std::string::npos;
}

}  // namespace

bool ValueAfterKey(std::string_view text, std::string_view key, size_t from, std::string* value,
                   size_t* end) {
  const size_t found = text.find(key, from);
  if (found == std::string_view::npos) return false;
  const size_t start = found + key.size();
  const size_t stop = text.find('&', start);
  if (stop == std::string_view::npos) return false;
  *value = text.substr(start, stop - start);
  if (end) *end = stop;
  return true;
}

bool SiteLyricsService::Send(const std::string& line) {
  if (Cancelled()) {
    failure_ = "cancelled";
    return false;
  }
  if (InitWinSock() != 0 || OpenSendReceiveClose(host_, line + "\r\n") != 0) {
    failure_ = "no answer from " + host_;
    return false;
  }
  return true;
}

template <size_t N>
LyricsOutcome SiteLyricsService::Query(std::string* line, const Respelling (&respellings)[N]) {
  if (!Send(*line)) return LyricsOutcome::kFailed;
  if (!Fails(httpState.httpResponse)) return LyricsOutcome::kFound;
  for (Respelling respell : respellings) {
    if (!respell(line)) continue;
    if (!Send(*line)) return LyricsOutcome::kFailed;
    if (!Fails(httpState.httpResponse)) return LyricsOutcome::kFound;
  }
  return LyricsOutcome::kNotFound;
}

LyricsOutcome SiteLyricsService::FindAlbum(const std::string& artist, const std::string& album,
                                           AlbumSearch* search) {
  std::string line = AlbumQueryLine(host_, artist, album);
  const LyricsOutcome outcome = Query(&line, kAlbumRespellings);
  if (outcome == LyricsOutcome::kFailed) return outcome;
  search->albumKnown = outcome == LyricsOutcome::kFound;
  search->artist.clear();
  search->album = album;
  if (search->albumKnown) {
    // The site's own spelling: the second "&artist=" of the answer, the album after it.
    const std::string& answer = httpState.httpResponse;
    const size_t first = answer.find("&artist=");
    size_t end = 0;
    std::string siteAlbum;
    if (first != std::string::npos &&
        ValueAfterKey(answer, "&artist=", first + 1, &search->artist, &end) &&
        ValueAfterKey(answer, "=", end, &siteAlbum)) {
      search->album = siteAlbum;
      return outcome;
    }
  }
  // The request's (respelled) artist.
  if (!ValueAfterKey(line, "&artist=", 0, &search->artist)) Trace("ooops 1\n");
  return outcome;
}

LyricsOutcome SiteLyricsService::FindSong(const AlbumSearch& search, const LyricsQuery& query,
                                          std::string* songId) {
  std::string line = TrackQueryLine(host_, search.albumKnown, search.artist, search.album,
                                    query.trackArtist, query.title);
  const LyricsOutcome outcome = Query(&line, kTrackRespellings);
  if (outcome != LyricsOutcome::kFound) return outcome;
  return SiteSongId(httpState.httpResponse, 0, songId) ? outcome : LyricsOutcome::kNoLyrics;
}

LyricsOutcome SiteLyricsService::SearchSongs(const LyricsQuery& query,
                                             std::vector<SongChoice>* choices) {
  choices->clear();
  if (!Send(SongOnlyQueryLine(host_, query.title))) return LyricsOutcome::kFailed;
  if (Fails(httpState.httpResponse) ||
      httpState.httpResponse.find("/query/get?s=") == std::string::npos)
    return LyricsOutcome::kNotFound;
  const int pages = std::min(SitePageCount(httpState.httpResponse), kMaxSongPages);
  ReadSiteSongEntries(httpState.httpResponse, choices);
  for (int page = 2; page <= pages && choices->size() < kMaxSongChoices; ++page) {
    if (!Send(SongPageLine(host_, query.title, page))) return LyricsOutcome::kFailed;
    ReadSiteSongEntries(httpState.httpResponse, choices);
  }
  return choices->empty() ? LyricsOutcome::kNotFound : LyricsOutcome::kFound;
}

LyricsOutcome SiteLyricsService::GetLyrics(const std::string& songId, const LyricsQuery& query,
                                           std::string* section) {
  if (!Send(SongGetLine(host_, songId))) return LyricsOutcome::kFailed;
  if (httpState.httpResponse.find("STATUS=GET_OK") == std::string::npos ||
      !CleanLyricsPage(httpState.httpResponse, query.track, query.title, section)) {
    Trace("songID found okay, but lyrics did not follow\n");
    return LyricsOutcome::kNoLyrics;
  }
  return LyricsOutcome::kFound;
}
