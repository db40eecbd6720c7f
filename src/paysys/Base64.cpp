#include "Base64.h"

#include "Errors.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace quorvel {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Characters outside the alphabet decode as 61 ('9'): the decoder never rejects a character,
// only a length, and keys written by older tools rely on that leniency.
constexpr std::uint8_t kForeignValue = 61;

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  for (auto& v : table) v = kForeignValue;
  for (std::size_t i = 0; i < kAlphabet.size(); ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return table;
}

constexpr std::array<std::uint8_t, 256> kDecodeTable = MakeDecodeTable();

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      const std::uint32_t b = k < n ? static_cast<unsigned char>(bytes[i + k]) : 0;
      group = (group << 8) | b;
    }
    for (std::size_t k = 0; k < 4; ++k) {
      // n input bytes fill n + 1 output characters; the rest are padding
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::string Base64Decode(std::string_view text) {
  if (text.size() <= 3 || text.size() % 4 != 0) throw Exception(kBase64LengthMessage);
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      group = (group << 6) | kDecodeTable[static_cast<unsigned char>(text[i + k])];
    }
    out += static_cast<char>((group >> 16) & 0xFF);
    out += static_cast<char>((group >> 8) & 0xFF);
    out += static_cast<char>(group & 0xFF);
  }
  std::size_t padding = 0;
  while (padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  out.resize(out.size() - std::min(padding, out.size()));
  return out;
}

std::string Base64DecodeStrict(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  int count = 0;    // characters of the current group
  int padding = 0;  // "=" seen; nothing but blanks and more padding may follow one
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    const bool pad = c == '=' && count >= 2 && padding < 2;
    const bool letter = kAlphabet.find(static_cast<char>(c)) != std::string_view::npos;
    if (!(pad || (letter && padding == 0))) throw Exception(fmt::format(kBase64CharMessage, c, i + 1));
    padding += pad ? 1 : 0;
    group = (group << 6) | (pad ? 0 : kDecodeTable[c]);
    if (++count < 4) continue;
    out += static_cast<char>((group >> 16) & 0xFF);
    if (padding < 2) out += static_cast<char>((group >> 8) & 0xFF);
    if (padding < 1) out += static_cast<char>(group & 0xFF);
    group = 0;
    count = 0;
    if (padding > 0) padding = 3;  // the padded group was the last
  }
  if (count != 0) throw Exception(kBase64StrictLengthMessage);
  return out;
}

std::string ReverseBytes(std::string_view bytes) { return std::string(bytes.rbegin(), bytes.rend()); }

}  // namespace quorvel
