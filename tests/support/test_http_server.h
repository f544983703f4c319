// A small HTTP server on 127.0.0.1 for the client tests: one thread, one listening socket,
// connections served one after another. Each request (read up to its end) goes to a
// handler that says what to send back and how the connection ends.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ServerReply {
  enum class End {
    kClose,   // send the bytes, then close
    kSilent,  // send the bytes (maybe none), then hold the connection until the client leaves
    kDrip,    // send the bytes, then a line every 20 ms for 5 s (or until the client leaves)
    kReset,   // send the bytes, then abort the connection (RST)
  };
  std::string bytes;
  End end = End::kClose;
};

class TestHttpServer {
 public:
  using Handler = std::function<ServerReply(const std::string& request)>;

  // A request is read up to requestEnd: the blank line of HTTP, or "\r\n" for servers that
  // take bare one-line requests.
  explicit TestHttpServer(Handler handler, std::string requestEnd = "\r\n\r\n");
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int Port() const { return port_; }
  std::string HostPort() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> Requests();
  // Bytes the server managed to send in all.
  size_t BytesSent() const { return bytesSent_.load(); }

 private:
  void Run();
  void Serve(int connection);

  Handler handler_;
  std::string requestEnd_;
  int listenFd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> bytesSent_{0};
  std::mutex lock_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// "HTTP/1.0 200 OK" with a Server header, a "Content-Type" header unless left out, a blank
// line and the body.
std::string HttpAnswer(const std::string& body, bool withContentHeader = true);
