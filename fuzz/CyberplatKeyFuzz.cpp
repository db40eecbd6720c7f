// The Cyberplat key file parser on arbitrary bytes: every block consumes at least three
// lines, so the keys never outnumber a third of the lines, and parsing never fails.
#include "Base64.h"
#include "Cp1251.h"
#include "CyberplatKey.h"
#include "TextUtils.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  quorvel::TCyberplatKeys keys;
  keys.LoadFromText(bytes);
  const std::size_t lines = quorvel::SplitLines(quorvel::Cp1251ToUtf8(bytes)).size();
  if (keys.Count() > lines / 3) std::abort();
  for (std::size_t i = 0; i < keys.Count(); ++i) {
    const int type = keys[i].KeyType;
    if (type < 0 || type > quorvel::kCyberplatPublicKey) std::abort();
    // names are cut at 20 characters of windows-1251 text, so they hold at most 20 characters
    if (keys[i].KeyName.size() > 20 * 3 || keys[i].SigName.size() > 20 * 3) std::abort();
  }
  return 0;
}
