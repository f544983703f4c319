// The MusicBrainz disc id: a SHA-1 over the disc's table of contents (first and last audio
// track, lead-out and the start of each track, in sectors from the start of the disc), written
// in MusicBrainz's base64 alphabet ("." "_" "-" for "+" "/" "="). 28 characters.
#pragma once

#include <string>

#include "cdinfo/disc_id.h"

inline constexpr int kMusicBrainzIdChars = 28;
// A second session (an enhanced CD's data tracks) starts this many sectors after the end of
// the audio session: its lead-out and lead-in lie between them.
inline constexpr int kSessionGapSectors = 11400;

// What MusicBrainz calls the table of contents. Sector numbers count the 2-second lead-in
// (the first track usually starts at 150).
struct MusicBrainzToc {
  int firstTrack = 0;  // 1
  int lastTrack = 0;   // the last audio track; 0 for a disc without one
  int leadOut = 0;
  int offsets[99] = {};  // start of track firstTrack + i
};

// The table of the layout. Data tracks at the end (a second session) are left out, and the
// audio ends where that session's gap begins; data tracks before audio ones stay, as on the
// disc. At most 99 tracks.
MusicBrainzToc MusicBrainzTocOf(const DiscLayout& layout);
// The id of a table; empty for a table without tracks.
std::string MusicBrainzDiscId(const MusicBrainzToc& toc);
// The lookup's "toc" value: "first+last+leadout+offset1+...".
std::string MusicBrainzTocParameter(const MusicBrainzToc& toc);
