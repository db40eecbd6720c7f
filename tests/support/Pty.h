#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel::test {

/// A pseudo-terminal pair for tests: the code under test opens SlavePath() like a serial
/// device, the test plays the other end through the master. Both sides start raw (no echo,
/// no translation). Raises std::runtime_error when no pty can be had.
/// Threads: Write and Read may run on different threads; CloseMaster on any thread, once
/// the others are done with the master or as the test's way of pulling the cable.
class Pty {
 public:
  Pty();
  /// Closes the master when still open.
  ~Pty();
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  /// Path of the slave side, e.g. /dev/pts/3.
  const std::string& SlavePath() const { return slavePath_; }
  /// The master descriptor (-1 after CloseMaster), for tcgetattr and the like.
  int MasterFd() const { return master_.load(); }

  /// Writes all bytes to the master; false when they could not all be written within
  /// timeoutMs (nobody reads the slave) or the master fails.
  bool Write(std::string_view data, int timeoutMs = 5000);
  /// Reads from the master until count bytes arrived, timeoutMs passed without them, or
  /// the slave side is closed; returns what arrived.
  std::string Read(std::size_t count, int timeoutMs = 5000);
  /// Closes the master: the slave side then sees a hang-up (read EIO, POLLHUP).
  void CloseMaster();

 private:
  std::atomic<int> master_{-1};
  std::string slavePath_;
};

}  // namespace quorvel::test
