#include "platform/net/web_client.h"

#include <curl/curl.h>

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  const WebRequest* request;
  WebResponse* response;
  bool tooLarge = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (t->response->body.size() + n > t->request->maxBytes) {
    t->tooLarge = true;
    return 0;  // ends the transfer with a write error
  }
  t->response->body.append(data, n);
  return n;
}

// Headers of the final answer: curl calls this for every header line of every answer (also of
// redirects), so a status line starts the list again.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  const std::string line(data, n);
  if (line.rfind("HTTP/", 0) == 0) t->response->retryAfterSeconds = -1;
  static const char kRetry[] = "retry-after:";
  if (line.size() > sizeof kRetry - 1 &&
      strncasecmp(line.c_str(), kRetry, sizeof kRetry - 1) == 0) {
    char* end = nullptr;
    const long seconds = std::strtol(line.c_str() + sizeof kRetry - 1, &end, 10);
    if (end != line.c_str() + sizeof kRetry - 1 && seconds >= 0)
      t->response->retryAfterSeconds = seconds;
  }
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  return t->request->cancel && t->request->cancel->load() ? 1 : 0;
}

}  // namespace

bool WebGet(const WebRequest& request, WebResponse* response) {
  *response = WebResponse{};
  GlobalInit();
  CURL* curl = curl_easy_init();
  if (!curl) {
    response->error = "cannot start a web request";
    return false;
  }
  Transfer transfer{&request, response};
  char errorText[CURL_ERROR_SIZE] = {};
  curl_slist* headers = nullptr;
  if (!request.accept.empty())
    headers = curl_slist_append(headers, ("Accept: " + request.accept).c_str());

  curl_easy_setopt(curl, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, request.userAgent.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, request.connectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, request.totalTimeoutMs);
  // Idle time: less than one byte per second for that many seconds ends the exchange.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, (request.idleTimeoutMs + 999) / 1000);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  if (request.maxBytes < size_t(1) << 40)
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(request.maxBytes));

  const CURLcode result = curl_easy_perform(curl);
  bool ok = result == CURLE_OK;
  if (ok) {
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    response->status = int(status);
    char* type = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
      response->contentType = type;
  } else {
    response->body.clear();
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
      response->error = "answer larger than " + std::to_string(request.maxBytes) + " bytes";
    } else if (result == CURLE_ABORTED_BY_CALLBACK) {
      response->error = "cancelled";
    } else if (result == CURLE_OPERATION_TIMEDOUT) {
      response->error = "timed out";
    } else {
      response->error = errorText[0] ? errorText : curl_easy_strerror(result);
    }
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return ok;
}

std::string UrlEncode(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      out += char(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}
