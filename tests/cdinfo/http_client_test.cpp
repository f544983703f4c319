#include "cdinfo/http_client.h"

#include <gtest/gtest.h>

#include "tests/cdinfo/cdinfo_fixture.h"
#include "tests/support/test_http_server.h"
#include "tests/support/trace_capture.h"

namespace {

const std::string kRequest = "GET /~cddb/cddb.cgi?cmd=x HTTP/1.0\r\n\r\n";

class HttpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxPresenter(&boxes_);
    httpState.waitMilliseconds = 5000;
  }
  void TearDown() override {
    SetMessageBoxPresenter(nullptr);
    httpState.waitMilliseconds = kDefaultHttpWaitMs;
  }
  BoxRecorder boxes_;
};

// A port on 127.0.0.1 with nobody listening: a test server's, once it has stopped.
int ClosedPort() {
  return TestHttpServer([](const std::string&) { return ServerReply{}; }).Port();
}

}  // namespace

TEST_F(HttpClientTest, AnswerAndCloseComeTogether) {
  TestHttpServer server([](const std::string&) { return ServerReply{HttpAnswer("hello\r\n")}; });
  ASSERT_EQ(OpenSendReceiveClose(server.HostPort(), kRequest), 0);
  EXPECT_EQ(httpState.httpResponse, HttpAnswer("hello\r\n"));
  EXPECT_FALSE(HttpResponseTruncated());
  EXPECT_EQ(httpState.transferActive.load(), 0);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0], kRequest);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(HttpClientTest, LongAnswerIsReadToTheServersClose) {
  std::string body;
  for (int i = 0; body.size() < 130000; ++i) body += "line " + std::to_string(i) + "\r\n";
  const std::string answer = HttpAnswer(body);
  TestHttpServer server([&](const std::string&) { return ServerReply{answer}; });
  ASSERT_EQ(OpenSendReceiveClose(server.HostPort(), kRequest), 0);
  EXPECT_EQ(httpState.httpResponse, answer.substr(0, kHttpResponseBytes));
  EXPECT_TRUE(HttpResponseTruncated());
  EXPECT_EQ(httpState.droppedBytes, answer.size() - kHttpResponseBytes);
  // The server could send everything: the client kept reading after its buffer was full.
  EXPECT_EQ(server.BytesSent(), answer.size());
}

TEST_F(HttpClientTest, SilentServerEndsAfterTheWait) {
  httpState.waitMilliseconds = 300;
  TestHttpServer server([](const std::string&) {
    return ServerReply{"HTTP/1.0 200 OK\r\n", ServerReply::End::kSilent};
  });
  TraceCapture trace;
  EXPECT_EQ(OpenSendReceiveClose(server.HostPort(), kRequest), -1);
  EXPECT_EQ(trace.Text(), "error in OpenSendReceiveClose =3\n");
  EXPECT_EQ(httpState.httpResponse, "HTTP/1.0 200 OK\r\n");  // what came is kept
  EXPECT_EQ(httpState.transferActive.load(), 0);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(HttpClientTest, AbortedConnectionIsAReceiveFailure) {
  TestHttpServer server([](const std::string&) {
    return ServerReply{std::string(), ServerReply::End::kReset};
  });
  TraceCapture trace;
  EXPECT_EQ(OpenSendReceiveClose(server.HostPort(), kRequest), -1);
  EXPECT_NE(trace.Text().find("error in OpenSendReceiveClose =6\n"), std::string::npos);
  EXPECT_TRUE(boxes_.Boxes().empty());
}

TEST_F(HttpClientTest, NobodyListening) {
  TraceCapture trace;
  EXPECT_EQ(OpenSendReceiveClose("127.0.0.1:" + std::to_string(ClosedPort()), kRequest), -1);
  EXPECT_NE(trace.Text().find("Error in SocketHandler - connect() "), std::string::npos);
  EXPECT_NE(trace.Text().find("error in OpenSendReceiveClose =2\n"), std::string::npos);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0],
            "Internet Connection Error|Unable to connect to Internet - no connection");
  EXPECT_NE(boxes_.lastFlags & kMbSystemModal, 0u);
}

TEST_F(HttpClientTest, UnknownHost) {
  TraceCapture trace;
  EXPECT_EQ(OpenSendReceiveClose("no-such-host.invalid", kRequest), -1);
  EXPECT_EQ(trace.Text().rfind("Error in SocketHandler - OpenSocket - gethostbyname() ", 0), 0u);
  ASSERT_EQ(boxes_.Boxes().size(), 1u);
  EXPECT_EQ(boxes_.Boxes()[0].rfind("Internet Connection Error|Unable to connect to Internet - "
                                    "error getting hostname: no-such-host.invalid\nError: ",
                                    0),
            0u);
}

TEST(HttpHostTest, HostAndPort) {
  const struct {
    const char *text, *name, *port;
  } cases[] = {{"cddb.example.org", "cddb.example.org", "80"},
               {"127.0.0.1:8880", "127.0.0.1", "8880"},
               {"[::1]:8080", "::1", "8080"},
               {"::1", "::1", "80"},
               {"host:", "host", "80"}};
  for (const auto& c : cases) {
    std::string name, port;
    SplitHostPort(c.text, &name, &port);
    EXPECT_EQ(name, c.name) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
}
