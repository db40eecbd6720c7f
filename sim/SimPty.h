#pragma once

#include <string>

namespace quorvel::sim {

/// The simulator's pseudo-terminal: the master (raw, non-blocking) that the server reads
/// and writes, and a descriptor of the slave that the simulator keeps open itself, so the
/// master never sees a hang-up while no host has the port open.
/// Threads: created and destroyed by the simulator's owner thread; Master() is used by the
/// server thread.
class TSimPty {
 public:
  /// Raises quorvel::Exception naming the failing call when no pty can be had.
  TSimPty();
  ~TSimPty();
  TSimPty(const TSimPty&) = delete;
  TSimPty& operator=(const TSimPty&) = delete;

  int Master() const { return master_; }
  const std::string& SlavePath() const { return slavePath_; }
  /// Drops the bytes waiting in both directions.
  void Flush();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace quorvel::sim
