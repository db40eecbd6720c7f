#pragma once

#include <cstdint>
#include <string>

namespace quorvel::sim {

/// Digits of a factory number as a terminal reports it (CGSN): an IMEI's 15.
inline constexpr std::size_t kFactoryNumberDigits = 15;

/// A factory number of kFactoryNumberDigits digits for a simulator of the process pid started
/// at unixSeconds: processes that run at the same time never get the same one (a pid is
/// unique among live processes and takes at most seven digits), and a pid used again later
/// most likely gets another one through the clock.
std::string UniqueFactoryNumber(std::int64_t pid, std::int64_t unixSeconds);

/// Whether text can be a factory number: 1 to kFactoryNumberDigits decimal digits.
bool IsFactoryNumber(const std::string& text);

/// The factory number of the terminal made after the one with number: one more, as many digits
/// as number has (leading zeros kept); a number of nines grows by a digit up to
/// kFactoryNumberDigits, and kFactoryNumberDigits nines wrap to zeros. Raises Exception
/// (Errors.h) when number is not a factory number (IsFactoryNumber).
std::string NextFactoryNumber(const std::string& number);

}  // namespace quorvel::sim
