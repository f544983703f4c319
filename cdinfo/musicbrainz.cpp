#include "cdinfo/musicbrainz.h"

#include <algorithm>

#include "cdinfo/http_client.h"
#include "cdinfo/info_file.h"
#include "diagnostics/diagnostics.h"
#include "diagnostics/program_info.h"
#include "platform/net/web_client.h"

MusicBrainzState musicBrainzState;

namespace {

WebRequest RequestFor(const std::string& url) {
  WebRequest request;
  request.url = url;
  request.userAgent = ProgramUserAgent();
  request.accept = "application/json";
  request.connectTimeoutMs = musicBrainzState.connectTimeoutMs.load();
  request.idleTimeoutMs = musicBrainzState.idleTimeoutMs.load();
  request.totalTimeoutMs = musicBrainzState.totalTimeoutMs.load();
  request.maxBytes = kMusicBrainzAnswerMaxBytes;
  return request;
}

std::string Seconds(long milliseconds) {
  return std::to_string((milliseconds + 999) / 1000) + " s";
}

// What went wrong with an exchange that brought no answer, for the user.
std::string ExchangeFailure(const WebRequest& request, const WebResponse& response) {
  if (response.error == "timed out")
    return "no answer within " + Seconds(request.totalTimeoutMs) + " (or " +
           Seconds(request.idleTimeoutMs) + " of silence)";
  if (response.error.rfind("answer larger than", 0) == 0)
    return "the answer is larger than " + std::to_string(request.maxBytes) +
           " bytes; it was not read";
  return "cannot reach the server (" + response.error + ")";
}

// One request, and one more after a 503 once the pause it asks for is over.
bool Exchange(const WebRequest& request, WebResponse* response, std::string* failure) {
  for (int attempt = 0;; ++attempt) {
    musicBrainzState.rateLimiter.WaitTurn();
    if (!WebGet(request, response)) {
      *failure = ExchangeFailure(request, *response);
      return false;
    }
    if (response->status != 503) return true;
    const long pause = std::max(response->retryAfterSeconds, 0L);
    if (attempt > 0 || pause > kMusicBrainzLongestPauseSeconds) {
      *failure = "the service is busy (503) and asks to wait " +
                 (pause > 0 ? std::to_string(pause) + " s" : std::string("a while")) +
                 "; try again later";
      return false;
    }
    Trace("MusicBrainzLookup: busy (503); asking again in %ld s\n", pause);
    musicBrainzState.rateLimiter.Defer(std::chrono::seconds(pause));
  }
}

std::string BaseWithoutSlash(std::string base) {
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base;
}

}  // namespace

std::string MusicBrainzLookupUrl(const std::string& baseUrl, const MusicBrainzToc& toc) {
  return BaseWithoutSlash(baseUrl) + "/ws/2/discid/" + UrlEncode(MusicBrainzDiscId(toc)) +
         "?inc=recordings+artist-credits&fmt=json&toc=" + MusicBrainzTocParameter(toc);
}

TitleSearch FetchMusicBrainzReleases(const std::string& baseUrl, const DiscLayout& layout,
                                     std::vector<MusicBrainzRelease>* releases,
                                     std::string* failure) {
  releases->clear();
  const MusicBrainzToc toc = MusicBrainzTocOf(layout);
  if (toc.lastTrack == 0) return TitleSearch::kNoMatch;  // no audio track to look up
  const WebRequest request = RequestFor(MusicBrainzLookupUrl(baseUrl, toc));
  WebResponse response;
  if (!Exchange(request, &response, failure)) return TitleSearch::kFailed;
  if (response.status == 404) return TitleSearch::kNoMatch;
  if (response.status != 200) {
    *failure = "the server answered with HTTP status " + std::to_string(response.status);
    return TitleSearch::kFailed;
  }
  switch (ParseMusicBrainzAnswer(response.body, MusicBrainzDiscId(toc), toc.lastTrack, releases,
                                 failure)) {
    case MusicBrainzAnswer::kReleases:
      return TitleSearch::kFound;
    case MusicBrainzAnswer::kNoMatch:
      return TitleSearch::kNoMatch;
    case MusicBrainzAnswer::kMalformed:
      break;
  }
  return TitleSearch::kFailed;
}

TitleSearch MusicBrainzLookup(void* window, const std::string& baseUrl, const DiscLayout& layout,
                              MusicBrainzRelease* chosen) {
  CdInfoHost& host = Host();
  host.ShowStatusLine(window, kMusicBrainzConnectingText);
  host.StartBlink(window, kMusicBrainzConnectingText);
  std::vector<MusicBrainzRelease> releases;
  std::string failure;
  const TitleSearch found = FetchMusicBrainzReleases(baseUrl, layout, &releases, &failure);
  if (found == TitleSearch::kFailed) {
    Trace("MusicBrainzLookup: %s\n", failure.c_str());
    ShowMessageBox(window, kInternetErrorCaption,
                   "The titles could not be fetched from MusicBrainz: " + failure +
                       ".\nThe CD information file was not changed.",
                   kMbOk | kMbIconExclamation);
  }
  if (found != TitleSearch::kFound) return found;
  std::vector<std::string> entries;
  for (const MusicBrainzRelease& release : releases) entries.push_back(ReleaseChoiceText(release));
  const int picked = ChooseCd(window, entries);
  if (picked < 0) return TitleSearch::kDeclined;
  *chosen = std::move(releases[static_cast<size_t>(picked)]);
  return TitleSearch::kFound;
}
