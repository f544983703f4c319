#include "cdinfo/lyrics_page.h"

#include "cdinfo/info_file.h"
#include "cdinfo/text_util.h"

namespace {

constexpr std::string_view kLyricsMarker = "</B></I><P>";

void ReplaceAll(std::string* text, std::string_view from, std::string_view to) {
  for (size_t pos = text->find(from); pos != std::string::npos;
       pos = text->find(from, pos + to.size()))
    text->replace(pos, from.size(), to);
}

// Tabs become blanks; carriage returns and every other control character but the line end go.
std::string PlainCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '\t')
      out += ' ';
    else if (c == '\n' || (u >= 0x20 && u != 0x7F))
      out += c;
  }
  return out;
}

bool IsContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0u) == 0x80u;
}

// Byte offset of the character with index n (characters are UTF-8 sequences), or npos when the
// line has no more than n characters.
size_t CharacterOffset(std::string_view line, size_t n) {
  size_t count = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    if (IsContinuationByte(line[i])) continue;
    if (count == n) return i;
    ++count;
  }
  return std::string_view::npos;
}

void WrapLine(std::string_view line, std::string* out) {
  std::string rest(line);
  bool continued = false;
  for (;;) {
    const std::string s = continued ? kContinuationIndent + rest : rest;
    const size_t limit = CharacterOffset(s, kLyricsLineWidth);
    if (limit == std::string::npos) {
      *out += s;
      return;
    }
    // A break inside the indent would make no progress.
    const size_t minimum = continued ? std::string_view(kContinuationIndent).size() : 0;
    const size_t blank = s.rfind(' ', limit);
    if (blank == std::string::npos || blank <= minimum) {
      *out += s.substr(0, limit) + "\n";
      rest = s.substr(limit);
    } else {
      *out += s.substr(0, blank) + "\n";
      rest = s.substr(blank + 1);
    }
    continued = true;
  }
}

}  // namespace

void MaskWords(std::string* text) {
  static constexpr std::string_view kWords[] = {"fuck", "shit", "cunt"};
  static constexpr std::string_view kMasks[] = {"f---", "s---", "c---"};
  for (size_t pos = 0; pos + 6 <= text->size(); ++pos) {
    for (size_t w = 0; w < 3; ++w) {
      bool match = true;
      for (size_t k = 0; k < 4 && match; ++k) {
        char c = (*text)[pos + k];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        match = c == kWords[w][k];
      }
      if (match) {
        text->replace(pos, 4, kMasks[w]);
        pos += 3;
        break;
      }
    }
  }
}

std::string WrapLyricsLines(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 8);
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    WrapLine(text.substr(start, end == std::string_view::npos ? end : end - start), &out);
    if (end == std::string_view::npos) break;
    out += '\n';
    start = end + 1;
  }
  return out;
}

std::string LyricsSectionFromText(std::string_view text, int track, std::string_view title,
                                  bool wrap) {
  std::string body = PlainCharacters(cdinfo::AsUtf8(text));
  // The file's sections are found by "Lyrics for Track <n>": fetched text never says it.
  ReplaceAll(&body, "Lyrics for Track", "Lyrics for track");
  MaskWords(&body);
  if (wrap) body = WrapLyricsLines(body);
  // The heading stays one line of its own whatever its length: the file's sections are found
  // by it.
  const bool lineEnd = !body.empty() && body.front() == '\n';
  return LyricsHeading(track, title) + (lineEnd ? "" : "\n") + body + "\n";
}

bool CleanLyricsPage(std::string_view page, int track, std::string_view title,
                     std::string* section) {
  section->clear();
  const size_t marker = page.find(kLyricsMarker);
  if (marker == std::string_view::npos) return false;
  // Nothing before the heading may reach the file: it would land in the previous section.
  std::string text(page.substr(marker + kLyricsMarker.size()));
  if (size_t end = text.find("<P>"); end != std::string::npos) text.resize(end);
  ReplaceAll(&text, "<BR>", "");
  ReplaceAll(&text, "&lt;", "<");
  ReplaceAll(&text, "&gt;", ">");
  *section = LyricsSectionFromText(text, track, title, true);
  return true;
}
