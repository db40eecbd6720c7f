#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

/// Each byte as two upper-case hexadecimal digits, without separators.
std::string StrToHex(std::string_view bytes);

/// Reads pairs of hexadecimal digits; white space may separate pairs; a single digit followed
/// by white space (or standing alone at the end) is one byte. Stops at the first pair that is
/// not hexadecimal and returns the bytes converted so far.
std::string HexToStr(std::string_view text);

/// Every byte below 32 replaced by '.', all others kept.
std::string PrintableText(std::string_view bytes);

/// Key filter of digit-only fields: codes 8 and 12 and '0'..'9'.
bool IsDigitKey(char32_t key);

/// Key filter of numeric fields: '0'..'9', the decimal separator '.', and the control codes
/// 3 (copy), 8 (backspace), 12, 22 (paste), 24 (cut), 26 (undo).
bool IsNumericKey(char32_t key);

/// Removes characters with codes up to 32 at both ends (bytes 128..255 are kept).
std::string Trim(std::string_view text);

/// True when text begins with prefix.
bool StartsWith(std::string_view text, std::string_view prefix);

/// Length in bytes of the UTF-8 sequence that lead starts, or 0 when lead cannot start one.
std::size_t Utf8SequenceLength(unsigned char lead);

/// Number of characters (code points) of a UTF-8 text; length limits count these.
std::size_t Utf8Length(std::string_view text);

/// Parses a signed decimal integer (optional sign, digits only, no blanks) as the strict
/// conversions of the program do; raises EConvertError with the text on failure.
std::int64_t StrToInt64(std::string_view text);

/// As StrToInt64 for the 32-bit range.
std::int32_t StrToInt(std::string_view text);

/// As StrToInt64 without raising; returns false when the text is not a number.
bool TryStrToInt64(std::string_view text, std::int64_t& value);

/// The lines of a text: CR LF, CR and LF each end one; a final line break adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

/// Exactly count lines of a text as SplitLines reads it: line i of the text, or an empty line
/// when the text has fewer; lines after the count are dropped (the ten receipt lines).
std::vector<std::string> FixedLines(std::string_view text, std::size_t count);

/// The lines each followed by CR LF, empty ones included.
std::string CrLfText(const std::vector<std::string>& lines);

}  // namespace quorvel
