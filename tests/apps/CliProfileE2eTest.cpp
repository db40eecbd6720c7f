// The service bench: a profile read from one simulated terminal and written, with each
// terminal's own values, into others on threads of one run of the program.
#include "CliFixture.h"

#include "Absolutplat.h"
#include "BenchReport.h"
#include "Bootloader.h"
#include "DemoTerminal.h"
#include "Errors.h"
#include "Profile.h"

#include <chrono>
#include <random>
#include <thread>

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

TEST_F(CliProfile, ACablePulledMidTransferFailsThatTerminalAloneWithTheReason) {
  ReadProfile(sim.SlavePath(), "a.xml");
  const std::string values = WriteFile(
      "values.csv", std::string("factory_number,sim_pin\n") + kFactoryB + ",1111\n" + kFactoryC + ",2222\n");
  // The terminal holds its answer to the phone base's first packet while its cable goes.
  quorvel::sim::TSimFault hold;
  hold.Kind = quorvel::sim::TSimFaultKind::Delay;
  hold.DelayMs = 10000;
  others[1]->ArmFault("SAVEPHONEBASE", hold);
  quorvel::test::TCliResult run;
  std::thread cli([&] {
    run = CliRaw("profile write " + Quote(dir.File("a.xml")) + Ports(2) + " --values " + Quote(values) +
                 " --yes --report " + Quote(dir.File("pulled")));
  });
  const auto pulled = [&] {
    for (const std::string& line : others[1]->ReceivedLines())
      if (line.rfind("AT+SAVEPHONEBASE", 0) == 0) return true;
    return false;
  };
  for (int i = 0; i < 2000 && !pulled(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(pulled());
  const std::string pulledPort = others[1]->SlavePath();
  others[1]->Stop();
  cli.join();
  EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
  EXPECT_EQ(quorvel::FailedPortsOfReport(dir.File("pulled.csv")), std::vector<std::string>{pulledPort});
  const std::string report = ReadFile(dir.File("pulled.json"));
  EXPECT_NE(report.find("\"message\": \"phonebase: Связь с устройством потеряна"), std::string::npos)
      << report;
  EXPECT_EQ(others[0]->State().PhoneBase, std::string(700, '7'));
}

TEST_F(CliProfile, AValueNoTerminalMayGetSendsNothingToAnyTerminal) {
  ReadProfile(sim.SlavePath(), "a.xml");
  const std::string twice = WriteFile("twice.csv", std::string("factory_number,serial\n") + kFactoryB +
                                                       ",11111111\n" + kFactoryC + ",11111111\n");
  const std::string badPin = WriteFile(
      "pin.csv", std::string("factory_number,sim_pin\n") + kFactoryB + ",1234\n" + kFactoryC + ",12\n");
  const auto run = [&](const std::string& values) {
    return CliRaw("profile write " + Quote(dir.File("a.xml")) + Ports(2) + " --values " + Quote(values));
  };
  const auto duplicate = run(twice);
  EXPECT_EQ(duplicate.Status, 1);
  EXPECT_NE(duplicate.Err.find("\"11111111\" столбца serial уже есть в строке 2"), std::string::npos)
      << duplicate.Err;
  // The second terminal's PIN would be refused: the first terminal gets nothing either.
  const auto pin = run(badPin);
  EXPECT_EQ(pin.Status, 1);
  EXPECT_NE(pin.Err.find("строка 3: sim: PIN-код"), std::string::npos) << pin.Err;
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
  EXPECT_TRUE(others[1]->ReceivedLines().empty());
}

// Terminals waiting in their bootloaders get the firmware, start it, and then take the
// settings, without anyone restarting them.
TEST_F(CliProfile, FirmwareFirstThenTheSettingsOnTerminalsInTheirBootloaders) {
  if (!quorvel::test::HaveProgram("objcopy")) GTEST_SKIP() << "objcopy is not installed";
  std::mt19937 gen(7);
  std::string image(6000, '\0');
  for (char& c : image) c = static_cast<char>(gen() & 0xFF);
  WriteFile("fw.bin", image);
  quorvel::test::RunCommand("objcopy -I binary -O ihex " + Quote(dir.File("fw.bin")) + " " +
                            Quote(dir.File("fw.hex")));
  quorvel::TProfile profile;
  profile.Firmware = ReadFile(dir.File("fw.hex"));
  profile.Header = "Новый магазин\r\n";
  profile.Groups = {quorvel::TProfileGroup::Firmware, quorvel::TProfileGroup::Header};
  profile.SaveToFile(dir.File("fw.xml"));

  std::vector<std::shared_ptr<quorvel::sim::TBootloaderFlash>> flashes;
  std::vector<std::unique_ptr<TTerminalSim>> boards;
  std::string ports;
  for (int i = 0; i < 2; ++i) {
    quorvel::sim::TSimOptions options;
    options.StartInBootloader = true;
    flashes.push_back(std::make_shared<quorvel::sim::TBootloaderFlash>());
    boards.push_back(std::make_unique<TTerminalSim>(options));
    boards.back()->SetBootloaderFactory(quorvel::sim::BootloaderFactory(flashes.back()));
    boards.back()->Start();
    ports += " --port " + Quote(boards.back()->SlavePath());
  }
  const auto run = CliRaw("profile write " + Quote(dir.File("fw.xml")) + ports + " --fast --yes --report " +
                          Quote(dir.File("fw-report")));
  EXPECT_EQ(run.Status, 0) << run.Out << run.Err;
  for (int i = 0; i < 2; ++i) {
    // The vector checksum word is the writer's to set.
    const std::string flash = flashes[i]->Flash();
    EXPECT_TRUE(flash.substr(0, 0x14) == image.substr(0, 0x14));
    EXPECT_TRUE(flash.substr(0x18, image.size() - 0x18) == image.substr(0x18));
    EXPECT_FALSE(boards[i]->InBootloader());
    EXPECT_EQ(boards[i]->State().Header[0], "Новый магазин");
    boards[i]->Stop();
  }
  EXPECT_NE(ReadFile(dir.File("fw-report.csv")).find("firmware_result"), std::string::npos);
}

// A retry is for every terminal the report does not count as done: one that a Ctrl+C stopped
// is as unfinished as one that failed.
TEST_F(CliProfile, ARetryTakesTheStoppedTerminalsAsWellAsTheFailedOnes) {
  quorvel::TProfile profile;
  profile.Header = "Магазин\r\n";
  profile.Groups = {quorvel::TProfileGroup::Header};
  profile.SaveToFile(dir.File("shop.xml"));
  std::vector<quorvel::TTerminalOutcome> first(3);
  const quorvel::TBenchState states[] = {quorvel::TBenchState::Passed, quorvel::TBenchState::Stopped,
                                         quorvel::TBenchState::Failed};
  for (std::size_t i = 0; i < first.size(); ++i) {
    first[i].Port = others[i]->SlavePath();
    first[i].State = states[i];
  }
  first[1].Message = quorvel::kAbortMessage;
  quorvel::WriteBenchReport(dir.File("first"), first);

  const auto retry =
      CliRaw("profile write " + Quote(dir.File("shop.xml")) + " --retry-failed " +
             Quote(dir.File("first.csv")) + " --report " + Quote(dir.File("second")) + " --yes");
  ASSERT_EQ(retry.Status, 0) << retry.Out << retry.Err;
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
  EXPECT_EQ(others[1]->State().Header[0], "Магазин");
  EXPECT_EQ(others[2]->State().Header[0], "Магазин");
  const std::string report = ReadFile(dir.File("second.csv"));
  EXPECT_NE(report.find(others[1]->SlavePath() + ","), std::string::npos) << report;
  EXPECT_NE(report.find(others[2]->SlavePath() + ","), std::string::npos) << report;
  EXPECT_EQ(report.find(others[0]->SlavePath() + ","), std::string::npos) << report;
}

// A payment system's credentials: one code word and agent for all, each terminal its own device.
TEST_F(CliProfile, CredentialsWithTheirCodeWordFileAndEachTerminalsDeviceId) {
  quorvel::TProfile profile;
  profile.SetActiveSystem(8);  // Absolutplat
  auto& system = dynamic_cast<quorvel::TAbsolutplat&>(profile.System());
  system.AgentID = "AGENT-7";
  profile.Files.CodeWord = "code word of the agent";
  profile.Groups = {quorvel::TProfileGroup::Credentials};
  profile.SaveToFile(dir.File("cred.xml"));
  const std::string values = WriteFile(
      "dev.csv", std::string("factory_number,device_id\n") + kFactoryB + ",DEV-B\n" + kFactoryC + ",DEV-C\n");
  const auto run = CliRaw("profile write " + Quote(dir.File("cred.xml")) + Ports(2) + " --values " +
                          Quote(values) + " --yes --report " + Quote(dir.File("cred")));
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  namespace cred = quorvel::sim::cred;
  for (const auto& [index, device] : {std::pair(0, "DEV-B"), std::pair(1, "DEV-C")}) {
    const TSimState state = others[static_cast<std::size_t>(index)]->State();
    EXPECT_EQ(state.Credentials.at(cred::kAbsolutplatAgentId), "AGENT-7");
    EXPECT_EQ(state.Credentials.at(cred::kAbsolutplatDeviceId), device);
    EXPECT_EQ(state.Files.at(quorvel::sim::files::kAbsolutplatCodeWord), "code word of the agent");
  }
}

}  // namespace
