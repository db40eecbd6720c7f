#include "BenchView.h"

#include <fmt/format.h>

#include <sys/ioctl.h>
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

std::string TBenchView::Fit(const std::string& row, int columns) {
  std::string line;
  for (char c : row) line += c == '\r' || c == '\n' ? ' ' : c;
  if (columns <= 0) return line;
  // One column short of the width: a row that fills the last column leaves the cursor
  // waiting to wrap, and some terminals then take the erase or the line feed as a new line.
  const std::size_t keep = static_cast<std::size_t>(columns > 1 ? columns - 1 : 1);
  std::size_t chars = 0;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const bool starts = (static_cast<unsigned char>(line[i]) & 0xC0) != 0x80;
    if (starts && ++chars > keep) return line.substr(0, i);
  }
  return line;
}

void TBenchView::Redraw() {
  // Asked at every redraw, so that a resized window is followed.
  winsize size{};
  const int columns = ::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  if (drawn_) std::fprintf(out_, "\x1b[%zuA", rows_.size());
  for (const std::string& row : rows_) std::fprintf(out_, "\r%s\x1b[K\n", Fit(row, columns).c_str());
  drawn_ = true;
}

}  // namespace quorvel::cli
