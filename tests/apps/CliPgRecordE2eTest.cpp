// record init through quorvel-cli, on a PostgreSQL server of the test's own and on an SQLite
// file: the record made once, said so, and then used by the bench's commands.
#include "CliFixture.h"

#include "PgServer.h"
#include "RecordUrl.h"

namespace {

using quorvel::test::CliTest;

TEST_F(CliTest, RecordInitMakesAPostgresRecordOnceAndTheCommandsUseIt) {
  QUORVEL_SKIP_WITHOUT_PG_SERVER();
  quorvel::test::TPgTestServer server;
  server.CreateRole("bench");
  server.CreateDatabase("service", "bench");
  const std::string url = server.Url("service", "bench");
  const std::string record = "--record " + Quote(url) + " ";

  const auto before = CliRaw(record + "record runs");
  EXPECT_EQ(before.Status, 1);
  EXPECT_NE(before.Err.find("record init"), std::string::npos) << before.Err;

  const auto made = CliRaw(record + "record init");
  EXPECT_EQ(made.Status, 0) << made.Err;
  EXPECT_EQ(made.Out, "Журнал обслуживания " + url + ": схема версии 1 создана\n");
  const auto again = CliRaw(record + "record init");
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(again.Out, "Журнал обслуживания " + url + ": схема уже версии 1\n");

  const std::string values = WriteFile("ids.csv", "serial\n11111111\n22222222\n");
  const auto import = CliRaw(record + "pool import march " + Quote(values));
  EXPECT_EQ(import.Status, 0) << import.Err;
  const auto status = CliRaw(record + "pool status march --format csv");
  EXPECT_EQ(status.Status, 0) << status.Err;
  EXPECT_EQ(status.Out, "line,key,state,factory_number,port,run,claimed\n2,,свободна,,,,\n3,,свободна,,,,\n");
  EXPECT_EQ(server.Sql("SELECT count(*) FROM pool_rows", "service"), "2\n");

  // The server away: the command says so, naming the record, and fails.
  server.Stop();
  const auto away = CliRaw(record + "record runs");
  EXPECT_EQ(away.Status, 1);
  EXPECT_EQ(away.Err.find("Журнал обслуживания " + url + ": нет связи с сервером"), 0u) << away.Err;
}

TEST_F(CliTest, RecordInitMakesAnSqliteFileOnce) {
  const std::string path = dir.File("bench.db");
  const auto made = CliRaw("--record " + Quote(path) + " record init");
  EXPECT_EQ(made.Status, 0) << made.Err;
  EXPECT_EQ(made.Out, "Журнал обслуживания " + path + ": схема версии 1 создана\n");
  const auto again = CliRaw("--record " + Quote(path) + " record init");
  EXPECT_EQ(again.Out, "Журнал обслуживания " + path + ": схема уже версии 1\n");
}

TEST_F(CliTest, ARecordPasswordInSettingsIsNotTaken) {
  WriteFile("settings.xml",
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<settings><Driver><PortNumber>1</PortNumber>"
            "<Record>postgresql://bench:s3cret@/service?host=/nowhere</Record></Driver></settings>\n");
  const auto run = CliRaw("record init");
  EXPECT_EQ(run.Status, 1);
  EXPECT_EQ(run.Err, std::string(quorvel::kRecordPasswordNotStored) + "\n");
}

}  // namespace
