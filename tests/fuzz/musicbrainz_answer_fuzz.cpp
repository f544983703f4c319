// Fuzzes the reader of MusicBrainz disc id answers: any bytes as the body, every text that
// comes out valid UTF-8 without control characters, every title short enough to store.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cdinfo/musicbrainz_answer.h"
#include "cdinfo/text_util.h"

namespace {

void CheckText(const std::string& text, size_t maxBytes) {
  if (text.size() > maxBytes || !cdinfo::IsValidUtf8(text) ||
      cdinfo::WithoutControlCharacters(text) != text)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  std::vector<MusicBrainzRelease> releases;
  std::string error;
  const MusicBrainzAnswer answer = ParseMusicBrainzAnswer(
      body, "xUp1F2NkfP8s8jaeFn_Av3jNEI4-", static_cast<int>(size % 100), &releases, &error);
  if ((answer == MusicBrainzAnswer::kReleases) != !releases.empty()) std::abort();
  if ((answer == MusicBrainzAnswer::kMalformed) == error.empty()) std::abort();
  if (releases.size() > kMaxMusicBrainzReleases) std::abort();
  for (const MusicBrainzRelease& release : releases) {
    if (release.tracks.empty()) std::abort();
    const size_t any = std::string::npos;
    CheckText(release.title, any);
    CheckText(release.artist, any);
    CheckText(release.year, 4);
    CheckText(release.country, any);
    CheckText(ReleaseChoiceText(release), any);
    for (const MusicBrainzTrack& track : release.tracks) {
      CheckText(track.title, any);
      CheckText(track.artist, any);
    }
    CdTitles titles;
    ApplyReleaseTitles(release, static_cast<int>(size % kMaxTitleTracks), &titles);
    CheckText(titles.albumTitle, kTitleBytes - 1);
    CheckText(titles.albumArtist, kTitleBytes - 1);
    for (const TrackTitle& track : titles.tracks) {
      CheckText(track.title, kTitleBytes - 1);
      CheckText(track.artist, kTitleBytes - 1);
    }
  }
  return 0;
}
