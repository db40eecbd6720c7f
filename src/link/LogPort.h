#pragma once

#include <string>

namespace quorvel {

/// Names the port in every line the calling thread writes into the log file while the scope
/// lasts: "[dd.mm.yyyy hh:mm:ss.zzz ] [tid8] [port] text", so that the lines of several ports
/// in one file (a bench) tell whose they are. Threads started on that thread by the port's code
/// (the receiving thread, a firmware worker) take the name along: they open their own scope
/// with LogThreadPort() of the thread that starts them.
/// Threads: the name is the calling thread's own.
class TLogPortScope {
 public:
  explicit TLogPortScope(std::string port);
  /// Puts back the name the thread had before.
  ~TLogPortScope();
  TLogPortScope(const TLogPortScope&) = delete;
  TLogPortScope& operator=(const TLogPortScope&) = delete;

 private:
  std::string previous_;
};

/// The port the calling thread's lines name; empty outside any TLogPortScope.
std::string LogThreadPort();

}  // namespace quorvel
