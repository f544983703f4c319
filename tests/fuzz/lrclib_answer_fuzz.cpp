// Fuzzes what LRCLIB sends: the JSON of a record and of a search list, and the time tags of
// synced lyrics down to the line being sung at a position.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cdinfo/lrclib_answer.h"
#include "cdinfo/lyrics_page.h"
#include "cdinfo/synced_lyrics.h"
#include "cdinfo/text_util.h"

namespace {

void CheckSynced(const std::string& lyrics) {
  std::vector<SyncedLine> lines;
  const bool synced = ParseSyncedLyrics(lyrics, &lines);
  if (synced == lines.empty()) std::abort();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].text.find('\n') != std::string::npos || lines[i].startMs < -1) std::abort();
    if (i > 0 && lines[i].startMs < lines[i - 1].startMs) std::abort();
  }
  // The line being sung never moves backwards as the position grows.
  int previous = SyncedLineAt(lines, -1);
  for (int64_t position :
       {int64_t{0}, int64_t{999}, int64_t{60000}, int64_t{3600000}, int64_t{1} << 40}) {
    const int line = SyncedLineAt(lines, position);
    if (lines.empty() ? line != -1 : (line < 0 || static_cast<size_t>(line) >= lines.size()))
      std::abort();
    if (line < previous) std::abort();
    previous = line;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  std::string error;
  LrclibRecord record;
  if (ParseLrclibRecord(body, &record, &error)) {
    if (record.id < 1 || !error.empty()) std::abort();
    for (const std::string* text : {&record.syncedLyrics, &record.plainLyrics}) {
      CheckSynced(*text);
      const std::string section = LyricsSectionFromText(*text, 0, record.trackName, false);
      if (!cdinfo::IsValidUtf8(section)) std::abort();
    }
  } else if (error.empty()) {
    std::abort();
  }
  std::vector<LrclibRecord> list;
  if (ParseLrclibList(body, &list, &error)) {
    for (const LrclibRecord& r : list)
      if (r.id < 1) std::abort();
  }
  // The input itself as a section's text.
  CheckSynced(body);
  return 0;
}
