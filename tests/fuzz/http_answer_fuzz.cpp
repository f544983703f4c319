// Fuzzes the HTTP client's receive loop: a peer on a socket pair sends the input in pieces
// and closes; the client must keep exactly the first 50,000 bytes and read to the close.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "cdinfo/cddb.h"
#include "cdinfo/http_client.h"
#include "diagnostics/diagnostics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool quiet = (SetTraceSink([](const std::string&) {}), true);
  (void)quiet;
  if (size < 1) return 0;
  // The first byte picks the piece size the peer sends at a time and whether the answer is
  // made long (the input repeated past the buffer's size).
  const size_t piece = 1 + static_cast<size_t>(data[0] >> 2) * 61;
  const std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string sent = body;
  if (data[0] % 4 == 0 && piece >= 256 && !body.empty()) {
    while (sent.size() < 60000) sent += body;
  }

  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
  std::thread peer([&] {
    size_t offset = 0;
    while (offset < sent.size()) {
      const ssize_t n =
          ::send(fds[1], sent.data() + offset, std::min(piece, sent.size() - offset), MSG_NOSIGNAL);
      if (n <= 0) break;
      offset += static_cast<size_t>(n);
    }
    ::shutdown(fds[1], SHUT_WR);
  });
  ClearHttpResponse();
  const int result = ExchangeOnSocket(fds[0], false, "GET / HTTP/1.0\r\n\r\n");
  peer.join();
  ::close(fds[1]);

  if (result != 0) std::abort();
  if (httpState.httpResponse != sent.substr(0, kHttpResponseBytes)) std::abort();
  if (httpState.droppedBytes != sent.size() - httpState.httpResponse.size()) std::abort();
  if (httpState.transferActive.load() != 0) std::abort();

  std::vector<CddbMatch> matches;
  ParseCddbQueryAnswer(httpState.httpResponse, &matches);
  CheckCddbReadAnswer(httpState.httpResponse, HttpResponseTruncated());
  return 0;
}
