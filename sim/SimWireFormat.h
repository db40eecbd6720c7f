#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

/// The terminal's own reading and writing of PC-link lines, independent of the host's
/// frame code. Pure functions over windows-1251 bytes; thread-safe.

/// Sum of the byte values modulo 256.
std::uint8_t WireSum(std::string_view bytes);

/// A command line split at its name: "AT+NAME=params" -> Name "NAME", HasParams, Params.
/// The bare "AT" gives the name "AT".
struct TSimCommandLine {
  std::string Name;
  bool HasParams = false;
  std::string Params;
};

/// False when the line is not an "AT" command line.
bool SplitCommandLine(std::string_view line, TSimCommandLine& out);

/// One parameter as it stood on the wire.
struct TSimArg {
  std::string Text;     ///< without the quotes when Quoted
  bool Quoted = false;
};

/// Splits parameters at commas outside double quotes; every field is kept, empty ones too.
/// A field is quoted when it begins with a double quote; it ends at a double quote followed
/// by a comma or the end of the text (the first such quote after which the rest still
/// splits), so quoted text may hold quotes of its own. False when a field that does not
/// begin with a quote holds one, or a quoted field never closes.
bool SplitArgs(std::string_view text, std::vector<TSimArg>& out);

/// Reads the parameter text of a sequenced line "seq,p1,...,pn,sum": the checksum must be
/// the decimal sum (no leading zeros) of everything before it up to and including the last
/// comma, and seq a number 1..99 without leading zeros. False when anything is wrong.
bool ParseSequenced(std::string_view params, int& seq, std::vector<TSimArg>& args);

/// "+NAME: body,sum" where sum is WireSum of body (body ends with its comma); the reply
/// checksum rule of the sequenced form.
std::string ChecksumLine(std::string_view name, std::string_view body);

/// "+SMERROR: code,sum".
std::string ErrorLine(std::int32_t code);

/// A field in double quotes (no escaping, as the protocol has none).
std::string QuoteField(std::string_view bytes);

/// A decimal number 0..max written without sign, blanks or leading zeros; false otherwise.
bool ParseCanonical(std::string_view text, std::int64_t max, std::int64_t& value);

}  // namespace quorvel::sim
