#include "FactoryNumber.h"

#include <algorithm>

#include "Errors.h"

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

std::string NextFactoryNumber(const std::string& number) {
  if (!IsFactoryNumber(number)) throw Exception("Simulator: \"" + number + "\" is no factory number");
  std::string next = number;
  for (auto digit = next.rbegin(); digit != next.rend(); ++digit) {
    if (*digit != '9') {
      ++*digit;
      return next;
    }
    *digit = '0';
  }
  // every digit carried: a longer number while one fits, else the count starts over
  if (next.size() < kFactoryNumberDigits) next.insert(next.begin(), '1');
  return next;
}

}  // namespace quorvel::sim
