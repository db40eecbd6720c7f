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

TWatchView::TWatchView(std::FILE* out) : out_(out), live_(::isatty(::fileno(out)) != 0) {}

std::string TWatchView::Row(const TWatchPort& p) {
  const TTerminalOutcome& t = p.Terminal;
  std::string row = fmt::format("{:<24} {:<16} {}", p.Name, t.FactoryNumber.empty() ? "-" : t.FactoryNumber,
                                WatchStateText(p.State));
  if (p.State == TWatchState::Running && t.StepCount > 0)
    row += fmt::format(": {} {}/{}", t.Step, t.StepIndex, t.StepCount);
  if (!p.Message.empty() && p.State != TWatchState::Running) row += ": " + p.Message;
  return row;
}

std::string TWatchView::SummaryLine(const TWatchSummary& s) {
  std::string line = fmt::format("Готово: {}, ошибок: {}, уже настроены: {}, в час: {:.0f}", s.Done, s.Failed,
                                 s.Skipped, s.PerHour);
  if (s.PoolLeft >= 0) line += fmt::format(", свободных строк: {}", s.PoolLeft);
  if (!s.RecordProblem.empty()) line += "; " + s.RecordProblem;
  return line;
}

void TWatchView::OnChange(const TWatchPort& port, const TWatchSummary& summary) {
  std::lock_guard guard(lock_);
  const auto index = static_cast<std::size_t>(port.Index);
  if (rows_.size() <= index) rows_.resize(index + 1);
  std::string row = Row(port);
  std::string line = SummaryLine(summary);
  const bool rowChanged = row != rows_[index];
  const bool summaryChanged = line != summary_;
  if (!rowChanged && !summaryChanged) return;
  rows_[index] = row;
  summary_ = line;
  if (live_) {
    Redraw();
  } else {
    if (rowChanged) std::fprintf(out_, "%s\n", TBenchView::Fit(row, 0).c_str());
    if (summaryChanged) std::fprintf(out_, "%s\n", TBenchView::Fit(line, 0).c_str());
  }
  std::fflush(out_);
}

void TWatchView::Redraw() {
  winsize size{};
  const int columns = ::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
  if (drawn_ > 0) std::fprintf(out_, "\x1b[%dA", drawn_);
  for (const std::string& row : rows_)
    std::fprintf(out_, "\r%s\x1b[K\n", TBenchView::Fit(row, columns).c_str());
  std::fprintf(out_, "\r%s\x1b[K\n", TBenchView::Fit(summary_, columns).c_str());
  drawn_ = static_cast<int>(rows_.size()) + 1;
}

}  // namespace quorvel::cli
