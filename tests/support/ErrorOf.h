#pragma once

#include "Errors.h"

#include <functional>
#include <string>

namespace quorvel::test {

/// The message of the Exception action raises, or an empty text when it raises none (so a
/// table can expect "" for the values that pass).
inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return {};
}

}  // namespace quorvel::test
