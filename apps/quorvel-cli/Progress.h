#pragma once

#include "TransferProgress.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace quorvel::cli {

/// A progress line for transfers of many packets, drawn on a terminal from the driver's
/// status texts as TTransferProgress counts them; when the number of steps is known a bar is drawn, otherwise
/// a count. Drawing happens only while a transfer is open and only when the output is a terminal. Threads:
/// OnStatus may run on the port's thread while Begin/End run on the main thread.
class TProgress {
 public:
  /// Draws on out when it is a terminal (isatty), never otherwise.
  explicit TProgress(std::FILE* out);

  /// Opens a transfer of about total steps (0: unknown).
  void Begin(int total);
  /// Takes a status text of the driver (empty texts and texts of retries count for nothing).
  void OnStatus(const std::string& text);
  /// Closes the transfer: ends the drawn line when something was drawn.
  void End();

 private:
  static std::string Line(int step, int total, const std::string& text);

  std::FILE* out_;
  bool enabled_;
  TTransferProgress steps_;
  std::mutex lock_;  // the drawn line
  bool drawn_ = false;
};

/// Opens a transfer on progress (when given) and closes it at the end of the scope.
class TProgressScope {
 public:
  TProgressScope(TProgress* progress, int total) : progress_(progress) {
    if (progress_ != nullptr) progress_->Begin(total);
  }
  ~TProgressScope() {
    if (progress_ != nullptr) progress_->End();
  }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;

 private:
  TProgress* progress_;
};

}  // namespace quorvel::cli
