#include "BenchRun.h"

#include "BenchRecord.h"
#include "Errors.h"
#include "ISPWriter.h"
#include "LogPort.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "ProfileTransfer.h"
#include "Prompt.h"

#include <fmt/format.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <exception>
#include <map>
#include <thread>
#include <utility>

namespace quorvel {

namespace {

constexpr const char* kNoValuesRow = "Нет строки значений для терминала {}";
constexpr const char* kSerialVerifyFailed = "Прочитан серийный номер {}, записан {}";

using TClock = std::chrono::steady_clock;

double SecondsSince(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

std::string GroupStepText(TProfileGroup group, bool verify) {
  return (verify ? "запись и проверка: " : "запись: ") + ProfileGroupName(group);
}

constexpr const char* kProfileCheckFailed = "Профиль {}: {}";
constexpr const char* kValuesCheckFailed = "Файл значений {}, строка {}: {}";
constexpr const char* kSharedOwnValue =
    "{}: значение \"{}\" ({}) получил бы каждый терминал; оно должно прийти из файла значений";
constexpr const char* kOwnValueTwice = "{}: значение \"{}\" ({}) уже получает терминал строки {}";
constexpr const char* kRestartStep = "перезапустите терминал в режим связи с ПК";
constexpr const char* kNoRestart = "Терминал не ответил в течение {} с после записи ПО";

}  // namespace

std::string BenchStateText(TBenchState state) {
  switch (state) {
    case TBenchState::Waiting:
      return "ожидает";
    case TBenchState::Running:
      return "идет";
    case TBenchState::Passed:
      return "успешно";
    case TBenchState::Failed:
      return "ошибка";
    case TBenchState::Stopped:
      return "остановлен";
  }
  return {};
}

void CheckDistinctPorts(const std::vector<std::string>& ports) {
  std::map<std::string, std::string> seen;  // device -> the port that named it first
  for (const std::string& port : ports) {
    char resolved[PATH_MAX];
    const std::string device = ::realpath(port.c_str(), resolved) != nullptr ? resolved : port;
    const auto [first, added] = seen.emplace(device, port);
    if (added) continue;
    if (first->second == port) throw Exception(fmt::format(kPortTwiceMessage, port));
    throw Exception(fmt::format(kSameDeviceMessage, first->second, port, device));
  }
}

struct TBenchRun::TSlot {
  TOrtena Facade;
  TUpdateStatus Firmware;  // for its stop request
  TTerminalOutcome Outcome;  // under lock_
  TTerminalRecord Record;    // touched by the terminal's thread only
  std::string Lost;          // under lock_: why it was failed from outside (FailTerminal)
  std::atomic<bool> Stop{false};  // FailTerminal asked for it
};

TBenchRun::TBenchRun(TBenchPlan plan) : plan_(std::move(plan)) {
  // Two threads on one port would each read the other's replies.
  CheckDistinctPorts(plan_.Ports);
  TProfile check;
  check.LoadFromText(plan_.ProfileText, plan_.ProfileName);
  for (TProfileGroup group : AllProfileGroups())
    if (plan_.Groups.count(group) > 0 && check.Groups.count(group) > 0) profileGroups_.insert(group);
  CheckValues();
  for (const std::string& port : plan_.Ports) NewSlot(port);
}

TBenchRun::~TBenchRun() = default;

TBenchRun::TSlot& TBenchRun::Slot(int index) const {
  std::lock_guard guard(slotsLock_);
  return *slots_[static_cast<std::size_t>(index)];
}

int TBenchRun::NewSlot(const std::string& port) {
  auto slot = std::make_unique<TSlot>();
  slot->Facade.SetPortName(port);
  slot->Facade.SetMaxRetryCount(plan_.Retries);
  TTerminalOutcome& outcome = slot->Outcome;
  outcome.Port = port;
  for (TProfileGroup group : AllProfileGroups())
    if (profileGroups_.count(group) > 0) {
      TGroupOutcome part;
      part.Group = group;
      outcome.Groups.push_back(part);
    }
  // Identity, the serial number and every group; after a firmware with more to do, the
  // restart too.
  const bool firmware = !outcome.Groups.empty() && outcome.Groups.front().Group == TProfileGroup::Firmware;
  outcome.StepCount = static_cast<int>(outcome.Groups.size());
  if (!firmware || outcome.Groups.size() > 1 || plan_.Values) outcome.StepCount += firmware ? 3 : 2;
  TTerminalRecord& record = slot->Record;
  record.Port = port;
  for (const TGroupOutcome& group : outcome.Groups) {
    TStepRecord step;
    step.Position = static_cast<int>(record.Steps.size());
    step.Name = ProfileGroupName(group.Group);
    record.Steps.push_back(std::move(step));
  }
  std::lock_guard guard(slotsLock_);
  record.Position = static_cast<int>(slots_.size());
  slots_.push_back(std::move(slot));
  return record.Position;
}

void TBenchRun::CheckValues() const {
  const bool credentials = plan_.Groups.count(TProfileGroup::Credentials) > 0;
  // Values of earlier rows that belong to one terminal only: value -> the row's line.
  std::map<std::pair<std::string, std::string>, int> owners;
  const auto check = [&](const TValueRow* row, int line) {
    TProfile profile;
    profile.LoadFromText(plan_.ProfileText, plan_.ProfileName);
    if (row != nullptr) ApplyValues(*row, profile);
    CheckProfileGroups(profile, plan_.Groups);
    if (!credentials || profile.Groups.count(TProfileGroup::Credentials) == 0) return;
    for (const auto& [column, value] : TerminalOwnValues(profile)) {
      if (row == nullptr && (plan_.Ports.size() > 1 || plan_.Continuous))
        throw Exception(
            fmt::format(kSharedOwnValue, ProfileGroupName(TProfileGroup::Credentials), value, column));
      const auto [owner, added] = owners.emplace(std::pair(std::string(column), value), line);
      if (!added) {
        // Named as the user gave it: a key by its file, not by the modulus read from it.
        const auto cell = row != nullptr ? row->find(column) : TValueRow::const_iterator();
        const std::string& shown = row != nullptr && cell != row->end() ? cell->second : value;
        throw Exception(fmt::format(kOwnValueTwice, ProfileGroupName(TProfileGroup::Credentials), shown,
                                    column, owner->second));
      }
    }
  };
  if (!plan_.Values) {
    try {
      check(nullptr, 0);
    } catch (const std::exception& e) {
      throw Exception(fmt::format(kProfileCheckFailed, plan_.ProfileName, e.what()));
    }
    return;
  }
  const std::vector<TValueRow>& rows = plan_.Values->Rows();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    try {
      check(&rows[i], plan_.Values->LineOf(i));
    } catch (const std::exception& e) {
      throw Exception(
          fmt::format(kValuesCheckFailed, plan_.Values->Name(), plan_.Values->LineOf(i), e.what()));
    }
  }
}

void TBenchRun::RequestStop() noexcept {
  stop_.store(true);
  // Not Continuous: the slots stand still after the constructor, so a signal handler may walk them.
  std::unique_lock guard(slotsLock_, std::defer_lock);
  if (plan_.Continuous) guard.lock();
  for (const auto& slot : slots_) {
    slot->Facade.RequestStop();
    slot->Firmware.RequestStop();
  }
}

void TBenchRun::ResetStop() noexcept {
  stop_.store(false);
  std::unique_lock guard(slotsLock_, std::defer_lock);
  if (plan_.Continuous) guard.lock();
  for (const auto& slot : slots_) {
    slot->Facade.ResetStop();
    slot->Firmware.ResetStop();
  }
}

std::vector<TTerminalOutcome> TBenchRun::Run(const TOnChange& onChange) {
  Begin(onChange);
  std::vector<std::thread> threads;
  threads.reserve(slots_.size());
  for (std::size_t i = 0; i < slots_.size(); ++i)
    threads.emplace_back([this, i] { RunSlot(static_cast<int>(i)); });
  for (std::thread& thread : threads) thread.join();
  onChange_ = nullptr;
  bool passed = true;
  std::vector<TTerminalOutcome> outcomes;
  for (const auto& slot : slots_) {
    passed = passed && slot->Outcome.State == TBenchState::Passed;
    outcomes.push_back(slot->Outcome);
  }
  EndRun(passed);
  return outcomes;
}

void TBenchRun::Begin(const TOnChange& onChange) {
  if (plan_.Record != nullptr) runId_ = plan_.Record->StartRun(plan_.RunInfo);
  onChange_ = onChange;
}

int TBenchRun::AddTerminal(const std::string& port) { return NewSlot(port); }

TTerminalOutcome TBenchRun::RunTerminal(int index) {
  RunSlot(index);
  std::lock_guard guard(lock_);
  return Slot(index).Outcome;
}

void TBenchRun::FailTerminal(int index, const std::string& message) {
  TSlot& slot = Slot(index);
  {
    std::lock_guard guard(lock_);
    slot.Lost = message;
  }
  slot.Stop.store(true);
  slot.Facade.RequestStop();
  slot.Firmware.RequestStop();
}

void TBenchRun::FlushPending() {
  std::vector<int> pending;
  {
    std::lock_guard guard(lock_);
    pending.swap(pending_);
  }
  for (std::size_t i = 0; i < pending.size(); ++i) {
    const TTerminalRecord& record = Slot(pending[i]).Record;
    try {
      Record([&record](IServiceRecord& r) {
        for (const TStepRecord& step : record.Steps) r.UpdateStep(step);
        r.UpdateTerminal(record);
        if (record.PoolRow != 0 && record.State != kRecordStopped)
          r.SetRowState(record.PoolRow, record.State == kRecordPassed ? kPoolUsed : kPoolFailed);
      });
    } catch (const std::exception&) {
      std::lock_guard guard(lock_);
      pending_.insert(pending_.end(), pending.begin() + static_cast<std::ptrdiff_t>(i), pending.end());
      return;
    }
  }
}

void TBenchRun::End() {
  FlushPending();
  bool failed = false;
  {
    std::lock_guard guard(lock_);
    failed = anyFailed_;
  }
  EndRun(!failed);
}

void TBenchRun::EndRun(bool passed) {
  if (plan_.Record == nullptr || (!plan_.Continuous && !RecordError().empty())) return;
  const char* state = stop_.load() ? kRecordStopped : passed ? kRecordPassed : kRecordFailed;
  try {
    plan_.Record->EndRun(runId_, state);
  } catch (const std::exception& e) {
    std::lock_guard guard(recordLock_);
    recordError_ = e.what();
  }
}

std::string TBenchRun::RecordError() const {
  std::lock_guard guard(recordLock_);
  return recordError_;
}

void TBenchRun::Record(const std::function<void(IServiceRecord&)>& call) {
  if (plan_.Record == nullptr) return;
  if (!plan_.Continuous) {
    std::lock_guard guard(recordLock_);
    if (!recordError_.empty()) throw ERecordError(recordError_);
  }
  try {
    call(*plan_.Record);
    if (plan_.Continuous) {
      std::lock_guard guard(recordLock_);
      recordError_.clear();
    }
  } catch (const ERecordError& e) {
    // A continuous run goes on: the terminal under way gets no further write, the next one
    // tries the record again.
    if (plan_.Continuous) {
      std::lock_guard guard(recordLock_);
      recordError_ = e.what();
      throw;
    }
    {
      std::lock_guard guard(recordLock_);
      if (recordError_.empty()) recordError_ = e.what();
    }
    // No terminal may be written past what the record holds.
    RequestStop();
    throw;
  }
}

void TBenchRun::RecordStep(int index, const TGroupOutcome& part, std::int64_t bytes, const std::string& details) {
  TSlot& slot = Slot(index);
  TTerminalRecord& record = slot.Record;
  if (record.Id == 0) return;
  const TTerminalOutcome& planned = slot.Outcome;  // its groups are fixed: no lock needed
  for (std::size_t k = 0; k < planned.Groups.size() && k < record.Steps.size(); ++k) {
    if (planned.Groups[k].Group != part.Group) continue;
    TStepRecord& step = record.Steps[k];
    step.State = BenchStateText(part.State);
    step.Message = part.Message;
    step.Seconds = part.Seconds;
    step.BytesSent = bytes;
    step.Details = details;
    if (part.State != TBenchState::Running) step.Ended = RecordTimeNow();
    Record([&step](IServiceRecord& r) { r.UpdateStep(step); });
  }
}

void TBenchRun::RecordTerminal(int index, const TTerminalOutcome& outcome) {
  TTerminalRecord& record = Slot(index).Record;
  if (record.Id == 0) return;
  record.FactoryNumber = outcome.FactoryNumber;
  if (record.SerialAfter.empty()) record.SerialAfter = record.SerialBefore;
  record.State = BenchStateText(outcome.State);
  record.Message = outcome.Message;
  record.Seconds = outcome.Seconds;
  if (outcome.State != TBenchState::Running) record.Ended = RecordTimeNow();
  Record([&record](IServiceRecord& r) { r.UpdateTerminal(record); });
}

void TBenchRun::Change(int index) {
  std::lock_guard guard(lock_);
  if (onChange_) onChange_(index, Slot(index).Outcome);
}

void TBenchRun::RunSlot(int index) {
  TSlot& slot = Slot(index);
  TTerminalRecord& record = slot.Record;
  // Every port writes into the one log file: each line of this terminal names its port.
  TLogPortScope logPort(record.Port);
  TFixedPrompt prompt(plan_.AnswerYes);
  TOrtena& facade = slot.Facade;
  facade.SetPrompt(&prompt);
  TTerminalOutcome outcome;
  {
    std::lock_guard guard(lock_);
    outcome = slot.Outcome;
  }
  record.RunId = runId_;
  record.State = kRecordRunning;
  record.Started = RecordTimeNow();
  const TClock::time_point start = TClock::now();
  try {
    Record([&record](IServiceRecord& r) { r.AddTerminal(record); });
    RunSteps(index, outcome);
    outcome.State = TBenchState::Passed;
  } catch (const EAbort&) {
    outcome.State = TBenchState::Stopped;
    outcome.Message = kAbortMessage;
  } catch (const std::exception& e) {
    outcome.State = TBenchState::Failed;
    outcome.Message = e.what();
  }
  if (slot.Stop.load() && outcome.State != TBenchState::Passed) {
    // Whatever the transfer made of it, the port went away under it.
    std::lock_guard guard(lock_);
    outcome.State = TBenchState::Failed;
    outcome.Message = slot.Lost;
  }
  // A terminal that ended early leaves its remaining groups as they were: not written.
  for (TGroupOutcome& group : outcome.Groups)
    if (group.State == TBenchState::Running) {
      group.State = outcome.State;
      group.Message = outcome.Message;
      try {
        RecordStep(index, group, 0);
      } catch (const std::exception&) {
        // The record's failure is the run's (RecordError); the terminal's own outcome stays.
      }
    }
  outcome.Seconds = SecondsSince(start);
  facade.SetPrompt(nullptr);
  facade.Driver().ClosePort();
  try {
    RecordTerminal(index, outcome);
    if (record.PoolRow != 0 && outcome.State != TBenchState::Stopped) {
      const char* state = outcome.State == TBenchState::Passed ? kPoolUsed : kPoolFailed;
      Record([&record, state](IServiceRecord& r) { r.SetRowState(record.PoolRow, state); });
    }
  } catch (const std::exception&) {
    // As above: RecordError tells the run. A continuous run writes the end down once the
    // record takes calls again.
    if (plan_.Continuous && record.Id != 0) {
      std::lock_guard guard(lock_);
      pending_.push_back(index);
    }
  }
  {
    std::lock_guard guard(lock_);
    slot.Outcome = outcome;
    if (plan_.Continuous) {
      anyFailed_ = anyFailed_ || outcome.State != TBenchState::Passed;
      // The same terminal may come back on this or another port later in the run.
      if (const auto owner = factories_.find(outcome.FactoryNumber);
          owner != factories_.end() && owner->second == outcome.Port)
        factories_.erase(owner);
    }
  }
  Change(index);
}

const TValueRow* TBenchRun::ClaimRow(int index, TTerminalOutcome& outcome) {
  const TBenchValues& values = *plan_.Values;
  const std::string key = values.Key() == TValueKey::Port            ? outcome.Port
                          : values.Key() == TValueKey::FactoryNumber ? outcome.FactoryNumber
                                                                     : std::string();
  const std::string& pool = plan_.Pool.empty() ? values.Name() : plan_.Pool;
  const TValueRow* row = nullptr;
  if (plan_.Record != nullptr && !plan_.Pool.empty()) {
    std::optional<TPoolClaim> claim;
    Record([&](IServiceRecord& r) {
      claim = r.ClaimRow(plan_.Pool, key, TClaimer{outcome.FactoryNumber, outcome.Port, runId_});
    });
    if (claim) {
      Slot(index).Record.PoolRow = claim->Row.Id;
      row = values.RowAtLine(claim->Row.Line);
      if (row == nullptr) throw Exception(fmt::format("Набор {}: нет строки {}", pool, claim->Row.Line));
    }
  } else if (values.Key() != TValueKey::None) {
    row = values.Find(key);
  } else {
    std::lock_guard guard(lock_);
    if (nextRow_ < values.Rows().size()) row = &values.Rows()[nextRow_++];
  }
  if (row == nullptr)
    throw Exception(values.Key() == TValueKey::None ? fmt::format(kNoFreeRow, pool) : fmt::format(kNoValuesRow, key));
  if (const auto factory = row->find(kFactoryNumberColumn);
      factory != row->end() && !factory->second.empty() && factory->second != outcome.FactoryNumber)
    throw Exception(fmt::format("Строка значений для терминала с заводским номером {}, а терминал сообщил {}",
                                factory->second, outcome.FactoryNumber));
  return row;
}

void TBenchRun::RunSteps(int index, TTerminalOutcome& outcome) {
  TSlot& slot = Slot(index);
  TOrtena& facade = slot.Facade;
  const auto publish = [&](const std::string& step) {
    if (stop_.load() || slot.Stop.load()) throw EAbort();
    outcome.Step = step;
    outcome.State = TBenchState::Running;
    {
      std::lock_guard guard(lock_);
      slot.Outcome = outcome;
    }
    Change(index);
  };

  TProfile profile;
  profile.LoadFromText(plan_.ProfileText, plan_.ProfileName);

  // A group's part: its state, message and time; a failure names the group and ends the terminal.
  const auto runGroup = [&](TGroupOutcome& part, const auto& write) {
    publish(GroupStepText(part.Group, plan_.Verify));
    part.State = TBenchState::Running;
    RecordStep(index, part, 0);
    const std::uint64_t sentBefore = facade.Driver().Comm().BytesWritten();
    const auto sent = [&] {
      return static_cast<std::int64_t>(facade.Driver().Comm().BytesWritten() - sentBefore);
    };
    const TClock::time_point start = TClock::now();
    try {
      write();
    } catch (const ERecordError&) {
      throw;
    } catch (const std::exception& e) {
      part.Seconds = SecondsSince(start);
      const bool stopped = dynamic_cast<const EAbort*>(&e) != nullptr;
      part.State = stopped ? TBenchState::Stopped : TBenchState::Failed;
      part.Message = e.what();
      RecordStep(index, part, sent());
      if (!stopped) throw Exception(ProfileGroupName(part.Group) + ": " + e.what());
      throw;
    }
    part.Seconds = SecondsSince(start);
    part.State = TBenchState::Passed;
    RecordStep(index, part, sent(), GroupDetails(profile, part.Group));
    ++outcome.StepIndex;
  };

  auto group = outcome.Groups.begin();
  if (group != outcome.Groups.end() && group->Group == TProfileGroup::Firmware) {
    runGroup(*group, [&] { WriteFirmware(index, outcome, profile); });
    ++group;
    if (outcome.StepIndex == outcome.StepCount) {
      outcome.Step = "готово";
      return;
    }
    publish(kRestartStep);
    WaitForCommandMode(index);
    ++outcome.StepIndex;
  }

  publish("чтение заводского номера");
  {
    TClearStatusGuard clear(facade);
    std::string factory;
    facade.Driver().CheckResultStrict(facade.Driver().GetModemSerialNumber(factory));
    outcome.FactoryNumber = factory;
    outcome.SerialNumber = facade.QuerySerialNumber();
  }
  TTerminalRecord& record = slot.Record;
  record.FactoryNumber = outcome.FactoryNumber;
  record.SerialBefore = outcome.SerialNumber;
  if (!outcome.FactoryNumber.empty()) {
    std::lock_guard guard(lock_);
    const auto [owner, added] = factories_.emplace(outcome.FactoryNumber, outcome.Port);
    if (!added) throw Exception(fmt::format(kFactoryNumberTwice, outcome.FactoryNumber, owner->second));
  }
  Record([&record](IServiceRecord& r) { r.UpdateTerminal(record); });
  ++outcome.StepIndex;

  const TValueRow* row = nullptr;
  if (plan_.Values) {
    row = ClaimRow(index, outcome);
    ApplyValues(*row, profile);
    record.Values = RecordedValues(*row, profile);
    Record([&record](IServiceRecord& r) { r.UpdateTerminal(record); });
  }

  publish("серийный номер");
  if (row != nullptr && row->count(kSerialColumn) > 0) {
    const std::string& serial = row->at(kSerialColumn);
    TClearStatusGuard clear(facade);
    facade.WriteSerialNumber(serial);
    outcome.SerialNumber = serial;
    record.SerialAfter = serial;
    Record([&record](IServiceRecord& r) { r.UpdateTerminal(record); });
    if (plan_.Verify) {
      const std::string read = facade.ReadSerialNumber();
      if (read != serial) throw Exception(fmt::format(kSerialVerifyFailed, read, serial));
    }
  }
  ++outcome.StepIndex;

  for (; group != outcome.Groups.end(); ++group) {
    runGroup(*group, [&] {
      WriteProfileGroup(facade, profile, group->Group);
      if (plan_.Verify) VerifyProfileGroup(facade, profile, group->Group);
    });
    if (plan_.Verify && !IsVerifiableGroup(profile, group->Group)) group->Message = kNotVerifiedNote;
  }
  outcome.Step = "готово";
}

void TBenchRun::WriteFirmware(int index, TTerminalOutcome& outcome, const TProfile& profile) {
  TSlot& slot = Slot(index);
  TUpdateStatus& status = slot.Firmware;
  const std::string step = outcome.Step;
  // The writer's pages, shown in the row as they go; the handler runs on the writer's thread.
  int shown = -1;
  status.SetOnChange([this, index, &slot, &status, &shown, step] {
    const TUpdateStatus::TSnapshot s = status.Snapshot();
    if (!s.Running || s.Position == shown) return;
    shown = s.Position;
    {
      std::lock_guard guard(lock_);
      slot.Outcome.Step =
          fmt::format("{} ({}/{} стр.)", step, s.Position, s.Max);
    }
    Change(index);
  });
  try {
    WriteProfileFirmware(slot.Facade, profile, plan_.FastFirmware,
                         plan_.Verify, status);
  } catch (...) {
    status.SetOnChange(nullptr);
    throw;
  }
  status.SetOnChange(nullptr);
}

void TBenchRun::WaitForCommandMode(int index) {
  TOrtena& facade = Slot(index).Facade;
  const TClock::time_point start = TClock::now();
  while (true) {
    if (stop_.load()) throw EAbort();
    try {
      TClearStatusGuard clear(facade);
      std::string factory;
      facade.Driver().CheckResultStrict(facade.Driver().GetModemSerialNumber(factory));
      return;
    } catch (const EAbort&) {
      throw;
    } catch (const std::exception&) {
      // Still in the bootloader, or restarting: its answers are no command replies.
    }
    if (SecondsSince(start) > kRestartWaitSeconds)
      throw Exception(fmt::format(kNoRestart, kRestartWaitSeconds));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
}

}  // namespace quorvel
