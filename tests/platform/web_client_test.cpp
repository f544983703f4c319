#include "platform/net/web_client.h"

#include <gtest/gtest.h>

#include "tests/support/test_http_server.h"

namespace {

std::string Answer(const std::string& statusLine, const std::string& headers,
                   const std::string& body) {
  return "HTTP/1.1 " + statusLine + "\r\n" + headers +
         "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

WebRequest RequestTo(const TestHttpServer& server, const std::string& path) {
  WebRequest request;
  request.url = "http://" + server.HostPort() + path;
  request.userAgent = "SornKaraokeTest/1.0 ( https://example.org/sorn )";
  return request;
}

}  // namespace

TEST(WebClient, AnswersOfAnyStatusComeBackWholeWithTheirHeaders) {
  TestHttpServer server([](const std::string& request) {
    if (request.find("GET /missing ") == 0)
      return ServerReply{Answer("404 Not Found", "", "{\"code\":404}")};
    if (request.find("GET /busy ") == 0)
      return ServerReply{Answer("503 Service Unavailable", "Retry-After: 3\r\n", "slow down")};
    return ServerReply{Answer("200 OK", "Content-Type: application/json; charset=utf-8\r\n",
                              "{\"a\":\"\xc3\xa9\"}")};
  });
  WebResponse response;
  ASSERT_TRUE(WebGet(RequestTo(server, "/api/get?x=1"), &response)) << response.error;
  EXPECT_EQ(response.status, 200);
  EXPECT_EQ(response.body, "{\"a\":\"\xc3\xa9\"}");
  EXPECT_EQ(response.contentType, "application/json; charset=utf-8");
  EXPECT_EQ(response.retryAfterSeconds, -1);
  const std::string sent = server.Requests().at(0);
  EXPECT_EQ(sent.rfind("GET /api/get?x=1 HTTP/1.1\r\n", 0), 0u) << sent;
  EXPECT_NE(sent.find("User-Agent: SornKaraokeTest/1.0 ( https://example.org/sorn )\r\n"),
            std::string::npos);
  EXPECT_NE(sent.find("Accept: application/json\r\n"), std::string::npos);

  ASSERT_TRUE(WebGet(RequestTo(server, "/missing"), &response));
  EXPECT_EQ(response.status, 404);
  EXPECT_TRUE(response.error.empty());

  ASSERT_TRUE(WebGet(RequestTo(server, "/busy"), &response));
  EXPECT_EQ(response.status, 503);
  EXPECT_EQ(response.retryAfterSeconds, 3);
}

TEST(WebClient, OversizedSilentAndCancelledExchangesEndWithAReasonAndNoBody) {
  TestHttpServer big(
      [](const std::string&) { return ServerReply{Answer("200 OK", "", std::string(5000, 'x'))}; });
  WebRequest request = RequestTo(big, "/");
  request.maxBytes = 4096;
  WebResponse response;
  EXPECT_FALSE(WebGet(request, &response));
  EXPECT_EQ(response.error, "answer larger than 4096 bytes");
  EXPECT_TRUE(response.body.empty());

  // A server that accepts and then says nothing: the whole exchange has a deadline.
  TestHttpServer silent([](const std::string&) {
    return ServerReply{"", ServerReply::End::kSilent};
  });
  request = RequestTo(silent, "/");
  request.totalTimeoutMs = 300;
  EXPECT_FALSE(WebGet(request, &response));
  EXPECT_EQ(response.error, "timed out");
  EXPECT_EQ(response.status, 0);

  std::atomic<int> cancel{1};
  request = RequestTo(silent, "/");
  request.cancel = &cancel;
  EXPECT_FALSE(WebGet(request, &response));
  EXPECT_EQ(response.error, "cancelled");

  // Nobody listening.
  request.url = "http://127.0.0.1:1/";
  request.cancel = nullptr;
  EXPECT_FALSE(WebGet(request, &response));
  EXPECT_FALSE(response.error.empty());
}

TEST(WebClient, UrlEncodingKeepsUnreservedCharactersOnly) {
  EXPECT_EQ(UrlEncode("Abc-1.2_~"), "Abc-1.2_~");
  EXPECT_EQ(UrlEncode("Rock & Roll / Part 2?"), "Rock%20%26%20Roll%20%2F%20Part%202%3F");
  EXPECT_EQ(UrlEncode("Bj\xc3\xb6rk"), "Bj%C3%B6rk");
}
