// Fuzzes the CD information file reader and the lyrics-section edits on arbitrary text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int lastTrack = data[0] % kMaxTitleTracks;
  const int track = (size > 1 ? data[1] : 0) % (kMaxTitleTracks + 2) - 1;
  const std::string text(reinterpret_cast<const char*>(data) + std::min<size_t>(size, 2),
                         size - std::min<size_t>(size, 2));

  CdTitles titles;
  ParseCdInfoText(text, lastTrack, &titles);
  const auto check = [](const std::string& value) {
    if (value.size() >= kTitleBytes || !cdinfo::IsValidUtf8(value)) std::abort();
  };
  check(titles.albumTitle);
  check(titles.albumArtist);
  for (const TrackTitle& t : titles.tracks) {
    check(t.title);
    check(t.artist);
  }

  std::string lyrics;
  if (TrackLyricsFromText(text, track, &lyrics) && lyrics.size() > text.size()) std::abort();
  std::string edited = text;
  if (ReplaceLyricsInText(&edited, track, "****Lyrics for Track 1, x:\nwords\n\n") &&
      edited.find("words\n\n") == std::string::npos)
    std::abort();
  edited = text;
  MarkNotFoundInText(&edited, track);

  // The text as an old file whose lyrics move into a freshly written one.
  std::string fresh = BuildCdInfoText(titles, lastTrack);
  CarryLyrics(text, &fresh, titles, lastTrack);
  CdTitles again;
  ParseCdInfoText(fresh, lastTrack, &again);
  return 0;
}
