#pragma once

#include <string>
#include <string_view>

namespace quorvel {

/// UTF-8 -> windows-1251 bytes. Raises EEncodingError naming the first character that
/// windows-1251 cannot hold, or when the text is not valid UTF-8. Nothing is replaced.
/// Thread-safe.
std::string Utf8ToCp1251(std::string_view utf8);

/// windows-1251 bytes -> UTF-8. Never fails: the one byte the code page leaves undefined
/// (0x98) becomes U+0098, which Utf8ToCp1251 turns back into 0x98, so every byte string
/// survives the round trip. Thread-safe.
std::string Cp1251ToUtf8(std::string_view bytes);

/// True when every character of the UTF-8 text exists in windows-1251.
bool IsCp1251Representable(std::string_view utf8);

}  // namespace quorvel
