#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

namespace quorvel {

class TCustomComm;

/// The receiving thread of an open port. It sleeps in poll() on the port's descriptor and on
/// a wake-up descriptor of its own (no polling while idle), reads what arrived and hands it
/// to the port's dispatcher, which calls the handlers on this thread. When the device goes
/// away (read gives 0 or an error, or poll reports a hang-up without data) it tells the port
/// once and ends; the port's Close or next Open collects it.
/// Threads: created, terminated and destroyed by the port's Close/Open on the caller's thread.
class TCommEventThread {
 public:
  /// Starts the thread at once on the open descriptor fd of port (not owned; both must
  /// outlive this object). Raises Exception when no wake-up descriptor can be created.
  TCommEventThread(TCustomComm& port, int fd);
  /// Terminates and waits for the thread.
  ~TCommEventThread();
  TCommEventThread(const TCommEventThread&) = delete;
  TCommEventThread& operator=(const TCommEventThread&) = delete;

  /// Tells the thread to end and wakes it; returns at once. Any thread.
  void Terminate();
  /// Set by Terminate.
  bool Terminated() const { return terminated_.load(); }
  /// Waits until the thread has ended (after Terminate). Not from the thread itself.
  void WaitFor();
  /// True when called on the receiving thread of port.
  static bool IsReceivingThreadOf(const TCustomComm& port);

  /// Runs one handler call inside an error trap: an exception is written to the log file as
  /// "TCommEventThread.DoOnSignal: " + its message, and not passed on.
  static void DoOnSignal(const std::function<void()>& call);

 private:
  void Execute();
  /// Reads what the descriptor has now (up to a bound) into raw; false when the device is
  /// gone, with the reason for the log.
  bool ReadAvailable(short revents, std::string& raw, std::string& reason);

  TCustomComm& port_;
  int fd_;
  int wakeFd_ = -1;
  std::atomic<bool> terminated_{false};
  std::thread thread_;
};

}  // namespace quorvel
