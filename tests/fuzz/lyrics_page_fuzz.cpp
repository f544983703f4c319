// Fuzzes what the lyrics site sends: the lyrics page clean-up (and the stored section), the
// result-page reader with its percent decoding, and the request respellings.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cdinfo/info_file.h"
#include "cdinfo/lyrics_choice.h"
#include "cdinfo/lyrics_page.h"
#include "cdinfo/lyrics_request.h"
#include "cdinfo/text_util.h"

namespace {

size_t Characters(const std::string& line) {
  size_t n = 0;
  for (char c : line) n += (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
  return n;
}

void CheckSection(const std::string& section, int track, const std::string& title) {
  const std::string heading = LyricsHeading(track, title);
  if (section.compare(0, heading.size() + 1, heading + "\n") != 0) std::abort();
  if (!cdinfo::IsValidUtf8(section) || section.back() != '\n') std::abort();
  size_t start = heading.size() + 1;
  while (start < section.size()) {
    size_t end = section.find('\n', start);
    const std::string line = section.substr(start, end - start);
    if (Characters(line) > kLyricsLineWidth) std::abort();
    for (char c : line)
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    start = end + 1;
  }
  // Stored in a file, the section is found again as the track's, and every other section
  // keeps its heading.
  CdTitles titles;
  std::string file = BuildCdInfoText(titles, 3);
  if (!ReplaceLyricsInText(&file, track, section)) std::abort();
  std::string lyrics;
  for (int i = 0; i <= 3; ++i)
    if (!TrackLyricsFromText(file, i, &lyrics)) std::abort();
  // The stored lyrics are the section's, up to the blanks and line ends that end it.
  TrackLyricsFromText(file, track, &lyrics);
  std::string body = section.substr(heading.size() + 1);
  body.erase(body.find_last_not_of(" \t\n") + 1);
  if (lyrics.compare(0, body.size(), body) != 0 ||
      lyrics.find_first_not_of(" \t\n", body.size()) != std::string::npos)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string page(reinterpret_cast<const char*>(data), size);
  const int track = size > 0 ? data[0] % 4 : 0;
  const std::string title = "Title of " + std::to_string(size);

  std::string section;
  if (CleanLyricsPage(page, track, title, &section))
    CheckSection(section, track, title);
  else if (!section.empty())
    std::abort();

  std::vector<SongChoice> choices;
  ReadSiteSongEntries(page, &choices);
  if (choices.size() > kMaxSongChoices) std::abort();
  for (const SongChoice& c : choices) {
    if (c.id.empty() || c.id.size() > kSongIdChars) std::abort();
    for (char ch : c.id)
      if (static_cast<unsigned char>(ch) <= ' ' || ch == 0x7F) std::abort();
    for (const std::string* text : {&c.artist, &c.album, &c.title})
      if (!cdinfo::IsValidUtf8(*text) || Characters(*text) > kSongChoiceTextWidth + 3) std::abort();
  }
  const int pages = SitePageCount(page);
  if (pages < 1 || pages > 99) std::abort();
  if (PercentDecode(page).size() > page.size()) std::abort();

  // Respellings only ever shorten the line, and each reports a change truthfully.
  std::string line = AlbumQueryLine("host", page, "album");
  for (Respelling respell : {DropCommas, DropArticleThe, DropDots, DropArticleA,
                             DropExclamationMarks, DropBrackets, DropBackslashN}) {
    const std::string before = line;
    if (respell(&line) != (line != before) || line.size() > before.size()) std::abort();
  }
  return 0;
}
