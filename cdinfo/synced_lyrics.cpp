#include "cdinfo/synced_lyrics.h"

#include <algorithm>

namespace {

// Reads up to maxDigits decimal digits at text[*pos]; false when there is none.
bool Digits(std::string_view text, size_t* pos, size_t maxDigits, int64_t* value,
            size_t* count = nullptr) {
  size_t n = 0;
  int64_t v = 0;
  while (n < maxDigits && *pos + n < text.size() && text[*pos + n] >= '0' && text[*pos + n] <= '9')
    v = v * 10 + (text[*pos + n++] - '0');
  if (n == 0) return false;
  *pos += n;
  *value = v;
  if (count) *count = n;
  return true;
}

// A time tag at text[pos]: "[" minutes ":" seconds ("." or ":" fraction)? "]". Returns the
// time and moves pos past the tag.
bool TimeTag(std::string_view text, size_t* pos, int64_t* ms) {
  size_t p = *pos;
  int64_t minutes = 0;
  int64_t seconds = 0;
  size_t secondDigits = 0;
  if (p >= text.size() || text[p] != '[') return false;
  ++p;
  if (!Digits(text, &p, 4, &minutes) || p >= text.size() || text[p] != ':') return false;
  ++p;
  if (!Digits(text, &p, 2, &seconds, &secondDigits) || secondDigits != 2 || seconds > 59)
    return false;
  int64_t fractionMs = 0;
  if (p < text.size() && (text[p] == '.' || text[p] == ':')) {
    ++p;
    int64_t fraction = 0;
    size_t digits = 0;
    if (!Digits(text, &p, 3, &fraction, &digits)) return false;
    fractionMs = digits == 1 ? fraction * 100 : digits == 2 ? fraction * 10 : fraction;
  }
  if (p >= text.size() || text[p] != ']') return false;
  *pos = p + 1;
  *ms = (minutes * 60 + seconds) * 1000 + fractionMs;
  return true;
}

// "[offset:+/-ms]" as a whole line.
bool OffsetTag(std::string_view line, int64_t* offset) {
  constexpr std::string_view kOffset = "[offset:";
  if (line.substr(0, kOffset.size()) != kOffset) return false;
  size_t p = kOffset.size();
  const bool negative = p < line.size() && line[p] == '-';
  if (p < line.size() && (line[p] == '+' || line[p] == '-')) ++p;
  int64_t value = 0;
  if (!Digits(line, &p, 7, &value) || p >= line.size() || line[p] != ']') return false;
  *offset = negative ? -value : value;
  return true;
}

// "[name:value]" with a name of letters: a metadata line, not lyrics.
bool MetadataTag(std::string_view line) {
  if (line.empty() || line[0] != '[') return false;
  size_t p = 1;
  while (p < line.size() &&
         ((line[p] >= 'a' && line[p] <= 'z') || (line[p] >= 'A' && line[p] <= 'Z')))
    ++p;
  return p > 1 && p < line.size() && line[p] == ':' && line.back() == ']';
}

}  // namespace

bool ParseSyncedLyrics(std::string_view lyrics, std::vector<SyncedLine>* lines) {
  lines->clear();
  int64_t offset = 0;
  int64_t previous = -1;
  bool tagged = false;
  std::vector<SyncedLine> read;
  // Lines up to the last tagged or non-blank one: blank lines after it are the section's own
  // spacing, not lyrics.
  size_t meaningful = 0;
  size_t start = 0;
  while (start <= lyrics.size()) {
    size_t end = lyrics.find('\n', start);
    if (end == std::string_view::npos) end = lyrics.size();
    std::string_view line = lyrics.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    int64_t value;
    if (OffsetTag(line, &value)) {
      offset = value;
      continue;
    }
    if (MetadataTag(line)) continue;
    std::vector<int64_t> times;
    size_t pos = 0;
    while (TimeTag(line, &pos, &value)) times.push_back(value);
    std::string_view text = line.substr(pos);
    if (!times.empty()) {
      while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
      tagged = true;
      previous = times.front();
      for (int64_t t : times) read.push_back({t, std::string(text)});
      meaningful = read.size();
    } else {
      read.push_back({previous, std::string(text)});
      if (text.find_first_not_of(' ') != std::string_view::npos) meaningful = read.size();
    }
  }
  if (!tagged) return false;
  read.resize(meaningful);
  for (SyncedLine& line : read)
    if (line.startMs >= 0) line.startMs = std::max<int64_t>(line.startMs - offset, 0);
  std::stable_sort(read.begin(), read.end(),
                   [](const SyncedLine& a, const SyncedLine& b) { return a.startMs < b.startMs; });
  *lines = std::move(read);
  return true;
}

int SyncedLineAt(const std::vector<SyncedLine>& lines, int64_t positionMs) {
  if (lines.empty()) return -1;
  const auto after = std::upper_bound(
      lines.begin(), lines.end(), positionMs,
      [](int64_t position, const SyncedLine& line) { return position < line.startMs; });
  int index = static_cast<int>(after - lines.begin()) - 1;
  if (index < 0) return 0;
  while (index > 0 && lines[index - 1].startMs == lines[index].startMs) --index;
  return index;
}
