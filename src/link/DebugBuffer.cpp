#include "DebugBuffer.h"

namespace quorvel {

void TDebugBuffer::Append(std::string_view chunk) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (chunk.size() >= kDebugBufferSize) {
    text_.assign(chunk.substr(chunk.size() - kDebugBufferSize));
  } else {
    text_.append(chunk);
    if (text_.size() > kDebugBufferSize) text_.erase(0, text_.size() - kDebugBufferSize);
  }
  changed_ = true;
}

bool TDebugBuffer::Take(std::string& text) {
  const std::lock_guard<std::mutex> guard(lock_);
  if (!changed_) return false;
  changed_ = false;
  if (text_ == "\r" || text_ == "\b") return false;
  text = text_;
  return true;
}

void TDebugBuffer::Clear() {
  const std::lock_guard<std::mutex> guard(lock_);
  text_.clear();
  changed_ = false;
}

std::size_t TDebugBuffer::Size() const {
  const std::lock_guard<std::mutex> guard(lock_);
  return text_.size();
}

}  // namespace quorvel
