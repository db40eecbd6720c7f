#pragma once

#include <QByteArray>

#include <algorithm>
#include <cstdint>
#include <string>

namespace quorvel::ui::test {

/// Intel HEX text of bytes at base (below 64 KiB): 16 data bytes a record, CR LF lines, the
/// end record last. Made from the format's definition, not by the program's own reader.
inline QByteArray IntelHex(std::uint16_t base, const std::string& bytes) {
  QByteArray out;
  for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
    const std::size_t n = std::min<std::size_t>(16, bytes.size() - offset);
    const auto address = static_cast<unsigned>(base + offset);
    QByteArray record;
    record.append(static_cast<char>(n));
    record.append(static_cast<char>(address >> 8));
    record.append(static_cast<char>(address & 0xFF));
    record.append('\0');
    record.append(bytes.data() + offset, static_cast<qsizetype>(n));
    unsigned sum = 0;
    for (char c : record) sum += static_cast<unsigned char>(c);
    record.append(static_cast<char>((0x100 - (sum & 0xFF)) & 0xFF));
    out += ":" + record.toHex().toUpper() + "\r\n";
  }
  return out + ":00000001FF\r\n";
}

/// size bytes of a pattern that repeats rarely.
inline std::string HexPattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 13 + 5);
  return bytes;
}

}  // namespace quorvel::ui::test
