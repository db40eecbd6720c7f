#include "DataBuffer.h"

#include <chrono>

namespace quorvel {

void TDataBuffer::Clear() {
  std::lock_guard lock(lock_);
  bytes_.clear();
}

void TDataBuffer::Append(std::string_view data) {
  if (data.empty()) return;
  {
    std::lock_guard lock(lock_);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }
  arrived_.notify_all();
}

bool TDataBuffer::ReadByte(unsigned char& out) {
  std::lock_guard lock(lock_);
  if (bytes_.empty()) return false;
  out = bytes_.front();
  bytes_.pop_front();
  return true;
}

bool TDataBuffer::WaitByte(unsigned char& out, int timeoutMs) {
  std::unique_lock lock(lock_);
  if (bytes_.empty() && timeoutMs > 0)
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return !bytes_.empty() || interrupted_; });
  if (bytes_.empty()) return false;
  out = bytes_.front();
  bytes_.pop_front();
  return true;
}

void TDataBuffer::Interrupt() {
  {
    std::lock_guard lock(lock_);
    interrupted_ = true;
  }
  arrived_.notify_all();
}

std::size_t TDataBuffer::Size() const {
  std::lock_guard lock(lock_);
  return bytes_.size();
}

}  // namespace quorvel
