// The record in PostgreSQL: only a database made ready for it is taken, benches never wait on
// each other's claims, a server that goes away is said so and found again, and a password
// never shows.
#include "ErrorOf.h"
#include "PgRecord.h"
#include "PgServer.h"
#include "PoolTables.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <thread>

namespace quorvel {
namespace {

using test::ErrorOf;
using test::Pool;

class PgRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    QUORVEL_SKIP_WITHOUT_PG_SERVER();
    server = std::make_unique<test::TPgTestServer>();
    server->CreateRole("bench");
    server->CreateDatabase("service", "bench");
    url = server->Url("service", "bench");
  }

  std::unique_ptr<test::TPgTestServer> server;
  std::string url;
};

// A connection of the test's own, beside the record's.
class TRawConnection {
 public:
  explicit TRawConnection(const std::string& url) : conn_(PQconnectdb(url.c_str())) {}
  ~TRawConnection() { PQfinish(conn_); }
  bool Ok() const { return PQstatus(conn_) == CONNECTION_OK; }
  std::string Exec(const std::string& sql) {
    PGresult* r = PQexec(conn_, sql.c_str());
    const bool ok = PQresultStatus(r) == PGRES_TUPLES_OK || PQresultStatus(r) == PGRES_COMMAND_OK;
    std::string first = ok && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0) : "";
    if (!ok) first = "error: " + std::string(PQerrorMessage(conn_));
    PQclear(r);
    return first;
  }

 private:
  PGconn* conn_;
};

TEST_F(PgRecord, ADatabaseWithoutTheRecordIsRefusedUntilRecordInitMakesIt) {
  const std::string empty = ErrorOf([&] { TPgRecord record(url); });
  EXPECT_EQ(empty.find("Журнал обслуживания " + url + ": в базе данных нет журнала обслуживания"), 0u)
      << empty;
  EXPECT_NE(empty.find("quorvel-cli --record " + url + " record init"), std::string::npos) << empty;

  server->CreateDatabase("shop", "bench");
  server->Sql("CREATE TABLE goods(id INTEGER); INSERT INTO goods VALUES (1)", "shop");
  const std::string shopUrl = server->Url("shop", "bench");
  const std::string other = ErrorOf([&] { TPgRecord record(shopUrl); });
  EXPECT_NE(other.find("другой программы"), std::string::npos) << other;
  EXPECT_NE(other.find("record init"), std::string::npos) << other;
  EXPECT_EQ(server->Sql("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'", "shop"), "1\n")
      << "nothing was made in a database not ours";
  EXPECT_EQ(server->Sql("SELECT count(*) FROM pg_tables WHERE schemaname = 'public'", "service"), "0\n");

  EXPECT_EQ(InitServiceRecord(url), "Журнал обслуживания " + url + ": схема версии 1 создана");
  EXPECT_EQ(InitServiceRecord(url), "Журнал обслуживания " + url + ": схема уже версии 1");
  EXPECT_EQ(server->Sql("SELECT version FROM quorvel_schema", "service"), "1\n");
  TPgRecord record(url);
  EXPECT_EQ(record.Location(), url);
  EXPECT_EQ(server->Sql("SELECT application_name FROM pg_stat_activity WHERE datname = 'service'"),
            "quorvel\n");
}

TEST_F(PgRecord, BenchesMakingTheRecordAtOnceMakeItOnce) {
  // Each says what it did, or its error.
  std::string said[2];
  const auto init = [&](int i) {
    const std::string error = ErrorOf([&] { said[i] = InitServiceRecord(url); });
    if (!error.empty()) said[i] = error;
  };
  std::thread other(init, 1);
  init(0);
  other.join();
  const std::string made = "Журнал обслуживания " + url + ": схема версии 1 создана";
  const std::string there = "Журнал обслуживания " + url + ": схема уже версии 1";
  EXPECT_TRUE((said[0] == made && said[1] == there) || (said[0] == there && said[1] == made))
      << said[0] << "\n"
      << said[1];
  EXPECT_EQ(server->Sql("SELECT count(*) FROM quorvel_schema", "service"), "1\n");
}

TEST_F(PgRecord, ANewerSchemaIsRefusedAndLeftAsItIs) {
  InitServiceRecord(url);
  server->Sql("UPDATE quorvel_schema SET version = 99", "service");
  for (const std::string& error :
       {ErrorOf([&] { TPgRecord record(url); }), ErrorOf([&] { InitServiceRecord(url); })}) {
    EXPECT_EQ(error, "Журнал обслуживания " + url +
                         ": версия схемы 99 новее, чем знает эта программа (1); обновите программу");
  }
  EXPECT_EQ(server->Sql("SELECT version FROM quorvel_schema", "service"), "99\n");
}

TEST_F(PgRecord, AClaimTakesTheNextRowRatherThanWaitForOneAnotherBenchHolds) {
  InitServiceRecord(url);
  // Should the claim wait after all, it fails after a while instead of hanging the test.
  TPgRecord record(url + "&options=-c%20lock_timeout%3D20000");
  record.ImportPool(Pool("ids", "", 3), false);
  TRawConnection bench(url);
  ASSERT_TRUE(bench.Ok());
  ASSERT_EQ(bench.Exec("BEGIN"), "");
  const std::string held = bench.Exec("SELECT id FROM pool_rows WHERE line = 2 FOR UPDATE");
  ASSERT_FALSE(held.empty());
  const auto claim = record.ClaimRow("ids", "", TClaimer{"T1", "/dev/ttyUSB0", 0});
  ASSERT_TRUE(claim);
  EXPECT_NE(std::to_string(claim->Row.Id), held);
  EXPECT_EQ(claim->Row.Line, 3);
  bench.Exec("ROLLBACK");
  // Let go, the row is the next terminal's.
  const auto next = record.ClaimRow("ids", "", TClaimer{"T2", "/dev/ttyUSB1", 0});
  ASSERT_TRUE(next);
  EXPECT_EQ(next->Row.Line, 2);
}

TEST_F(PgRecord, AServerThatGoesAwayIsSaidSoAndTheNextCallFindsItBack) {
  InitServiceRecord(url);
  TPgRecord record(url);
  TRunStart start;
  start.Operator = "ivanov";
  const std::int64_t before = record.StartRun(start);

  server->Stop();
  const std::string error = ErrorOf([&] { record.StartRun(start); });
  EXPECT_EQ(error.find("Журнал обслуживания " + url + ": нет связи с сервером: "), 0u) << error;
  EXPECT_GT(error.size(), ("Журнал обслуживания " + url + ": нет связи с сервером: ").size())
      << "libpq's own words follow";
  try {
    record.Runs("");
    ADD_FAILURE() << "no error without the server";
  } catch (const ERecordError&) {
  }

  server->Start();
  const std::int64_t after = record.StartRun(start);
  EXPECT_GT(after, before);
  EXPECT_EQ(record.Runs("").size(), 2u) << "the failed calls left nothing";

  // Restarted between two calls: the next one goes on without an error.
  server->Stop();
  server->Start();
  EXPECT_EQ(ErrorOf([&] { record.EndRun(after, kRecordPassed); }), "");
  EXPECT_EQ(record.Run(after)->State, kRecordPassed);
}

TEST_F(PgRecord, APasswordFromTheUrlOrAPassFileNeverShows) {
  const std::string password = "s3cret-Пароль";
  server->CreateRole("keeper", password);
  server->CreateDatabase("kept", "keeper");
  server->RequirePassword("keeper");
  const std::string plain = server->Url("kept", "keeper");
  // %D0%9F... are the password's Cyrillic letters, as a URL carries them.
  const std::string withPassword =
      "postgresql://keeper:s3cret-%D0%9F%D0%B0%D1%80%D0%BE%D0%BB%D1%8C@/kept?host=" + server->Folder() +
      "&port=" + std::to_string(server->Port());
  const std::string shown =
      "postgresql://keeper:***@/kept?host=" + server->Folder() + "&port=" + std::to_string(server->Port());

  const std::string none = ErrorOf([&] { TPgRecord record(plain); });
  EXPECT_EQ(none.find("Журнал обслуживания " + plain + ": сервер требует пароль"), 0u) << none;

  EXPECT_EQ(InitServiceRecord(withPassword), "Журнал обслуживания " + shown + ": схема версии 1 создана");
  {
    TPgRecord record(withPassword);
    EXPECT_EQ(record.Location(), shown);
    record.StartRun({});
    server->Stop();
    const std::string error = ErrorOf([&] { record.Runs(""); });
    EXPECT_EQ(error.find("Журнал обслуживания " + shown + ": "), 0u) << error;
    EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
    server->Start();
  }
  const std::string wrong = "postgresql://keeper:wrong-one@/kept?host=" + server->Folder() +
                            "&port=" + std::to_string(server->Port());
  const std::string refused = ErrorOf([&] { TPgRecord record(wrong); });
  EXPECT_NE(refused.find("Журнал обслуживания postgresql://keeper:***@/kept"), std::string::npos) << refused;
  EXPECT_EQ(refused.find("wrong-one"), std::string::npos) << refused;

  test::TempDir dir;
  const std::string passFile = dir.File("pgpass");
  std::ofstream(passFile) << "*:*:kept:keeper:" << password << "\n";
  ASSERT_EQ(::chmod(passFile.c_str(), 0600), 0);
  ::setenv("PGPASSFILE", passFile.c_str(), 1);
  const std::string fromFile = ErrorOf([&] { EXPECT_EQ(TPgRecord(plain).Runs("").size(), 1u); });
  ::unsetenv("PGPASSFILE");
  EXPECT_EQ(fromFile, "");
}

}  // namespace
}  // namespace quorvel
