#include "HttpGet.h"

#include "Errors.h"
#include "TextUtils.h"

#include <curl/curl.h>

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>

namespace quorvel {

namespace {

struct CurlDeleter {
  void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

struct Body {
  std::string data;
  bool tooLarge = false;
};

std::size_t WriteBody(char* ptr, std::size_t size, std::size_t count, void* user) {
  auto* body = static_cast<Body*>(user);
  const std::size_t n = size * count;
  if (body->data.size() + n > kHttpMaxBody) {
    body->tooLarge = true;
    return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
  }
  body->data.append(ptr, n);
  return n;
}

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

bool IsHttpAddress(const std::string& name) {
  const std::string head = Lower(name.substr(0, 8));
  return StartsWith(head, "http://") || StartsWith(head, "https://");
}

std::string HttpGet(const std::string& url, const THttpTimeouts& timeouts) {
  if (timeouts.connectMs <= 0 || timeouts.totalMs <= 0)
    throw Exception("HTTP: время ожидания должно быть больше 0");
  InitCurlOnce();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) throw Exception("HTTP: не удалось создать соединение");
  CURL* c = curl.get();
  Body body;
  char error[CURL_ERROR_SIZE] = {};
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // no SIGALRM from the resolver in a threaded program
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, timeouts.totalMs);
  curl_easy_setopt(c, CURLOPT_ACCEPT_ENCODING, "");  // whatever libcurl can decode
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);
  const CURLcode rc = curl_easy_perform(c);
  if (body.tooLarge) throw Exception(fmt::format("HTTP: ответ больше {} байт", kHttpMaxBody));
  if (rc != CURLE_OK)
    throw Exception(
        fmt::format("HTTP: {}", error[0] ? std::string(error) : std::string(curl_easy_strerror(rc))));
  long status = 0;
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299) throw Exception(fmt::format("HTTP: код ответа сервера {}", status));
  return std::move(body.data);
}

}  // namespace quorvel
