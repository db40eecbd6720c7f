#include "Progress.h"

#include <fmt/format.h>

#include <unistd.h>

#include <algorithm>

namespace quorvel::cli {

namespace {

constexpr int kBarWidth = 30;

}  // namespace

TProgress::TProgress(std::FILE* out) : out_(out), enabled_(::isatty(::fileno(out)) != 0) {}

void TProgress::Begin(int total) {
  std::lock_guard<std::mutex> guard(lock_);
  steps_.Begin(total);
  drawn_ = false;
}

void TProgress::OnStatus(const std::string& text) {
  if (!enabled_) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (!steps_.OnStatus(text)) return;
  const TTransferProgress::TSnapshot s = steps_.Snapshot();
  std::fputs(Line(s.Total > 0 ? std::min(s.Step, s.Total) : s.Step, s.Total, s.Text).c_str(), out_);
  std::fflush(out_);
  drawn_ = true;
}

void TProgress::End() {
  std::lock_guard<std::mutex> guard(lock_);
  if (drawn_) {
    std::fputs("\n", out_);
    std::fflush(out_);
  }
  steps_.End();
  drawn_ = false;
}

std::string TProgress::Line(int step, int total, const std::string& text) {
  if (total <= 0) return fmt::format("\r[{}] {}\x1b[K", step, text);
  const int filled = std::clamp(step, 0, total) * kBarWidth / total;
  return fmt::format("\r[{}{}] {}/{} {}\x1b[K", std::string(static_cast<std::size_t>(filled), '#'),
                     std::string(static_cast<std::size_t>(kBarWidth - filled), '.'), step, total, text);
}

}  // namespace quorvel::cli
