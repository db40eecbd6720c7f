#pragma once

#include "BenchRun.h"
#include "BenchWatch.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::cli {

/// The bench's rows, one per terminal: port, factory number, step, progress, result. On a
/// terminal the rows stand still and are redrawn in place, each cut to the terminal's width
/// (a long message is cut, never wrapped, so the rows stay where they are); in a pipe or file each change of
/// a terminal's step or result is one plain line. Threads: OnChange may run on any thread (the run calls it
/// one at a time).
class TBenchView {
 public:
  /// Draws on out, in place when it is a terminal.
  TBenchView(std::FILE* out, const std::vector<std::string>& ports);
  void OnChange(int index, const TTerminalOutcome& outcome);

  /// One row's text.
  static std::string Row(const TTerminalOutcome& outcome);
  /// row on one line of a terminal columns wide: line breaks made blanks, cut to at most
  /// columns - 1 characters (UTF-8 sequences kept whole); columns 0 (unknown): not cut.
  static std::string Fit(const std::string& row, int columns);

 private:
  void Redraw();

  std::FILE* out_;
  bool live_;
  bool drawn_ = false;
  std::vector<std::string> rows_;
  std::mutex lock_;
};

/// The continuous bench's rows, one per port as ports are seen, and a summary line under them:
/// drawn in place on a terminal as TBenchView does, one plain line per change in a pipe or file
/// (the summary when it changes). Threads: OnChange on any thread.
class TWatchView {
 public:
  explicit TWatchView(std::FILE* out);
  void OnChange(const TWatchPort& port, const TWatchSummary& summary);

  static std::string Row(const TWatchPort& port);
  static std::string SummaryLine(const TWatchSummary& summary);

 private:
  void Redraw();

  std::FILE* out_;
  bool live_;
  int drawn_ = 0;  // lines on screen from the last redraw
  std::vector<std::string> rows_;
  std::string summary_;
  std::mutex lock_;
};

}  // namespace quorvel::cli
