#pragma once

#include "BenchValues.h"
#include "Profile.h"
#include "ServiceRecord.h"

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel {

class TOrtena;
class TUpdateStatus;

/// Where a terminal of a bench run stands.
enum class TBenchState {
  Waiting,  ///< not started
  Running,
  Passed,   ///< every group written (and read back equal, unless not verified)
  Failed,   ///< a step failed; the message says which and why
  Stopped,  ///< the run was stopped before this terminal was done
};

/// Text of a state in reports and on the command line (ожидает, идет, успешно, ошибка,
/// остановлен).
std::string BenchStateText(TBenchState state);

/// One group's part in one terminal's run.
struct TGroupOutcome {
  TProfileGroup Group = TProfileGroup::Paysys;
  TBenchState State = TBenchState::Waiting;
  std::string Message;  ///< the error when failed
  double Seconds = 0;   ///< writing and reading back
};

/// One terminal's run, as far as it went.
struct TTerminalOutcome {
  std::string Port;
  std::string FactoryNumber;  ///< as the terminal reported it; empty before
  std::string SerialNumber;   ///< written from the values, else as the terminal reported it
  std::string Step;           ///< the step under way or last done (Russian, for people)
  int StepIndex = 0;          ///< steps done
  int StepCount = 0;          ///< steps in all
  TBenchState State = TBenchState::Waiting;
  std::string Message;  ///< why the terminal failed or stopped
  std::vector<TGroupOutcome> Groups;
  double Seconds = 0;
};

/// How long a terminal may take to come back in its command mode after its firmware.
inline constexpr int kRestartWaitSeconds = 180;
/// The message of a group that was written but cannot be read back.
inline constexpr const char* kNotVerifiedNote = "записано без проверки: терминал не отдает эти значения";

/// What a bench run does.
struct TBenchPlan {
  std::string ProfileText;                     ///< the profile file's bytes (read once, parsed per terminal)
  std::string ProfileName;                     ///< for messages
  TProfileGroups Groups;                       ///< the groups to write (those the profile lacks are skipped)
  std::vector<std::string> Ports;              ///< one terminal per port
  std::shared_ptr<const TBenchValues> Values;  ///< per-terminal values, or nullptr
  bool Verify = true;                          ///< read every written group back and compare
  bool AnswerYes = false;                      ///< answer the facade's questions Yes (else No)
  bool FastFirmware = false;                   ///< write the firmware in the writer's fast mode
  int Retries = 1;                             ///< attempts per command, 1..5
  /// Where the run is recorded as it goes (shared with other threads and processes); nullptr:
  /// nowhere.
  IServiceRecord* Record = nullptr;
  TRunStart RunInfo;  ///< the run's own fields in the record
  /// The record's pool whose rows are claimed (Values is then that pool's table); empty: rows
  /// are looked up in Values alone.
  std::string Pool;
  /// Terminals come and go (TBenchWatch): Ports may be empty, terminals are added with
  /// AddTerminal, and a record that cannot be written fails the terminal under way, not the run.
  bool Continuous = false;
};

/// The message of a terminal that reports the factory number of one already under way.
inline constexpr const char* kFactoryNumberTwice = "Терминал с заводским номером {} уже записывается на порту {}";
/// The message of a terminal that finds no free row of a pool handed out in order.
inline constexpr const char* kNoFreeRow = "Нет свободной строки в наборе {}";
/// Raises Exception when two of the ports are one device: the same path twice
/// (kPortTwiceMessage), or two paths that lead to it, such as a link of /dev/serial/by-id and
/// its target (kSameDeviceMessage). A path that does not exist is compared as it is written.
void CheckDistinctPorts(const std::vector<std::string>& ports);
inline constexpr const char* kPortTwiceMessage = "Порт {} назван дважды";
inline constexpr const char* kSameDeviceMessage = "Порты {} и {} ведут к одному устройству {}";

/// Writes one profile into many terminals at once: every port gets its own driver and facade
/// and its own thread, and builds its own copy of the profile with its row of values, so no
/// model object or port is shared. A terminal that fails (a pulled cable, a refused command, a
/// failed comparison, no row of values) ends alone; the others go on.
/// Per terminal: the firmware first when the plan has it (the terminal is restarted into its
/// bootloader by whoever runs the bench; WriteProfileFirmware, which starts the new program),
/// then, when anything else is to be done, a wait of up to kRestartWaitSeconds for the
/// terminal to answer in its command mode (one that does not start by itself is restarted by
/// hand meanwhile). Then the factory number (CGSN) and serial
/// number (SMSN) are read, its row of values looked up (none: failed before anything is
/// written), the serial number of the row written and read back, then every other group of
/// the plan in profile order, each written and (Verify) read back and compared as far as the
/// terminal gives it back (a group it does not give back passes with kNotVerifiedNote).
/// Threads: Run on one thread; RequestStop and ResetStop on any thread and in a signal
/// handler; the change handler is called on the terminals' threads, one call at a time.
class TBenchRun {
 public:
  /// Checks the ports (CheckDistinctPorts), parses the profile once to check it (its read
  /// errors; nothing is sent then), checks the
  /// values every terminal would get before any terminal is touched (CheckProfileGroups of the
  /// profile with each row of values applied: "Файл значений <name>, строка <n>: <reason>", or
  /// "Профиль <name>: <reason>" without values) and makes one facade per port.
  explicit TBenchRun(TBenchPlan plan);
  ~TBenchRun();
  TBenchRun(const TBenchRun&) = delete;
  TBenchRun& operator=(const TBenchRun&) = delete;

  /// Called with the terminal's position in the plan and its outcome so far, after every step.
  using TOnChange = std::function<void(int, const TTerminalOutcome&)>;
  /// Starts the run in the record (its error then, before any terminal is touched), runs
  /// every terminal and returns when all have ended, their outcomes in plan order. Every
  /// terminal is in the record from its start, each step is committed when it ends and each
  /// terminal when it ends; a pool row is claimed in one transaction before the first write.
  /// A record that cannot be written stops the whole run before the next write to any
  /// terminal (RecordError says why).
  std::vector<TTerminalOutcome> Run(const TOnChange& onChange);
  /// The run's number in the record (0 before Run, or without a record).
  std::int64_t RunId() const { return runId_; }
  /// Why the record could not be written, when it could not; empty otherwise. Continuous: why
  /// the last call failed, empty again once a call succeeds.
  std::string RecordError() const;

  /// Stops every terminal: transfers before their next packet, the others before their next
  /// step; their outcome is Stopped. Any thread; async-signal-safe unless Continuous.
  void RequestStop() noexcept;
  /// Withdraws a stop request made before Run. Any thread; async-signal-safe unless Continuous.
  void ResetStop() noexcept;

  // Continuous runs: Begin, then AddTerminal and RunTerminal per terminal (any threads), then End.
  /// Starts the run in the record (its error); onChange as Run's.
  void Begin(const TOnChange& onChange = {});
  /// A new terminal of the run on port; returns its index.
  int AddTerminal(const std::string& port);
  /// Sets up terminal index on the calling thread and returns its outcome.
  TTerminalOutcome RunTerminal(int index);
  /// Stops terminal index alone, its outcome Failed with message (its port vanished).
  void FailTerminal(int index, const std::string& message);
  /// Writes down the ends of terminals the record could not take when they ended (their
  /// steps, state and pool row); those it still cannot take stay for the next call.
  void FlushPending();
  /// Ends the run in the record with the state of the terminals that ended (FlushPending first).
  void End();

 private:
  struct TSlot;
  TSlot& Slot(int index) const;
  int NewSlot(const std::string& port);
  void CheckValues() const;
  void RunSlot(int index);
  void Change(int index);
  void RunSteps(int index, TTerminalOutcome& outcome);
  void WriteFirmware(int index, TTerminalOutcome& outcome, const TProfile& profile);
  void WaitForCommandMode(int index);
  const TValueRow* ClaimRow(int index, TTerminalOutcome& outcome);
  void Record(const std::function<void(IServiceRecord&)>& call);
  void RecordStep(int index, const TGroupOutcome& part, std::int64_t bytes, const std::string& details = {});
  void RecordTerminal(int index, const TTerminalOutcome& outcome);
  void EndRun(bool passed);

  TBenchPlan plan_;
  TProfileGroups profileGroups_;  // the plan's groups the profile has
  std::int64_t runId_ = 0;
  // One per terminal; fixed after the constructor unless Continuous, then grown under lock_.
  std::vector<std::unique_ptr<TSlot>> slots_;
  std::map<std::string, std::string> factories_;  // factory number -> port, under lock_
  std::size_t nextRow_ = 0;  // without a record: the next row of a table handed out in order
  std::string recordError_;  // under recordLock_
  bool anyFailed_ = false;   // under lock_: a terminal of a continuous run did not pass
  std::vector<int> pending_;  // under lock_: terminals whose end the record did not take
  mutable std::mutex slotsLock_;  // slots_ itself while it may grow
  // Its own lock: the change handler, called under lock_, may ask for RecordError.
  mutable std::mutex recordLock_;
  mutable std::mutex lock_;  // the slots' outcomes, the change handler, factories_, nextRow_
  TOnChange onChange_;
  std::atomic<bool> stop_{false};
};

}  // namespace quorvel
