#pragma once

#include <string>

namespace quorvel {

/// The questions an operation asks in its middle (switch the payment system? overwrite with
/// test settings?). The desktop program answers with a message box (warning icon, Yes and No,
/// titled with the application title), the command line with a terminal prompt or its
/// --yes/--no option, tests with scripted answers.
/// Threads: called on the thread that runs the facade operation.
class IPrompt {
 public:
  virtual ~IPrompt() = default;
  /// Shows the question (UTF-8, lines separated by CR LF) and waits for the answer; true for
  /// Yes.
  virtual bool Confirm(const std::string& question) = 0;
};

/// A prompt that gives the same answer to every question without showing it.
class TFixedPrompt final : public IPrompt {
 public:
  explicit TFixedPrompt(bool answer) : answer_(answer) {}
  bool Confirm(const std::string&) override { return answer_; }

 private:
  bool answer_;
};

}  // namespace quorvel
