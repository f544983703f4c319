#include "cdinfo/cddb.h"

#include <algorithm>
#include <cstdio>

#include "cdinfo/disc_id.h"
#include "cdinfo/http_client.h"
#include "cdinfo/info_file.h"
#include "cdinfo/lookup_worker.h"
#include "cdinfo/text_util.h"
#include "cdinfo/title_lookup.h"
#include "diagnostics/diagnostics.h"

CddbState cddbState;

namespace {

// Words of an answer line are separated by blanks and by any other control character, so a
// word taken from an answer can never carry a line end into a request.
bool IsBlank(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u <= ' ' || u == 0x7F;
}

// Next blank-separated word of line from *pos.
std::string_view NextWord(std::string_view line, size_t* pos) {
  size_t i = *pos;
  while (i < line.size() && IsBlank(line[i])) ++i;
  const size_t start = i;
  while (i < line.size() && !IsBlank(line[i])) ++i;
  *pos = i;
  return line.substr(start, i - start);
}

// The line starting at pos (without its line end) and the start of the next line.
std::string_view LineAt(std::string_view text, size_t pos, size_t* next) {
  size_t end = text.find('\n', pos);
  if (end == std::string_view::npos) end = text.size();
  *next = end + 1;
  return cdinfo::WithoutCr(text.substr(pos, end - pos));
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i];
    char b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// Where the body of an answer starts (after the blank line ending the headers); npos when the
// headers never end.
size_t BodyStart(std::string_view answer) {
  const size_t crlf = answer.find("\r\n\r\n");
  const size_t lf = answer.find("\n\n");
  if (crlf != std::string_view::npos && (lf == std::string_view::npos || crlf < lf))
    return crlf + 4;
  return lf == std::string_view::npos ? std::string_view::npos : lf + 2;
}

// Position of the first header whose name begins with "Content", looked for among the
// headers only; npos when there is none.
size_t FindContentHeader(std::string_view answer) {
  const size_t headersEnd = std::min(BodyStart(answer), answer.size());
  for (size_t line = answer.find('\n'); line != std::string_view::npos && line + 1 < headersEnd;
       line = answer.find('\n', line + 1)) {
    if (StartsWithNoCase(answer.substr(line + 1), "Content")) return line + 1;
  }
  return std::string_view::npos;
}

// A hello field goes into a query string between "+" separators: characters that would end
// or split it become "_".
std::string HelloField(const std::string& value, const char* fallback) {
  std::string field = value.empty() ? fallback : value;
  for (char& c : field) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= ' ' || u == 0x7F || c == '+' || c == '&' || c == '#' || c == '%' || c == '?') c = '_';
  }
  return field;
}

CddbMatch MatchFromLine(std::string_view line) {
  size_t pos = 0;
  CddbMatch match;
  // Category and disc id are protocol words: cut as bytes.
  match.category = std::string(NextWord(line, &pos).substr(0, kCddbCategoryBytes - 1));
  match.discId = std::string(NextWord(line, &pos).substr(0, kCddbMatchIdBytes - 1));
  if (pos < line.size()) ++pos;  // the blank before the title
  const std::string_view title = pos < line.size() ? line.substr(pos) : std::string_view();
  match.title = cdinfo::CutUtf8(cdinfo::AsUtf8(title), kCddbMatchTitleBytes - 1);
  return match;
}

// The server's status line, fit to be quoted to the user: printable, one line, short.
std::string QuotedStatusLine(std::string_view line) {
  std::string quoted;
  for (char c : line.substr(0, 100))
    quoted +=
        static_cast<unsigned char>(c) < ' ' || static_cast<unsigned char>(c) >= 0x7F ? '?' : c;
  return quoted;
}

// An answer longer than the answer buffer was cut: it is not a whole answer and is not used.
bool AnswerCutOff(const char* command) {
  if (!HttpResponseTruncated()) return false;
  Trace("cddb %s answer is longer than %zu bytes and was cut off; not used\n", command,
        kHttpResponseBytes);
  return true;
}

}  // namespace

// ---- Answers -------------------------------------------------------------------------------

int ParseCddbQueryAnswer(std::string_view answer, std::vector<CddbMatch>* matches) {
  matches->clear();
  const size_t content = FindContentHeader(answer);
  if (content == std::string_view::npos) return kCddbNoContent;
  if (const size_t body = BodyStart(answer);
      body != std::string_view::npos && answer.substr(body, 4) == "500 ")
    return kCddbRefused;

  size_t next;
  if (size_t exact = answer.find("\n200 ", content); exact != std::string_view::npos) {
    const std::string_view line = LineAt(answer, exact + 1, &next);
    size_t pos = 0;
    NextWord(line, &pos);  // the code
    CddbMatch match = MatchFromLine(line.substr(pos));
    if (match.category.empty() || match.discId.empty()) return kCddbNotFound;
    matches->push_back(std::move(match));
    return 200;
  }
  const size_t several = answer.find("\n210", content);
  const size_t inexact = answer.find("\n211", content);
  const size_t list = std::min(several, inexact);
  if (list == std::string_view::npos) return kCddbNotFound;
  LineAt(answer, list + 1, &next);  // the status line
  while (next < answer.size() && matches->size() < kMaxCddbMatches) {
    const std::string_view line = LineAt(answer, next, &next);
    if (!line.empty() && line[0] == '.') break;
    CddbMatch match = MatchFromLine(line);
    if (match.category.empty() || match.discId.empty()) continue;
    matches->push_back(std::move(match));
  }
  if (matches->empty()) return kCddbNotFound;
  return list == several ? 210 : 211;
}

int CheckCddbReadAnswer(std::string_view answer, bool bufferFull) {
  const size_t entry = answer.find("\n210");
  if (entry == std::string_view::npos) return -1;
  if (bufferFull) return -2;
  size_t next;
  LineAt(answer, entry + 1, &next);
  while (next < answer.size()) {
    if (LineAt(answer, next, &next) == ".") return 0;
  }
  return -2;
}

int ParseCddbSitesAnswer(std::string_view answer, CddbServerEntry* entries, int maxEntries) {
  size_t statusLine = 0;
  if (answer.substr(0, 3) != "210") {
    const size_t found = answer.find("\n210");
    if (found == std::string_view::npos) return -1;
    statusLine = found + 1;
  }
  size_t next;
  LineAt(answer, statusLine, &next);
  int count = 0;
  for (int lines = 0; lines < kMaxCddbServers && next < answer.size() && count < maxEntries;
       ++lines) {
    const std::string_view line = LineAt(answer, next, &next);
    if (line == ".") break;
    size_t pos = 0;
    const std::string_view site = NextWord(line, &pos);
    const std::string_view protocol = NextWord(line, &pos);
    if (site.empty() || protocol != "http") continue;
    for (int skip = 0; skip < 4; ++skip) NextWord(line, &pos);  // port, path, latitude, longitude
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    entries[count].address = std::string(site.substr(0, kServerTextMax));
    entries[count].location = cdinfo::CutUtf8(cdinfo::AsUtf8(line.substr(pos)), kServerTextMax);
    ++count;
  }
  return count;
}

// ---- Requests ------------------------------------------------------------------------------

std::string CddbHelloPart(const char* version) {
  return "&hello=" + HelloField(settings.cddbUser, "username") + "+" +
         HelloField(settings.cddbHost, kPlaceholderHelloHost) + "+" +
         HelloField(settings.cddbClientName, kDefaultCddbClientName) + "+" + version + "&proto=4";
}

std::string CddbRefusedText(std::string_view statusLine) {
  return "The CDDB server refused this program before the lookup began. It answered:\n\"" +
         QuotedStatusLine(statusLine) +
         "\"\n\nThe server accepts only programs whose client name it has registered (the "
         "program says hello as \"" +
         HelloField(settings.cddbClientName, kDefaultCddbClientName) +
         "\"). If you have registered a client name, enter it as \"CDDB Client Name\" in the "
         "settings. Otherwise set \"Title Service\" to auto or musicbrainz: the titles then "
         "come from MusicBrainz, which needs no registration.";
}

std::string BuildCddbQueryRequest(const char* discId, int trackCount, const uint32_t* positions,
                                  uint32_t leadOutMsf) {
  std::string request = "GET /~cddb/cddb.cgi?cmd=cddb+query+" + std::string(discId) + "+" +
                        std::to_string(trackCount) + "+";
  for (int i = 0; i < trackCount; ++i)
    request += std::to_string(cdinfo::MsfToFrames(positions[i])) + "+";
  request += std::to_string(cdinfo::MsfToSeconds(leadOutMsf));
  request += CddbHelloPart(kCddbClientVersion);
  request += " HTTP/1.0\r\n\r\n";
  return request;
}

std::string BuildCddbReadRequest(const std::string& category, const std::string& discId) {
  return "GET /~cddb/cddb.cgi?cmd=cddb+read+" + category + "+" + discId +
         CddbHelloPart(kCddbClientVersion) + " HTTP/1.0\r\n\r\n";
}

std::string BuildCddbSitesRequest() {
  return "GET /~cddb/cddb.cgi?cmd=sites" + CddbHelloPart(kCddbSitesClientVersion) +
         " HTTP/1.0\r\n\r\n";
}

// ---- Exchanges -----------------------------------------------------------------------------

int CddbQueryAndRead(int trackCount, const uint32_t* positions, const uint32_t* lengths,
                     char* discIdOut, const std::string& folder, void* window) {
  CdInfoHost& host = Host();
  trackCount = std::clamp(trackCount, 0, kMaxTitleTracks);
  const uint32_t leadOut = ComputeDiscId(trackCount, positions, lengths, discIdOut);
  host.ShowStatusLine(window, kCddbConnectingText);
  host.StartBlink(window, kCddbConnectingText);
  if (InitWinSock() != 0) return -1;

  const std::string server = ChosenServerHost();
  if (OpenSendReceiveClose(server,
                           BuildCddbQueryRequest(discIdOut, trackCount, positions, leadOut)) != 0) {
    Trace("cddb query error\n");
    return -1;
  }
  if (AnswerCutOff("query")) return -1;
  std::vector<CddbMatch> matches;
  const int status = ParseCddbQueryAnswer(httpState.httpResponse, &matches);
  if (status == kCddbNoContent) {
    Trace("no Content in cddb\n");
    return -1;
  }
  if (status == kCddbRefused) {
    const std::string_view answer = httpState.httpResponse;
    const size_t body = BodyStart(answer);
    std::string_view line = answer.substr(body);
    line = cdinfo::WithoutCr(line.substr(0, line.find('\n')));
    Trace("cddb hello refused: %s\n", QuotedStatusLine(line).c_str());
    ShowMessageBox(window, kCddbRefusedCaption, CddbRefusedText(line), kMbOk | kMbIconExclamation);
    return -1;
  }
  if (status < 0) {
    Trace("cddb query not found or error\n");
    return -1;
  }
  std::vector<std::string> titles;
  for (const CddbMatch& match : matches) titles.push_back(match.title);
  const int picked = ChooseCd(window, titles);
  if (picked < 0) return -1;
  const CddbMatch& chosen = matches[static_cast<size_t>(picked)];

  if (OpenSendReceiveClose(server, BuildCddbReadRequest(chosen.category, chosen.discId)) != 0) {
    Trace("read command failed in cddb\n");
    return -1;
  }
  if (AnswerCutOff("read")) return -1;
  const int entry = CheckCddbReadAnswer(httpState.httpResponse, HttpResponseTruncated());
  if (entry == -1) {
    Trace("Error in database response\n");
    return -1;
  }
  if (entry == -2) {
    Trace("cddb read answer ends before its last line; ignored\n");
    return -1;
  }
  if (!SaveLookupAnswer(folder, httpState.httpResponse)) {
    Trace("error; file didnt open in get_cddb_text\n");
    return -1;
  }
  return 0;
}

int CddbLookup(void* window) {
  return LookUpTitles(window, TitleService::kCddb, std::string()) < 0 ? -1 : 0;
}

int UpdateCddbSites() {
  if (InitWinSock() != 0) return -1;
  if (OpenSendReceiveClose(cddbState.masterSite, BuildCddbSitesRequest()) != 0 ||
      AnswerCutOff("sites"))
    return -1;
  CddbServerEntry list[kMaxCddbServers];
  const int count = ParseCddbSitesAnswer(httpState.httpResponse, list, kMaxCddbServers);
  if (count < 0) return -1;
  if (count == 0) {
    Trace("UpdateCddbSites: the site list holds no http server; the old list stays\n");
    return -1;
  }
  for (int i = 0; i < count; ++i) settings.servers[i] = list[i];
  settings.serverCount = count;
  if (settings.cddbServer >= count) settings.cddbServer = 0;
  settings.cddbServerHost = ChosenServerHost();
  Trace("sites updated\n");
  return 0;
}

void HandleCDBB(void* window) {
  StartLookupWorker("HandleCDBB", "HandleCDBB in cdcopy: CreateThread failed\n",
                    [window] { CddbLookup(window); });
}

void GetCDDBsites(void*) {
  StartLookupWorker("GetCDDBsites", "GetCDDBsites in cdcopy: CreateThread failed\n",
                    [] { UpdateCddbSites(); });
}

bool WaitForCddbWorkers(uint32_t timeoutMs) {
  return WaitForLookupWorkers(timeoutMs);
}
