#pragma once

#include <string>
#include <string_view>

namespace quorvel {

/// Most bytes one UU-encoded line carries.
inline constexpr std::size_t kUULineBytes = 45;

/// One UU-encoded line of at most 45 bytes (more are not encoded): a length character
/// (count + 32) followed by 4 characters per 3 bytes (zero-padded), each 6-bit value + 32,
/// with 0 written as the grave accent. 45 bytes give a 61-character line beginning with "M".
std::string UUEncodeLine(std::string_view bytes);

/// The bytes of one UU-encoded line: the first character minus 32 is the byte count; the
/// rest is padded with spaces to whole groups of 4 and decoded (the grave accent counts as
/// 0); the first byte-count bytes are kept (fewer when the line is shorter). An empty line
/// gives no bytes. Never raises.
std::string UUDecodeLine(std::string_view line);

}  // namespace quorvel
