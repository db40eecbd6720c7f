#include "DriverStatus.h"

namespace quorvel {

std::string TDriverStatus::Text() const {
  std::lock_guard lock(lock_);
  return text_;
}

void TDriverStatus::SetText(const std::string& text) {
  TChangeEvent handler;
  std::vector<std::pair<int, TChangeEvent>> listeners;
  {
    std::lock_guard lock(lock_);
    if (text == text_) return;
    text_ = text;
    handler = onChange_;
    listeners = listeners_;
  }
  if (handler) handler(*this);
  for (auto& listener : listeners) listener.second(*this);
}

void TDriverStatus::SetOnChange(TChangeEvent handler) {
  std::lock_guard lock(lock_);
  onChange_ = std::move(handler);
}

int TDriverStatus::AddListener(TChangeEvent handler) {
  std::lock_guard lock(lock_);
  const int key = nextKey_++;
  listeners_.emplace_back(key, std::move(handler));
  return key;
}

void TDriverStatus::RemoveListener(int key) {
  std::lock_guard lock(lock_);
  std::erase_if(listeners_, [key](const auto& listener) { return listener.first == key; });
}

}  // namespace quorvel
