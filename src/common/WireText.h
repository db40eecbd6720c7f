#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

/// Longest command line the link sends or takes back, bytes without CR LF. The terminal
/// echoes every command, and an echo longer than this is dropped as line noise, so a longer
/// command could never complete.
inline constexpr std::size_t kMaxWireLineLength = 4096;
/// Longest single text value a command may carry: the line less room for the command name,
/// sequence number, the short fields beside the value, the quotes and the checksum.
inline constexpr std::size_t kMaxWireValueLength = kMaxWireLineLength - 96;
/// Characters of a user's value an error message quotes at most.
inline constexpr std::size_t kMaxQuotedValueLength = 60;

/// A user's value as an error message quotes it: its first 60 characters, followed by "…"
/// when it is longer. Bytes that are not UTF-8 count one character each. Thread-safe.
std::string ShortValue(std::string_view utf8);
/// ShortValue between double quotes.
std::string QuotedValue(std::string_view utf8);

/// DEL, the one control code above the blank.
inline constexpr unsigned char kDel = 127;

/// A control code, 0..31 or DEL: the line has no escapes, and the terminal drops or acts on
/// these bytes instead of storing them.
constexpr bool IsWireControl(unsigned char c) { return c < 32 || c == kDel; }

/// How an error message names one character: the character in double quotes, and for control
/// characters their usual name, always with the decimal code: "\"" (код 34), TAB (код 9),
/// DEL (код 127), код 1.
std::string CharDescription(unsigned char c);

/// Refuses a text that goes on the wire between double quotes: a double quote or a control
/// code (IsWireControl: the frame has no escapes and drops or ends lines at them), or a character
/// windows-1251 cannot hold (EEncodingError). The Exception names the field by its caption as
/// the page shows it. Thread-safe.
void CheckWireChars(std::string_view utf8, std::string_view caption);
/// CheckWireChars, then at most maxLength characters (not bytes): a single value has to fit
/// one command line.
void CheckWireText(std::string_view utf8, std::string_view caption,
                   std::size_t maxLength = kMaxWireValueLength);
/// Refuses a value that is not made of the digits 0..9 only (an empty one too unless
/// allowEmpty), or longer than maxLength characters (0: no limit of its own).
void CheckWireDigits(std::string_view utf8, std::string_view caption, std::size_t maxLength = 0,
                     bool allowEmpty = false);

/// Message texts of the checks.
inline constexpr const char* kWireBadCharText = "содержит недопустимый символ";
inline constexpr const char* kWireDigitsText = "должно содержать только цифры";
inline constexpr const char* kWireTooLongText = "слишком длинное значение";

}  // namespace quorvel
