#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "SimPty.h"
#include "SimTerminal.h"
#include "TerminalSim.h"

namespace quorvel::sim {

/// The serving side of TTerminalSim: the pty, the server thread with its poll() loop, the
/// line-rate pacing of both directions and the switch between the command mode and the
/// bootloader. Public calls take the lock; the handlers run on the server thread with the
/// lock held.
class TSimServer : private ISimWire {
 public:
  using TClock = std::chrono::steady_clock;

  explicit TSimServer(TSimOptions options);
  ~TSimServer() override;

  void Start();
  void Stop();
  bool Running() const;
  std::string SlavePath() const;

  /// Runs f with the shared terminal data under the lock.
  template <typename F>
  auto Locked(F&& f) {
    std::lock_guard<std::mutex> lock(mu_);
    return f(shared_);
  }

  void SetBaudRate(int baudRate);
  /// Makes the server thread look at its timers again (after a change of the noise switch).
  void Wake();
  std::vector<std::string> ReceivedLines() const;
  void ClearReceivedLines();
  void Restart();
  void SetBootloaderFactory(TSimBootloaderFactory factory);
  bool EnterBootloader();
  bool InBootloader() const;
  void Replace();
  void SetSilent(bool on);
  bool Silent() const;

 private:
  struct TOutput {
    std::string Bytes;
    int GapMs = 0;
    bool Started = false;
    TClock::time_point ReadyAt{};
    std::size_t Sent = 0;
  };

  // ISimWire, server thread with the lock held
  void Send(std::string_view bytes) override;
  void Pause(int delayMs) override;
  void LogReceivedLine(const std::string& line) override;
  void LeaveBootloader() override;
  int BaudRate() const override { return baud_; }

  void Serve();
  void ReadInput(TClock::time_point now);
  void FeedArrived(TClock::time_point now);
  void FlushOutput(TClock::time_point now, std::optional<TClock::time_point>& deadline,
                   bool& wantWritable);
  bool EnterBootloaderLocked(std::string_view trigger);
  void ResetLine();
  void WakeLocked();
  TClock::duration ByteTime(std::size_t count) const;

  mutable std::mutex mu_;
  TSimOptions options_;
  TSimShared shared_;
  std::vector<std::string> received_;
  std::unique_ptr<TSimTerminal> terminal_;
  std::unique_ptr<ISimPortHandler> bootloader_;
  TSimBootloaderFactory bootloaderFactory_;
  bool leaveBootloader_ = false;
  bool silent_ = false;
  int baud_ = 0;

  std::deque<std::pair<TClock::time_point, std::string>> input_;
  std::deque<TOutput> output_;
  int pendingGapMs_ = 0;
  TClock::time_point rxClock_{};
  TClock::time_point txClock_{};
  std::optional<TClock::time_point> chunkDue_;
  std::size_t chunkLen_ = 0;
  TClock::time_point nextNoise_{};

  std::unique_ptr<TSimPty> pty_;
  int wake_[2] = {-1, -1};
  std::atomic<bool> stop_{false};
  bool masterBroken_ = false;
  std::thread thread_;
};

}  // namespace quorvel::sim
