// What every back end of the service record promises alike, run over an SQLite file and over a
// PostgreSQL server of the test's own: what was committed is there for the next open, each
// pool row goes to one terminal, and the refusals say the same words.
#include "ErrorOf.h"
#include "PgRecord.h"
#include "PgServer.h"
#include "PoolTables.h"
#include "SqliteRecord.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <thread>

namespace quorvel {
namespace {

using test::ErrorOf;
using test::Pool;

struct TSqliteBackend {
  static std::string Missing() { return {}; }
  std::unique_ptr<IServiceRecord> Open() const {
    return std::make_unique<TSqliteRecord>(dir.File("service.db"));
  }
  test::TempDir dir;
};

struct TPgBackend {
  static std::string Missing() { return test::TPgTestServer::MissingReason(); }
  TPgBackend() {
    server.CreateRole("bench");
    server.CreateDatabase("service", "bench");
    InitServiceRecord(server.Url("service", "bench"));
  }
  std::unique_ptr<IServiceRecord> Open() const {
    return std::make_unique<TPgRecord>(server.Url("service", "bench"));
  }
  test::TPgTestServer server;
};

template <class Backend>
class RecordContract : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = Backend::Missing(); !missing.empty()) GTEST_SKIP() << missing;
    backend = std::make_unique<Backend>();
  }
  std::unique_ptr<IServiceRecord> Open() const { return backend->Open(); }

  std::unique_ptr<Backend> backend;
};

struct TBackendName {
  template <class T>
  static std::string GetName(int) {
    return std::is_same_v<T, TSqliteBackend> ? "Sqlite" : "Pg";
  }
};

using TBackends = ::testing::Types<TSqliteBackend, TPgBackend>;
TYPED_TEST_SUITE(RecordContract, TBackends, TBackendName);

TYPED_TEST(RecordContract, WhatWasCommittedIsThereForTheNextOpen) {
  std::int64_t run = 0;
  std::int64_t retry = 0;
  {
    const auto record = this->Open();
    TRunStart start;
    start.Host = "bench-1";
    start.Operator = "Иванов";
    start.Profile = "магазин.xml";
    start.ProfileSha256 = std::string(64, 'a');
    start.Groups = "sim,header";
    start.Pool = "march";
    run = record->StartRun(start);
    start.RetryOf = run;
    retry = record->StartRun(start);
    TTerminalRecord terminal;
    terminal.RunId = run;
    terminal.Position = 1;
    terminal.Port = "/dev/ttyUSB0";
    terminal.FactoryNumber = "354360000000001";
    for (const char* name : {"sim", "header"}) {
      TStepRecord step;
      step.Position = static_cast<int>(terminal.Steps.size());
      step.Name = name;
      terminal.Steps.push_back(step);
    }
    record->AddTerminal(terminal);
    ASSERT_NE(terminal.Id, 0);
    ASSERT_NE(terminal.Steps[0].Id, terminal.Steps[1].Id);
    terminal.SerialAfter = "12345678";
    terminal.State = kRecordPassed;
    terminal.Seconds = 12.625;
    terminal.Values = "sim_pin=задан; 'кавычки' \"и\" \\";
    record->UpdateTerminal(terminal);
    terminal.Steps[1].State = kRecordFailed;
    terminal.Steps[1].Message = "Команда отвергнута";
    terminal.Steps[1].Seconds = 0.1;
    terminal.Steps[1].BytesSent = 5000000000;
    record->UpdateStep(terminal.Steps[1]);
    record->EndRun(run, kRecordPassed);
    TOperationRecord operation;
    operation.Operation = "sim write";
    operation.FactoryNumber = "354360000000001";
    operation.Result = kRecordPassed;
    record->AddOperation(operation);
    operation.FactoryNumber = "354360000000002";
    record->AddOperation(operation);
  }
  const auto record = this->Open();
  const auto found = record->Run(run);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Operator, "Иванов");
  EXPECT_EQ(found->Profile, "магазин.xml");
  EXPECT_EQ(found->State, kRecordPassed);
  EXPECT_FALSE(found->Ended.empty());
  EXPECT_EQ(found->Terminals, 1);
  EXPECT_EQ(found->Passed, 1);
  EXPECT_EQ(found->RetryOf, 0);
  EXPECT_EQ(record->Run(retry)->RetryOf, run);
  EXPECT_FALSE(record->Run(retry + 100));
  EXPECT_EQ(record->Runs("").size(), 2u);
  EXPECT_EQ(record->Runs("2999-01-01").size(), 0u);
  EXPECT_EQ(record->Runs(found->Started).size(), 2u) << "since is inclusive";

  for (const TTerminalQuery& query : {TTerminalQuery{"354360000000001", "", 0},
                                      TTerminalQuery{"", "12345678", 0}, TTerminalQuery{"", "", run}}) {
    const auto terminals = record->Terminals(query);
    ASSERT_EQ(terminals.size(), 1u);
    const TTerminalRecord& t = terminals[0];
    EXPECT_EQ(t.Position, 1);
    EXPECT_EQ(t.State, kRecordPassed);
    EXPECT_DOUBLE_EQ(t.Seconds, 12.625);
    EXPECT_EQ(t.Values, "sim_pin=задан; 'кавычки' \"и\" \\");
    ASSERT_EQ(t.Steps.size(), 2u);
    EXPECT_EQ(t.Steps[0].State, kRecordWaiting);
    EXPECT_EQ(t.Steps[1].Name, "header");
    EXPECT_EQ(t.Steps[1].Message, "Команда отвергнута");
    EXPECT_DOUBLE_EQ(t.Steps[1].Seconds, 0.1);
    EXPECT_EQ(t.Steps[1].BytesSent, 5000000000);
  }
  EXPECT_TRUE(record->Terminals(TTerminalQuery{"", "", retry}).empty());
  EXPECT_TRUE(record->Terminals(TTerminalQuery{"354360000000009", "", 0}).empty());
  EXPECT_EQ(record->Operations("").size(), 2u);
  const auto operations = record->Operations("354360000000002");
  ASSERT_EQ(operations.size(), 1u);
  EXPECT_FALSE(operations[0].Time.empty()) << "the record's own time when none is given";
}

TYPED_TEST(RecordContract, AKeyedRowGoesToItsTerminalAloneAndBackToItWhenSeenAgain) {
  const auto owned = this->Open();
  IServiceRecord& record = *owned;
  record.ImportPool(Pool("batch", "factory_number", 3), false);
  EXPECT_EQ(ErrorOf([&] { record.ImportPool(Pool("batch", "factory_number", 3), false); }),
            "Набор batch уже есть");
  EXPECT_TRUE(record.HasPool("batch"));
  EXPECT_FALSE(record.HasPool("Batch"));
  EXPECT_EQ(record.PoolKeyColumn("batch"), "factory_number");

  const auto first = record.ClaimRow("batch", "F1", TClaimer{"F1", "/dev/ttyUSB0", 0});
  ASSERT_TRUE(first);
  EXPECT_FALSE(first->Again);
  EXPECT_EQ(first->Row.Line, 3);
  EXPECT_EQ(first->Row.State, kPoolClaimed);
  ASSERT_EQ(first->Row.Cells.size(), 2u);
  EXPECT_EQ(first->Row.Cells[1], std::make_pair(std::string("serial"), std::string("10000001")));
  record.SetRowState(first->Row.Id, kPoolFailed);
  // Re-plugged on another port in a later run: the same row, the terminal's own.
  const auto again = record.ClaimRow("batch", "F1", TClaimer{"F1", "/dev/ttyUSB5", 0});
  ASSERT_TRUE(again);
  EXPECT_TRUE(again->Again);
  EXPECT_EQ(again->Row.Id, first->Row.Id);
  EXPECT_EQ(again->Row.Port, "/dev/ttyUSB5");
  // A key no row has, and a row held by another terminal (a table keyed by port).
  EXPECT_FALSE(record.ClaimRow("batch", "F9", TClaimer{"F9", "/dev/ttyUSB1", 0}));
  record.ImportPool(Pool("ports", "port", 2), false);
  ASSERT_TRUE(record.ClaimRow("ports", "F0", TClaimer{"A", "/dev/ttyUSB0", 0}));
  EXPECT_EQ(ErrorOf([&] {
              record.ClaimRow("ports", "F0", TClaimer{"B", "/dev/ttyUSB0", 0});
            }),
            "Строка 2 набора ports уже выдана терминалу A");

  // A row tied to a port that also names its terminal goes to that terminal only.
  TPoolTable named = Pool("named", "port", 1);
  named.Columns = {"port", "factory_number"};
  named.Rows = {{"/dev/ttyUSB3", "354360000000003"}};
  record.ImportPool(named, false);
  EXPECT_EQ(ErrorOf([&] {
              record.ClaimRow("named", "/dev/ttyUSB3", TClaimer{"354360000000004", "/dev/ttyUSB3", 0});
            }),
            "Строка 2 набора named для терминала с заводским номером 354360000000003, а терминал сообщил "
            "354360000000004");
  EXPECT_EQ(record.PoolRows("named")[0].State, kPoolFree) << "a refused claim takes nothing";
  EXPECT_TRUE(record.ClaimRow("named", "/dev/ttyUSB3", TClaimer{"354360000000003", "/dev/ttyUSB3", 0}));

  // A row whose terminal never got its values back is freed; one that was written is not.
  record.ReleaseRow("batch", "F1");
  const auto rows = record.PoolRows("batch");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].State, kPoolFree);
  EXPECT_EQ(rows[1].FactoryNumber, "");
  EXPECT_EQ(rows[1].Port, "");
  const auto used = record.ClaimRow("batch", "F2", TClaimer{"F2", "/dev/ttyUSB2", 0});
  ASSERT_TRUE(used);
  record.SetRowState(used->Row.Id, kPoolUsed);
  EXPECT_EQ(ErrorOf([&] { record.ReleaseRow("batch", "F2"); }),
            "Строка 4 набора batch уже записана в терминал F2: ее нельзя освободить");
  EXPECT_EQ(ErrorOf([&] { record.ReleaseRow("batch", "F0"); }), "В наборе batch нет выданной строки F0")
      << "a free row is not held";
  EXPECT_EQ(ErrorOf([&] { record.PoolRows("none"); }), "Нет набора none");
  EXPECT_EQ(ErrorOf([&] { record.PoolKeyColumn("none"); }), "Нет набора none");
  EXPECT_EQ(ErrorOf([&] {
              record.ClaimRow("none", "", TClaimer{"F1", "/dev/ttyUSB0", 0});
            }),
            "Нет набора none");
}

TYPED_TEST(RecordContract, APoolOfTheSameFileIsKeptAndAnotherOfItsNameRefused) {
  const auto record = this->Open();
  TPoolTable table = Pool("march", "", 3);
  table.SourceSha256 = "abc";
  table.Rows[0][0] = "O'Brien \"$1\" \\ ;--";
  record->ImportPool(table, true);
  const auto claim = record->ClaimRow("march", "", TClaimer{"T1", "/dev/ttyUSB0", 0});
  ASSERT_TRUE(claim);
  EXPECT_EQ(claim->Row.Cells.at(0).second, "O'Brien \"$1\" \\ ;--");
  // The same file again (a second run of profile write --values): the pool as it is, claims
  // included.
  record->ImportPool(table, true);
  EXPECT_EQ(record->PoolRows("march")[0].State, kPoolClaimed);
  table.SourceSha256 = "def";
  EXPECT_EQ(ErrorOf([&] { record->ImportPool(table, true); }), "Набор march уже есть");
  EXPECT_EQ(record->PoolRows("march").size(), 3u);
}

TYPED_TEST(RecordContract, RowsInOrderGoOneByOneUntilNoneIsLeft) {
  const auto record = this->Open();
  record->ImportPool(Pool("ids", "", 2), false);
  EXPECT_EQ(record->PoolKeyColumn("ids"), "");
  const std::int64_t run = record->StartRun({});
  const auto first = record->ClaimRow("ids", "", TClaimer{"T1", "/dev/ttyUSB0", run});
  const auto second = record->ClaimRow("ids", "", TClaimer{"T2", "/dev/ttyUSB1", 0});
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->Row.Line, 2);
  EXPECT_EQ(second->Row.Line, 3);
  EXPECT_EQ(first->Row.RunId, run);
  EXPECT_EQ(record->PoolRows("ids")[0].RunId, run);
  EXPECT_FALSE(record->ClaimRow("ids", "", TClaimer{"T3", "/dev/ttyUSB2", 0}));
  const auto back = record->ClaimRow("ids", "", TClaimer{"T1", "/dev/ttyUSB2", 0});
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->Again);
  EXPECT_EQ(back->Row.Id, first->Row.Id);
  // A freed row goes to the next terminal that holds none.
  record->ReleaseRow("ids", "T2");
  const auto next = record->ClaimRow("ids", "", TClaimer{"T3", "/dev/ttyUSB2", 0});
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Row.Line, 3);
  EXPECT_FALSE(next->Again);
}

// Two benches on one record, one of them with two threads on one record object.
TYPED_TEST(RecordContract, BenchesClaimingInOrderAtOnceGetEveryRowOnce) {
  constexpr int kRows = 100;
  const auto first = this->Open();
  const auto second = this->Open();
  first->ImportPool(Pool("identities", "", kRows), false);
  std::vector<std::vector<int>> lines(3);  // per thread, the lines it got
  std::vector<std::string> errors(3);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    IServiceRecord& record = t == 0 ? *first : *second;
    threads.emplace_back([&record, t, &errors, &lines, name = "B" + std::to_string(t)] {
      try {
        std::vector<int> got;
        for (int i = 0;; ++i) {
          const auto claim =
              record.ClaimRow("identities", "", TClaimer{name + "-" + std::to_string(i), "/dev/pts/1", 0});
          if (!claim) break;
          if (claim->Again) throw std::runtime_error("a new terminal got a row again");
          got.push_back(claim->Row.Line);
        }
        lines[t] = std::move(got);
      } catch (const std::exception& e) {
        errors[t] = e.what();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (const std::string& error : errors) EXPECT_EQ(error, "");
  std::set<int> all;
  std::size_t given = 0;
  for (const std::vector<int>& got : lines) {
    EXPECT_TRUE(std::is_sorted(got.begin(), got.end())) << "rows out of order";
    given += got.size();
    all.insert(got.begin(), got.end());
  }
  EXPECT_EQ(given, static_cast<std::size_t>(kRows)) << "a row went to two terminals, or one was never given";
  EXPECT_EQ(all.size(), static_cast<std::size_t>(kRows));
  std::set<std::string> holders;
  for (const TPoolRow& row : second->PoolRows("identities")) {
    EXPECT_EQ(row.State, kPoolClaimed);
    holders.insert(row.FactoryNumber);
  }
  EXPECT_EQ(holders.size(), static_cast<std::size_t>(kRows));
}

}  // namespace
}  // namespace quorvel
