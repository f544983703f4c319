#include "cdinfo/http_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "diagnostics/diagnostics.h"
#include "settings/settings.h"

HttpState httpState;

namespace {

void SocketError(const char* what, int error) {
  Trace("Error in SocketHandler - %s %d\n", what, error);
}

void InternetBox(const std::string& text) {
  ShowMessageBox(nullptr, kInternetErrorCaption, text, kMbOk | kMbSystemModal);
}

void CloseDown(int fd, int code) {
  httpState.transferActive.store(0, std::memory_order_release);
  Trace("error in OpenSendReceiveClose =%d\n", code);
  if (fd >= 0) ::close(fd);
}

using Clock = std::chrono::steady_clock;

// The next wait for the socket: the per-wait time-out, cut to what is left of the whole
// exchange's deadline (so that a server sending a byte now and then cannot hold it for ever).
struct Wait {
  int ms;
  bool last;  // the deadline ends this wait: a time-out is the deadline's
};
Wait NextWait(Clock::time_point deadline) {
  const int64_t left = std::max<int64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count(), 0);
  const int perWait = std::max(httpState.waitMilliseconds.load(std::memory_order_acquire), 0);
  if (left < perWait) return Wait{static_cast<int>(left), true};
  return Wait{perWait, false};
}

// Waits for the socket; 0 on a time-out, which is traced when it is the deadline's.
int PollOnce(pollfd* p, Clock::time_point deadline) {
  const Wait wait = NextWait(deadline);
  const int ready = ::poll(p, 1, wait.ms);
  if (ready == 0 && wait.last)
    Trace("OpenSendReceiveClose: no whole answer within %d s\n", settings.internetDeadline);
  return ready;
}

// Sends the whole request; a full socket buffer is waited out like any other wait.
// 0, or the close-down code of the failure.
int SendAll(int fd, const std::string& request, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      const int r = PollOnce(&p, deadline);
      if (r == 0) return kCloseTimeout;
      if (r < 0 && errno != EINTR) return kCloseEvents;
      continue;
    }
    SocketError("send()", errno);
    return kCloseSend;
  }
  return 0;
}

}  // namespace

int InitWinSock() {
  return 0;
}

void ClearHttpResponse() {
  httpState.httpResponse.clear();
  httpState.droppedBytes = 0;
}

void AppendToHttpResponse(const char* data, size_t size) {
  std::string& response = httpState.httpResponse;
  const size_t room = kHttpResponseBytes - std::min(response.size(), kHttpResponseBytes);
  const size_t take = std::min(room, size);
  response.append(data, take);
  httpState.droppedBytes += size - take;
}

bool HttpResponseTruncated() {
  return httpState.droppedBytes > 0;
}

void SplitHostPort(std::string_view host, std::string* name, std::string* port) {
  *port = kHttpPort;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close != std::string_view::npos) {
      *name = host.substr(1, close - 1);
      if (close + 1 < host.size() && host[close + 1] == ':' && close + 2 < host.size())
        *port = host.substr(close + 2);
      return;
    }
  }
  const size_t colon = host.find(':');
  if (colon != std::string_view::npos && host.find(':', colon + 1) == std::string_view::npos) {
    *name = host.substr(0, colon);
    if (colon + 1 < host.size()) *port = host.substr(colon + 1);
    return;
  }
  *name = host;
}

bool ClaimHttpClient() {
  int32_t idle = 0;
  return httpState.clientActive.compare_exchange_strong(idle, 1, std::memory_order_acq_rel);
}

void ReleaseHttpClient() {
  httpState.clientActive.store(0, std::memory_order_release);
}

int ExchangeOnSocket(int fd, bool connectPending, const std::string& request) {
  httpState.transferActive.store(1, std::memory_order_release);
  const Clock::time_point deadline =
      Clock::now() + std::chrono::seconds(std::max(settings.internetDeadline, 1));
  bool connected = false;
  if (!connectPending) {
    if (int code = SendAll(fd, request, deadline); code != 0) {
      CloseDown(fd, code);
      return -1;
    }
    connected = true;
  }
  char chunk[kReceiveChunkBytes];
  for (;;) {
    pollfd p{fd, static_cast<short>(connected ? POLLIN : POLLOUT), 0};
    const int ready = PollOnce(&p, deadline);
    if (ready == 0) {
      CloseDown(fd, kCloseTimeout);
      return -1;
    }
    if (ready < 0) {
      if (errno == EINTR) continue;
      SocketError("WSAEnumNetworkEvents()", errno);
      CloseDown(fd, kCloseEvents);
      return -1;
    }
    if (!connected) {
      // The connect has finished: it either failed (nobody listening, unreachable) or the
      // request goes out now.
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      if (error != 0) {
        SocketError("connect()", error);
        CloseDown(fd, kCloseConnect);
        InternetBox("Unable to connect to Internet - no connection");
        return -1;
      }
      if (int code = SendAll(fd, request, deadline); code != 0) {
        CloseDown(fd, code);
        return -1;
      }
      connected = true;
      continue;
    }
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
    if (n > 0) {
      AppendToHttpResponse(chunk, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) break;  // the server closed the connection: the answer is complete
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
    SocketError("recv()", errno);
    CloseDown(fd, kCloseReceive);
    return -1;
  }
  httpState.transferActive.store(0, std::memory_order_release);
  ::close(fd);
  return 0;
}

int OpenSendReceiveClose(const std::string& host, const std::string& request) {
  ClearHttpResponse();
  std::string name;
  std::string port;
  SplitHostPort(host, &name, &port);

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int resolved = ::getaddrinfo(name.c_str(), port.c_str(), &hints, &found);
  if (resolved != 0 || !found) {
    const int error = resolved == EAI_SYSTEM ? errno : resolved;
    SocketError("OpenSocket - gethostbyname()", error);
    char text[512];
    std::snprintf(text, sizeof text,
                  "Unable to connect to Internet - error getting hostname: %s\nError: %d",
                  host.c_str(), error);
    InternetBox(text);
    if (found) ::freeaddrinfo(found);
    return -1;
  }
  // The host's first IPv4 address, else its first address.
  const addrinfo* address = found;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      address = a;
      break;
    }
  }

  const int fd = ::socket(address->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    SocketError("socket()", errno);
    ::freeaddrinfo(found);
    InternetBox("Unable to connect to Internet - cannot create a socket");
    return -1;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
    SocketError("OpenSocket - EventSelect()", errno);
    ::freeaddrinfo(found);
    CloseDown(fd, kCloseEventSelect);
    InternetBox("Unable to connect to Internet - unable to associate socket events");
    return -1;
  }
  const int connected = ::connect(fd, address->ai_addr, address->ai_addrlen);
  const int connectError = errno;
  ::freeaddrinfo(found);
  if (connected != 0 && connectError != EINPROGRESS) {
    SocketError("connect()", connectError);
    CloseDown(fd, kCloseConnect);
    InternetBox("Unable to connect to Internet - no connection");
    return -1;
  }
  return ExchangeOnSocket(fd, connected != 0, request);
}
