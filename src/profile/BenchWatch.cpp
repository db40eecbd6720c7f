#include "BenchWatch.h"

#include "Errors.h"
#include "Ortenas.h"
#include "PortWatch.h"

#include <fmt/format.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <utility>

namespace quorvel {

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kPoolLeftUnknown = -2;

constexpr const char* kHotplugFolder = "/dev";
constexpr const char* kNoFirmware =
    "Непрерывная работа не записывает ПО: терминал в загрузчике не сообщает заводской номер; "
    "запишите ПО отдельно или выберите группы без него";

int MillisecondsSince(TClock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count());
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

}  // namespace

std::string WatchStateText(TWatchState state) {
  switch (state) {
    case TWatchState::Waiting:
      return "ожидает терминал";
    case TWatchState::Running:
      return "идет";
    case TWatchState::Done:
      return "готово, снимите терминал";
    case TWatchState::Failed:
      return "ошибка";
    case TWatchState::Gone:
      return "порт отключен";
  }
  return {};
}

std::string PortDisplayName(const std::string& port, const std::string& byIdFolder) {
  const std::string device = RealPath(port);
  std::error_code error;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(byIdFolder, error))
    if (RealPath(entry.path().string()) == device) names.push_back(entry.path().filename().string());
  if (names.empty()) return port;
  std::sort(names.begin(), names.end());
  return names.front();
}

struct TBenchWatch::TSlot {
  TWatchPort View;          // under lock_
  bool FromFolder = false;  // a port that may vanish
  bool Present = true;      // under lock_: false once it vanished
  bool Retry = false;       // under lock_: RetryFailed asked to start its terminal again
  int Terminal = -1;        // under lock_: the bench's terminal under way on it
  std::thread Thread;
};

TBenchWatch::TBenchWatch(TWatchPlan plan) : plan_(std::move(plan)) {
  plan_.Bench.Continuous = true;
  if (plan_.Bench.Groups.count(TProfileGroup::Firmware) > 0) {
    TProfile check;
    check.LoadFromText(plan_.Bench.ProfileText, plan_.Bench.ProfileName);
    if (check.Groups.count(TProfileGroup::Firmware) > 0) throw Exception(kNoFirmware);
  }
  std::vector<std::string> ports = std::move(plan_.Bench.Ports);
  plan_.Bench.Ports.clear();
  CheckDistinctPorts(ports);
  bench_ = std::make_unique<TBenchRun>(plan_.Bench);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) throw Exception(fmt::format("eventfd: {}", std::strerror(errno)));
  for (const std::string& port : ports) AddPort(port);
}

TBenchWatch::~TBenchWatch() {
  RequestStop();
  Finish();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void TBenchWatch::RequestStop() noexcept {
  stop_.store(true);
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }
}

void TBenchWatch::AddPort(const std::string& port) { StartPort(port, false); }

void TBenchWatch::StartPort(const std::string& port, bool fromFolder) {
  std::unique_lock guard(lock_);
  TSlot* slot = nullptr;
  const std::string device = RealPath(port);
  for (const auto& s : slots_) {
    if (s->View.Port == port) slot = s.get();
    // A typed path may lead to a port watched already under another name.
    else if (s->Present && RealPath(s->View.Port) == device && device != port)
      return;
  }
  if (slot != nullptr && slot->Present) return;
  if (slot == nullptr) {
    auto made = std::make_unique<TSlot>();
    made->View.Index = static_cast<int>(slots_.size());
    made->View.Port = port;
    made->View.Name = fromFolder ? std::filesystem::path(port).filename().string() : PortDisplayName(port);
    made->FromFolder = fromFolder;
    slot = made.get();
    slots_.push_back(std::move(made));
  } else if (slot->Thread.joinable()) {
    // It came back: its old thread has ended or ends at once (it saw the port vanish).
    std::thread old = std::move(slot->Thread);
    guard.unlock();
    old.join();
    guard.lock();
  }
  slot->Present = true;
  slot->View.State = TWatchState::Waiting;
  slot->View.Message.clear();
  if (running_ && !finishing_) slot->Thread = std::thread([this, slot] { WatchPort(*slot); });
  guard.unlock();
  Publish(*slot);
}

void TBenchWatch::PortVanished(const std::string& port) {
  std::vector<int> terminals;
  {
    std::lock_guard guard(lock_);
    for (const auto& slot : slots_)
      if (slot->View.Port == port && slot->Present) {
        slot->Present = false;
        if (slot->Terminal >= 0) terminals.push_back(slot->Terminal);
      }
    changed_.notify_all();
  }
  // Outside lock_: the bench calls back into this watch under its own lock.
  for (int terminal : terminals) bench_->FailTerminal(terminal, kDeviceLost);
}

void TBenchWatch::RetryFailed() {
  std::lock_guard guard(lock_);
  for (const auto& slot : slots_)
    if (slot->View.State == TWatchState::Failed) slot->Retry = true;
  changed_.notify_all();
}

std::vector<TWatchPort> TBenchWatch::Ports() const {
  std::lock_guard guard(lock_);
  std::vector<TWatchPort> ports;
  for (const auto& slot : slots_) ports.push_back(slot->View);
  return ports;
}

TWatchSummary TBenchWatch::Summary() const {
  std::lock_guard guard(lock_);
  return summary_;
}

std::int64_t TBenchWatch::RunId() const { return bench_->RunId(); }

std::vector<TTerminalOutcome> TBenchWatch::Outcomes() const {
  std::lock_guard guard(lock_);
  return ended_;
}

void TBenchWatch::Run(const TOnChange& onChange) {
  // Folders whose ports come and go; one that cannot be watched fails the run before it starts.
  if (!plan_.WatchDir.empty()) folders_.push_back(std::make_unique<TPortWatch>(plan_.WatchDir));
  if (plan_.HotplugDevices)
    folders_.push_back(std::make_unique<TPortWatch>(kHotplugFolder, IsHotplugSerialName));
  onChange_ = onChange;
  bench_->Begin([this](int index, const TTerminalOutcome& outcome) {
    TSlot* slot = nullptr;
    {
      std::lock_guard guard(lock_);
      for (const auto& s : slots_)
        if (s->Terminal == index) slot = s.get();
      if (slot == nullptr) return;
      // The port's question already gave the factory number the bench reads again.
      const std::string known = slot->View.Terminal.FactoryNumber;
      slot->View.Terminal = outcome;
      if (outcome.FactoryNumber.empty()) slot->View.Terminal.FactoryNumber = known;
    }
    Publish(*slot);
  });
  started_ = TClock::now();
  const int left = PoolLeft();
  {
    std::lock_guard guard(lock_);
    if (left != kPoolLeftUnknown) summary_.PoolLeft = left;
    running_ = true;
    for (const auto& slot : slots_) {
      TSlot* s = slot.get();
      s->Thread = std::thread([this, s] { WatchPort(*s); });
    }
  }
  for (const auto& folder : folders_) {
    for (const std::string& port : folder->Present()) StartPort(port, true);
    TPortWatch* watch = folder.get();
    folderThreads_.emplace_back([this, watch] {
      while (!stop_.load() && !Finishing()) {
        std::vector<TPortEvent> events;
        try {
          events = watch->Wait(-1);
        } catch (const std::exception&) {
          // inotify itself failed (out of watches): the ports seen stay, the folder is tried again.
          std::unique_lock guard(lock_);
          changed_.wait_for(guard, std::chrono::seconds(1), [this] { return finishing_; });
          continue;
        }
        for (const TPortEvent& event : events) {
          if (event.Kind == TPortEvent::TKind::Appeared)
            StartPort(event.Path, true);
          else
            PortVanished(event.Path);
        }
      }
    });
  }
  // Until a stop or the count: a signal handler or the last counted terminal writes wakeFd_.
  while (!stop_.load() && !Finishing()) {
    pollfd wait{wakeFd_, POLLIN, 0};
    if (::poll(&wait, 1, -1) < 0 && errno != EINTR) break;
    std::uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &value, sizeof value);
  }
  if (stop_.load()) bench_->RequestStop();
  Finish();
  bench_->End();
  onChange_ = nullptr;
}

bool TBenchWatch::Finishing() const {
  std::lock_guard guard(lock_);
  return finishing_;
}

void TBenchWatch::Finish() {
  {
    std::lock_guard guard(lock_);
    finishing_ = true;
    changed_.notify_all();
  }
  for (const auto& folder : folders_) folder->Wake();
  for (std::thread& thread : folderThreads_)
    if (thread.joinable()) thread.join();
  folderThreads_.clear();
  // Port threads end after the terminal under way; slots_ does not change any more.
  std::vector<std::thread*> threads;
  {
    std::lock_guard guard(lock_);
    for (const auto& slot : slots_) threads.push_back(&slot->Thread);
  }
  for (std::thread* thread : threads)
    if (thread->joinable()) thread->join();
}

void TBenchWatch::Publish(TSlot& slot) {
  TWatchPort view;
  TWatchSummary summary;
  {
    std::lock_guard guard(lock_);
    view = slot.View;
    // A rate over the first seconds says nothing yet: it is taken over a minute at least.
    const double hours =
        std::max(std::chrono::duration<double>(TClock::now() - started_).count(), 60.0) / 3600.0;
    summary_.PerHour = running_ ? summary_.Done / hours : 0;
    const std::string benchProblem = bench_->RecordError();
    summary_.RecordProblem = benchProblem.empty() ? queryProblem_ : benchProblem;
    summary = summary_;
  }
  std::lock_guard guard(changeLock_);
  if (onChange_) onChange_(view, summary);
}

int TBenchWatch::PoolLeft() const {
  if (plan_.Bench.Record == nullptr || plan_.Bench.Pool.empty()) return -1;
  try {
    int free = 0;
    for (const TPoolRow& row : plan_.Bench.Record->PoolRows(plan_.Bench.Pool)) free += row.State == kPoolFree;
    return free;
  } catch (const std::exception&) {
    return kPoolLeftUnknown;  // the record's trouble shows through RecordProblem
  }
}

bool TBenchWatch::SetUpBefore(const std::string& factoryNumber, std::string& message) {
  if (plan_.Again || plan_.Bench.Record == nullptr || factoryNumber.empty()) return false;
  TTerminalQuery query;
  query.FactoryNumber = factoryNumber;
  const std::vector<TTerminalRecord> terminals = plan_.Bench.Record->Terminals(query);
  for (auto t = terminals.rbegin(); t != terminals.rend(); ++t) {
    if (t->State != kRecordPassed) continue;
    std::string sha;
    {
      std::lock_guard guard(lock_);
      if (const auto known = profileOfRun_.find(t->RunId); known != profileOfRun_.end()) sha = known->second;
    }
    if (sha.empty()) {
      const std::optional<TRunRecord> run = plan_.Bench.Record->Run(t->RunId);
      sha = run ? run->ProfileSha256 : std::string("-");
      std::lock_guard guard(lock_);
      profileOfRun_[t->RunId] = sha;
    }
    if (sha != plan_.Bench.RunInfo.ProfileSha256) continue;
    message = fmt::format(kAlreadySetUp, RecordTimeLocal(t->Ended), t->RunId);
    return true;
  }
  return false;
}

bool TBenchWatch::Reserve() {
  std::lock_guard guard(lock_);
  if (finishing_ || stop_.load()) return false;
  if (plan_.Count > 0 && reserved_ >= plan_.Count) return false;
  ++reserved_;
  return true;
}

void TBenchWatch::TerminalEnded(TSlot& slot, const TTerminalOutcome& outcome) {
  bool last = false;
  const int left = PoolLeft();
  {
    std::lock_guard guard(lock_);
    slot.Terminal = -1;
    slot.View.Terminal = outcome;
    slot.View.Message = outcome.Message;
    if (outcome.State == TBenchState::Passed) {
      slot.View.State = TWatchState::Done;
      ++slot.View.Done;
      ++summary_.Done;
    } else if (outcome.State == TBenchState::Stopped) {
      slot.View.State = TWatchState::Waiting;
      --reserved_;
    } else {
      slot.View.State = TWatchState::Failed;
      ++summary_.Failed;
    }
    if (outcome.State != TBenchState::Stopped) {
      ended_.push_back(outcome);
      last = plan_.Count > 0 && static_cast<int>(ended_.size()) >= plan_.Count;
      if (last) finishing_ = true;
    }
    if (left != kPoolLeftUnknown) summary_.PoolLeft = left;
  }
  Publish(slot);
  if (last) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
  }
}

void TBenchWatch::WatchPort(TSlot& slot) {
  TOrtena probe;
  {
    std::lock_guard guard(lock_);
    probe.SetPortName(slot.View.Port);
  }
  probe.SetMaxRetryCount(1);
  std::string last;  // the factory number of the terminal last seen on the port
  TClock::time_point answered = TClock::now();
  // Sleeps until the next question, or less when the run ends or something changes the port.
  const auto pause = [&](int milliseconds) {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, std::chrono::milliseconds(std::max(milliseconds, 0)),
                      [&] { return finishing_ || !slot.Present || slot.Retry; });
  };
  while (true) {
    {
      std::lock_guard guard(lock_);
      if (finishing_ || stop_.load()) break;
      if (!slot.Present) {
        slot.View.State = TWatchState::Gone;
        break;
      }
    }
    const TClock::time_point asked = TClock::now();
    std::string factory;
    std::string problem;
    try {
      if (probe.Driver().ProbeModemSerialNumber(factory, plan_.PollMilliseconds) != kResultOk)
        factory.clear();
    } catch (const std::exception& e) {
      // No terminal, or a port that cannot be opened (yet): say so in the row, ask again.
      factory.clear();
      problem = e.what();
      probe.Driver().ClosePort();
    }
    bool retry = false;
    {
      std::lock_guard guard(lock_);
      retry = slot.Retry;
      slot.Retry = false;
    }
    if (factory.empty() && !retry) {
      bool changed = false;
      {
        std::lock_guard guard(lock_);
        // A terminal silent for long was taken off: the next answer is a new terminal.
        if (slot.View.State != TWatchState::Waiting &&
            MillisecondsSince(answered) >= plan_.SilenceMilliseconds) {
          slot.View.State = TWatchState::Waiting;
          slot.View.Message.clear();
          changed = true;
        }
        // A port that cannot be opened says why while it waits; a plain silence says nothing.
        if (slot.View.State == TWatchState::Waiting && slot.View.Message != problem) {
          slot.View.Message = problem;
          changed = true;
        }
        if (slot.View.State == TWatchState::Waiting) last.clear();
      }
      if (changed) Publish(slot);
      pause(plan_.PollMilliseconds - MillisecondsSince(asked));
      continue;
    }
    if (!factory.empty()) answered = TClock::now();
    if (!retry && factory == last) {
      pause(plan_.PollMilliseconds - MillisecondsSince(asked));
      continue;
    }
    last = factory;
    std::string before;
    try {
      const bool setUp = !retry && SetUpBefore(factory, before);
      {
        std::lock_guard guard(lock_);
        queryProblem_.clear();
      }
      if (setUp) {
        {
          std::lock_guard guard(lock_);
          slot.View.State = TWatchState::Done;
          slot.View.Message = before;
          slot.View.Terminal = TTerminalOutcome();
          slot.View.Terminal.Port = slot.View.Port;
          slot.View.Terminal.FactoryNumber = factory;
          ++summary_.Skipped;
        }
        Publish(slot);
        continue;
      }
    } catch (const std::exception& e) {
      // Nothing is written to a terminal the record cannot be asked about; it is asked again
      // at the next question, so the terminal starts once the record is back.
      {
        std::lock_guard guard(lock_);
        slot.View.State = TWatchState::Waiting;
        slot.View.Message = e.what();
        queryProblem_ = e.what();
      }
      last.clear();
      Publish(slot);
      pause(plan_.PollMilliseconds - MillisecondsSince(asked));
      continue;
    }
    if (!Reserve()) break;
    probe.Driver().ClosePort();
    // The record back after a failure: what it missed of the terminals before goes in first.
    bench_->FlushPending();
    const int index = bench_->AddTerminal(slot.View.Port);
    bool vanished = false;
    {
      std::lock_guard guard(lock_);
      slot.Terminal = index;
      slot.View.State = TWatchState::Running;
      slot.View.Message.clear();
      slot.View.Terminal = TTerminalOutcome();
      slot.View.Terminal.Port = slot.View.Port;
      slot.View.Terminal.FactoryNumber = factory;
      slot.View.Terminal.State = TBenchState::Running;
      vanished = !slot.Present;
    }
    // A port that vanished between the answer and now fails its terminal before any write.
    if (vanished) bench_->FailTerminal(index, kDeviceLost);
    Publish(slot);
    const TTerminalOutcome outcome = bench_->RunTerminal(index);
    TerminalEnded(slot, outcome);
    answered = TClock::now();
  }
  Publish(slot);
}

}  // namespace quorvel
