// The service bench: a profile read from one simulated terminal and written, with each
// terminal's own values, into others on threads of one run of the program.
#include "CliFixture.h"

#include "BenchReport.h"
#include "DemoTerminal.h"

namespace {

using quorvel::sim::TSimState;
using quorvel::sim::TTerminalSim;

constexpr const char* kFactoryA = "354360000000001";
constexpr const char* kFactoryB = "354360000000002";
constexpr const char* kFactoryC = "354360000000003";
constexpr const char* kFactoryD = "354360000000004";

class CliProfile : public quorvel::test::CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    // The source terminal: the demo settings and a few more in every group.
    sim.Update([](TSimState& s) {
      quorvel::sim::SeedDemoTerminal(s);
      s.FactoryNumber = kFactoryA;
      s.Trailer[0] = "Реклама";
      s.Fees[2].Scheme = 1;
      s.Fees[2].Rates[0] = quorvel::sim::TSimFeeRate{50000, 0, 150};
      s.XmlData = "<providers><p id=\"1\"/></providers>";
      s.PhoneBase = std::string(700, '7');
    });
    for (const char* factory : {kFactoryB, kFactoryC, kFactoryD}) {
      auto other = std::make_unique<TTerminalSim>();
      other->Update([factory](TSimState& s) { s.FactoryNumber = factory; });
      other->Start();
      others.push_back(std::move(other));
    }
  }

  void TearDown() override {
    for (auto& other : others) other->Stop();
    CliTest::TearDown();
  }

  std::string Ports(std::size_t count) const {
    std::string out;
    for (std::size_t i = 0; i < count; ++i) out += " --port " + Quote(others[i]->SlavePath());
    return out;
  }

  std::string ReadProfile(const std::string& port, const std::string& name) {
    const std::string file = dir.File(name);
    const auto result = CliRaw("--port " + Quote(port) + " profile read " + Quote(file));
    EXPECT_EQ(result.Status, 0) << result.Err;
    return ReadFile(file);
  }

  std::vector<std::unique_ptr<TTerminalSim>> others;
};

TEST_F(CliProfile, ProfileOfOneTerminalWithEachTerminalsValuesReadsBackFromTwoOthers) {
  const std::string profile = ReadProfile(sim.SlavePath(), "a.xml");
  const std::string values =
      WriteFile("values.csv", std::string("factory_number,serial,sim_pin\n") + kFactoryB +
                                  ",11111111,1234\n" + kFactoryC + ",22222222,4321\n");
  const auto run = CliRaw("profile write " + Quote(dir.File("a.xml")) + Ports(2) + " --values " +
                          Quote(values) + " --report " + Quote(dir.File("report")) + " --yes");
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;

  // What the terminal gives back is the source's profile (a PIN is never read back) ...
  EXPECT_EQ(ReadProfile(others[0]->SlavePath(), "b.xml"), profile);
  EXPECT_EQ(ReadProfile(others[1]->SlavePath(), "c.xml"), profile);
  // ... and each terminal got its own row.
  const TSimState b = others[0]->State();
  const TSimState c = others[1]->State();
  EXPECT_EQ(b.SerialNumber, "11111111");
  EXPECT_EQ(b.Sims[0].Pin, "1234");
  EXPECT_EQ(c.SerialNumber, "22222222");
  EXPECT_EQ(c.Sims[0].Pin, "4321");
  EXPECT_EQ(b.PhoneBase, std::string(700, '7'));
  EXPECT_EQ(c.Fees[2].Rates[0]->Value, 150);
  EXPECT_NE(ReadFile(dir.File("report.json")).find("\"serial\": \"22222222\""), std::string::npos);
}

TEST_F(CliProfile, TerminalSilentOnPhoneBaseFailsAloneAndRetryCompletesIt) {
  ReadProfile(sim.SlavePath(), "a.xml");
  const std::string values =
      WriteFile("values.csv", std::string("factory_number,sim_pin\n") + kFactoryB + ",1111\n" + kFactoryC +
                                  ",2222\n" + kFactoryD + ",3333\n");
  others[1]->ArmFault("SAVEPHONEBASE", {quorvel::sim::TSimFaultKind::Silence, 2, 0});
  const std::string args =
      "profile write " + Quote(dir.File("a.xml")) + " --values " + Quote(values) + " --yes";
  const auto run = CliRaw("--retries 1 " + args + Ports(3) + " --report " + Quote(dir.File("first")));
  EXPECT_EQ(run.Status, 1) << run.Out << run.Err;

  const std::string report = ReadFile(dir.File("first.csv"));
  EXPECT_EQ(quorvel::FailedPortsOfReport(dir.File("first.csv")),
            std::vector<std::string>{others[1]->SlavePath()})
      << report;
  EXPECT_NE(report.find("phonebase_result"), std::string::npos);
  EXPECT_EQ(others[0]->State().PhoneBase, std::string(700, '7'));
  EXPECT_EQ(others[2]->State().PhoneBase, std::string(700, '7'));
  EXPECT_FALSE(others[1]->State().PhoneBase.has_value());

  others[1]->ClearFaults();
  others[0]->ClearReceivedLines();
  const auto retry = CliRaw(args + " --retry-failed " + Quote(dir.File("first.csv")) + " --report " +
                            Quote(dir.File("second")));
  ASSERT_EQ(retry.Status, 0) << retry.Out << retry.Err;
  EXPECT_EQ(others[1]->State().PhoneBase, std::string(700, '7'));
  EXPECT_EQ(others[1]->State().Sims[0].Pin, "2222");
  // Only the failed terminal was run again.
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
}

TEST_F(CliProfile, SerialNumberUsedTwiceSendsNothingToAnyTerminal) {
  ReadProfile(sim.SlavePath(), "a.xml");
  const std::string values = WriteFile("values.csv", std::string("factory_number,serial\n") + kFactoryB +
                                                         ",11111111\n" + kFactoryC + ",11111111\n");
  const auto run =
      CliRaw("profile write " + Quote(dir.File("a.xml")) + Ports(2) + " --values " + Quote(values));
  EXPECT_EQ(run.Status, 1);
  EXPECT_NE(run.Err.find("\"11111111\" столбца serial уже есть в строке 2"), std::string::npos) << run.Err;
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
  EXPECT_TRUE(others[1]->ReceivedLines().empty());
}

}  // namespace
