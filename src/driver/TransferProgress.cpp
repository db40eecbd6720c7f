#include "TransferProgress.h"

#include "ModemDriver.h"

#include <algorithm>
#include <string_view>

namespace quorvel {

namespace {

// What kRetryFmt puts between the repeated text and the attempt number.
constexpr std::string_view kRetryMark = ", retry ";

std::string WithoutDots(const std::string& text) {
  std::string out = text;
  while (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

}  // namespace

void TTransferProgress::Begin(int total) {
  std::lock_guard<std::mutex> guard(lock_);
  s_ = TSnapshot{};
  s_.Open = true;
  s_.Total = std::max(0, total);
}

bool TTransferProgress::OnStatus(const std::string& text) {
  if (text.empty()) return false;
  std::lock_guard<std::mutex> guard(lock_);
  if (!s_.Open) return false;
  s_.Text = WithoutDots(text);
  if (s_.Text.find(kRetryMark) == std::string::npos) {
    // A new step starts when the one before it has ended.
    s_.Done = s_.Step;
    ++s_.Step;
  }
  return true;
}

void TTransferProgress::End() {
  std::lock_guard<std::mutex> guard(lock_);
  s_.Open = false;
}

void TTransferProgress::Complete() {
  std::lock_guard<std::mutex> guard(lock_);
  s_.Open = false;
  s_.Done = s_.Step;
}

TTransferProgress::TSnapshot TTransferProgress::Snapshot() const {
  std::lock_guard<std::mutex> guard(lock_);
  return s_;
}

int DataFilePackets(std::size_t size) {
  return static_cast<int>(std::max<std::size_t>(1, (size + kDataPacketSize - 1) / kDataPacketSize));
}

}  // namespace quorvel
