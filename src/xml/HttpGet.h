#pragma once

#include <cstddef>
#include <string>

namespace quorvel {

/// Limits of one HTTP GET. Both in milliseconds; 0 is not allowed (it would mean "no
/// limit" to libcurl).
struct THttpTimeouts {
  long connectMs = 10000;  ///< until the TCP (and TLS) connection stands
  long totalMs = 30000;    ///< the whole transfer, redirects included
};

/// Largest body HttpGet accepts, in bytes; a reference list is far smaller.
inline constexpr std::size_t kHttpMaxBody = 64u * 1024u * 1024u;

/// True when name is an http:// or https:// address (scheme letters in any case).
bool IsHttpAddress(const std::string& name);

/// Fetches url with a plain GET (redirects followed, http and https only) and returns the
/// body bytes. Raises Exception with a readable reason (no connection, timeout, a status
/// other than 2xx, a body larger than kHttpMaxBody). Blocks for at most about
/// timeouts.totalMs. Thread-safe.
std::string HttpGet(const std::string& url, const THttpTimeouts& timeouts = {});

}  // namespace quorvel
