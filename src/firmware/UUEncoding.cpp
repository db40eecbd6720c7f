#include "UUEncoding.h"

#include <algorithm>

namespace quorvel {

namespace {

char EncodeSix(unsigned value) {
  // The space of plain uuencode does not survive lines that get trimmed.
  return value == 0 ? '`' : static_cast<char>(value + 32);
}

unsigned DecodeSix(char c) { return (static_cast<unsigned char>(c) - 32u) & 0x3F; }

}  // namespace

std::string UUEncodeLine(std::string_view bytes) {
  std::string data(bytes.substr(0, kUULineBytes));
  std::size_t count = data.size();
  data.resize((count + 2) / 3 * 3, '\0');
  std::string line(1, static_cast<char>(count + 32));
  for (std::size_t i = 0; i < data.size(); i += 3) {
    unsigned group = static_cast<unsigned char>(data[i]) << 16 |
                     static_cast<unsigned char>(data[i + 1]) << 8 | static_cast<unsigned char>(data[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) line += EncodeSix((group >> shift) & 0x3F);
  }
  return line;
}

std::string UUDecodeLine(std::string_view line) {
  if (line.empty()) return {};
  std::size_t count = DecodeSix(line[0]);
  std::string text(line.substr(1));
  text.resize((text.size() + 3) / 4 * 4, ' ');
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); i += 4) {
    unsigned group = 0;
    for (std::size_t k = 0; k < 4; ++k) group = group << 6 | DecodeSix(text[i + k]);
    bytes += static_cast<char>(group >> 16 & 0xFF);
    bytes += static_cast<char>(group >> 8 & 0xFF);
    bytes += static_cast<char>(group & 0xFF);
  }
  bytes.resize(std::min(count, bytes.size()));
  return bytes;
}

}  // namespace quorvel
