// The MusicBrainz title service: looks the disc up by its MusicBrainz disc id and table of
// contents (so a disc without an exact id still finds its fuzzy matches) over HTTPS, lets the
// user pick among several releases, and hands back the one chosen.
//
// Requests name the program, its version and its home page, and leave at least one second
// apart; a "503" (rate limited) is asked once more after the pause the answer gives.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cdinfo/disc_id.h"
#include "cdinfo/musicbrainz_answer.h"
#include "cdinfo/musicbrainz_disc_id.h"
#include "cdinfo/request_rate.h"

inline constexpr const char* kMusicBrainzConnectingText = "Connecting to MusicBrainz - please wait";
inline constexpr size_t kMusicBrainzAnswerMaxBytes = 2u << 20;
// A longer pause asked for by a 503 is not waited out: the lookup fails and says so.
inline constexpr long kMusicBrainzLongestPauseSeconds = 60;

struct MusicBrainzState {
  // Deadlines of one exchange; tests shorten them.
  std::atomic<int32_t> connectTimeoutMs{40000};
  std::atomic<int32_t> idleTimeoutMs{40000};
  std::atomic<int32_t> totalTimeoutMs{120000};
  RequestRateLimiter rateLimiter{std::chrono::seconds(1)};
};

extern MusicBrainzState musicBrainzState;

// How a search for the disc's titles ended.
enum class TitleSearch {
  kFound,     // a release (or CDDB entry) was chosen
  kNoMatch,   // the service does not know the disc
  kDeclined,  // the user chose "None of the above"
  kFailed,    // no usable answer; the user has been told why
};

// "<base>/ws/2/discid/<id>?inc=recordings+artist-credits&fmt=json&toc=<toc>"
std::string MusicBrainzLookupUrl(const std::string& baseUrl, const MusicBrainzToc& toc);

// The exchange and its answer: kFound with the disc's releases, kNoMatch, or kFailed with
// *failure saying why ("the answer is not valid JSON (...)", "no answer within 40 s", ...).
TitleSearch FetchMusicBrainzReleases(const std::string& baseUrl, const DiscLayout& layout,
                                     std::vector<MusicBrainzRelease>* releases,
                                     std::string* failure);

// The whole step of a lookup on the worker: connecting status, the exchange, the "Select CD"
// choice among several releases (one is taken as it is). A failure is shown in a message box.
TitleSearch MusicBrainzLookup(void* window, const std::string& baseUrl, const DiscLayout& layout,
                              MusicBrainzRelease* chosen);
