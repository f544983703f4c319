// Reading MusicBrainz's answer to a disc id lookup (JSON, with recordings and artist credits):
// the releases that hold the disc, each with the titles of the medium that is this disc.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cdinfo/titles.h"

// More releases than this are not offered; the first ones are.
inline constexpr size_t kMaxMusicBrainzReleases = 25;

struct MusicBrainzTrack {
  std::string title;
  std::string artist;  // the track's artist credit as written ("A feat. B")
};

struct MusicBrainzRelease {
  std::string title;
  std::string artist;                    // the release's artist credit as written
  std::string year;                      // "2001", or empty
  std::string country;                   // "GB", "XE", or empty
  std::vector<MusicBrainzTrack> tracks;  // the medium that is this disc, in order
};

enum class MusicBrainzAnswer {
  kReleases,   // at least one release with tracks
  kNoMatch,    // a valid answer that names no release (or names an error)
  kMalformed,  // not JSON, or not the shape of an answer
};

// Parses the answer body. discId picks the medium of a several-disc release; without a medium
// that lists the id (a match through the table of contents), the medium with audioTracks
// tracks is taken, else the first one. Every text is valid UTF-8 without control characters
// (tab aside). *error says what was wrong with a malformed answer.
MusicBrainzAnswer ParseMusicBrainzAnswer(std::string_view body, const std::string& discId,
                                         int audioTracks, std::vector<MusicBrainzRelease>* releases,
                                         std::string* error);

// The release as the choice list shows it: "Title - Artist (2001, GB)".
std::string ReleaseChoiceText(const MusicBrainzRelease& release);

// The release's titles for tracks 0..lastTrack: album title and artist, track titles, and a
// track artist where it differs from the album artist. Tracks beyond the release keep theirs.
void ApplyReleaseTitles(const MusicBrainzRelease& release, int lastTrack, CdTitles* titles);
