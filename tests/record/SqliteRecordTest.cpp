// The service record in an SQLite file: made whole or not at all, never taking a file that is
// not its own, and handing each pool row to one terminal only, across processes.
#include "SqliteRecord.h"

#include "PoolTables.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace quorvel {
namespace {

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ErrorOpening(const std::string& path) {
  try {
    TSqliteRecord record(path);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

using test::Pool;

TEST(SqliteRecord, AMissingRecordIsMadeForItsOwnerOnlyAndKeepsWhatWasCommitted) {
  test::TempDir dir;
  const std::string path = dir.File("service.db");
  std::int64_t run = 0;
  {
    TSqliteRecord record(path);
    TRunStart start;
    start.Operator = "ivanov";
    start.Profile = "shop.xml";
    run = record.StartRun(start);
    TTerminalRecord terminal;
    terminal.RunId = run;
    terminal.Port = "/dev/ttyUSB0";
    for (const char* name : {"sim", "header"}) {
      TStepRecord step;
      step.Position = static_cast<int>(terminal.Steps.size());
      step.Name = name;
      terminal.Steps.push_back(step);
    }
    record.AddTerminal(terminal);
    terminal.Steps[0].State = kRecordPassed;
    terminal.Steps[0].BytesSent = 120;
    record.UpdateStep(terminal.Steps[0]);
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // Nothing but the record itself (and SQLite's own companions) is left in the folder.
  EXPECT_EQ(::access((path + ".XXXXXX").c_str(), F_OK), -1);

  TSqliteRecord again(path);
  const auto found = again.Run(run);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Operator, "ivanov");
  EXPECT_EQ(found->State, kRecordRunning);
  TTerminalQuery query;
  query.RunId = run;
  const auto terminals = again.Terminals(query);
  ASSERT_EQ(terminals.size(), 1u);
  ASSERT_EQ(terminals[0].Steps.size(), 2u);
  EXPECT_EQ(terminals[0].Steps[0].State, kRecordPassed);
  EXPECT_EQ(terminals[0].Steps[0].BytesSent, 120);
  EXPECT_EQ(terminals[0].Steps[1].State, kRecordWaiting);
}

TEST(SqliteRecord, AFileThatIsNotARecordOfThisVersionIsRefusedAndLeftAsItWas) {
  test::TempDir dir;
  // A real record, to damage.
  const std::string good = dir.File("good.db");
  { TSqliteRecord record(good); }
  const std::string goodBytes = ReadBytes(good);

  // Another program's SQLite database, and a record of a newer schema.
  const std::string other = dir.File("other.db");
  const std::string newer = dir.File("newer.db");
  for (const auto& [path, sql] : {std::pair(other, "CREATE TABLE t(x); INSERT INTO t VALUES(1);"),
                                  std::pair(newer, "")}) {
    if (path == newer) WriteBytes(newer, goodBytes);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    const std::string all = path == newer ? "PRAGMA user_version=99" : sql;
    ASSERT_EQ(sqlite3_exec(db, all.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  std::string damaged = goodBytes;
  for (std::size_t i = 200; i < damaged.size(); i += 97) damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
  const struct {
    const char* name;
    std::string bytes;
    const char* reason;
  } cases[] = {
      {"empty.db", "", "не является базой данных SQLite"},
      {"text.db", "port,serial\n/dev/ttyS0,12345678\n", "не является базой данных SQLite"},
      {"truncated.db", goodBytes.substr(0, 100), "поврежден"},
      {"damaged.db", damaged, "поврежден"},
      {"other.db", ReadBytes(other), "другой программы"},
      {"newer.db", ReadBytes(newer), "версия схемы 99 новее"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    WriteBytes(path, c.bytes);
    const std::string error = ErrorOpening(path);
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_TRUE(ReadBytes(path) == c.bytes) << "the file was changed";
  }
  EXPECT_EQ(ErrorOpening(dir.File("no-such-folder/service.db")).find("Журнал обслуживания"), 0u);
}

TEST(SqliteRecord, ProcessesClaimingFromOnePoolInOrderNeverShareARow) {
  test::TempDir dir;
  const std::string path = dir.File("service.db");
  constexpr int kProcesses = 4;
  constexpr int kClaims = 10;
  {
    TSqliteRecord record(path);
    record.ImportPool(Pool("identities", "", kProcesses * kClaims), false);
  }
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int status = 0;
      try {
        TSqliteRecord record(path);
        for (int i = 0; i < kClaims; ++i) {
          const std::string terminal = "P" + std::to_string(p) + "-" + std::to_string(i);
          if (!record.ClaimRow("identities", "", TClaimer{terminal, "/dev/pts/" + std::to_string(p), 0})) status = 2;
        }
        // No row is left for one more terminal once all are out; checked by the last one only.
      } catch (...) {
        status = 3;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  TSqliteRecord record(path);
  std::set<std::string> holders;
  for (const TPoolRow& row : record.PoolRows("identities")) {
    EXPECT_EQ(row.State, kPoolClaimed);
    holders.insert(row.FactoryNumber);
  }
  EXPECT_EQ(holders.size(), static_cast<std::size_t>(kProcesses * kClaims)) << "a row went to two terminals";
  EXPECT_FALSE(record.ClaimRow("identities", "", TClaimer{"late", "/dev/pts/9", 0}));
  // A terminal seen again gets its row even with none free.
  EXPECT_TRUE(record.ClaimRow("identities", "", TClaimer{"P0-0", "/dev/pts/9", 0}));
}

}  // namespace
}  // namespace quorvel
