// Bench runs against simulated terminals and the reports made of them: what a terminal never
// got to stays waiting, each column of values reaches its own setting, receipt texts longer
// than the terminal holds verify, and a stop during the firmware is a stop.
#include "BenchReport.h"
#include "BenchRun.h"
#include "BenchValues.h"
#include "Bootloader.h"
#include "Errors.h"
#include "IntelHex.h"
#include "Profile.h"
#include "TerminalSim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {
namespace {

// The fields of one CSV line (RFC 4180 quoting), read apart from the program's own reader.
std::vector<std::string> CsvFields(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (quoted && line[i] == '"') {
      if (i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (!quoted && line[i] == '"' && fields.back().empty()) {
      quoted = true;
    } else if (!quoted && line[i] == ',') {
      fields.emplace_back();
    } else {
      fields.back() += line[i];
    }
  }
  return fields;
}

// The cell of a column in the CSV report's row of a port.
std::string CsvCell(const std::string& csv, const std::string& port, const std::string& column) {
  std::vector<std::vector<std::string>> rows;
  std::size_t start = 0;
  while (start < csv.size()) {
    std::size_t end = csv.find('\n', start);
    if (end == std::string::npos) end = csv.size();
    rows.push_back(CsvFields(csv.substr(start, end - start)));
    start = end + 1;
  }
  if (rows.empty()) return "<no header>";
  const auto& header = rows.front();
  const auto at = std::find(header.begin(), header.end(), column);
  if (at == header.end()) return "<no column " + column + ">";
  for (std::size_t r = 1; r < rows.size(); ++r)
    if (rows[r].size() == header.size() && rows[r][0] == port)
      return rows[r][static_cast<std::size_t>(at - header.begin())];
  return "<no row " + port + ">";
}

// The JSON report's object of a port, as one line of the text.
std::string JsonRow(const std::string& json, const std::string& port) {
  const std::size_t at = json.find("{\"port\": \"" + port + "\"");
  if (at == std::string::npos) return {};
  return json.substr(at, json.find('\n', at) - at);
}

class BenchRunTest : public ::testing::Test {
 protected:
  TBenchPlan Plan(const TProfile& profile, const std::vector<std::string>& ports) {
    TBenchPlan plan;
    plan.ProfileText = profile.SaveToText();
    plan.ProfileName = "bench.xml";
    plan.Groups = ParseProfileGroups("");
    plan.Ports = ports;
    plan.AnswerYes = true;
    return plan;
  }

  static std::shared_ptr<const TBenchValues> Values(const std::string& csv, TValueKey key) {
    return std::make_shared<const TBenchValues>(TBenchValues::Parse(csv, "values.csv", key));
  }

  static std::vector<TTerminalOutcome> Run(TBenchPlan plan) {
    TBenchRun run(std::move(plan));
    return run.Run(nullptr);
  }
};

TEST_F(BenchRunTest, GroupsATerminalNeverReachedStayWaitingInBothReports) {
  sim::TTerminalSim refusing;  // refuses the header: the trailer after it is never sent
  sim::TTerminalSim unknown;   // has no row of values: nothing is sent to it
  refusing.ArmFault("SMHEADER", {sim::TSimFaultKind::Error, 2, 0});
  // Terminals of one bench report factory numbers of their own.
  unknown.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000099"; });
  refusing.Start();
  unknown.Start();
  TProfile profile;
  profile.SimCards.FindSlot(1).Enabled = true;
  profile.SimCards.FindSlot(1).Apn = "internet";
  profile.SimCards.FindSlot(1).Pin = "1234";
  profile.Header = "Магазин\r\n";
  profile.Trailer = "Спасибо\r\n";
  profile.Groups = {TProfileGroup::Sim, TProfileGroup::Header, TProfileGroup::Trailer};
  TBenchPlan plan = Plan(profile, {refusing.SlavePath(), unknown.SlavePath()});
  plan.Values = Values("port,sim_pin\n" + refusing.SlavePath() + ",4321\n", TValueKey::Port);
  const std::vector<TTerminalOutcome> outcomes = Run(std::move(plan));
  ASSERT_EQ(outcomes.size(), 2u);
  ASSERT_EQ(outcomes[0].Groups.size(), 3u);
  EXPECT_EQ(outcomes[0].State, TBenchState::Failed);
  EXPECT_EQ(outcomes[0].Groups[0].State, TBenchState::Passed);
  EXPECT_EQ(outcomes[0].Groups[1].State, TBenchState::Failed);
  EXPECT_EQ(outcomes[0].Groups[2].State, TBenchState::Waiting);
  EXPECT_EQ(outcomes[0].Groups[2].Message, "");
  EXPECT_TRUE(refusing.State().Trailer[0].empty());
  EXPECT_EQ(outcomes[1].State, TBenchState::Failed);
  EXPECT_TRUE(unknown.State().Header[0].empty());

  const std::string csv = BenchReportCsv(outcomes);
  const std::string a = refusing.SlavePath();
  const std::string b = unknown.SlavePath();
  EXPECT_EQ(CsvCell(csv, a, "sim_result"), "успешно") << csv;
  EXPECT_EQ(CsvCell(csv, a, "header_result"), "ошибка") << csv;
  EXPECT_EQ(CsvCell(csv, a, "trailer_result"), "ожидает") << csv;
  EXPECT_EQ(CsvCell(csv, a, "trailer_message"), "") << csv;
  for (const char* column : {"sim_result", "header_result", "trailer_result"})
    EXPECT_EQ(CsvCell(csv, b, column), "ожидает") << column << "\n" << csv;

  const std::string json = BenchReportJson(outcomes);
  const std::string rowA = JsonRow(json, a);
  const std::string rowB = JsonRow(json, b);
  EXPECT_NE(rowA.find("{\"group\": \"header\", \"result\": \"ошибка\""), std::string::npos) << json;
  EXPECT_NE(rowA.find("{\"group\": \"trailer\", \"result\": \"ожидает\", \"message\": \"\""),
            std::string::npos)
      << json;
  for (const char* group : {"sim", "header", "trailer"})
    EXPECT_NE(rowB.find(std::string("{\"group\": \"") + group + "\", \"result\": \"ожидает\""),
              std::string::npos)
        << group << "\n"
        << json;
}

TEST_F(BenchRunTest, EachSimColumnReachesItsOwnSlot) {
  sim::TTerminalSim both;    // the row gives both PINs
  sim::TTerminalSim second;  // the row gives slot 2's PIN alone
  second.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000098"; });
  both.Start();
  second.Start();
  TProfile profile;
  for (int slot : {1, 2}) {
    TSimCard& card = profile.SimCards.FindSlot(slot);
    card.Enabled = true;
    card.Apn = "apn" + std::to_string(slot);
    card.Pin = std::string(4, static_cast<char>('0' + slot));
  }
  profile.Groups = {TProfileGroup::Sim};
  // Two tables: a cell left empty would be an empty PIN for slot 1, not none.
  TBenchPlan bothPlan = Plan(profile, {both.SlavePath()});
  bothPlan.Values = Values("port,sim_pin,sim2_pin\n" + both.SlavePath() + ",3333,4444\n", TValueKey::Port);
  TBenchPlan secondPlan = Plan(profile, {second.SlavePath()});
  secondPlan.Values = Values("port,sim2_pin\n" + second.SlavePath() + ",5555\n", TValueKey::Port);
  for (TBenchPlan* p : {&bothPlan, &secondPlan}) {
    const auto outcomes = Run(std::move(*p));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].State, TBenchState::Passed) << outcomes[0].Message;
  }
  EXPECT_EQ(both.State().Sims[0].Pin, "3333");
  EXPECT_EQ(both.State().Sims[1].Pin, "4444");
  EXPECT_EQ(second.State().Sims[0].Pin, "1111");
  EXPECT_EQ(second.State().Sims[1].Pin, "5555");
  EXPECT_EQ(second.State().Sims[1].Apn, "apn2");
}

TEST_F(BenchRunTest, ReceiptTextsOfMoreThanTenLinesAreWrittenTenAndVerify) {
  sim::TTerminalSim terminal;
  terminal.Start();
  TProfile profile;
  for (int i = 1; i <= 12; ++i) profile.Header += "Заголовок " + std::to_string(i) + "\r\n";
  for (int i = 1; i <= 11; ++i) profile.Trailer += "Реклама " + std::to_string(i) + "\r\n";
  profile.Groups = {TProfileGroup::Header, TProfileGroup::Trailer};
  const auto outcomes = Run(Plan(profile, {terminal.SlavePath()}));
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_EQ(outcomes[0].State, TBenchState::Passed) << outcomes[0].Message;
  const sim::TSimState s = terminal.State();
  for (int i = 1; i <= 10; ++i) {
    EXPECT_EQ(s.Header[static_cast<std::size_t>(i - 1)], "Заголовок " + std::to_string(i));
    EXPECT_EQ(s.Trailer[static_cast<std::size_t>(i - 1)], "Реклама " + std::to_string(i));
  }
}

// The stop comes from the terminal's side as its third data line of the firmware arrives, so
// the writer is certainly in the middle of the image.
TEST_F(BenchRunTest, AStopDuringTheFirmwareMarksTheTerminalStoppedAndTheRestWaiting) {
  std::atomic<TBenchRun*> target{nullptr};
  std::atomic<int> writes{0};
  sim::TSimOptions options;
  options.StartInBootloader = true;
  options.OnLineReceived = [&](const std::string& line) {
    if (line.rfind("W ", 0) == 0 && writes.fetch_add(1) + 1 == 3)
      if (TBenchRun* run = target.load()) run->RequestStop();
  };
  auto flash = std::make_shared<sim::TBootloaderFlash>();
  sim::TTerminalSim board(options);
  board.SetBootloaderFactory(sim::BootloaderFactory(flash));
  board.Start();
  TProfile profile;
  profile.Firmware = test::IntelHexText(test::FirmwarePattern(16 * 1024));
  profile.Header = "Магазин\r\n";
  profile.Groups = {TProfileGroup::Firmware, TProfileGroup::Header};
  TBenchRun run(Plan(profile, {board.SlavePath()}));
  target.store(&run);
  const std::vector<TTerminalOutcome> outcomes = run.Run(nullptr);
  target.store(nullptr);
  ASSERT_GE(writes.load(), 3);
  ASSERT_EQ(outcomes.size(), 1u);
  ASSERT_EQ(outcomes[0].Groups.size(), 2u);
  EXPECT_EQ(outcomes[0].State, TBenchState::Stopped) << outcomes[0].Message;
  EXPECT_EQ(outcomes[0].Message, kAbortMessage);
  EXPECT_EQ(outcomes[0].Groups[0].State, TBenchState::Stopped) << outcomes[0].Groups[0].Message;
  EXPECT_EQ(outcomes[0].Groups[1].State, TBenchState::Waiting);
  const std::string csv = BenchReportCsv(outcomes);
  EXPECT_EQ(CsvCell(csv, board.SlavePath(), "result"), "остановлен") << csv;
  EXPECT_EQ(CsvCell(csv, board.SlavePath(), "firmware_result"), "остановлен") << csv;
  EXPECT_EQ(CsvCell(csv, board.SlavePath(), "header_result"), "ожидает") << csv;
  // Stopped before its next page: the terminal never left its bootloader.
  EXPECT_TRUE(board.InBootloader());
}

}  // namespace
}  // namespace quorvel
