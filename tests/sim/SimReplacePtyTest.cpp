// A bench's port that stays while the terminal behind it changes: the next terminal on the
// same pty with a host still attached, and a terminal that goes silent and comes back.
#include <unistd.h>

#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "Errors.h"
#include "SimHostPort.h"
#include "SimTestSupport.h"
#include "TerminalSim.h"

namespace quorvel::sim {
namespace {

using test::HostPort;
using test::SeqLine;

constexpr int kNoAnswerMs = 300;  // how long a line is watched for bytes that must not come

TSimOptions FactoryOptions() {
  TSimOptions options;
  options.Factory.SerialNumber = "20000001";
  options.Factory.FactoryNumber = "354360000000099";
  return options;
}

std::string Cgsn(const std::string& number) { return "AT+CGSN\r\n" + number + "\r\nOK\r\n"; }

// What the line gives back for a line sent, watched for a short while only: a terminal
// expected to keep quiet.
std::string Unanswered(HostPort& host, const std::string& line) {
  host.Write(line + "\r\n");
  return host.ReadUntil("OK\r\n", kNoAnswerMs);
}

// A half line is either still in the pty or already in the terminal's line buffer; this
// gives the server time to take it in, so that the terminal's own drop is what is tested.
// Both must lose it, so the test holds whichever happened.
void TakeInTime() { usleep(100000); }

class SimReplace : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.Start();
    host = std::make_unique<HostPort>(sim.SlavePath());
    ASSERT_TRUE(host->IsOpen());
  }
  TTerminalSim sim{FactoryOptions()};
  std::unique_ptr<HostPort> host;
};

TEST_F(SimReplace, TheNextTerminalHasTheNextNumberAndAFactoryStateOnTheSamePty) {
  EXPECT_EQ(host->Exchange("AT+CGSN"), Cgsn("354360000000099"));
  EXPECT_EQ(host->Exchange("AT+SMSN=1,93"),
            "AT+SMSN=1,93\r\n" + test::DataLine("SMSN", "20000001") + "\r\nOK\r\n");
  // the old terminal got settings, a backup and a fault of its own
  const std::string reklam = SeqLine("SMREKLAM", 2, {"1", "\"old shop\""});
  EXPECT_EQ(host->Exchange(reklam), reklam + "\r\nOK\r\n");
  sim.Update([](TSimState& s) { s.SerialNumber = "20009999"; });
  sim.SetBackup(sim.State());
  sim.ArmFault("CGMI", {TSimFaultKind::Error, 0, 0, 0});
  const std::string path = sim.SlavePath();

  sim.Replace();

  EXPECT_EQ(sim.SlavePath(), path);
  EXPECT_EQ(host->Exchange("AT+CGSN"), Cgsn("354360000000100"));
  EXPECT_EQ(host->Exchange("AT+SMSN=1,93"),
            "AT+SMSN=1,93\r\n" + test::DataLine("SMSN", "20000001") + "\r\nOK\r\n");
  EXPECT_EQ(sim.State().Trailer[0], "");
  EXPECT_EQ(host->Exchange("AT+CGMI"), "AT+CGMI\r\nOrtena\r\nOK\r\n");
  const std::string backLoad = SeqLine("SMBACKLOAD", 3, {});
  EXPECT_EQ(host->Exchange(backLoad, "\r\n+SMERROR: 8,100\r\n"), backLoad + "\r\n+SMERROR: 8,100\r\n");

  sim.Replace();
  EXPECT_EQ(host->Exchange("AT+CGSN"), Cgsn("354360000000101"));
}

TEST_F(SimReplace, TheOldTerminalsHalfLineAndUnsentReplyAreNotTheNewOnes) {
  // a reply held back, then the start of a line the old terminal never completed
  sim.ArmFault("CGMM", {TSimFaultKind::Delay, 0, 1, 1000});
  ASSERT_TRUE(host->Write("AT+CGMM\r\n"));
  for (int i = 0; i < 2500 && sim.CommandCount() == 0; ++i) usleep(2000);
  ASSERT_EQ(sim.CommandCount(), 1u);
  ASSERT_TRUE(host->Write("AT+SMHEA"));
  TakeInTime();
  sim.Replace();
  // without the drop the delayed reply would come, or "AT+SMHEAAT" would be one wrong line
  EXPECT_EQ(host->Exchange("AT"), "AT\r\nOK\r\n");
  EXPECT_EQ(host->ReadUntil("OK\r\n", 1500), "");
}

TEST_F(SimReplace, ANumberThatIsNoneChangesNothing) {
  sim.Update([](TSimState& s) {
    s.FactoryNumber = "not a number";
    s.Trailer[0] = "kept";
  });
  EXPECT_THROW(sim.Replace(), quorvel::Exception);
  EXPECT_EQ(sim.State().FactoryNumber, "not a number");
  EXPECT_EQ(sim.State().Trailer[0], "kept");
}

// A bench replacing terminals on one thread while its host talks on another: no replacement
// is lost, and each answer is whole, from one terminal or the next.
TEST_F(SimReplace, ReplacementsFromAnotherThreadWhileTheHostTalks) {
  constexpr int kReplacements = 40;
  std::thread bench([&] {
    for (int i = 0; i < kReplacements; ++i) {
      sim.Replace();
      usleep(1000);
    }
  });
  for (int i = 0; i < 40; ++i) {
    host->Write("AT+CGSN\r\n");
    const std::string got = host->ReadUntil("OK\r\n", kNoAnswerMs);
    // a flush may cut a reply anywhere, but a whole number is one of the terminals' numbers
    std::smatch number;
    if (std::regex_search(got, number, std::regex("\r\n([0-9]{15})\r\n"))) {
      EXPECT_GE(number[1].str(), "354360000000099") << got;
      EXPECT_LE(number[1].str(), "354360000000139") << got;
    }
  }
  bench.join();
  host->ReadUntil("OK\r\n", kNoAnswerMs);
  EXPECT_EQ(sim.State().FactoryNumber, "354360000000139");
  EXPECT_EQ(host->Exchange("AT+CGSN"), Cgsn("354360000000139"));
}

TEST_F(SimReplace, ASilentTerminalTakesNothingAndSendsNothingUntilItIsBack) {
  const std::string reklam = SeqLine("SMREKLAM", 2, {"1", "\"shop\""});
  EXPECT_EQ(host->Exchange(reklam), reklam + "\r\nOK\r\n");
  const auto commands = sim.CommandCount();
  const auto received = sim.ReceivedLines().size();
  ASSERT_TRUE(host->Write("AT+CG"));  // the cable is pulled in the middle of a line
  TakeInTime();
  sim.SetSilent(true);
  EXPECT_TRUE(sim.Silent());
  EXPECT_EQ(Unanswered(*host, "SN"), "");
  EXPECT_EQ(Unanswered(*host, "AT+CGMI"), "");
  EXPECT_EQ(sim.CommandCount(), commands);
  EXPECT_EQ(sim.ReceivedLines().size(), received);

  sim.SetSilent(false);
  EXPECT_FALSE(sim.Silent());
  EXPECT_EQ(host->Exchange("AT"), "AT\r\nOK\r\n");
  EXPECT_EQ(sim.State().Trailer[0], "shop");  // the same terminal, plugged in again
}

TEST_F(SimReplace, AReplyDueWhenTheTerminalFallsSilentIsNeverSent) {
  sim.ArmFault("CGMI", {TSimFaultKind::Delay, 0, 1, 1000});
  ASSERT_TRUE(host->Write("AT+CGMI\r\n"));
  for (int i = 0; i < 2500 && sim.CommandCount() == 0; ++i) usleep(2000);
  ASSERT_EQ(sim.CommandCount(), 1u);
  sim.SetSilent(true);
  sim.SetSilent(false);
  EXPECT_EQ(host->ReadUntil("OK\r\n", 1500), "");
}

TEST_F(SimReplace, ASilentTerminalSendsNoUnsolicitedLinesEither) {
  sim.SetSilent(true);
  sim.SetUnsolicitedLines(true);
  // longer than the idle period of the noise lines
  EXPECT_EQ(host->ReadUntil("\r\n", 2500), "");
  sim.SetSilent(false);
  EXPECT_EQ(host->ReadUntil("\r\n", 10000).substr(0, 1), "+");
}

TEST(SimSilence, ATerminalStartedSilentAnswersOnlyOnceItIsBack) {
  TTerminalSim sim;
  sim.SetSilent(true);
  sim.Start();
  HostPort host(sim.SlavePath());
  ASSERT_TRUE(host.IsOpen());
  EXPECT_EQ(Unanswered(host, "AT"), "");
  sim.SetSilent(false);
  EXPECT_EQ(host.Exchange("AT"), "AT\r\nOK\r\n");
}

}  // namespace
}  // namespace quorvel::sim
