// The bench's JSON report read back by Python's json module: it must stay JSON whatever bytes a
// port name or message holds.
#include "BenchReport.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quorvel {
namespace {

TEST(BenchReport, JsonStaysValidForPortNamesThatAreNoUtf8) {
  if (!test::HaveProgram("python3")) GTEST_SKIP() << "python3 is not installed";
  const struct {
    std::string port;
    const char* read;  // the name as json.load gives it, as Python escapes it (ascii)
  } cases[] = {
      {"/dev/ttyUSB0", "'/dev/ttyUSB0'"},
      {"/dev/порт", "'/dev/\\u043f\\u043e\\u0440\\u0442'"},
      {"/dev/\xFF\xFE", "'/dev/\\xff\\xfe'"},
      {"/dev/\xC3", "'/dev/\\xc3'"},                             // a sequence cut short at the end
      {"/dev/\xC3(", "'/dev/\\xc3('"},                           // and in the middle
      {"/dev/\xC0\xAF", "'/dev/\\xc0\\xaf'"},                    // an overlong '/'
      {"/dev/\xED\xA0\x80", "'/dev/\\xed\\xa0\\x80'"},           // a surrogate
      {"/dev/\xF4\x90\x80\x80", "'/dev/\\xf4\\x90\\x80\\x80'"},  // past U+10FFFF
      {"/dev/\"a\\b\"\t\x7F", "'/dev/\"a\\\\b\"\\t\\x7f'"},
      {"/dev/\xF0\x9F\x98\x80", "'/dev/\\U0001f600'"},
  };
  test::TempDir dir;
  std::vector<TTerminalOutcome> outcomes;
  for (const auto& c : cases) {
    TTerminalOutcome o;
    o.Port = c.port;
    o.Message = "Порт " + c.port + " потерян";
    TGroupOutcome group;
    group.Message = o.Message;
    o.Groups.push_back(group);
    outcomes.push_back(o);
  }
  const std::string file = dir.File("report.json");
  std::ofstream(file, std::ios::binary) << BenchReportJson(outcomes);
  int status = -1;
  const std::string out = test::RunCommand(
      "python3 -c 'import json, sys\n"
      "for o in json.load(open(sys.argv[1], encoding=\"utf-8\")):\n"
      "  assert o[\"message\"] == \"Порт \" + o[\"port\"] + \" потерян\" == o[\"groups\"][0][\"message\"]\n"
      "  print(ascii(o[\"port\"]))' '" +
          file + "' 2>&1",
      &status);
  ASSERT_EQ(status, 0) << out;
  std::string expected;
  for (const auto& c : cases) expected += std::string(c.read) + "\n";
  EXPECT_EQ(out, expected);
  // The outside checker of the files users open.
  EXPECT_EQ(test::RunCommand("python3 -m json.tool '" + file + "' >/dev/null 2>&1; echo $?"), "0\n");
}

}  // namespace
}  // namespace quorvel
