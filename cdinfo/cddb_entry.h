// Reading a CDDB database entry (the text a read command answers with) into the title tables.
#pragma once

#include <string_view>

#include "cdinfo/titles.h"

inline constexpr size_t kCddbLineBytes = 1023;  // longer lines are cut

// Applies the entry to titles for tracks 0..lastTrack:
// - consecutive "DTITLE=" lines form the album text; it splits at its first "/" (else ":",
//   else "-") into artist (before) and album title (after, leading blanks skipped); without a
//   separator both are the whole text;
// - "TTITLEn=" sets track n's title; a further TTITLEn line continues it;
// - "EXTTn=" sets track n's artist; a further EXTTn line (continued notes) empties it;
// - when track 0 has no artist and its title holds " / ", every title of the form
//   "singer / song" is split into artist and title.
// Lines starting with "#" are comments. Text that is not UTF-8 is read as Latin-1. Titles
// not in the entry keep their values; every text is cut to kTitleBytes - 1 bytes.
void ParseCddbEntry(std::string_view text, int lastTrack, CdTitles* titles);
