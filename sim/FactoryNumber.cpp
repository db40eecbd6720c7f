#include "FactoryNumber.h"

#include <algorithm>

namespace quorvel::sim {

namespace {

constexpr const char* kFactoryPrefix = "35436";  // the type allocation code the simulator has always shown

// The last width decimal digits of value, zeros in front.
std::string LastDigits(std::int64_t value, std::size_t width) {
  std::string digits = std::to_string(static_cast<std::uint64_t>(value < 0 ? -value : value));
  if (digits.size() > width) digits.erase(0, digits.size() - width);
  return std::string(width - digits.size(), '0') + digits;
}

}  // namespace

std::string UniqueFactoryNumber(std::int64_t pid, std::int64_t unixSeconds) {
  return kFactoryPrefix + LastDigits(pid, 7) + LastDigits(unixSeconds, 3);
}

bool IsFactoryNumber(const std::string& text) {
  return !text.empty() && text.size() <= kFactoryNumberDigits &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace quorvel::sim
