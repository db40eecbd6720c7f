// The continuous bench against simulators: terminals replaced on ports that stay, ports that
// come and go in a watched folder, and what the record holds of every terminal.
#include "BenchRecord.h"
#include "BenchValues.h"
#include "BenchWatch.h"
#include "PgServer.h"
#include "Profile.h"
#include "SqliteRecord.h"
#include "TempDir.h"
#include "TerminalSim.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <thread>

namespace quorvel {
namespace {

using namespace std::chrono_literals;

std::string HeaderTrailerProfile() {
  TProfile profile;
  profile.Header = "Магазин\r\n";
  profile.Trailer = "Спасибо\r\n";
  profile.Groups = {TProfileGroup::Header, TProfileGroup::Trailer};
  return profile.SaveToText();
}

// A plan over a pool of serial numbers handed out in order, rows enough for rows terminals.
TWatchPlan PoolPlan(IServiceRecord& record, int rows) {
  std::string table = "serial\n";
  for (int i = 0; i < rows; ++i) table += fmt::format("{}\n", 70000000 + i);
  auto values =
      std::make_shared<const TBenchValues>(TBenchValues::Parse(table, "serials.csv", TValueKey::None));
  TWatchPlan plan;
  plan.Bench.ProfileText = HeaderTrailerProfile();
  plan.Bench.ProfileName = "p.xml";
  plan.Bench.Groups = {TProfileGroup::Header, TProfileGroup::Trailer};
  plan.Bench.Values = values;
  plan.Bench.Record = &record;
  plan.Bench.Pool = PoolOfValues(record, *values, table);
  plan.Bench.RunInfo = RunStartOf(plan.Bench, "test");
  plan.PollMilliseconds = 200;
  plan.SilenceMilliseconds = 800;
  return plan;
}

// A watch running on its own thread, stopped and joined however the test ends.
class TRunningWatch {
 public:
  explicit TRunningWatch(TBenchWatch& watch) : watch_(watch), thread_([&watch] { watch.Run(nullptr); }) {}
  ~TRunningWatch() { Stop(); }
  void Stop() {
    watch_.RequestStop();
    if (thread_.joinable()) thread_.join();
  }

 private:
  TBenchWatch& watch_;
  std::thread thread_;
};

// Waits (up to a minute) until done holds; false when it never did.
template <class F>
bool WaitFor(F done) {
  for (auto until = std::chrono::steady_clock::now() + 60s; std::chrono::steady_clock::now() < until;) {
    if (done()) return true;
    std::this_thread::sleep_for(20ms);
  }
  return done();
}

TEST(BenchWatchE2e, TerminalsReplacedOnPortsThatStayEachGetTheirOwnRowOnce) {
  test::TempDir dir;
  TSqliteRecord record(dir.File("service.db"));
  constexpr int kPorts = 8;
  constexpr int kReplacements = 4;
  constexpr int kTerminals = kPorts * (kReplacements + 1);
  std::vector<std::unique_ptr<sim::TTerminalSim>> sims;
  TWatchPlan plan = PoolPlan(record, kTerminals + 2);
  for (int i = 0; i < kPorts; ++i) {
    sims.push_back(std::make_unique<sim::TTerminalSim>());
    sims.back()->Update([i](sim::TSimState& s) { s.FactoryNumber = fmt::format("3580000{:02}000000", i); });
    sims.back()->Start();
    plan.Bench.Ports.push_back(sims.back()->SlavePath());
  }
  const std::string firstOfPort1 = sims[1]->State().FactoryNumber;
  const std::string pool = plan.Bench.Pool;
  TBenchWatch watch(std::move(plan));
  TRunningWatch run(watch);

  // Each port's terminal is replaced by the next as soon as the bench is done with it.
  std::vector<int> replaced(kPorts, 0);
  std::vector<int> seenDone(kPorts, 0);
  const bool allDone = WaitFor([&] {
    for (const TWatchPort& port : watch.Ports()) {
      const auto i = static_cast<std::size_t>(port.Index);
      if (port.State == TWatchState::Done && port.Done > seenDone[i] && replaced[i] < kReplacements) {
        seenDone[i] = port.Done;
        sims[i]->Replace();
        ++replaced[i];
      }
    }
    return watch.Summary().Done == kTerminals;
  });
  EXPECT_TRUE(allDone) << "done: " << watch.Summary().Done << ", failed: " << watch.Summary().Failed;

  // A terminal done earlier in the run, plugged back on another port, is not written again.
  sims[0]->SetSilent(true);
  ASSERT_TRUE(WaitFor([&] { return watch.Ports()[0].State == TWatchState::Waiting; }));
  sims[0]->Update([&](sim::TSimState& s) { s.FactoryNumber = firstOfPort1; });
  sims[0]->SetSilent(false);
  ASSERT_TRUE(WaitFor([&] { return watch.Summary().Skipped == 1; }));
  const TWatchPort back = watch.Ports()[0];
  EXPECT_EQ(back.State, TWatchState::Done);
  EXPECT_NE(back.Message.find(fmt::format("прогон {}", watch.RunId())), std::string::npos) << back.Message;
  run.Stop();

  const std::vector<TTerminalRecord> terminals = record.Terminals({"", "", watch.RunId()});
  ASSERT_EQ(terminals.size(), static_cast<std::size_t>(kTerminals));
  std::set<std::string> factories;
  std::set<std::int64_t> rows;
  std::set<std::string> serials;
  for (const TTerminalRecord& t : terminals) {
    EXPECT_EQ(t.State, kRecordPassed) << t.Port << ": " << t.Message;
    factories.insert(t.FactoryNumber);
    rows.insert(t.PoolRow);
    serials.insert(t.SerialAfter);
  }
  EXPECT_EQ(factories.size(), terminals.size());
  EXPECT_EQ(rows.size(), terminals.size());
  EXPECT_EQ(serials.size(), terminals.size());
  // The pool agrees: every used row holds the terminal that got it, two rows stay free.
  std::map<std::string, std::string> serialOf;
  for (const TTerminalRecord& t : terminals) serialOf[t.FactoryNumber] = t.SerialAfter;
  int used = 0;
  for (const TPoolRow& row : record.PoolRows(pool)) {
    if (row.State != kPoolUsed) continue;
    ++used;
    EXPECT_EQ(serialOf[row.FactoryNumber], row.Cells.at(0).second);
  }
  EXPECT_EQ(used, kTerminals);
  const std::optional<TRunRecord> ended = record.Run(watch.RunId());
  ASSERT_TRUE(ended);
  EXPECT_EQ(ended->State, kRecordStopped);
  EXPECT_EQ(ended->Terminals, kTerminals);
  for (auto& sim : sims) sim->Stop();
}

TEST(BenchWatchE2e, PortsComeAndGoInAWatchedFolderAndAVanishedOneFailsItsTerminalAlone) {
  test::TempDir dir;
  TSqliteRecord record(dir.File("service.db"));
  const std::filesystem::path folder = std::filesystem::path(dir.Path()) / "by-id";
  std::filesystem::create_directory(folder);
  sim::TTerminalSim kept;
  sim::TTerminalSim pulled;
  sim::TTerminalSim late;
  for (sim::TTerminalSim* sim : {&kept, &pulled, &late}) sim->Start();
  kept.Update([](sim::TSimState& s) { s.FactoryNumber = "111"; });
  pulled.Update([](sim::TSimState& s) { s.FactoryNumber = "222"; });
  late.Update([](sim::TSimState& s) { s.FactoryNumber = "333"; });
  // The pulled terminal's header takes long enough for its link to go while it is written.
  pulled.ArmFault("SMHEADER", {sim::TSimFaultKind::Delay, 0, 1, 1500});
  std::filesystem::create_symlink(kept.SlavePath(), folder / "usb-kept");
  std::filesystem::create_symlink(pulled.SlavePath(), folder / "usb-pulled");
  TWatchPlan plan = PoolPlan(record, 5);
  plan.WatchDir = folder.string();
  TBenchWatch watch(std::move(plan));
  TRunningWatch run(watch);

  const auto port = [&watch](const std::string& name) {
    for (const TWatchPort& p : watch.Ports())
      if (p.Name == name) return p;
    return TWatchPort{};
  };
  const std::string header = ProfileGroupName(TProfileGroup::Header);
  ASSERT_TRUE(WaitFor([&] { return port("usb-pulled").Terminal.Step.find(header) != std::string::npos; }));
  std::filesystem::remove(folder / "usb-pulled");
  std::filesystem::create_symlink(late.SlavePath(), folder / "usb-late");
  ASSERT_TRUE(WaitFor([&] { return watch.Summary().Done == 2 && watch.Summary().Failed == 1; }))
      << "done " << watch.Summary().Done << ", failed " << watch.Summary().Failed;
  ASSERT_TRUE(WaitFor([&] { return port("usb-pulled").State == TWatchState::Gone; }));
  EXPECT_EQ(port("usb-pulled").Message, kDeviceLost);
  EXPECT_EQ(port("usb-kept").State, TWatchState::Done);
  EXPECT_EQ(port("usb-late").State, TWatchState::Done);
  run.Stop();

  std::map<std::string, TTerminalRecord> byFactory;
  for (const TTerminalRecord& t : record.Terminals({"", "", watch.RunId()})) byFactory[t.FactoryNumber] = t;
  ASSERT_EQ(byFactory.size(), 3u);
  EXPECT_EQ(byFactory["111"].State, kRecordPassed);
  EXPECT_EQ(byFactory["333"].State, kRecordPassed);
  EXPECT_EQ(byFactory["222"].State, kRecordFailed);
  EXPECT_EQ(byFactory["222"].Message, kDeviceLost);
  EXPECT_EQ(late.State().Trailer.at(0), "Спасибо");
  // Nothing more went to the pulled terminal after its port vanished.
  EXPECT_EQ(pulled.State().Trailer.at(0), "");
  // The pulled terminal's row stays its own, marked failed, for when it comes back.
  int failedRows = 0;
  for (const TPoolRow& row : record.PoolRows(record.Run(watch.RunId())->Pool))
    if (row.FactoryNumber == "222") failedRows += row.State == kPoolFailed;
  EXPECT_EQ(failedRows, 1);
  for (sim::TTerminalSim* sim : {&kept, &pulled, &late}) sim->Stop();
}

TEST(BenchWatchE2e, ATerminalTheRecordCannotTakeGetsNoFurtherWriteAndTheRunGoesOnWhenTheServerIsBack) {
  QUORVEL_SKIP_WITHOUT_PG_SERVER();
  test::TPgTestServer server;
  server.CreateRole("bench");
  server.CreateDatabase("service", "bench");
  const std::string url = server.Url("service", "bench");
  InitServiceRecord(url);
  std::unique_ptr<IServiceRecord> record = OpenServiceRecord(url);
  sim::TTerminalSim terminal;
  terminal.Update([](sim::TSimState& s) { s.FactoryNumber = "354000000000100"; });
  terminal.ArmFault("SMHEADER", {sim::TSimFaultKind::Delay, 0, 1, 1500});
  terminal.Start();
  TWatchPlan plan = PoolPlan(*record, 5);
  plan.Bench.Ports = {terminal.SlavePath()};
  const std::string pool = plan.Bench.Pool;
  TBenchWatch watch(std::move(plan));
  TRunningWatch run(watch);

  const std::string header = ProfileGroupName(TProfileGroup::Header);
  ASSERT_TRUE(WaitFor([&] { return watch.Ports().at(0).Terminal.Step.find(header) != std::string::npos; }));
  server.Stop();
  ASSERT_TRUE(WaitFor([&] { return watch.Summary().Failed == 1; }));
  EXPECT_FALSE(watch.Summary().RecordProblem.empty());
  EXPECT_NE(watch.Ports().at(0).Message.find("Журнал обслуживания"), std::string::npos)
      << watch.Ports().at(0).Message;
  // The header went before the record failed; the trailer after it never did.
  EXPECT_EQ(terminal.State().Trailer.at(0), "");

  server.Start();
  terminal.Replace();
  ASSERT_TRUE(WaitFor([&] { return watch.Summary().Done == 1; })) << watch.Ports().at(0).Message;
  EXPECT_EQ(terminal.State().Trailer.at(0), "Спасибо");
  EXPECT_TRUE(watch.Summary().RecordProblem.empty()) << watch.Summary().RecordProblem;
  run.Stop();

  // The failed terminal's end reached the record once it was back, its row kept for it.
  std::map<std::string, TTerminalRecord> byFactory;
  for (const TTerminalRecord& t : record->Terminals({"", "", watch.RunId()})) byFactory[t.FactoryNumber] = t;
  ASSERT_EQ(byFactory.size(), 2u);
  EXPECT_EQ(byFactory["354000000000100"].State, kRecordFailed);
  EXPECT_EQ(byFactory["354000000000101"].State, kRecordPassed);
  std::map<std::string, std::string> rowState;
  for (const TPoolRow& row : record->PoolRows(pool))
    if (!row.FactoryNumber.empty()) rowState[row.FactoryNumber] = row.State;
  EXPECT_EQ(rowState["354000000000100"], kPoolFailed);
  EXPECT_EQ(rowState["354000000000101"], kPoolUsed);
}

}  // namespace
}  // namespace quorvel
