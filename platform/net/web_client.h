// GET requests to the web services the program uses today (lyrics, disc titles), over HTTPS or
// plain HTTP, through libcurl. One call is one exchange on the calling thread: it never runs
// on the window thread, and a cancel flag lets the caller end it early.
//
// What comes back is always complete or says why not: a status and the whole body, or an
// error text. An answer larger than the cap, a server that sends nothing for the idle time
// and an exchange that runs past its deadline all end with an error, never with a cut body.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

struct WebRequest {
  std::string url;
  std::string userAgent;
  std::string accept = "application/json";
  long connectTimeoutMs = 40000;             // the connection must be up within this
  long idleTimeoutMs = 40000;                // no byte received for this long ends the exchange
  long totalTimeoutMs = 120000;              // the whole exchange, however slowly the bytes drip
  size_t maxBytes = 1 << 20;                 // a larger answer is refused
  const std::atomic<int>* cancel = nullptr;  // non-zero ends the exchange
};

struct WebResponse {
  int status = 0;  // the HTTP status; 0 when no answer came
  std::string body;
  std::string contentType;
  long retryAfterSeconds = -1;  // from a Retry-After header, -1 without one
  std::string error;            // empty when an answer came (whatever its status)
};

// Runs the exchange. True when an answer came (any status, body complete); false with
// response->error saying what went wrong ("timed out", "answer larger than N bytes", ...).
bool WebGet(const WebRequest& request, WebResponse* response);

// Percent-encodes a text for a query value or a path segment (RFC 3986 unreserved characters
// stay as they are, blanks become "%20").
std::string UrlEncode(const std::string& text);
