#include "cdinfo/lyrics_request.h"

#include <algorithm>

namespace {

// A value goes into the one request line: a line end or other control character in a title
// would end the line early, so it is sent as a blank.
std::string Field(std::string_view value) {
  std::string field(value);
  for (char& c : field) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) c = ' ';
  }
  return field;
}

std::string Line(std::string_view host, std::string path) {
  std::string line = "GET http://" + Field(host) + path;
  PlusForBlanks(&line);
  return line;
}

bool EraseAll(std::string* line, char c) {
  const size_t before = line->size();
  line->erase(std::remove(line->begin(), line->end(), c), line->end());
  return line->size() != before;
}

}  // namespace

std::string AlbumQueryLine(std::string_view host, std::string_view artist, std::string_view album) {
  return Line(
      host, "/query/normal?exact=on&artist=" + Field(artist) + "&album=" + Field(album) + "&song=");
}

std::string TrackQueryLine(std::string_view host, bool albumKnown, std::string_view searchArtist,
                           std::string_view searchAlbum, std::string_view trackArtist,
                           std::string_view title) {
  if (albumKnown)
    return Line(host, "/query/normal?exact=off&artist=" + Field(searchArtist) +
                          "&album=" + Field(searchAlbum) + "&song=" + Field(title));
  const std::string_view artist = trackArtist.empty() ? searchArtist : trackArtist;
  return Line(host, "/query/normal?artist=" + Field(artist) + "&album=" + Field(searchAlbum) +
                        "&song=" + Field(title));
}

std::string SongOnlyQueryLine(std::string_view host, std::string_view title) {
  return Line(host, "/query/normal?artist=&album=&song=" + Field(title));
}

std::string SongPageLine(std::string_view host, std::string_view title, int page) {
  return Line(host, "/query/normal?song=" + Field(title) + "&page=" + std::to_string(page));
}

std::string SongGetLine(std::string_view host, std::string_view songId) {
  // The double slash is what the site expects.
  return Line(host, "//query/get?s=" + Field(songId));
}

void PlusForBlanks(std::string* line) {
  const size_t from = std::min(line->find("artist"), line->find("song"));
  if (from == std::string::npos) return;
  std::replace(line->begin() + static_cast<std::ptrdiff_t>(from), line->end(), ' ', '+');
}

bool DropCommas(std::string* line) {
  return EraseAll(line, ',');
}

bool DropExclamationMarks(std::string* line) {
  return EraseAll(line, '!');
}

bool DropArticleThe(std::string* line) {
  // Only a whole word: the "the+" ending "Breathe+" stays.
  for (size_t pos = 1; pos + 4 <= line->size(); ++pos) {
    const char before = (*line)[pos - 1];
    if (before != '=' && before != '+') continue;
    if (line->compare(pos, 4, "the+") == 0 || line->compare(pos, 4, "The+") == 0) {
      line->erase(pos, 4);
      return true;
    }
  }
  return false;
}

bool DropDots(std::string* line) {
  const size_t amp = line->find('&');
  if (amp == std::string::npos) return false;
  std::string out = line->substr(0, amp);
  for (size_t i = amp; i < line->size();) {
    if ((*line)[i] != '.') {
      out += (*line)[i++];
      continue;
    }
    size_t end = i;
    while (end < line->size() && (*line)[end] == '.') ++end;
    // A run of two or more dots goes with one "+" after it.
    if (end - i >= 2 && end < line->size() && (*line)[end] == '+') ++end;
    i = end;
  }
  const bool changed = out != *line;
  *line = std::move(out);
  return changed;
}

bool DropArticleA(std::string* line) {
  bool changed = false;
  for (size_t pos = line->find('='); pos != std::string::npos; pos = line->find('=', pos + 1)) {
    if (pos + 2 < line->size() && ((*line)[pos + 1] == 'A' || (*line)[pos + 1] == 'a') &&
        (*line)[pos + 2] == '+') {
      line->erase(pos + 1, 2);
      changed = true;
    }
  }
  return changed;
}

bool DropBracketedParts(std::string* text, char blank) {
  bool changed = false;
  for (size_t open = text->find('('); open != std::string::npos; open = text->find('(', open)) {
    const size_t close = text->find(')', open);
    if (close == std::string::npos) break;
    const size_t from = open > 0 && (*text)[open - 1] == blank ? open - 1 : open;
    text->erase(from, close + 1 - from);
    open = from;
    changed = true;
  }
  return changed;
}

bool DropBrackets(std::string* line) {
  return DropBracketedParts(line, '+');
}

bool DropBackslashN(std::string* line) {
  bool changed = false;
  for (size_t pos = line->find("\\n"); pos != std::string::npos; pos = line->find("\\n", pos)) {
    line->erase(pos, 2);
    changed = true;
  }
  return changed;
}
