#include "DriverStatus.h"

namespace quorvel {

std::string TDriverStatus::Text() const {
  std::lock_guard lock(lock_);
  return text_;
}

void TDriverStatus::SetText(const std::string& text) {
  TChangeEvent handler;
  {
    std::lock_guard lock(lock_);
    if (text == text_) return;
    text_ = text;
    handler = onChange_;
  }
  if (handler) handler(*this);
}

void TDriverStatus::SetOnChange(TChangeEvent handler) {
  std::lock_guard lock(lock_);
  onChange_ = std::move(handler);
}

}  // namespace quorvel
