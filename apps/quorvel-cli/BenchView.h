#pragma once

#include "BenchRun.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::cli {

/// The bench's rows, one per terminal: port, factory number, step, progress, result. On a
/// terminal the rows stand still and are redrawn in place; in a pipe or file each change of a
/// terminal's step or result is one plain line.
/// Threads: OnChange may run on any thread (the run calls it one at a time).
class TBenchView {
 public:
  /// Draws on out, in place when it is a terminal.
  TBenchView(std::FILE* out, const std::vector<std::string>& ports);
  void OnChange(int index, const TTerminalOutcome& outcome);

  /// One row's text.
  static std::string Row(const TTerminalOutcome& outcome);

 private:
  void Redraw();

  std::FILE* out_;
  bool live_;
  bool drawn_ = false;
  std::vector<std::string> rows_;
  std::mutex lock_;
};

}  // namespace quorvel::cli
