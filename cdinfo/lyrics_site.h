// The lyrics site adapter: request lines sent through the raw HTTP client to the host of
// "Lyrics Add", answers read by the site's page structure ("No Songs Found", "/query/get?s=",
// "&artist=", "&page=", "STATUS=GET_OK" and the lyrics page markup).
#pragma once

#include <string>
#include <string_view>

#include "cdinfo/lyrics_request.h"
#include "cdinfo/lyrics_service.h"

class SiteLyricsService : public LyricsService {
 public:
  explicit SiteLyricsService(std::string host) : host_(std::move(host)) {}

  std::string Name() const override { return host_; }
  LyricsOutcome FindAlbum(const std::string& artist, const std::string& album,
                          AlbumSearch* search) override;
  LyricsOutcome FindSong(const AlbumSearch& search, const LyricsQuery& query,
                         std::string* songId) override;
  LyricsOutcome SearchSongs(const LyricsQuery& query, std::vector<SongChoice>* choices) override;
  LyricsOutcome GetLyrics(const std::string& songId, const LyricsQuery& query,
                          std::string* section) override;

 private:
  // Sends one line; false (with the failure set) when the exchange failed.
  bool Send(const std::string& line);
  // Sends the line, and while the site finds nothing, each respelling that changes it.
  template <size_t N>
  LyricsOutcome Query(std::string* line, const Respelling (&respellings)[N]);

  std::string host_;
};

// The value of key (e.g. "&artist=") in text: from after the key at or after from up to the
// next "&"; false when either is missing.
bool ValueAfterKey(std::string_view text, std::string_view key, size_t from, std::string* value,
                   size_t* end = nullptr);
