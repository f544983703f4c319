// One blocking HTTP exchange over POSIX sockets: resolve the host, connect, send one complete
// request text, collect everything the server sends until it closes the connection. The CDDB
// and lyrics clients build the request texts and parse the answers; they run one at a time on
// their worker threads.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr size_t kHttpResponseBytes = 50000;  // the answer buffer
inline constexpr size_t kReceiveChunkBytes = 10000;
inline constexpr int32_t kDefaultHttpWaitMs = 40000;
inline constexpr const char* kHttpPort = "80";
inline constexpr const char* kInternetErrorCaption = "Internet Connection Error";

// Close-down codes traced as "error in OpenSendReceiveClose =%d\n".
enum HttpCloseDown : int {
  kCloseEventSelect = 1,  // the socket could not be made non-blocking
  kCloseConnect = 2,
  kCloseTimeout = 3,  // nothing happened within the wait, or the exchange's deadline passed
  kCloseEvents = 4,   // waiting for the socket failed
  kCloseSend = 5,
  kCloseReceive = 6,
};

struct HttpState {
  // The answer of the last exchange as sent (status line, headers, body), at most
  // kHttpResponseBytes; what the server sends beyond that is read and dropped.
  std::string httpResponse;
  size_t droppedBytes = 0;
  std::atomic<int32_t> transferActive{0};
  // How long one wait for the socket may last; tests shorten it. The whole exchange lasts at
  // most settings.internetDeadline seconds ("Internet Deadline") besides.
  std::atomic<int32_t> waitMilliseconds{kDefaultHttpWaitMs};
  // Set while a client (CDDB lookup, server list, lyrics) owns httpResponse.
  std::atomic<int32_t> clientActive{0};
};

extern HttpState httpState;

// POSIX sockets need no start-up; kept so that every client follows the same sequence. 0.
int InitWinSock();

// The exchange. host is a host name or address, optionally with ":port" ("[v6]:port"); port
// 80 otherwise. 0 when the server closed the connection after the request (the answer is in
// httpResponse), -1 on failure: set-up failures show a box captioned "Internet Connection
// Error"; failures after the connection is made are traced with their close-down code. The
// answer collected so far stays in httpResponse.
int OpenSendReceiveClose(const std::string& host, const std::string& request);

// The receive loop on a socket whose connect has been started (connectPending) or has
// completed: sends the request when connected, then reads until the peer closes. Closes fd.
int ExchangeOnSocket(int fd, bool connectPending, const std::string& request);

void ClearHttpResponse();
// Appends received bytes, keeping at most kHttpResponseBytes; the rest is counted as dropped.
void AppendToHttpResponse(const char* data, size_t size);
// True when the last answer did not fit in the buffer.
bool HttpResponseTruncated();

// Splits "host", "host:port", "[v6]" or "[v6]:port"; a bare address with several ":" is IPv6.
void SplitHostPort(std::string_view host, std::string* name, std::string* port);

// One client at a time owns httpResponse: true when the caller may run its exchanges.
bool ClaimHttpClient();
void ReleaseHttpClient();
