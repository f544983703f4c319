// Time-synced lyrics: a lyrics section whose lines start with time tags "[mm:ss.xx]" (as the
// lyrics service sends them; the section keeps them as they are, still plain editable text).
// The lyrics pane shows such a section without the tags and highlights the line being sung.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct SyncedLine {
  int64_t startMs = 0;  // when the line starts; -1 for untagged lines before the first tag
  std::string text;     // the line without its tags
};

// Reads a section's lyrics into display lines in time order. A line with several tags
// ("[00:12.00][00:45.00]chorus") is shown at each time; a line without a tag keeps its place
// after the line before it. Tags of the form "[mm:ss]", "[mm:ss.x]", "[mm:ss.xx]" and
// "[mm:ss.xxx]" are times; "[offset:+/-ms]" shifts every time; other "[name:value]" lines are
// left out. False (lines empty) when no line has a time tag: the section is shown as it is.
bool ParseSyncedLyrics(std::string_view lyrics, std::vector<SyncedLine>* lines);

// The line being sung at positionMs: the last line starting at or before it (the first of
// lines sharing its start time). Before the first line's time, the first line; after the last
// line's time, the last line. -1 when there are no lines.
int SyncedLineAt(const std::vector<SyncedLine>& lines, int64_t positionMs);
