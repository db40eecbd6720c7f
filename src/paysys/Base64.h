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

/// The same bytes in reverse order: turns a little-endian number into a most-significant-first
/// one and back.
std::string ReverseBytes(std::string_view bytes);

}  // namespace quorvel
