// A lyrics service as the fetch sees it: whatever it speaks underneath, it yields the same
// pieces: the album's spelling on the service, a song id per track, a list of candidate songs
// for the choice, and the lyrics of a song id as a section of the CD information file. Two
// adapters: the lyrics site (raw request lines) and LRCLIB (its JSON web API).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "cdinfo/lyrics_choice.h"

enum class LyricsOutcome {
  kFound,
  kNotFound,  // nothing matched: the next fallback may still find it
  kNoLyrics,  // a match without usable lyrics: the track is not found, no further fallback
  kFailed,    // the service could not be asked: the run ends (Failure() says why)
};

// One track as the disc's titles describe it.
struct LyricsQuery {
  int track = 0;  // index
  std::string title;
  std::string trackArtist;  // empty when the track has none of its own
  int durationSeconds = 0;  // 0 when unknown
};

// The album as the service spells it (learned by FindAlbum), used for every track.
struct AlbumSearch {
  bool albumKnown = false;
  std::string artist;
  std::string album;
};

class LyricsService {
 public:
  virtual ~LyricsService() = default;

  // Shown as "Connecting to <name> - please wait".
  virtual std::string Name() const = 0;
  virtual LyricsOutcome FindAlbum(const std::string& artist, const std::string& album,
                                  AlbumSearch* search) = 0;
  virtual LyricsOutcome FindSong(const AlbumSearch& search, const LyricsQuery& query,
                                 std::string* songId) = 0;
  // Candidates for the choice, by the track's title alone (at most kMaxSongChoices).
  virtual LyricsOutcome SearchSongs(const LyricsQuery& query, std::vector<SongChoice>* choices) = 0;
  // The section (heading included) for query.track from the song's lyrics.
  virtual LyricsOutcome GetLyrics(const std::string& songId, const LyricsQuery& query,
                                  std::string* section) = 0;

  // Why the last kFailed happened, for the user.
  const std::string& Failure() const { return failure_; }
  // A non-zero flag ends the run at the next exchange (or during it, where the transport can).
  void SetCancelFlag(const std::atomic<int>* cancel) { cancel_ = cancel; }

 protected:
  bool Cancelled() const { return cancel_ && cancel_->load(std::memory_order_acquire) != 0; }

  std::string failure_;
  const std::atomic<int>* cancel_ = nullptr;
};

// The service the settings name ("Lyrics Service"): LRCLIB at "Lyrics URL", or the lyrics
// site at "Lyrics Add".
std::unique_ptr<LyricsService> MakeLyricsService();
