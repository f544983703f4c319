#include "tests/support/test_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr int kDripLines = 250;  // 5 s of lines

}  // namespace

TestHttpServer::TestHttpServer(Handler handler, std::string requestEnd)
    : handler_(std::move(handler)), requestEnd_(std::move(requestEnd)) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 8) != 0) {
    std::perror("TestHttpServer");
    return;
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
}

TestHttpServer::~TestHttpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

std::vector<std::string> TestHttpServer::Requests() {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void TestHttpServer::Run() {
  while (!stop_) {
    pollfd p{listenFd_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const int connection = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Serve(connection);
  }
}

void TestHttpServer::Serve(int connection) {
  // The request: up to its end, or whatever came before the client stopped sending.
  std::string request;
  char buffer[4096];
  while (!stop_ && request.find(requestEnd_) == std::string::npos) {
    pollfd p{connection, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) break;
    const ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
  }
  const ServerReply reply = handler_(request);
  size_t sent = 0;
  while (sent < reply.bytes.size()) {
    const ssize_t n =
        ::send(connection, reply.bytes.data() + sent, reply.bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
    bytesSent_ += static_cast<size_t>(n);
  }
  if (reply.end == ServerReply::End::kDrip) {
    const char line[] = "X-Wait: more\r\n";
    for (int lines = 0; lines < kDripLines && !stop_ &&
                        ::send(connection, line, sizeof line - 1, MSG_NOSIGNAL) > 0;
         ++lines) {
      pollfd p{connection, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0 && ::recv(connection, buffer, sizeof buffer, 0) <= 0) break;
    }
  }
  if (reply.end == ServerReply::End::kSilent) {
    // Hold the connection until the client gives up (or the test ends).
    while (!stop_) {
      pollfd p{connection, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0 && ::recv(connection, buffer, sizeof buffer, 0) <= 0) break;
    }
  }
  if (reply.end == ServerReply::End::kReset) {
    linger abort{1, 0};
    ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  }
  ::close(connection);
}

std::string HttpAnswer(const std::string& body, bool withContentHeader) {
  std::string answer = "HTTP/1.0 200 OK\r\nServer: test\r\n";
  if (withContentHeader) answer += "Content-Type: text/plain; charset=ISO-8859-1\r\n";
  return answer + "\r\n" + body;
}
