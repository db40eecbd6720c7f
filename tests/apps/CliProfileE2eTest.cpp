// The service bench: a profile read from one simulated terminal and written, with each
// terminal's own values, into others on threads of one run of the program.
#include "CliFixture.h"

#include "Absolutplat.h"
#include "BenchReport.h"
#include "Bootloader.h"
#include "DemoTerminal.h"
#include "Errors.h"
#include "Profile.h"
#include "Pty.h"
#include "TextUtils.h"

#include <sys/ioctl.h>

#include <atomic>
#include <chrono>
#include <map>
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

// No terminal gives its SIM card's PIN back: the read says so for every slot in use, and a
// write takes the PIN from the values or refuses before any terminal hears of it.
TEST_F(CliProfile, APinNoTerminalGivesBackIsNamedOnReadAndComesFromTheValuesOnWrite) {
  sim.Update([](TSimState& s) {
    s.Sims[1] = s.Sims[0];
    s.Sims[1].Apn = "internet.beeline.ru";
    s.Sims[1].Priority = false;
  });
  const std::string file = dir.File("a.xml");
  const auto read = CliRaw("--port " + Quote(sim.SlavePath()) + " profile read " + Quote(file));
  ASSERT_EQ(read.Status, 0) << read.Err;
  for (const char* note : {"SIM-карта 1: терминал не отдает PIN-код; задайте его в профиле или в столбце "
                           "sim_pin файла значений",
                           "SIM-карта 2: терминал не отдает PIN-код; задайте его в профиле или в столбце "
                           "sim2_pin файла значений"})
    EXPECT_NE(read.Err.find(note), std::string::npos) << read.Err;

  struct TCase {
    const char* name;
    std::string values;  // empty: no values table
    std::string refusal;
  };
  const std::vector<TCase> refused = {
      {"no values", "",
       "Профиль " + file +
           ": sim: SIM-карта 1: нет PIN-кода; задайте его в профиле или в "
           "столбце sim_pin файла значений"},
      {"second slot's PIN missing", std::string("factory_number,sim_pin\n") + kFactoryB + ",1234\n",
       "строка 2: sim: SIM-карта 2: нет PIN-кода; задайте его в профиле или в столбце sim2_pin файла "
       "значений"},
      {"one row without",
       std::string("factory_number,sim_pin,sim2_pin\n") + kFactoryB + ",1234,5678\n" + kFactoryC + ",,8765\n",
       "строка 3: sim: SIM-карта 1: нет PIN-кода"},
  };
  for (const TCase& c : refused) {
    SCOPED_TRACE(c.name);
    const std::string values = c.values.empty() ? "" : " --values " + Quote(WriteFile("v.csv", c.values));
    const auto run = CliRaw("profile write " + Quote(file) + Ports(2) + values + " --yes");
    EXPECT_EQ(run.Status, 1) << run.Out << run.Err;
    EXPECT_NE(run.Err.find(c.refusal), std::string::npos) << run.Err;
    EXPECT_TRUE(others[0]->ReceivedLines().empty());
    EXPECT_TRUE(others[1]->ReceivedLines().empty());
  }

  const std::string values =
      WriteFile("values.csv", std::string("factory_number,sim_pin,sim2_pin\n") + kFactoryB + ",1234,5678\n" +
                                  kFactoryC + ",4321,8765\n");
  const auto run =
      CliRaw("profile write " + Quote(file) + Ports(2) + " --values " + Quote(values) + " --yes");
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  const TSimState b = others[0]->State();
  const TSimState c = others[1]->State();
  EXPECT_EQ(b.Sims[0].Pin, "1234");
  EXPECT_EQ(b.Sims[1].Pin, "5678");
  EXPECT_EQ(c.Sims[0].Pin, "4321");
  EXPECT_EQ(c.Sims[1].Pin, "8765");
  EXPECT_EQ(c.Sims[1].Apn, "internet.beeline.ru");
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
  // Only the failed terminal was run again, and the retry's report is the whole batch's.
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
  EXPECT_TRUE(quorvel::FailedPortsOfReport(dir.File("second.csv")).empty());
  const std::string second = ReadFile(dir.File("second.csv"));
  for (const auto& other : others)
    EXPECT_NE(second.find(other->SlavePath() + ","), std::string::npos) << second;
  // A retry whose report would replace the one it retries is refused before anything is sent.
  others[1]->ClearReceivedLines();
  const auto over = CliRaw(args + " --retry-failed " + Quote(dir.File("first.csv")) + " --report " +
                           Quote(dir.File("first")));
  EXPECT_EQ(over.Status, 1);
  EXPECT_NE(over.Err.find("Отчет "), std::string::npos) << over.Err;
  EXPECT_TRUE(others[1]->ReceivedLines().empty());
}

TEST_F(CliProfile, APortNamedTwiceOrARetryOfNoFailureSendsNothing) {
  ReadProfile(sim.SlavePath(), "a.xml");
  const std::string values = WriteFile(
      "values.csv", std::string("factory_number,sim_pin\n") + kFactoryB + ",1111\n" + kFactoryC + ",2222\n");
  const std::string write =
      "profile write " + Quote(dir.File("a.xml")) + " --values " + Quote(values) + " --yes";
  const std::string port = others[0]->SlavePath();
  const auto twice = CliRaw(write + Ports(2) + " --port " + Quote(port));
  EXPECT_EQ(twice.Status, 1) << twice.Out << twice.Err;
  EXPECT_NE(twice.Err.find("Порт " + port + " назван дважды"), std::string::npos) << twice.Err;
  // /dev/pts/N spelt through the folder above it is the same device.
  const std::string dotted = "/dev/pts/../pts/" + port.substr(port.rfind('/') + 1);
  const auto spelt = CliRaw(write + " --port " + Quote(port) + " --port " + Quote(dotted));
  EXPECT_EQ(spelt.Status, 1) << spelt.Out << spelt.Err;
  EXPECT_NE(spelt.Err.find("ведут к одному устройству " + port), std::string::npos) << spelt.Err;
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
  EXPECT_TRUE(others[1]->ReceivedLines().empty());

  const auto first = CliRaw(write + Ports(2) + " --report " + Quote(dir.File("all")));
  ASSERT_EQ(first.Status, 0) << first.Out << first.Err;
  others[0]->ClearReceivedLines();
  others[1]->ClearReceivedLines();
  const auto retry = CliRaw(write + " --retry-failed " + Quote(dir.File("all.csv")));
  EXPECT_EQ(retry.Status, 0) << retry.Out << retry.Err;
  EXPECT_NE(retry.Err.find("Нечего повторять"), std::string::npos) << retry.Err;
  EXPECT_TRUE(others[0]->ReceivedLines().empty());
  EXPECT_TRUE(others[1]->ReceivedLines().empty());
}

// The live table on a narrow terminal: every row is cut to the width, so none wraps and the
// redraw in place overwrites its own rows.
TEST_F(CliProfile, TheLiveTableFitsANarrowTerminal) {
  ReadProfile(sim.SlavePath(), "a.xml");
  const std::string values =
      WriteFile("values.csv", std::string("factory_number,sim_pin\n") + kFactoryB + ",1111\n");
  quorvel::test::Pty screen;
  winsize size{};
  size.ws_col = 40;
  size.ws_row = 24;
  ASSERT_EQ(::ioctl(screen.MasterFd(), TIOCSWINSZ, &size), 0);
  std::atomic<bool> done{false};
  quorvel::test::TCliResult run;
  std::thread cli([&] {
    run = CliRaw("profile write " + Quote(dir.File("a.xml")) + Ports(2) + " --values " + Quote(values) +
                 " --yes > " + Quote(screen.SlavePath()));
    done = true;
  });
  std::string shown;
  for (bool finished = false;;) {
    finished = done;
    const std::string part = screen.Read(1 << 16, 200);
    shown += part;
    if (finished && part.empty()) break;
  }
  cli.join();
  // The second terminal has no row of values: its message alone is longer than the screen.
  EXPECT_EQ(run.Status, 1) << run.Err;
  ASSERT_NE(shown.find(kFactoryC), std::string::npos) << shown;
  std::size_t lines = 0;
  for (std::size_t start = 0; start < shown.size();) {
    std::size_t end = shown.find('\n', start);
    if (end == std::string::npos) end = shown.size();
    std::string line = shown.substr(start, end - start);
    start = end + 1;
    // What the terminal shows: the escapes (cursor up, erase to the end) take no column.
    for (std::size_t esc; (esc = line.find('\x1b')) != std::string::npos;) {
      const std::size_t last = line.find_first_of("AK", esc);
      line.erase(esc, last == std::string::npos ? std::string::npos : last - esc + 1);
    }
    if (!line.empty() && line.front() == '\r') line.erase(0, 1);
    EXPECT_LE(quorvel::Utf8Length(line), 40u) << line;
    ++lines;
  }
  EXPECT_GT(lines, 2u);
}

// Several terminals into one log: every line says whose port it belongs to, the lines its
// receiving thread writes too.
TEST_F(CliProfile, ALogOfABenchNamesThePortOnEveryLine) {
  ReadProfile(sim.SlavePath(), "a.xml");
  const std::string values = WriteFile(
      "values.csv", std::string("factory_number,sim_pin\n") + kFactoryB + ",1111\n" + kFactoryC + ",2222\n");
  const std::string log = dir.File("bench.log");
  const auto run = CliRaw("--log " + Quote(log) + " profile write " + Quote(dir.File("a.xml")) + Ports(2) +
                          " --values " + Quote(values) + " --yes");
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
  const std::string text = quorvel::Cp1251ToUtf8(ReadFile(log));
  std::map<std::string, std::map<std::string, int>> seen;  // port -> "sent", "received" -> lines
  std::size_t lines = 0;
  std::vector<std::string> unnamed;
  for (std::size_t start = 0; start < text.size(); ++lines) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 2;
    std::string port;
    for (const auto& other : others)
      if (line.find("] [" + other->SlavePath() + "] ") != std::string::npos) port = other->SlavePath();
    if (port.empty()) {
      unnamed.push_back(line);
      continue;
    }
    if (line.find("-> AT+CGSN") != std::string::npos) ++seen[port]["sent"];
    if (line.find("<- ") != std::string::npos) ++seen[port]["received"];
  }
  EXPECT_GT(lines, 20u);
  EXPECT_TRUE(unnamed.empty()) << unnamed.size() << " lines without their port, the first: "
                               << (unnamed.empty() ? std::string() : unnamed.front());
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_GT(seen[others[i]->SlavePath()]["sent"], 0) << others[i]->SlavePath();
    EXPECT_GT(seen[others[i]->SlavePath()]["received"], 0) << others[i]->SlavePath();
  }
}

// A terminal that keeps empty receipt lines gives all ten back, the empty ones after the
// text included: the read-back means the same receipt as one from a terminal that drops them.
TEST_F(CliProfile, ATerminalThatKeepsEmptyReceiptLinesStillVerifies) {
  const std::string profile = ReadProfile(sim.SlavePath(), "a.xml");
  others[0]->Update([](TSimState& s) { s.KeepsEmptyLines = true; });
  const std::string values = WriteFile(
      "values.csv", std::string("factory_number,sim_pin\n") + kFactoryB + ",1111\n" + kFactoryC + ",2222\n");
  const auto run = CliRaw("profile write " + Quote(dir.File("a.xml")) + Ports(2) + " --values " +
                          Quote(values) + " --yes --report " + Quote(dir.File("kept")));
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err << ReadFile(dir.File("kept.csv"));
  EXPECT_EQ(others[0]->State().Header[1], "Спасибо за платеж!");
  EXPECT_EQ(others[0]->State().Trailer[0], "Реклама");
  // Read from it, the profile is the source's again: no empty lines at its end.
  EXPECT_EQ(ReadProfile(others[0]->SlavePath(), "b.xml"), profile);

  // Lines with an empty one between them: the dropping terminal ends at it, the keeping one
  // gives them all; both verify, and trailing blanks are no difference either.
  quorvel::TProfile lines;
  lines.Header = "Магазин  \r\n\r\nул. Ленина, 1\r\n";
  lines.Trailer = "Реклама\r\n\r\n";
  lines.Groups = {quorvel::TProfileGroup::Header, quorvel::TProfileGroup::Trailer};
  lines.SaveToFile(dir.File("lines.xml"));
  const auto gaps = CliRaw("profile write " + Quote(dir.File("lines.xml")) + Ports(2) + " --yes");
  ASSERT_EQ(gaps.Status, 0) << gaps.Out << gaps.Err;
  EXPECT_EQ(others[0]->State().Header[2], "ул. Ленина, 1");
  EXPECT_EQ(others[1]->State().Header[2], "ул. Ленина, 1");
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
    boards.back()->Update([n = boards.size()](TSimState& s) { s.FactoryNumber = "35436000000010" + std::to_string(n); });
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
