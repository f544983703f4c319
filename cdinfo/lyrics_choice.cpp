#include "cdinfo/lyrics_choice.h"

#include <algorithm>

#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"

namespace {

constexpr std::string_view kArtistKey = "&artist=";
constexpr std::string_view kSongIdKey = "/query/get?s=";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PlusAsBlank(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '+', ' ');
  return out;
}

}  // namespace

std::vector<std::string> SongChoiceLines(const std::vector<SongChoice>& choices) {
  std::vector<std::string> lines;
  lines.reserve(choices.size() + 1);
  for (const SongChoice& c : choices)
    lines.push_back(c.title + "  /  " + c.album + "  /  " + c.artist);
  lines.push_back(kNoneOfTheAbove);
  return lines;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const int high = text[i] == '%' && i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low < 0) {
      out += text[i];
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(high * 16 + low);
    out += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
    i += 2;
  }
  return out;
}

std::string ChoiceText(std::string_view text) {
  return cdinfo::TruncateAtWord(cdinfo::AsUtf8(text), kSongChoiceTextWidth);
}

bool SiteSongId(std::string_view page, size_t from, std::string* id) {
  id->clear();
  const size_t key = page.find(kSongIdKey, from);
  if (key == std::string_view::npos) return false;
  const size_t start = key + kSongIdKey.size();
  const size_t end = page.find('"', start);
  if (end == std::string_view::npos || end == start || end - start > kSongIdChars) return false;
  const std::string_view value = page.substr(start, end - start);
  for (char c : value) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F) return false;
  }
  *id = value;
  return true;
}

int SitePageCount(std::string_view page) {
  int count = 1;
  size_t pos = 0;
  for (int seen = 0; seen < 100; ++seen) {
    pos = page.find("&page=", pos);
    if (pos == std::string_view::npos) break;
    pos += 6;
    int number = 0;
    size_t digits = 0;
    while (digits < 2 && pos + digits < page.size() && page[pos + digits] >= '0' &&
           page[pos + digits] <= '9')
      number = number * 10 + (page[pos + digits++] - '0');
    if (digits > 0) count = std::max(count, number);
  }
  return count;
}

void ReadSiteSongEntries(std::string_view page, std::vector<SongChoice>* choices) {
  constexpr size_t npos = std::string_view::npos;
  size_t cursor = 0;
  while (choices->size() < kMaxSongChoices) {
    // Each entry links its artist, then its album (whose link names the artist again), then
    // the song: the second "&artist=" holds the artist, the value after it the album.
    const size_t first = page.find(kArtistKey, cursor);
    if (first == npos) break;
    const size_t second = page.find(kArtistKey, first + kArtistKey.size());
    if (second == npos) break;
    const size_t artistStart = second + kArtistKey.size();
    const size_t artistEnd = page.find('&', artistStart);
    if (artistEnd == npos) break;
    const size_t albumStart = page.find('=', artistEnd);
    if (albumStart == npos) break;
    const size_t albumEnd = page.find('&', albumStart + 1);
    if (albumEnd == npos) break;
    const size_t song = page.find(kSongIdKey, albumEnd);
    if (song == npos) break;
    const size_t idEnd = page.find('"', song);
    const size_t titleStart = idEnd == npos ? npos : page.find('>', idEnd);
    const size_t titleEnd = titleStart == npos ? npos : page.find('<', titleStart + 1);
    if (titleEnd == npos) break;
    cursor = titleEnd;

    SongChoice choice;
    if (!SiteSongId(page, song, &choice.id)) continue;
    choice.artist =
        ChoiceText(PercentDecode(PlusAsBlank(page.substr(artistStart, artistEnd - artistStart))));
    choice.album = ChoiceText(
        PercentDecode(PlusAsBlank(page.substr(albumStart + 1, albumEnd - albumStart - 1))));
    choice.title =
        ChoiceText(PercentDecode(page.substr(titleStart + 1, titleEnd - titleStart - 1)));
    choices->push_back(std::move(choice));
  }
}
