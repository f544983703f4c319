#include "cdinfo/lrclib.h"

#include <algorithm>

#include "cdinfo/http_client.h"
#include "cdinfo/lyrics_page.h"
#include "cdinfo/lyrics_request.h"
#include "diagnostics/program_info.h"
#include "platform/net/web_client.h"

namespace {

// The artist without a leading article "The ".
std::string WithoutArticle(const std::string& artist) {
  if (artist.size() > 4 && (artist.compare(0, 4, "The ") == 0 || artist.compare(0, 4, "the ") == 0))
    return artist.substr(4);
  return artist;
}

std::string WithoutBrackets(std::string title) {
  DropBracketedParts(&title, ' ');
  return title;
}

}  // namespace

LrclibService::LrclibService(std::string baseUrl) : base_(std::move(baseUrl)) {
  while (!base_.empty() && base_.back() == '/') base_.pop_back();
}

LyricsOutcome LrclibService::Get(const std::string& path, std::string* body) {
  body->clear();
  if (Cancelled()) {
    failure_ = "cancelled";
    return LyricsOutcome::kFailed;
  }
  WebRequest request;
  request.url = base_ + path;
  request.userAgent = ProgramUserAgent();
  const long waitMs = std::max(httpState.waitMilliseconds.load(std::memory_order_acquire), 1);
  request.connectTimeoutMs = waitMs;
  request.idleTimeoutMs = waitMs;
  request.totalTimeoutMs = 3 * waitMs;
  request.cancel = cancel_;
  WebResponse response;
  if (!WebGet(request, &response)) {
    failure_ = Cancelled()
                   ? std::string("cancelled")
                   : "no answer from " + std::string(kLrclibName) + " (" + response.error + ")";
    return LyricsOutcome::kFailed;
  }
  if (response.status == 404) return LyricsOutcome::kNotFound;
  if (response.status != 200) {
    failure_ = std::string(kLrclibName) + " answered " + std::to_string(response.status);
    if (response.retryAfterSeconds >= 0)
      failure_ += "; try again in " + std::to_string(response.retryAfterSeconds) + " s";
    return LyricsOutcome::kFailed;
  }
  *body = std::move(response.body);
  return LyricsOutcome::kFound;
}

LyricsOutcome LrclibService::Record(const std::string& path, LrclibRecord* record) {
  std::string body;
  const LyricsOutcome outcome = Get(path, &body);
  if (outcome != LyricsOutcome::kFound) return outcome;
  std::string error;
  if (!ParseLrclibRecord(body, record, &error)) {
    failure_ = std::string(kLrclibName) + " sent an answer that cannot be read: " + error;
    return LyricsOutcome::kFailed;
  }
  return outcome;
}

LyricsOutcome LrclibService::FindAlbum(const std::string& artist, const std::string& album,
                                       AlbumSearch* search) {
  *search = AlbumSearch{true, artist, album};
  return LyricsOutcome::kFound;
}

LyricsOutcome LrclibService::FindSong(const AlbumSearch& search, const LyricsQuery& query,
                                      std::string* songId) {
  std::string artist = query.trackArtist.empty() ? search.artist : query.trackArtist;
  std::string title = query.title;
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (attempt == 1) {
      const std::string shorter = WithoutBrackets(title);
      if (shorter == title || shorter.empty()) continue;
      title = shorter;
    } else if (attempt == 2) {
      const std::string shorter = WithoutArticle(artist);
      if (shorter == artist) continue;
      artist = shorter;
    }
    std::string path = "/api/get?artist_name=" + UrlEncode(artist) +
                       "&track_name=" + UrlEncode(title) + "&album_name=" + UrlEncode(search.album);
    if (query.durationSeconds > 0) path += "&duration=" + std::to_string(query.durationSeconds);
    const LyricsOutcome outcome = Record(path, &found_);
    if (outcome == LyricsOutcome::kFound) {
      *songId = std::to_string(found_.id);
      return outcome;
    }
    if (outcome != LyricsOutcome::kNotFound) return outcome;
  }
  return LyricsOutcome::kNotFound;
}

LyricsOutcome LrclibService::SearchSongs(const LyricsQuery& query,
                                         std::vector<SongChoice>* choices) {
  choices->clear();
  std::string body;
  const LyricsOutcome outcome = Get("/api/search?track_name=" + UrlEncode(query.title), &body);
  if (outcome != LyricsOutcome::kFound) return outcome;
  std::string error;
  if (!ParseLrclibList(body, &searched_, &error)) {
    failure_ = std::string(kLrclibName) + " sent a search answer that cannot be read: " + error;
    return LyricsOutcome::kFailed;
  }
  for (const LrclibRecord& record : searched_) {
    if (choices->size() >= kMaxSongChoices) break;
    choices->push_back({std::to_string(record.id), ChoiceText(record.artistName),
                        ChoiceText(record.albumName), ChoiceText(record.trackName)});
  }
  return choices->empty() ? LyricsOutcome::kNotFound : LyricsOutcome::kFound;
}

LyricsOutcome LrclibService::GetLyrics(const std::string& songId, const LyricsQuery& query,
                                       std::string* section) {
  // A record already read is used when it says what the song has; else it is asked for by id.
  const auto known = [&songId](const LrclibRecord& r) {
    return std::to_string(r.id) == songId &&
           (!r.syncedLyrics.empty() || !r.plainLyrics.empty() || r.instrumental);
  };
  LrclibRecord record;
  if (const auto it = std::find_if(searched_.begin(), searched_.end(), known);
      it != searched_.end()) {
    record = *it;
  } else if (known(found_)) {
    record = found_;
  } else {
    const LyricsOutcome outcome = Record("/api/get/" + UrlEncode(songId), &record);
    if (outcome == LyricsOutcome::kNotFound) return LyricsOutcome::kNoLyrics;
    if (outcome != LyricsOutcome::kFound) return outcome;
  }
  if (!record.syncedLyrics.empty())
    *section = LyricsSectionFromText(record.syncedLyrics, query.track, query.title, false);
  else if (!record.plainLyrics.empty())
    *section = LyricsSectionFromText(record.plainLyrics, query.track, query.title, true);
  else if (record.instrumental)
    *section = LyricsSectionFromText("(instrumental)", query.track, query.title, false);
  else
    return LyricsOutcome::kNoLyrics;
  return LyricsOutcome::kFound;
}
