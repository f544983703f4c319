#include "cdinfo/cddb_entry.h"

#include <string>

#include "cdinfo/text_util.h"

namespace {

constexpr size_t kMaxText = kTitleBytes - 1;

// "KEYWORDn=value" with the keyword at the start of the line: returns n (or 0 when the keyword
// takes no number) and the value; -1 when the line is not of that keyword or n is unusable.
int KeywordLine(std::string_view line, std::string_view keyword, bool numbered,
                std::string_view* value) {
  if (line.substr(0, keyword.size()) != keyword) return -1;
  size_t i = keyword.size();
  int n = 0;
  if (numbered) {
    const size_t digitsStart = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
      if (n < kMaxTitleTracks) n = n * 10 + (line[i] - '0');
      ++i;
    }
    if (i == digitsStart || n >= kMaxTitleTracks) return -1;
  }
  if (i >= line.size() || line[i] != '=') return -1;
  *value = line.substr(i + 1);
  return n;
}

void SplitAlbumText(std::string text, CdTitles* titles) {
  size_t separator = text.find('/');
  if (separator == std::string::npos) separator = text.find(':');
  if (separator == std::string::npos) separator = text.find('-');
  while (!text.empty() && text.back() == ' ') text.pop_back();
  if (separator == std::string::npos || separator >= text.size()) {
    titles->albumTitle = cdinfo::CutUtf8(text, kMaxText);
    titles->albumArtist = titles->albumTitle;
    return;
  }
  size_t titleStart = separator + 1;
  while (titleStart < text.size() && text[titleStart] == ' ') ++titleStart;
  titles->albumArtist = cdinfo::CutUtf8(std::string_view(text).substr(0, separator), kMaxText);
  titles->albumTitle = cdinfo::CutUtf8(std::string_view(text).substr(titleStart), kMaxText);
}

}  // namespace

void ParseCddbEntry(std::string_view text, int lastTrack, CdTitles* titles) {
  bool titleSeen[kMaxTitleTracks] = {};
  bool artistSeen[kMaxTitleTracks] = {};
  std::string albumText;
  bool inAlbumRun = false;

  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string converted =
        cdinfo::AsUtf8(cdinfo::WithoutCr(text.substr(start, end - start)));
    const std::string lineText = cdinfo::CutUtf8(converted, kCddbLineBytes);
    const std::string_view line = lineText;
    start = end + 1;
    if (!line.empty() && line[0] == '#') continue;

    std::string_view value;
    if (KeywordLine(line, "DTITLE", false, &value) >= 0) {
      if (!inAlbumRun) albumText.clear();
      inAlbumRun = true;
      while (!value.empty() && value[0] == ' ') value.remove_prefix(1);
      albumText.append(value);
      continue;
    }
    if (inAlbumRun) {
      SplitAlbumText(albumText, titles);
      inAlbumRun = false;
    }
    if (int n = KeywordLine(line, "TTITLE", true, &value); n >= 0) {
      std::string& title = titles->tracks[n].title;
      title =
          cdinfo::CutUtf8(titleSeen[n] ? title + std::string(value) : std::string(value), kMaxText);
      titleSeen[n] = true;
    } else if (int m = KeywordLine(line, "EXTT", true, &value); m >= 0) {
      titles->tracks[m].artist = artistSeen[m] ? std::string() : cdinfo::CutUtf8(value, kMaxText);
      artistSeen[m] = true;
    }
  }
  if (inAlbumRun) SplitAlbumText(albumText, titles);

  if (lastTrack >= kMaxTitleTracks) lastTrack = kMaxTitleTracks - 1;
  if (titles->tracks[0].artist.empty() &&
      titles->tracks[0].title.find(" / ") != std::string::npos) {
    for (int i = 0; i <= lastTrack; ++i) {
      TrackTitle& track = titles->tracks[i];
      const size_t split = track.title.find(" / ");
      if (split == std::string::npos) continue;
      track.artist = track.title.substr(0, split);
      track.title = track.title.substr(split + 3);
    }
  }
}
