// The service record's cost: one committed step (a transaction of one update in a WAL-mode
// SQLite file, as the bench makes after every group), and the record's share of a real bench
// run: every call the bench makes into the record is timed, and their sum set against the
// run's wall time, for a profile of receipt lines, fees and SIM slots written into one
// terminal paced at 115200 baud. Goals: under 5 ms a step, under 1 % of the run.
#include "BenchRun.h"
#include "DemoTerminal.h"
#include "Profile.h"
#include "ServiceRecord.h"
#include "SqliteRecord.h"
#include "TerminalSim.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <type_traits>

using namespace quorvel;

namespace {

using TClock = std::chrono::steady_clock;

std::string TempRecordPath() {
  std::string folder = (std::filesystem::temp_directory_path() / "quorvel-record-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) std::abort();
  return folder + "/service.db";
}

// Forwards every call to the record and adds up the time spent in it.
class TTimedRecord final : public IServiceRecord {
 public:
  explicit TTimedRecord(IServiceRecord& record) : record_(record) {}
  double Seconds() const { return seconds_; }
  int Calls() const { return calls_; }

  std::string Location() const override { return record_.Location(); }
  std::int64_t StartRun(const TRunStart& run) override {
    return Timed([&] { return record_.StartRun(run); });
  }
  void EndRun(std::int64_t run, const std::string& state) override {
    Timed([&] { record_.EndRun(run, state); });
  }
  void AddTerminal(TTerminalRecord& terminal) override {
    Timed([&] { record_.AddTerminal(terminal); });
  }
  void UpdateTerminal(const TTerminalRecord& terminal) override {
    Timed([&] { record_.UpdateTerminal(terminal); });
  }
  void UpdateStep(const TStepRecord& step) override {
    Timed([&] { record_.UpdateStep(step); });
  }
  void AddOperation(const TOperationRecord& operation) override {
    Timed([&] { record_.AddOperation(operation); });
  }
  std::vector<TRunRecord> Runs(const std::string& since) const override { return record_.Runs(since); }
  std::optional<TRunRecord> Run(std::int64_t id) const override { return record_.Run(id); }
  std::vector<TTerminalRecord> Terminals(const TTerminalQuery& query) const override {
    return record_.Terminals(query);
  }
  std::vector<TOperationRecord> Operations(const std::string& factoryNumber) const override {
    return record_.Operations(factoryNumber);
  }
  void ImportPool(const TPoolTable& table, bool reuseSame) override {
    Timed([&] { record_.ImportPool(table, reuseSame); });
  }
  bool HasPool(const std::string& name) const override { return record_.HasPool(name); }
  std::string PoolKeyColumn(const std::string& name) const override { return record_.PoolKeyColumn(name); }
  std::vector<TPoolRow> PoolRows(const std::string& name) const override { return record_.PoolRows(name); }
  std::optional<TPoolClaim> ClaimRow(const std::string& pool, const std::string& key,
                                     const TClaimer& claimer) override {
    return Timed([&] { return record_.ClaimRow(pool, key, claimer); });
  }
  void SetRowState(std::int64_t row, const std::string& state) override {
    Timed([&] { record_.SetRowState(row, state); });
  }
  void ReleaseRow(const std::string& pool, const std::string& key) override {
    Timed([&] { record_.ReleaseRow(pool, key); });
  }

 private:
  template <class F>
  std::invoke_result_t<F> Timed(F call) {
    const TClock::time_point start = TClock::now();
    struct TAdd {
      TTimedRecord& self;
      TClock::time_point start;
      ~TAdd() {
        std::lock_guard guard(self.lock_);
        self.seconds_ += std::chrono::duration<double>(TClock::now() - start).count();
        ++self.calls_;
      }
    } add{*this, start};
    return call();
  }

  IServiceRecord& record_;
  std::mutex lock_;
  double seconds_ = 0;
  int calls_ = 0;
};

void BM_RecordStep(benchmark::State& state) {
  TSqliteRecord record(TempRecordPath());
  TTerminalRecord terminal;
  terminal.RunId = record.StartRun(TRunStart{});
  terminal.Port = "/dev/ttyUSB0";
  for (int i = 0; i < 10; ++i) {
    TStepRecord step;
    step.Position = i;
    step.Name = "sim";
    terminal.Steps.push_back(step);
  }
  record.AddTerminal(terminal);
  int k = 0;
  const TClock::time_point start = TClock::now();
  for (auto _ : state) {
    TStepRecord& step = terminal.Steps[static_cast<std::size_t>(k++ % 10)];
    step.State = kRecordPassed;
    step.Seconds = k;
    step.Ended = RecordTimeNow();
    record.UpdateStep(step);
  }
  const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
  state.counters["ms_per_step"] = 1000.0 * seconds / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RecordStep)->Unit(benchmark::kMillisecond);

void BM_RecordShareOfABenchRun(benchmark::State& state) {
  std::string profileText;
  {
    sim::TTerminalSim source;
    source.Update(sim::SeedDemoTerminal);
    TProfile profile;
    profile.Header = "Магазин\r\nул. Ленина, 1\r\n";
    profile.Trailer = "Спасибо за покупку\r\n";
    profile.Groups = {TProfileGroup::Header, TProfileGroup::Trailer, TProfileGroup::Fees};
    profileText = profile.SaveToText();
  }
  TSqliteRecord sqlite(TempRecordPath());
  for (auto _ : state) {
    sim::TSimOptions options;
    options.BaudRate = 115200;
    sim::TTerminalSim terminal(options);
    terminal.Start();
    TTimedRecord timed(sqlite);
    TBenchPlan plan;
    plan.ProfileText = profileText;
    plan.ProfileName = "bench.xml";
    plan.Groups = ParseProfileGroups("");
    plan.Ports = {terminal.SlavePath()};
    plan.AnswerYes = true;
    plan.Record = &timed;
    TBenchRun run(std::move(plan));
    const TClock::time_point start = TClock::now();
    const auto outcomes = run.Run(nullptr);
    const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
    if (outcomes.front().State != TBenchState::Passed) state.SkipWithError(outcomes.front().Message.c_str());
    state.counters["run_s"] = seconds;
    state.counters["record_ms"] = timed.Seconds() * 1000.0;
    state.counters["record_calls"] = timed.Calls();
    state.counters["record_share_pct"] = 100.0 * timed.Seconds() / seconds;
    terminal.Stop();
  }
}
BENCHMARK(BM_RecordShareOfABenchRun)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
