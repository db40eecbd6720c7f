// A bench run and its record: what the record holds after each step, and a record that stops
// taking writes stopping the run before the terminal gets anything more.
#include "BenchRecord.h"
#include "BenchRun.h"
#include "Profile.h"
#include "SqliteRecord.h"
#include "TempDir.h"
#include "TerminalSim.h"

#include <gtest/gtest.h>

#include <atomic>

namespace quorvel {
namespace {

// The record, until the step named failAt is about to start: from then on every write fails
// as a full disk does.
class TFailingRecord final : public IServiceRecord {
 public:
  TFailingRecord(IServiceRecord& record, std::string failAt) : record_(record), failAt_(std::move(failAt)) {}

  std::string Location() const override { return record_.Location(); }
  std::int64_t StartRun(const TRunStart& run) override { return record_.StartRun(run); }
  void EndRun(std::int64_t run, const std::string& state) override { Check(), record_.EndRun(run, state); }
  void AddTerminal(TTerminalRecord& terminal) override {
    Check();
    record_.AddTerminal(terminal);
    for (const TStepRecord& step : terminal.Steps) names_[step.Id] = step.Name;
  }
  void UpdateTerminal(const TTerminalRecord& terminal) override { Check(), record_.UpdateTerminal(terminal); }
  void UpdateStep(const TStepRecord& step) override {
    if (names_[step.Id] == failAt_ && step.State == kRecordRunning) failed_ = true;
    Check();
    record_.UpdateStep(step);
  }
  void AddOperation(const TOperationRecord& operation) override { Check(), record_.AddOperation(operation); }
  std::vector<TRunRecord> Runs(const std::string& since) const override { return record_.Runs(since); }
  std::optional<TRunRecord> Run(std::int64_t id) const override { return record_.Run(id); }
  std::vector<TTerminalRecord> Terminals(const TTerminalQuery& query) const override {
    return record_.Terminals(query);
  }
  std::vector<TOperationRecord> Operations(const std::string& factoryNumber) const override {
    return record_.Operations(factoryNumber);
  }
  void ImportPool(const TPoolTable& table, bool reuseSame) override { record_.ImportPool(table, reuseSame); }
  bool HasPool(const std::string& name) const override { return record_.HasPool(name); }
  std::string PoolKeyColumn(const std::string& name) const override { return record_.PoolKeyColumn(name); }
  std::vector<TPoolRow> PoolRows(const std::string& name) const override { return record_.PoolRows(name); }
  std::optional<TPoolClaim> ClaimRow(const std::string& pool, const std::string& key,
                                     const TClaimer& claimer) override {
    Check();
    return record_.ClaimRow(pool, key, claimer);
  }
  void SetRowState(std::int64_t row, const std::string& state) override { Check(), record_.SetRowState(row, state); }
  void ReleaseRow(const std::string& pool, const std::string& key) override { record_.ReleaseRow(pool, key); }

 private:
  void Check() const {
    if (failed_) throw ERecordError("Журнал обслуживания test.db: нет места на диске");
  }

  IServiceRecord& record_;
  std::string failAt_;
  std::map<std::int64_t, std::string> names_;
  std::atomic<bool> failed_{false};
};

TBenchPlan HeaderTrailerPlan(const std::string& port) {
  TProfile profile;
  profile.Header = "Магазин\r\n";
  profile.Trailer = "Спасибо\r\n";
  profile.Groups = {TProfileGroup::Header, TProfileGroup::Trailer};
  TBenchPlan plan;
  plan.ProfileText = profile.SaveToText();
  plan.ProfileName = "p.xml";
  plan.Groups = profile.Groups;
  plan.Ports = {port};
  return plan;
}

TEST(BenchRecord, ARecordThatStopsTakingWritesStopsTheTerminalBeforeItsNextGroup) {
  test::TempDir dir;
  TSqliteRecord sqlite(dir.File("service.db"));
  TFailingRecord record(sqlite, "trailer");
  sim::TTerminalSim terminal;
  terminal.Start();
  TBenchPlan plan = HeaderTrailerPlan(terminal.SlavePath());
  plan.Record = &record;
  TBenchRun run(std::move(plan));
  const std::vector<TTerminalOutcome> outcomes = run.Run(nullptr);
  terminal.Stop();

  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].State, TBenchState::Failed);
  EXPECT_NE(outcomes[0].Message.find("нет места на диске"), std::string::npos) << outcomes[0].Message;
  EXPECT_NE(run.RecordError().find("нет места на диске"), std::string::npos);
  EXPECT_EQ(terminal.State().Header[0], "Магазин") << "the recorded group was written";
  EXPECT_EQ(terminal.State().Trailer[0], "") << "a group was written without its record";
  // What the record took stays: the header passed, the trailer never started.
  TTerminalQuery query;
  query.RunId = run.RunId();
  const auto terminals = sqlite.Terminals(query);
  ASSERT_EQ(terminals.size(), 1u);
  ASSERT_EQ(terminals[0].Steps.size(), 2u);
  EXPECT_EQ(terminals[0].Steps[0].State, kRecordPassed);
  EXPECT_EQ(terminals[0].Steps[1].State, kRecordWaiting);
}

TEST(BenchRecord, TheReportOfARunIsWhatTheRecordHolds) {
  test::TempDir dir;
  TSqliteRecord record(dir.File("service.db"));
  sim::TTerminalSim terminal;
  terminal.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000042"; });
  terminal.Start();
  TBenchPlan plan = HeaderTrailerPlan(terminal.SlavePath());
  plan.Record = &record;
  plan.RunInfo.Operator = "sidorov";
  TBenchRun run(std::move(plan));
  const std::vector<TTerminalOutcome> live = run.Run(nullptr);
  terminal.Stop();
  const std::vector<TTerminalOutcome> recorded = RunOutcomes(record, run.RunId());
  ASSERT_EQ(recorded.size(), 1u);
  EXPECT_EQ(recorded[0].Port, live[0].Port);
  EXPECT_EQ(recorded[0].FactoryNumber, "354360000000042");
  EXPECT_EQ(recorded[0].State, TBenchState::Passed);
  ASSERT_EQ(recorded[0].Groups.size(), 2u);
  EXPECT_EQ(recorded[0].Groups[1].Group, TProfileGroup::Trailer);
  EXPECT_EQ(recorded[0].Groups[1].State, TBenchState::Passed);
  const auto found = record.Run(run.RunId());
  ASSERT_TRUE(found);
  EXPECT_EQ(found->State, kRecordPassed);
  EXPECT_EQ(found->Operator, "sidorov");
  TTerminalQuery query;
  query.FactoryNumber = "354360000000042";
  const auto terminals = record.Terminals(query);
  ASSERT_EQ(terminals.size(), 1u);
  EXPECT_GT(terminals[0].Steps[0].BytesSent, 0);
  EXPECT_EQ(terminals[0].Steps[0].Details, "строк 1");
}

}  // namespace
}  // namespace quorvel
