// The titles of the disc in the drive: album title and artist, and per track a title and a
// track artist. Filled from the CD information file and from CDDB answers, shown by the
// player and the panels.
#pragma once

#include <string>

inline constexpr int kMaxTitleTracks = 200;
inline constexpr size_t kTitleBytes = 200;  // each text holds at most 199 bytes

struct TrackTitle {
  std::string title;
  std::string artist;
};

struct CdTitles {
  std::string albumTitle;
  std::string albumArtist;
  TrackTitle tracks[kMaxTitleTracks];
};

extern CdTitles cdTitles;
