#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quorvel {

/// The general error of the program: validation and file failures. The message is the
/// user-facing (Russian) text, UTF-8.
class Exception : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

/// A text that should hold a number does not.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

/// Text that cannot be carried in windows-1251 (or bytes that are not valid UTF-8).
class EEncodingError : public Exception {
public:
  using Exception::Exception;
};

/// A terminal or link failure with the numeric result code of the exchange
/// (0 success, terminal codes, 1000..1005 for the link's own failures).
class EDriverError : public Exception {
public:
  EDriverError(const std::string& message, std::int64_t resultCode)
      : Exception(message), resultCode_(resultCode) {}

  /// The result code the failure carries.
  std::int64_t ResultCode() const noexcept { return resultCode_; }

private:
  std::int64_t resultCode_;
};

/// The silent cancellation: the user answered No or stopped a transfer. Error displays
/// show nothing for it.
class EAbort : public Exception {
public:
  EAbort();
};

/// The message text of EAbort.
inline constexpr const char* kAbortMessage = "Операция прервана";

/// Raises EAbort.
[[noreturn]] void RaiseAbort();

/// Does nothing when min <= value <= max; otherwise raises Exception with the text
/// "<name>, <value>. Допустимые значения: <min>..<max>".
void CheckRange(std::int64_t value, std::int64_t min, std::int64_t max, const std::string& name);

}  // namespace quorvel
