// The service record through quorvel-cli: every terminal's run kept as it goes, each row of a
// pool handed out once, also to two benches at once, and reports that are views of it.
#include "CliFixture.h"

#include "Profile.h"
#include "SqliteRecord.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>

namespace {

using quorvel::sim::TSimState;
using quorvel::sim::TTerminalSim;

class CliRecord : public quorvel::test::CliTest {
 protected:
  void TearDown() override {
    for (std::size_t i = 0; HasFailure() && i < others.size() && i < 4; ++i) {
      std::cout << "--- terminal " << i << " received:\n";
      for (const auto& line : others[i]->ReceivedLines()) std::cout << quorvel::Cp1251ToUtf8(line) << "\n";
    }
    for (auto& other : others) other->Stop();
    CliTest::TearDown();
  }

  // Simulators whose factory numbers are given.
  void StartOthers(const std::vector<std::string>& factories) {
    for (const std::string& factory : factories) {
      auto other = std::make_unique<TTerminalSim>();
      other->Update([factory](TSimState& s) { s.FactoryNumber = factory; });
      other->Start();
      others.push_back(std::move(other));
    }
  }

  std::string Ports(std::size_t from, std::size_t to) const {
    std::string out;
    for (std::size_t i = from; i < to; ++i) out += " --port " + Quote(others[i]->SlavePath());
    return out;
  }

  // A profile of the header only: quick to write and to read back.
  std::string HeaderProfile() {
    quorvel::TProfile profile;
    profile.Header = "Магазин\r\n";
    profile.Groups = {quorvel::TProfileGroup::Header};
    const std::string path = dir.File("p.xml");
    profile.SaveToFile(path);
    return path;
  }

  // The lines a simulator received beyond what identifies a terminal (its factory number and
  // the reading of its serial number): the writes.
  static int WritesTo(const TTerminalSim& terminal) {
    int writes = 0;
    for (const auto& line : terminal.ReceivedLines()) {
      quorvel::sim::TSimCommandLine command;
      if (!quorvel::sim::SplitCommandLine(line, command)) continue;
      const bool serialRead = command.Name == "SMSN" && std::count(command.Params.begin(), command.Params.end(), ',') == 1;
      writes += command.Name != "CGSN" && !serialRead;
    }
    return writes;
  }

  std::vector<std::unique_ptr<TTerminalSim>> others;
};

TEST_F(CliRecord, TwoPortsOfOneFactoryNumberWriteOneTerminalAndRecordBoth) {
  StartOthers({"354360000000777", "354360000000777"});
  const std::string values = WriteFile("v.csv", "factory_number,serial\n354360000000777,11111111\n");
  const auto run = CliRaw("--yes --operator petrov profile write " + Quote(HeaderProfile()) + Ports(0, 2) +
                          " --values " + Quote(values) + " --report " + Quote(dir.File("r")));
  EXPECT_EQ(run.Status, 1) << run.Err;
  const int first = WritesTo(*others[0]);
  const int second = WritesTo(*others[1]);
  EXPECT_TRUE((first > 0) != (second > 0)) << first << " " << second << ": exactly one terminal is written";
  const std::string report = ReadFile(dir.File("r.csv"));
  EXPECT_NE(report.find("Терминал с заводским номером 354360000000777 уже записывается на порту"), std::string::npos)
      << report;
  EXPECT_NE(report.find(",petrov,"), std::string::npos) << report;

  // The terminal's history names the run, the profile and who wrote it; secrets never.
  const auto history = CliRaw("record show 354360000000777 --format csv");
  ASSERT_EQ(history.Status, 0) << history.Err;
  EXPECT_NE(history.Out.find("p.xml"), std::string::npos) << history.Out;
  EXPECT_NE(history.Out.find("petrov"), std::string::npos) << history.Out;
  EXPECT_NE(history.Out.find("serial=11111111"), std::string::npos) << history.Out;
}

TEST_F(CliRecord, AReportThatCannotBeWrittenOrWouldReplaceTheValuesIsRefusedBeforeAnythingIsSent) {
  StartOthers({"354360000000001"});
  const std::string table = "factory_number,serial\n354360000000001,11111111\n";
  const std::string values = WriteFile("v.csv", table);
  const std::string profile = HeaderProfile();
  for (const std::string& report : {dir.File("missing/r"), dir.File("v.csv"), dir.File("v")}) {
    SCOPED_TRACE(report);
    others[0]->ClearReceivedLines();
    const auto run = CliRaw("--yes profile write " + Quote(profile) + Ports(0, 1) + " --values " + Quote(values) +
                            " --report " + Quote(report));
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err.find("Отчет "), 0u) << run.Err;
    EXPECT_TRUE(others[0]->ReceivedLines().empty()) << "a line was sent";
    EXPECT_EQ(ReadFile(values), table);
  }
}

TEST_F(CliRecord, ADamagedRecordIsRefusedAndKeptByteForByte) {
  StartOthers({"354360000000001"});
  const std::string bytes = "SQLite format 3" + std::string(1, '\0') + std::string(3000, '\x7f');
  const std::string record = WriteFile("bad.db", bytes);
  const auto run = CliRaw("--yes --record " + Quote(record) + " profile write " + Quote(HeaderProfile()) +
                          Ports(0, 1));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("Журнал обслуживания " + record), std::string::npos) << run.Err;
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
  EXPECT_TRUE(ReadFile(record) == bytes);
  const auto sim = Cli("--record " + Quote(record) + " sim write --pin 1234 --apn internet");
  EXPECT_EQ(sim.Status, 1) << "a write outside a bench is refused too";
  EXPECT_EQ(CountOf("SMSIMSETUP="), 0);
}

TEST_F(CliRecord, TwoBenchesOnOneRecordShareAPoolInOrderWithoutGivingARowTwice) {
  constexpr int kTerminals = 40;
  std::vector<std::string> factories;
  for (int i = 0; i < kTerminals; ++i) factories.push_back(std::to_string(354360000100000 + i));
  StartOthers(factories);
  std::string table = "serial,sim_apn\n";
  for (int i = 0; i < kTerminals; ++i) table += std::to_string(20000000 + i) + ",apn" + std::to_string(i) + "\n";
  const std::string record = dir.File("shared.db");
  const auto import = CliRaw("--record " + Quote(record) + " pool import batch " + Quote(WriteFile("ids.csv", table)));
  ASSERT_EQ(import.Status, 0) << import.Err;
  const std::string profile = HeaderProfile();

  // Two benches, each with its own folder, started together.
  std::string both;
  for (int bench = 0; bench < 2; ++bench) {
    const std::string home = dir.File("bench" + std::to_string(bench));
    both += Quote(CliPath()) + " --home " + Quote(home) + " --record " + Quote(record) + " --yes profile write " +
            Quote(profile) + " --pool batch" + Ports(bench * 20, bench * 20 + 20) + " > /dev/null 2> " +
            Quote(home + ".err") + " & ";
  }
  int status = -1;
  quorvel::test::RunCommand("( " + both + "wait )", &status);
  ASSERT_EQ(status, 0);
  for (int bench = 0; bench < 2; ++bench) {
    const std::string err = ReadFile(dir.File("bench" + std::to_string(bench) + ".err"));
    EXPECT_NE(err.find("Записано терминалов: 20 из 20"), std::string::npos) << err;
  }
  std::set<std::string> serials;
  for (const auto& terminal : others) serials.insert(terminal->State().SerialNumber);
  EXPECT_EQ(serials.size(), static_cast<std::size_t>(kTerminals)) << "every terminal got a row of its own";
  EXPECT_EQ(*serials.begin(), "20000000");
  EXPECT_EQ(*serials.rbegin(), "20000039");

  // Plugged in again on another bench: the same row, and none is used up for it.
  const std::string before = others[7]->State().SerialNumber;
  others[7]->Update([](TSimState& s) { s.SerialNumber = "99999999"; });
  const auto again = CliRaw("--record " + Quote(record) + " --yes profile write " + Quote(profile) +
                            " --pool batch" + Ports(7, 8));
  EXPECT_EQ(again.Status, 0) << again.Err;
  EXPECT_EQ(others[7]->State().SerialNumber, before);
  const auto pool = CliRaw("--record " + Quote(record) + " pool status batch --format csv");
  ASSERT_EQ(pool.Status, 0) << pool.Err;
  std::size_t used = 0;
  for (std::size_t at = pool.Out.find(",записана,"); at != std::string::npos; at = pool.Out.find(",записана,", at + 1))
    ++used;
  EXPECT_EQ(used, static_cast<std::size_t>(kTerminals)) << pool.Out;

  // One more terminal finds the pool empty and gets nothing.
  auto late = std::make_unique<TTerminalSim>();
  late->Start();
  const auto none = CliRaw("--record " + Quote(record) + " --yes profile write " + Quote(profile) +
                           " --pool batch --port " + Quote(late->SlavePath()));
  EXPECT_EQ(none.Status, 1);
  EXPECT_NE(none.Out.find("Нет свободной строки в наборе batch"), std::string::npos) << none.Out;
  EXPECT_EQ(WritesTo(*late), 0);
  late->Stop();
}

TEST_F(CliRecord, AWriteOutsideABenchIsRecordedWithItsPortAndResult) {
  ASSERT_EQ(Cli("sim write --pin 9517 --apn internet").Status, 0);
  const auto operations = CliRaw("record operations --format csv");
  ASSERT_EQ(operations.Status, 0) << operations.Err;
  EXPECT_NE(operations.Out.find("sim write"), std::string::npos) << operations.Out;
  EXPECT_NE(operations.Out.find(sim.SlavePath()), std::string::npos) << operations.Out;
  EXPECT_NE(operations.Out.find("успешно"), std::string::npos) << operations.Out;
  EXPECT_EQ((ReadFile(dir.File("service.db")) + ReadFile(dir.File("service.db-wal"))).find("9517"), std::string::npos)
      << "the PIN reached the record";
}

}  // namespace
