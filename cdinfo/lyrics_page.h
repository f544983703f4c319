// Turns fetched lyrics into a lyrics section of the CD information file: the lyrics site's HTML
// page (CleanLyricsPage) or a service's plain text (LyricsSectionFromText). Both mask three
// swear words and wrap long lines for the lyrics pane; time-tagged lines are kept as they are.
#pragma once

#include <string>
#include <string_view>

inline constexpr size_t kLyricsLineWidth = 54;  // characters on a line of the lyrics pane
inline constexpr const char* kContinuationIndent = "      ";  // starts a wrapped line's rest

// The section for track (index) from the site's page: the heading replaces the page's lyrics
// marker "</B></I><P>", everything before it goes, the text ends at the next "<P>"; "<BR>" tags
// and carriage returns go, tabs become blanks, "&lt;" and "&gt;" become "<" and ">"; then the
// words are masked and the lines wrapped. False (section empty) when the page has no marker.
bool CleanLyricsPage(std::string_view page, int track, std::string_view title,
                     std::string* section);

// The section for track from plain lyrics text: heading line, the text (UTF-8; carriage
// returns and control characters removed, tabs as blanks, words masked, "Lyrics for Track"
// written "Lyrics for track" so that it cannot pass for a section heading), ending in a line
// end.
// Lines are wrapped unless the text is time-tagged.
std::string LyricsSectionFromText(std::string_view text, int track, std::string_view title,
                                  bool wrap);

// Every occurrence, in any letter case and inside longer words, of the three four-letter swear
// words beginning with f, s and c becomes "f---", "s---" or "c---" (only where at least two
// more characters follow, as the site's pages always have).
void MaskWords(std::string* text);

// Breaks every line longer than kLyricsLineWidth characters at its last blank within the width
// (or at the width when there is none); the rest continues on a line starting with six
// blanks, which count towards its width.
std::string WrapLyricsLines(std::string_view text);
