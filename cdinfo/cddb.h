// The CDDB client: looks the disc up on a CDDB server over HTTP (protocol level 4 through the
// server's cddb.cgi), lets the user pick among several matches, saves the answer as temp.txt
// and turns it into the disc's CD information file. Also refreshes the CDDB server list.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "settings/settings.h"

inline constexpr const char* kCddbClientName = kDefaultCddbClientName;
inline constexpr const char* kCddbClientVersion = "1.0";
inline constexpr const char* kCddbSitesClientVersion = "0.02";
inline constexpr const char* kDefaultCddbMasterSite = "gnudb.gnudb.org";
inline constexpr const char* kCddbConnectingText = "Connecting to CDDB - please wait";
inline constexpr const char* kCddbRefusedCaption = "CDDB Server";
inline constexpr int kMaxCddbMatches = 8;
inline constexpr size_t kCddbCategoryBytes = 50;
inline constexpr size_t kCddbMatchIdBytes = 20;
inline constexpr size_t kCddbMatchTitleBytes = 200;

struct CddbMatch {
  std::string category;
  std::string discId;
  std::string title;
};

// Results of ParseCddbQueryAnswer besides the status codes 200, 210 and 211.
inline constexpr int kCddbNoContent = -2;  // no "Content..." header: not a proper answer
inline constexpr int kCddbNotFound = -1;   // 202, an error status, or no usable match
inline constexpr int kCddbRefused = -3;    // "500" before any command: the hello was refused

// A query answer: 200 with its one match, 210/211 with up to kMaxCddbMatches matches, or one
// of the failures above (kCddbRefused when the body starts with "500 ").
int ParseCddbQueryAnswer(std::string_view answer, std::vector<CddbMatch>* matches);

// A read answer: 0 when it holds a "210" entry that ends with its "." line, -1 without "210",
// -2 when the entry was cut off before its end (or at the full answer buffer).
int CheckCddbReadAnswer(std::string_view answer, bool bufferFull);

// A sites answer: the http servers listed after the "210" line (at most maxEntries of the 16
// lines read), or -1 without "210".
int ParseCddbSitesAnswer(std::string_view answer, CddbServerEntry* entries, int maxEntries);

// "&hello=<user>+<host>+<client name>+<version>&proto=4"; the client name is the setting
// "CDDB Client Name".
std::string CddbHelloPart(const char* version);
// The message shown when the server refuses the hello: what its answer means and what to do.
std::string CddbRefusedText(std::string_view statusLine);
std::string BuildCddbQueryRequest(const char* discId, int trackCount, const uint32_t* positions,
                                  uint32_t leadOutMsf);
std::string BuildCddbReadRequest(const std::string& category, const std::string& discId);
std::string BuildCddbSitesRequest();

struct CddbState {
  // Set while a lookup rewrites the titles; the lyrics panel leaves them alone meanwhile.
  std::atomic<int32_t> lookupBusy{0};
  // Host of the master site that lists the CDDB servers (set before any worker runs).
  std::string masterSite = kDefaultCddbMasterSite;
};

extern CddbState cddbState;

// Starts the lookup on a worker thread (on the calling thread when none can be started).
// Ignored while another lookup, server-list update or lyrics fetch owns the HTTP client.
void HandleCDBB(void* window);
// The lookup itself, on CDDB alone; 0 or -1.
int CddbLookup(void* window);
// Looks the layout up on the chosen server and saves the entry as temp.txt in folder; 0 or -1.
int CddbQueryAndRead(int trackCount, const uint32_t* positions, const uint32_t* lengths,
                     char* discIdOut, const std::string& folder, void* window);
// Starts the server list update on a worker thread (ignored like HandleCDBB).
void GetCDDBsites(void* window);
// Refreshes settings.servers from the master site; 0 or -1 (the old list stays).
int UpdateCddbSites();
// Waits until no lookup, server-list or lyrics thread runs; false on time-out.
bool WaitForCddbWorkers(uint32_t timeoutMs);
