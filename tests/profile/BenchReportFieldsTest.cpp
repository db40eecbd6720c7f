// The bench's report files: fields a spreadsheet reads back as they were, and the terminals a
// retry takes again.
#include "BenchReport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace quorvel {
namespace {

TTerminalOutcome Outcome(const std::string& port, TBenchState state, const std::string& message) {
  TTerminalOutcome o;
  o.Port = port;
  o.FactoryNumber = "354360000000001";
  o.State = state;
  o.Message = message;
  TGroupOutcome group;
  group.Group = TProfileGroup::Header;
  group.State = state;
  group.Message = message;
  o.Groups.push_back(group);
  return o;
}

TEST(BenchReport, CsvFieldsWithQuotesOrCommasAreQuotedAndTheQuotesDoubled) {
  const struct {
    const char* message;
    const char* field;
  } cases[] = {
      {"Терминал ответил \"ERROR\"", "\"Терминал ответил \"\"ERROR\"\"\""},
      {"\"", "\"\"\"\""},
      {"header, строка 2", "\"header, строка 2\""},
      {"без кавычек", "без кавычек"},
  };
  for (const auto& c : cases) {
    const std::string csv = BenchReportCsv({Outcome("/dev/ttyUSB0", TBenchState::Failed, c.message)});
    // The terminal's message and its group's message, each one field of the row.
    const std::string row =
        std::string("/dev/ttyUSB0,354360000000001,,ошибка,") + c.field + ",0.0,ошибка," + c.field + ",0.0\n";
    EXPECT_EQ(csv.substr(csv.find('\n') + 1), row) << c.message;
  }
}

TEST(BenchReport, ARetryTakesEveryTerminalThatDidNotPassStoppedOnesIncluded) {
  test::TempDir dir;
  const std::vector<TTerminalOutcome> outcomes = {
      Outcome("/dev/ttyUSB0", TBenchState::Passed, ""),
      Outcome("/dev/ttyUSB1", TBenchState::Stopped, "Операция прервана"),
      Outcome("/dev/ttyUSB2", TBenchState::Failed, "Терминал ответил \"ERROR\""),
      Outcome("/dev/ttyUSB3", TBenchState::Waiting, ""),
      Outcome("/dev/ttyUSB4", TBenchState::Passed, ""),
  };
  WriteBenchReport(dir.File("bench"), outcomes);
  const std::vector<std::string> expected = {"/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyUSB3"};
  EXPECT_EQ(FailedPortsOfReport(dir.File("bench.csv")), expected);
  EXPECT_EQ(FailedPortsOfReport(dir.File("bench")), expected);
}

}  // namespace
}  // namespace quorvel
