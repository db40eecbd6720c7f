#include "Progress.h"

#include <fmt/format.h>

#include <unistd.h>

#include <algorithm>

namespace quorvel::cli {

namespace {

constexpr int kBarWidth = 30;
constexpr const char* kRetryMark = ", retry ";  // the driver's text of a repeated attempt

// "Запись данных XML файла, пакет 3..." without the dots the driver adds.
std::string Bare(const std::string& text) {
  std::string out = text;
  while (!out.empty() && out.back() == '.') out.pop_back();
  return out;
}

}  // namespace

TProgress::TProgress(std::FILE* out) : out_(out), enabled_(::isatty(::fileno(out)) != 0) {}

void TProgress::Begin(int total) {
  std::lock_guard<std::mutex> guard(lock_);
  open_ = true;
  drawn_ = false;
  total_ = std::max(0, total);
  step_ = 0;
}

void TProgress::OnStatus(const std::string& text) {
  if (!enabled_ || text.empty()) return;
  std::lock_guard<std::mutex> guard(lock_);
  if (!open_) return;
  const std::string bare = Bare(text);
  if (bare.find(kRetryMark) == std::string::npos) ++step_;
  std::fputs(Line(total_ > 0 ? std::min(step_, total_) : step_, total_, bare).c_str(), out_);
  std::fflush(out_);
  drawn_ = true;
}

void TProgress::End() {
  std::lock_guard<std::mutex> guard(lock_);
  if (drawn_) {
    std::fputs("\n", out_);
    std::fflush(out_);
  }
  open_ = false;
  drawn_ = false;
}

std::string TProgress::Line(int step, int total, const std::string& text) {
  if (total <= 0) return fmt::format("\r[{}] {}\x1b[K", step, text);
  const int filled = std::clamp(step, 0, total) * kBarWidth / total;
  return fmt::format("\r[{}{}] {}/{} {}\x1b[K", std::string(static_cast<std::size_t>(filled), '#'),
                     std::string(static_cast<std::size_t>(kBarWidth - filled), '.'), step, total, text);
}

}  // namespace quorvel::cli
