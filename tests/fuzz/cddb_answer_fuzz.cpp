// Fuzzes the parsers of CDDB answers: query, read and sites answers and database entries.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cdinfo/cddb.h"
#include "cdinfo/cddb_entry.h"
#include "cdinfo/text_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string answer(reinterpret_cast<const char*>(data), size);

  std::vector<CddbMatch> matches;
  const int status = ParseCddbQueryAnswer(answer, &matches);
  if (status != 200 && status != 210 && status != 211 && status != kCddbNotFound &&
      status != kCddbNoContent && status != kCddbRefused)
    std::abort();
  if (matches.size() > static_cast<size_t>(kMaxCddbMatches)) std::abort();
  if ((status > 0) != !matches.empty()) std::abort();
  for (const CddbMatch& m : matches) {
    if (m.category.empty() || m.category.size() >= kCddbCategoryBytes) std::abort();
    if (m.discId.empty() || m.discId.size() >= kCddbMatchIdBytes) std::abort();
    if (m.title.size() >= kCddbMatchTitleBytes || !cdinfo::IsValidUtf8(m.title)) std::abort();
    // Words from the answer go into the read request: they never carry a control character.
    for (char c : m.category + m.discId)
      if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) std::abort();
  }

  CheckCddbReadAnswer(answer, size % 2 == 0);

  CddbServerEntry entries[kMaxCddbServers];
  const int count = ParseCddbSitesAnswer(answer, entries, kMaxCddbServers);
  if (count > kMaxCddbServers) std::abort();
  for (int i = 0; i < count; ++i) {
    if (entries[i].address.empty() || entries[i].address.size() > kServerTextMax) std::abort();
    if (entries[i].location.size() > kServerTextMax) std::abort();
  }

  CdTitles titles;
  ParseCddbEntry(answer, size % kMaxTitleTracks, &titles);
  const auto check = [](const std::string& value) {
    if (value.size() >= kTitleBytes || !cdinfo::IsValidUtf8(value)) std::abort();
  };
  check(titles.albumTitle);
  check(titles.albumArtist);
  for (const TrackTitle& t : titles.tracks) {
    check(t.title);
    check(t.artist);
  }
  return 0;
}
