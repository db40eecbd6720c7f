#pragma once

#include <cstdint>
#include <string>

namespace quorvel {

/// Name given to CheckRange for a retry count outside 1..100.
inline constexpr const char* kRetryCountRangeName = "Неверное значение числа повторов";

/// The payment server parameters of one payment system.
/// Threads: model objects are used by one thread at a time.
class TServerParams {
 public:
  /// Smallest and largest retry count.
  static constexpr std::int32_t kMinRetryCount = 1;
  static constexpr std::int32_t kMaxRetryCount = 100;

  TServerParams() = default;
  TServerParams(const TServerParams&) = delete;
  TServerParams& operator=(const TServerParams&) = delete;

  /// Server address (an IP address as text).
  std::string Address;

  /// How many times the terminal tries the server; 1 at creation.
  std::int32_t RetryCount() const { return retryCount_; }
  /// Stores n after CheckRange(n, 1, 100, kRetryCountRangeName); out of range raises
  /// "Неверное значение числа повторов, <n>. Допустимые значения: 1..100" and keeps the old
  /// value.
  void SetRetryCount(std::int64_t n);

  /// The server's name (web address) as the terminal reports it.
  std::string ServerName;
  /// Server port; 0 at creation (the range is checked when it is written to the terminal).
  std::int32_t Port = 0;

  /// Copies Address and Port, and RetryCount through SetRetryCount (which may raise, after
  /// Address and Port were copied). ServerName is not copied.
  void Assign(const TServerParams& other);

 private:
  std::int32_t retryCount_ = 1;
};

}  // namespace quorvel
