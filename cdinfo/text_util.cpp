#include "cdinfo/text_util.h"

#include <algorithm>
#include <cstdio>

#include "platform/files/output_file.h"

namespace cdinfo {

namespace {

// Length of the UTF-8 sequence starting at text[i], or 0 when it is not a valid one.
size_t SequenceLength(std::string_view text, size_t i) {
  const unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) return 1;
  size_t n;
  unsigned minimum;
  unsigned value;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2, minimum = 0x80, value = c & 0x1Fu;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3, minimum = 0x800, value = c & 0x0Fu;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4, minimum = 0x10000, value = c & 0x07u;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0u) != 0x80u) return 0;
    value = (value << 6) | (d & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return n;
}

}  // namespace

std::string TruncateAtWord(std::string_view text, size_t width) {
  if (text.size() <= width) return std::string(text);
  size_t cut = text.rfind(' ', width);
  if (cut == std::string_view::npos) cut = CutUtf8(text, width).size();
  std::string result(text.substr(0, cut));
  result += "...";
  return result;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string AsUtf8(std::string_view text) {
  if (IsValidUtf8(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      out += ch;
    } else {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string CutUtf8(std::string_view text, size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  size_t cut = maxBytes;
  // Step back over continuation bytes to the start of the sequence that would be split.
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0u) == 0x80u) --cut;
  return std::string(text.substr(0, cut));
}

std::string WithoutControlCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\t') || c == 0x7F) continue;
    // U+0080..U+009F are C2 80..C2 9F.
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      ++i;
      continue;
    }
    out += static_cast<char>(c);
  }
  return out;
}

std::string FileNamePart(std::string_view title, size_t maxBytes) {
  std::string name;
  name.reserve(title.size());
  for (char c : title) {
    switch (c) {
      case '"':
      case '?':
      case '*':
      case ':':
      case '\\':
      case '/':
      case '<':
      case '>':
      case '|':
      case '\0':
        break;
      default:
        name += c;
    }
  }
  return CutUtf8(name, maxBytes);
}

bool ReadFileText(const std::string& path, size_t limit, std::string* text) {
  text->clear();
  if (path.empty()) return false;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  char chunk[8192];
  bool ok = true;
  while (text->size() < limit) {
    const size_t want = std::min(sizeof chunk, limit - text->size());
    const size_t got = std::fread(chunk, 1, want, file);
    text->append(chunk, got);
    if (got < want) {
      ok = !std::ferror(file);
      break;
    }
  }
  std::fclose(file);
  return ok;
}

bool WriteFileText(const std::string& path, const std::string& text) {
  return WriteFileAtomically(path, text);
}

std::string_view WithoutCr(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::string UnixLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
    } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
      out += '\n';
    }
  }
  return out;
}

}  // namespace cdinfo
