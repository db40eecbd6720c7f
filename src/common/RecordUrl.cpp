#include "RecordUrl.h"

#include <string_view>

namespace quorvel {

namespace {

constexpr std::string_view kMask = "***";
constexpr std::string_view kPasswordKey = "password=";

struct TSpan {
  std::size_t From = std::string::npos;
  std::size_t To = std::string::npos;
};

// Where the passwords of a URL are: the user info's after its first ':' and the values of
// password= parameters. The user info is taken up to the last '@' before the parameters, so
// a password with an unescaped '@' or '/' is still hidden whole.
template <class Visit>
void ForEachPassword(const std::string& url, Visit visit) {
  if (!IsPostgresUrl(url)) return;
  const std::size_t start = url.find("://") + 3;
  const std::size_t query = url.find('?', start);
  const std::size_t userEnd = url.rfind('@', query == std::string::npos ? std::string::npos : query);
  if (userEnd != std::string::npos && userEnd >= start) {
    const std::size_t colon = url.find(':', start);
    if (colon < userEnd) visit(TSpan{colon + 1, userEnd});
  }
  if (query == std::string::npos) return;
  for (std::size_t p = query + 1; p < url.size();) {
    const std::size_t end = std::min(url.find('&', p), url.size());
    if (std::string_view(url).substr(p, end - p).substr(0, kPasswordKey.size()) == kPasswordKey)
      visit(TSpan{p + kPasswordKey.size(), end});
    p = end + 1;
  }
}

}  // namespace

bool IsPostgresUrl(const std::string& location) {
  return location.rfind("postgresql://", 0) == 0 || location.rfind("postgres://", 0) == 0;
}

std::string UrlWithoutPassword(const std::string& location) {
  std::string out;
  std::size_t copied = 0;
  ForEachPassword(location, [&](TSpan span) {
    out.append(location, copied, span.From - copied);
    out += kMask;
    copied = span.To;
  });
  out.append(location, copied, std::string::npos);
  return out;
}

bool UrlHasPassword(const std::string& location) {
  bool found = false;
  ForEachPassword(location, [&](TSpan span) { found = found || span.To > span.From; });
  return found;
}

}  // namespace quorvel
