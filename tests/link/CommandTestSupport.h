#pragma once

#include <string>
#include <string_view>

namespace quorvel::test {

/// Sum of the 8-bit codes modulo 256, written here independently of TCommand::FrameCrc.
inline int Sum256(std::string_view text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return static_cast<int>(sum % 256);
}

/// Text followed by its checksum: "3,ABC," -> "3,ABC,81".
inline std::string WithCrc(std::string_view text) { return std::string(text) + std::to_string(Sum256(text)); }

/// A sequenced data line "+<base>: <text><crc>" without line end.
inline std::string DataLine(std::string_view base, std::string_view text) {
  return "+" + std::string(base) + ": " + WithCrc(text);
}

/// A +SMERROR line for code text, with a valid checksum.
inline std::string ErrorLine(std::string_view code) {
  return "+SMERROR: " + WithCrc(std::string(code) + ",");
}

}  // namespace quorvel::test
