#pragma once

// Firmware images for the bench's tests, made from the Intel HEX format's definition and not
// by the program's own reader.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvel::test {

/// Intel HEX text of bytes from address 0 (below 64 KiB): 16 data bytes a record, CR LF lines,
/// the end record last.
inline std::string IntelHexText(const std::string& bytes) {
  std::string out;
  for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
    const std::size_t n = std::min<std::size_t>(16, bytes.size() - offset);
    std::string record;
    record += static_cast<char>(n);
    record += static_cast<char>((offset >> 8) & 0xFF);
    record += static_cast<char>(offset & 0xFF);
    record += '\0';
    record.append(bytes, offset, n);
    unsigned sum = 0;
    for (unsigned char c : record) sum += c;
    record += static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF);
    out += ':';
    for (unsigned char c : record) {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", c);
      out += hex;
    }
    out += "\r\n";
  }
  return out + ":00000001FF\r\n";
}

/// size bytes of a pattern that repeats rarely, so that a misplaced page shows.
inline std::string FirmwarePattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 13 + 5 + i / 251) & 0xFF);
  return bytes;
}

}  // namespace quorvel::test
