#pragma once

#include "Bootloader.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::sim {

/// A terminal that sits in its ISP bootloader behind a pseudo-terminal, on its own (the
/// part restarted into ISP mode): a host opens SlavePath() like a serial device and talks
/// to a TBootloader. Replies are paced at the baud rate when one is given (10 bits per
/// byte); a slow erase or any other pause holds the reply back without blocking the input.
///   auto memory = std::make_shared<TBootloaderFlash>();
///   TBootloaderPty part(memory, 115200);
///   part.Start();
///   RunHost(part.SlavePath());
///   EXPECT_EQ(memory->Flash().substr(0, 4), ...);
/// Threads: every public call is thread-safe; the dialogue runs on a thread of its own.
class TBootloaderPty {
 public:
  /// baudRate 0: unthrottled.
  explicit TBootloaderPty(std::shared_ptr<TBootloaderFlash> memory, int baudRate = 0);
  /// Stops the server.
  ~TBootloaderPty();
  TBootloaderPty(const TBootloaderPty&) = delete;
  TBootloaderPty& operator=(const TBootloaderPty&) = delete;

  /// Opens the pty (raw) and starts serving; raises std::runtime_error when no pty can be
  /// had. Nothing when running.
  void Start();
  /// Stops serving and closes the pty; returns when the thread has ended.
  void Stop();
  /// Path of the slave side; empty before Start.
  std::string SlavePath() const;

  /// A part reset: a fresh session waiting for "?", the boot block mapped, flash kept.
  void Restart();
  /// Arms faults on this session and the later ones (HangUpOnLine ends the serving for good).
  void SetFaults(const TBootloaderFaults& faults);
  void SetBaudRate(int baudRate);
  /// The session ended with a jump into the user program.
  bool SessionEnded() const;
  /// Every line received so far (without CR LF), the data lines included.
  std::vector<std::string> ReceivedLines() const;
  TBootloaderFlash& Memory() { return *memory_; }

 private:
  class TWire;
  void Serve();
  using Clock = std::chrono::steady_clock;
  bool WriteOut(const std::string& bytes);
  bool SleepUntil(Clock::time_point due);

  std::shared_ptr<TBootloaderFlash> memory_;
  std::atomic<int> baudRate_;
  mutable std::mutex lock_;  // handler, faults, lines
  std::unique_ptr<TBootloader> handler_;
  TBootloaderFaults faults_;
  std::vector<std::string> lines_;
  std::string slavePath_;
  int master_ = -1;
  int slave_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  std::thread thread_;
  // Server thread only: when each direction of the simulated line is free again.
  Clock::time_point inFree_;
  Clock::time_point outFree_;
};

}  // namespace quorvel::sim
