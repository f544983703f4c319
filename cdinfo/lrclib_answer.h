// LRCLIB's answers: a lyrics record (GET /api/get, /api/get/{id}) or a list of them
// (GET /api/search), as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct LrclibRecord {
  int64_t id = 0;
  std::string trackName;
  std::string artistName;
  std::string albumName;
  double duration = 0;
  bool instrumental = false;
  std::string plainLyrics;   // empty when the record has none
  std::string syncedLyrics;  // "[mm:ss.xx] text" lines; empty when none
};

// A record; false with the reason in error when the body is not a JSON object with a positive
// integer "id".
bool ParseLrclibRecord(std::string_view body, LrclibRecord* record, std::string* error);
// A list of records; entries without a usable id are left out. False with the reason when the
// body is not a JSON array.
bool ParseLrclibList(std::string_view body, std::vector<LrclibRecord>* records, std::string* error);
