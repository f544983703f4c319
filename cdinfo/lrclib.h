// The LRCLIB adapter: LRCLIB's public web API over HTTPS ("Lyrics URL"), JSON answers.
//   GET /api/get?artist_name=&track_name=&album_name=&duration=   one record, 404 when none
//   GET /api/search?track_name=                                   a list of records
//   GET /api/get/{id}                                             one record by its id
// A record's time-synced lyrics are preferred to its plain ones.
#pragma once

#include <string>

#include "cdinfo/lrclib_answer.h"
#include "cdinfo/lyrics_service.h"

inline constexpr const char* kLrclibName = "LRCLIB";

class LrclibService : public LyricsService {
 public:
  explicit LrclibService(std::string baseUrl);

  std::string Name() const override { return kLrclibName; }
  // LRCLIB has no album query: the disc's own spelling is used.
  LyricsOutcome FindAlbum(const std::string& artist, const std::string& album,
                          AlbumSearch* search) override;
  // The track's artist (else the album's), title, album and duration; when nothing matches,
  // again with the title's bracketed parts left out, then without the artist's leading "The".
  LyricsOutcome FindSong(const AlbumSearch& search, const LyricsQuery& query,
                         std::string* songId) override;
  LyricsOutcome SearchSongs(const LyricsQuery& query, std::vector<SongChoice>* choices) override;
  LyricsOutcome GetLyrics(const std::string& songId, const LyricsQuery& query,
                          std::string* section) override;

 private:
  // GET base + path: kFound with the body for 200, kNotFound for 404, else kFailed.
  LyricsOutcome Get(const std::string& path, std::string* body);
  LyricsOutcome Record(const std::string& path, LrclibRecord* record);

  std::string base_;
  // The records FindSong and SearchSongs read last: their lyrics need no second request.
  LrclibRecord found_;
  std::vector<LrclibRecord> searched_;
};
