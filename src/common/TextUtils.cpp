#include "TextUtils.h"

#include "Errors.h"
#include "WireText.h"

#include <charconv>
#include <limits>

namespace quorvel {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

std::string StrToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
  return out;
}

std::string HexToStr(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (IsBlank(text[i])) {
      ++i;
      continue;
    }
    int hi = HexDigit(text[i]);
    if (hi < 0) break;
    if (i + 1 >= text.size() || IsBlank(text[i + 1])) {
      out.push_back(static_cast<char>(hi));
      i += 1;
      continue;
    }
    int lo = HexDigit(text[i + 1]);
    if (lo < 0) break;
    out.push_back(static_cast<char>(hi * 16 + lo));
    i += 2;
  }
  return out;
}

std::string PrintableText(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 32) c = '.';
  return out;
}

bool IsDigitKey(char32_t key) { return key == 8 || key == 12 || (key >= U'0' && key <= U'9'); }

bool IsNumericKey(char32_t key) {
  if (key >= U'0' && key <= U'9') return true;
  switch (key) {
    case U'.':
    case 3:
    case 8:
    case 12:
    case 22:
    case 24:
    case 26:
      return true;
    default:
      return false;
  }
}

std::string Trim(std::string_view text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
  return std::string(text.substr(b, e - b));
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 0;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool TryStrToInt64(std::string_view text, std::int64_t& value) {
  std::string_view digits = text;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty() || digits.front() == '+') return false;
  auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return ec == std::errc() && ptr == digits.data() + digits.size();
}

std::int64_t StrToInt64(std::string_view text) {
  std::int64_t v = 0;
  if (!TryStrToInt64(text, v)) throw EConvertError("'" + ShortValue(text) + "' - неверное целое значение");
  return v;
}

std::int32_t StrToInt(std::string_view text) {
  std::int64_t v = StrToInt64(text);
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    throw EConvertError("'" + ShortValue(text) + "' - неверное целое значение");
  return static_cast<std::int32_t>(v);
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::vector<std::string> FixedLines(std::string_view text, std::size_t count) {
  std::vector<std::string> lines = SplitLines(text);
  lines.resize(count);
  return lines;
}

std::string CrLfText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace quorvel
