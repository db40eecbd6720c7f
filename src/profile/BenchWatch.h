#pragma once

#include "BenchRun.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel {

class TPortWatch;

/// Where a watched port stands.
enum class TWatchState {
  Waiting,  ///< no terminal, or one that does not answer yet
  Running,  ///< a terminal is being set up
  Done,     ///< set up (or set up before: Message says when); waits until it is taken off
  Failed,   ///< the terminal failed (Message); waits until it is taken off
  Gone,     ///< the port vanished (an adapter pulled); its row stays for the operator
};

/// Text of a state as the bench shows it: "ожидает терминал", "идет", "готово, снимите
/// терминал", "ошибка", "порт отключен".
std::string WatchStateText(TWatchState state);

/// The name a port is shown by: its link in byIdFolder (the first in name order) when one
/// leads to the same device, else the path.
std::string PortDisplayName(const std::string& port, const std::string& byIdFolder = "/dev/serial/by-id");

/// The message of a terminal set up before by this profile on this record.
inline constexpr const char* kAlreadySetUp = "уже настроен {}, прогон {}";
/// The message of a terminal whose port vanished while it was being written.
inline constexpr const char* kDeviceLost = "Связь с устройством потеряна";

/// One watched port as the bench shows it.
struct TWatchPort {
  int Index = 0;     ///< the port's row, in the order ports were first seen
  std::string Port;  ///< its path
  std::string Name;  ///< its by-id name when it has one, else the path
  TWatchState State = TWatchState::Waiting;
  TTerminalOutcome Terminal;  ///< the terminal under way, or the last one on this port
  std::string Message;        ///< why it failed, or when it was set up before
  int Done = 0;               ///< terminals set up on this port in this run
};

/// The run as a whole.
struct TWatchSummary {
  int Done = 0;               ///< terminals set up in this run
  int Failed = 0;             ///< terminals that failed (a retried one counts once it ends again)
  int Skipped = 0;            ///< terminals set up before, not written again
  double PerHour = 0;         ///< terminals done per hour since the run started
  int PoolLeft = -1;          ///< free rows of the pool; -1: no pool
  std::string RecordProblem;  ///< why the record cannot be written just now; empty when it can
};

/// What a continuous bench does: the bench plan (Ports are the ports that stay: RS-232, pty,
/// ser2net links) and where ports come and go.
struct TWatchPlan {
  TBenchPlan Bench;
  /// A folder whose entries are ports that appear and vanish (/dev/serial/by-id); empty: none.
  std::string WatchDir;
  /// The system's serial devices that appear and vanish (ttyUSB*, ttyACM* in /dev).
  bool HotplugDevices = false;
  /// The run ends after this many terminals ended (set up or failed); 0: when stopped.
  int Count = 0;
  /// Write terminals that this profile set up before on this record.
  bool Again = false;
  /// How often a waiting port is asked for a terminal's factory number.
  int PollMilliseconds = 1000;
  /// A terminal that has not answered for this long is taken to be gone.
  int SilenceMilliseconds = 3000;
};

/// The continuous bench: every port is watched, and a terminal is set up as soon as it answers
/// on one; then its port shows Done and waits until it is taken off, and the next terminal on
/// it starts as soon as it answers. A terminal is identified by its factory number (CGSN): a new
/// one on a port that stays is one whose factory number differs from the last one there, or any
/// answer after a silence of SilenceMilliseconds. Every terminal is one of the run's terminals
/// in the record, set up exactly as TBenchRun sets up one (its row claimed, its groups written
/// and read back); the record is the run's report.
/// A record that cannot be written fails the terminal under way (no further write to it) and
/// not the run: the next terminal tries the record again.
/// Threads: Run on one thread (it makes one thread per port); RequestStop on any thread and in a
/// signal handler; AddPort, RetryFailed and Ports on any thread; the change handler is called
/// on the ports' threads, one call at a time.
class TBenchWatch {
 public:
  /// Checks as TBenchRun does (the ports, the profile, every row of values). A plan with the
  /// firmware among its groups is refused: a terminal in its bootloader gives no factory number.
  explicit TBenchWatch(TWatchPlan plan);
  ~TBenchWatch();
  TBenchWatch(const TBenchWatch&) = delete;
  TBenchWatch& operator=(const TBenchWatch&) = delete;

  using TOnChange = std::function<void(const TWatchPort&, const TWatchSummary&)>;
  /// Starts the run in the record (its error then, before any terminal is touched) and watches
  /// until RequestStop or Count terminals; then waits for the terminals under way (stopped) and
  /// ends the run in the record.
  void Run(const TOnChange& onChange);
  /// Stops the run: terminals under way stop before their next packet or step. Any thread;
  /// async-signal-safe.
  void RequestStop() noexcept;
  /// Withdraws a stop request made before Run. Async-signal-safe.
  void ResetStop() noexcept { stop_.store(false); }

  /// Watches one more port that stays (a path typed by the operator); a port watched already
  /// is ignored. Before Run it joins the plan's ports.
  void AddPort(const std::string& port);
  /// Ports whose last terminal failed start again on the terminal that is still there.
  void RetryFailed();

  /// Every port seen so far, in row order.
  std::vector<TWatchPort> Ports() const;
  TWatchSummary Summary() const;
  /// The run's number in the record (0 before Run, or without a record).
  std::int64_t RunId() const;
  /// Every terminal that ended in this run, in the order they ended.
  std::vector<TTerminalOutcome> Outcomes() const;

 private:
  struct TSlot;
  void StartPort(const std::string& port, bool fromFolder);
  void PortVanished(const std::string& port);
  void WatchPort(TSlot& slot);
  void Publish(TSlot& slot);
  bool SetUpBefore(const std::string& factoryNumber, std::string& message);
  bool Reserve();
  void TerminalEnded(TSlot& slot, const TTerminalOutcome& outcome);
  int PoolLeft() const;
  bool Finishing() const;
  void Finish();

  TWatchPlan plan_;
  std::unique_ptr<TBenchRun> bench_;
  std::vector<std::unique_ptr<TPortWatch>> folders_;
  std::vector<std::thread> folderThreads_;
  std::vector<std::unique_ptr<TSlot>> slots_;         // under lock_; a slot lives as long as the watch
  std::vector<TTerminalOutcome> ended_;               // under lock_
  TWatchSummary summary_;                             // under lock_
  std::map<std::int64_t, std::string> profileOfRun_;  // under lock_: run -> its profile's SHA-256
  std::string queryProblem_;  // under lock_: why the record could not be asked about a terminal
  int reserved_ = 0;          // under lock_: terminals started or ended, towards Count
  bool running_ = false;      // under lock_
  bool finishing_ = false;    // under lock_: no new terminal starts
  std::chrono::steady_clock::time_point started_;
  mutable std::mutex lock_;
  std::mutex changeLock_;  // one change handler call at a time
  std::condition_variable changed_;
  TOnChange onChange_;
  std::atomic<bool> stop_{false};
  int wakeFd_ = -1;  // written by RequestStop (a signal handler may) and by the last counted terminal
};

}  // namespace quorvel
