#include "WireText.h"

#include "Cp1251.h"
#include "Errors.h"
#include "TextUtils.h"

#include <fmt/format.h>

#include <algorithm>

namespace quorvel {

namespace {

constexpr const char* kEllipsis = "…";

std::string FieldText(std::string_view caption) { return fmt::format("Поле \"{}\"", caption); }

// Byte length of the first `chars` characters; a byte that cannot start a sequence counts as one.
std::size_t PrefixBytes(std::string_view utf8, std::size_t chars) {
  std::size_t i = 0;
  for (; i < utf8.size() && chars > 0; --chars) {
    const std::size_t n = Utf8SequenceLength(static_cast<unsigned char>(utf8[i]));
    i += n == 0 ? 1 : n;
  }
  return std::min(i, utf8.size());
}

void CheckLength(std::string_view utf8, std::string_view caption, std::size_t maxLength) {
  const std::size_t length = Utf8Length(utf8);
  if (length > maxLength)
    throw Exception(fmt::format("{}: {}, {} символов (не более {})", FieldText(caption), kWireTooLongText,
                                length, maxLength));
}

}  // namespace

std::string ShortValue(std::string_view utf8) {
  const std::size_t cut = PrefixBytes(utf8, kMaxQuotedValueLength);
  std::string out(utf8.substr(0, cut));
  if (cut < utf8.size()) out += kEllipsis;
  return out;
}

std::string QuotedValue(std::string_view utf8) { return "\"" + ShortValue(utf8) + "\""; }

std::string CharDescription(unsigned char c) {
  const char* name = nullptr;
  switch (c) {
    case 9:
      name = "TAB";
      break;
    case 10:
      name = "LF";
      break;
    case 13:
      name = "CR";
      break;
    case kDel:
      name = "DEL";
      break;
    default:
      break;
  }
  if (name != nullptr) return fmt::format("{} (код {})", name, c);
  if (IsWireControl(c)) return fmt::format("код {}", c);
  return fmt::format("\"{}\" (код {})", static_cast<char>(c), c);
}

void CheckWireChars(std::string_view utf8, std::string_view caption) {
  for (char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsWireControl(c) || c == '"')
      throw Exception(fmt::format("{} {}: {}", FieldText(caption), kWireBadCharText, CharDescription(c)));
  }
  try {
    (void)Utf8ToCp1251(utf8);
  } catch (const EEncodingError& e) {
    throw EEncodingError(fmt::format("{}: {}", FieldText(caption), e.what()));
  }
}

void CheckWireText(std::string_view utf8, std::string_view caption, std::size_t maxLength) {
  CheckWireChars(utf8, caption);
  CheckLength(utf8, caption, std::min(maxLength, kMaxWireValueLength));
}

void CheckWireDigits(std::string_view utf8, std::string_view caption, std::size_t maxLength,
                     bool allowEmpty) {
  bool ok = allowEmpty || !utf8.empty();
  for (char c : utf8) ok = ok && c >= '0' && c <= '9';
  if (!ok) throw Exception(fmt::format("{} {}: {}", FieldText(caption), kWireDigitsText, QuotedValue(utf8)));
  CheckLength(utf8, caption, maxLength == 0 ? kMaxWireValueLength : maxLength);
}

}  // namespace quorvel
