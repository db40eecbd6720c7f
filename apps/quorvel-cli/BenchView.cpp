#include "BenchView.h"

#include <fmt/format.h>

#include <unistd.h>

namespace quorvel::cli {

TBenchView::TBenchView(std::FILE* out, const std::vector<std::string>& ports)
    : out_(out), live_(::isatty(::fileno(out)) != 0) {
  for (const std::string& port : ports) {
    TTerminalOutcome waiting;
    waiting.Port = port;
    rows_.push_back(Row(waiting));
  }
}

std::string TBenchView::Row(const TTerminalOutcome& o) {
  std::string row =
      fmt::format("{:<16} {:<16} {:<28} {}/{} {}", o.Port, o.FactoryNumber.empty() ? "-" : o.FactoryNumber,
                  o.Step, o.StepIndex, o.StepCount, BenchStateText(o.State));
  if (!o.Message.empty()) row += ": " + o.Message;
  return row;
}

void TBenchView::OnChange(int index, const TTerminalOutcome& outcome) {
  std::lock_guard guard(lock_);
  std::string row = Row(outcome);
  std::string& kept = rows_.at(static_cast<std::size_t>(index));
  if (row == kept && drawn_) return;
  kept = row;
  if (live_) {
    Redraw();
  } else {
    for (char& c : row)
      if (c == '\r' || c == '\n') c = ' ';
    std::fprintf(out_, "%s\n", row.c_str());
  }
  std::fflush(out_);
}

void TBenchView::Redraw() {
  if (drawn_) std::fprintf(out_, "\x1b[%zuA", rows_.size());
  for (const std::string& row : rows_) std::fprintf(out_, "\r%s\x1b[K\n", row.c_str());
  drawn_ = true;
}

}  // namespace quorvel::cli
