#include "ServerParams.h"

#include "Errors.h"

namespace quorvel {

void TServerParams::SetRetryCount(std::int64_t n) {
  CheckRange(n, kMinRetryCount, kMaxRetryCount, kRetryCountRangeName);
  retryCount_ = static_cast<std::int32_t>(n);
}

void TServerParams::Assign(const TServerParams& other) {
  Address = other.Address;
  Port = other.Port;
  SetRetryCount(other.RetryCount());
}

}  // namespace quorvel
