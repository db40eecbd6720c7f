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

}  // namespace quorvel::sim
