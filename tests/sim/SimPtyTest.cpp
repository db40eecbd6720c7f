// The simulator over its pseudo-terminal, driven with plain read/write as a host would:
// exact bytes, pacing at the baud rate (lower bounds only), faults on the wire, stopping
// in the middle of a command, restarting, and the bootloader seam.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>

#include <gtest/gtest.h>

#include "SimHostPort.h"
#include "SimTestSupport.h"
#include "TerminalSim.h"

namespace quorvel::sim {
namespace {

using test::DataLine;
using test::HostPort;
using test::SeqLine;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class SimPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim.Start();
    host = std::make_unique<HostPort>(sim.SlavePath());
    ASSERT_TRUE(host->IsOpen());
  }
  TTerminalSim sim;
  std::unique_ptr<HostPort> host;
};

TEST_F(SimPtyTest, AnswersWithExactBytes) {
  sim.Update([](TSimState& s) { s.SerialNumber = "00012345"; });
  EXPECT_EQ(host->Exchange("AT+CGMI"), "AT+CGMI\r\nOrtena\r\nOK\r\n");
  EXPECT_EQ(host->Exchange("AT+SMSN=1,93"), "AT+SMSN=1,93\r\n+SMSN: 00012345,187\r\nOK\r\n");
  // AT+SMSTATE=1,94: the body "1," sums to 93, so 94 is wrong
  EXPECT_EQ(host->Exchange("AT+SMSTATE=1,94", "93\r\n"), "AT+SMSTATE=1,94\r\n+SMERROR: 1,93\r\n");
  EXPECT_EQ(sim.CommandCount(), 3u);
  EXPECT_EQ(sim.ReceivedLines(),
            (std::vector<std::string>{"AT+CGMI", "AT+SMSN=1,93", "AT+SMSTATE=1,94"}));
}

TEST_F(SimPtyTest, RefusedWriteChangesNothingAndAGoodOneLands) {
  sim.Update([](TSimState& s) { s.Trailer[0] = "old"; });
  const std::string body = "4,1,\"new\",";
  const std::string wrong = "AT+SMREKLAM=" + body + std::to_string((test::HandSum(body) + 7) % 256);
  EXPECT_EQ(host->Exchange(wrong, "93\r\n"), wrong + "\r\n+SMERROR: 1,93\r\n");
  EXPECT_EQ(sim.State().Trailer[0], "old");
  const std::string good = SeqLine("SMREKLAM", 4, {"1", "\"new\""});
  EXPECT_EQ(host->Exchange(good), good + "\r\nOK\r\n");
  EXPECT_EQ(sim.State().Trailer[0], "new");
}

TEST_F(SimPtyTest, ThrottledRepliesTakeAtLeastTheirLineTime) {
  sim.Update([](TSimState& s) { s.XmlData = std::string(512, 'Q'); });
  sim.SetBaudRate(9600);
  const auto start = Clock::now();
  std::string got = host->Exchange(SeqLine("LOADXML", 1, {"0"}));
  got += host->Exchange(SeqLine("LOADXML", 2, {"1"}));
  const double elapsed = Seconds(Clock::now() - start);
  ASSERT_GE(got.size(), 1024u);
  std::string hex;
  for (int i = 0; i < 256; ++i) hex += "51";  // 'Q'
  EXPECT_NE(got.find(DataLine("LOADXML", "1,256,512,\"" + hex + "\"")), std::string::npos);
  // 10 bits a byte at 9600 baud: the replies alone need this long on a real line
  EXPECT_GE(elapsed, 0.95 * static_cast<double>(got.size()) * 10.0 / 9600.0);
}

TEST_F(SimPtyTest, ThrottledInputIsHandledOnlyAfterItCrossedTheLine) {
  sim.SetBaudRate(9600);
  const std::string hex(512, '4');  // 256 bytes of 0x44
  const std::string first = SeqLine("SAVEXML", 1, {"0", "256", "\"" + hex + "\""});
  const std::string second = SeqLine("SAVEXML", 2, {"1", "256", "\"" + hex + "\""});
  const std::string input = first + "\r\n" + second + "\r\n";
  ASSERT_GE(input.size(), 1024u);
  const auto start = Clock::now();
  ASSERT_TRUE(host->Write(input));
  const std::string got = host->ReadUntil(second + "\r\nOK\r\n", 10000);
  const double elapsed = Seconds(Clock::now() - start);
  EXPECT_EQ(got, first + "\r\nOK\r\n" + second + "\r\nOK\r\n");
  EXPECT_GE(elapsed, 0.95 * static_cast<double>(input.size()) * 10.0 / 9600.0);
  EXPECT_EQ(sim.State().XmlData, std::string(512, 'D'));
}

TEST_F(SimPtyTest, FaultsShowOnTheWire) {
  sim.ArmFault("CGMM", {TSimFaultKind::Delay, 0, 1, 300});
  sim.ArmFault("CGMI", {TSimFaultKind::Split, 0, 0, 0});
  sim.ArmFault("CGSN", {TSimFaultKind::Silence, 0, 1, 0});
  const auto start = Clock::now();
  EXPECT_EQ(host->Exchange("AT+CGMM"), "AT+CGMM\r\nOrtena GSM-3\r\nOK\r\n");
  EXPECT_GE(Seconds(Clock::now() - start), 0.3);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(host->Exchange("AT+CGMI"), "AT+CGMI\r\nOrtena\r\nOK\r\n");
  // the silenced command leaves nothing on the line; the next one is answered
  host->Write("AT+CGSN\r\n");
  EXPECT_EQ(host->Exchange("AT"), "AT\r\nOK\r\n");
  EXPECT_EQ(sim.ReceivedLines().size(), 8u);
}

TEST_F(SimPtyTest, StopInTheMiddleOfACommandThenStartAgain) {
  sim.ArmFault("CGMI", {TSimFaultKind::Delay, 0, 1, 10000});
  sim.Update([](TSimState& s) { s.SerialNumber = "11112222"; });
  ASSERT_TRUE(host->Write("AT+CGMI\r\n"));
  // wait until the terminal has the line, then pull the plug before it answers
  for (int i = 0; i < 500 && sim.CommandCount() == 0; ++i) usleep(2000);
  ASSERT_EQ(sim.CommandCount(), 1u);
  sim.Stop();
  EXPECT_FALSE(sim.Running());
  EXPECT_EQ(sim.SlavePath(), "");
  const std::string after = host->ReadUntil("OK\r\n", 500);
  EXPECT_EQ(after.find("Ortena"), std::string::npos);
  host.reset();
  sim.Stop();  // a second Stop is harmless

  sim.Start();
  ASSERT_TRUE(sim.Running());
  HostPort again(sim.SlavePath());
  ASSERT_TRUE(again.IsOpen());
  EXPECT_EQ(again.Exchange("AT+SMSN=1,93"), "AT+SMSN=1,93\r\n+SMSN: 11112222,184\r\nOK\r\n");
}

TEST_F(SimPtyTest, TheHostMayCloseAndReopenThePort) {
  EXPECT_EQ(host->Exchange("AT"), "AT\r\nOK\r\n");
  host->Close();
  usleep(50000);  // the server keeps serving with no host attached
  HostPort reopened(sim.SlavePath());
  ASSERT_TRUE(reopened.IsOpen());
  EXPECT_EQ(reopened.Exchange("AT"), "AT\r\nOK\r\n");
}

// A stand-in bootloader: answers "?" with Synchronized and leaves on "G".
class FakeBootloader : public ISimPortHandler {
 public:
  void Feed(std::string_view bytes, ISimWire& wire) override {
    for (char c : bytes) {
      if (c != '\n') {
        if (c != '\r') line_ += c;
        continue;
      }
      wire.LogReceivedLine(line_);
      if (line_ == "?") wire.Send("Synchronized\r\n");
      if (line_ == "G") wire.LeaveBootloader();
      line_.clear();
    }
  }

 private:
  std::string line_;
};

TEST_F(SimPtyTest, RestartOpensTheWayIntoTheBootloaderAndBack) {
  sim.SetBootloaderFactory([] { return std::make_unique<FakeBootloader>(); });
  // power-on counts as a restart: the first line decides; after another line "?" is unknown
  EXPECT_EQ(host->Exchange("AT"), "AT\r\nOK\r\n");
  EXPECT_EQ(host->Exchange("?", "ERROR\r\n"), "?\r\nERROR\r\n");
  EXPECT_FALSE(sim.InBootloader());
  sim.Restart();
  EXPECT_EQ(host->Exchange("?", "Synchronized\r\n"), "Synchronized\r\n");
  EXPECT_TRUE(sim.InBootloader());
  host->Write("G\r\n");
  for (int i = 0; i < 500 && sim.InBootloader(); ++i) usleep(2000);
  EXPECT_FALSE(sim.InBootloader());
  EXPECT_EQ(host->Exchange("AT"), "AT\r\nOK\r\n");
}

TEST(SimPtyOptions, StartInBootloaderAndUnsolicitedLinesWhenIdle) {
  TSimOptions options;
  options.StartInBootloader = true;
  std::mutex mutex;
  std::vector<std::string> logged;
  options.OnLineReceived = [&](const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex);
    logged.push_back(line);
  };
  TTerminalSim sim(options);
  sim.SetBootloaderFactory([] { return std::make_unique<FakeBootloader>(); });
  sim.Start();
  EXPECT_TRUE(sim.InBootloader());
  HostPort host(sim.SlavePath());
  EXPECT_EQ(host.Exchange("?", "Synchronized\r\n"), "Synchronized\r\n");
  host.Write("G\r\n");
  for (int i = 0; i < 500 && sim.InBootloader(); ++i) usleep(2000);
  sim.SetUnsolicitedLines(true);
  const std::string idle = host.ReadUntil("\r\n", 10000);
  EXPECT_EQ(idle.substr(0, 1), "+");
  sim.Stop();
  EXPECT_EQ(logged, (std::vector<std::string>{"?", "G"}));  // the bootloader's lines, logged
}

}  // namespace
}  // namespace quorvel::sim
