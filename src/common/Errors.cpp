#include "Errors.h"

#include <fmt/printf.h>

namespace quorvel {

EAbort::EAbort() : Exception(kAbortMessage) {}

void RaiseAbort() { throw EAbort(); }

void CheckRange(std::int64_t value, std::int64_t min, std::int64_t max, const std::string& name) {
  if (value >= min && value <= max) return;
  throw Exception(fmt::sprintf("%s, %d. %s: %d..%d", name, value, "Допустимые значения", min, max));
}

}  // namespace quorvel
