#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

/// Message of Base64Decode for a text whose length is not a multiple of 4 greater than 3.
inline constexpr const char* kBase64LengthMessage = "Base64ToStr: illegal input length!";

/// Standard Base64 (alphabet A-Z a-z 0-9 + /) of every byte of the input, trailing zero bytes
/// included; the last incomplete group is completed with "=". No line breaks. Empty input
/// gives empty text. Thread-safe.
std::string Base64Encode(std::string_view bytes);

/// Decodes text made by Base64Encode. The length must be greater than 3 and a multiple of 4,
/// otherwise raises Exception(kBase64LengthMessage). Each group of four characters gives three
/// bytes; a character outside the alphabet ("=" and blanks included) counts as the value 61;
/// finally as many bytes are dropped from the end as the text has trailing "=" characters
/// (never more than were decoded). Thread-safe.
std::string Base64Decode(std::string_view text);

/// Decodes standard Base64 and nothing else: blanks, tabs and line breaks anywhere are skipped
/// (text split over lines), every other character must be of the alphabet, "=" only as the
/// padding of the last group, and the characters must make whole groups of four. Text of
/// blanks only gives no bytes. Raises Exception naming the first character outside the
/// alphabet (kBase64CharMessage, with its code and position counted from 1) or the broken
/// length (kBase64StrictLengthMessage). Thread-safe.
std::string Base64DecodeStrict(std::string_view text);
/// Messages of Base64DecodeStrict.
inline constexpr const char* kBase64CharMessage = "Base64: недопустимый символ (код 0x{:02X}) в позиции {}";
inline constexpr const char* kBase64StrictLengthMessage = "Base64: число символов не кратно четырем";

/// The same bytes in reverse order: turns a little-endian number into a most-significant-first
/// one and back.
std::string ReverseBytes(std::string_view bytes);

}  // namespace quorvel
