// Every fault kind as the terminal applies it, and the bootloader seam of the command mode.
#include <gtest/gtest.h>

#include "SimTerminal.h"
#include "SimTestSupport.h"

namespace quorvel::sim {
namespace {

using test::SeqLine;

class SimFaultsTest : public ::testing::Test {
 protected:
  SimFaultsTest()
      : terminal(shared, [this](std::string_view trigger) {
          triggers.emplace_back(trigger);
          return acceptBootloader;
        }) {}

  std::string Run(const std::string& line) {
    terminal.Feed(line + "\r\n", wire);
    return wire.all;
  }
  std::string Header(int seq) { return SeqLine("SMHEADER", seq, {"1"}); }

  TSimShared shared;
  std::vector<std::string> triggers;
  bool acceptBootloader = true;
  TSimTerminal terminal;
  test::TRecordingWire wire;
};

TEST_F(SimFaultsTest, ErrorAndSmErrorFaultsAnswerWithoutCarryingOut) {
  shared.Faults.Arm("SMHEADER", {TSimFaultKind::Error, 0, 1, 0});
  shared.Faults.Arm("SMHEADER", {TSimFaultKind::SmError, 9, 1, 0});
  const std::string write1 = SeqLine("SMHEADER", 1, {"1", "\"a\""});
  EXPECT_EQ(Run(write1), write1 + "\r\nERROR\r\n");
  wire.Take();
  const std::string write2 = SeqLine("SMHEADER", 2, {"1", "\"b\""});
  EXPECT_EQ(Run(write2), write2 + "\r\n+SMERROR: 9,101\r\n");  // '9' + ',' = 101
  wire.Take();
  EXPECT_TRUE(shared.State.Header[0].empty());
  const std::string write3 = SeqLine("SMHEADER", 3, {"1", "\"c\""});
  EXPECT_EQ(Run(write3), write3 + "\r\nOK\r\n");  // both used up
  EXPECT_EQ(shared.State.Header[0], "c");
}

TEST_F(SimFaultsTest, BadChecksumHitsOnceAndWaitsForAReplyWithAChecksum) {
  shared.State.Header[0] = "ABC";
  shared.Faults.Arm("SMHEADER", {TSimFaultKind::BadChecksum, 0, 1, 0});
  // a write has no checksum in its reply: the fault stays armed
  const std::string write = SeqLine("SMHEADER", 1, {"2", "\"x\""});
  EXPECT_EQ(Run(write), write + "\r\nOK\r\n");
  wire.Take();
  // "1,"ABC"," sums to 147; the faulty reply carries 148
  EXPECT_EQ(Run(Header(2)), Header(2) + "\r\n+SMHEADER: 1,\"ABC\",148\r\nOK\r\n");
  wire.Take();
  EXPECT_EQ(Run(Header(3)), Header(3) + "\r\n+SMHEADER: 1,\"ABC\",147\r\nOK\r\n");
}

TEST_F(SimFaultsTest, SilenceSwallowsTheGivenNumberOfCommands) {
  shared.Faults.Arm("AT", {TSimFaultKind::Silence, 0, 2, 0});
  EXPECT_EQ(Run("AT"), "");
  EXPECT_EQ(Run("AT"), "");
  EXPECT_EQ(Run("AT"), "AT\r\nOK\r\n");
  EXPECT_EQ(shared.CommandCount, 3u);
  EXPECT_EQ(wire.lines, (std::vector<std::string>{"AT", "AT", "AT"}));
}

TEST_F(SimFaultsTest, SplitCutsTheReplyIntoChunksWithGapsAndLosesNothing) {
  shared.Faults.Arm("*", {TSimFaultKind::Split, 0, 0, 0});
  const std::string expected = "AT+CGMI\r\nOrtena\r\nOK\r\n";
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(Run("AT+CGMI"), expected);
    EXPECT_GE(wire.chunks.size(), 2u);
    EXPECT_EQ(wire.pauses.size(), wire.chunks.size() - 1);
    wire.Take();
  }
}

TEST_F(SimFaultsTest, DelayPausesBeforeTheReply) {
  shared.Faults.Arm("CGMI", {TSimFaultKind::Delay, 0, 1, 750});
  EXPECT_EQ(Run("AT+CGMI"), "AT+CGMI\r\nOrtena\r\nOK\r\n");
  EXPECT_EQ(wire.pauses, std::vector<int>{750});
  wire.Take();
  Run("AT+CGMI");
  EXPECT_TRUE(wire.pauses.empty());
}

TEST_F(SimFaultsTest, FaultsOfOtherCommandsDoNotFire) {
  shared.Faults.Arm("CGMM", {TSimFaultKind::Error, 0, 0, 0});
  EXPECT_EQ(Run("AT+CGMI"), "AT+CGMI\r\nOrtena\r\nOK\r\n");
  shared.Faults.Clear();
  wire.Take();
  EXPECT_EQ(Run("AT+CGMM"), "AT+CGMM\r\nOrtena GSM-3\r\nOK\r\n");
}

// The replies of a run of commands under random faults, as one text.
std::string RandomRun(std::uint32_t seed) {
  TSimShared shared;
  TSimRandomFaults random;
  random.Seed = seed;
  random.Probability = 0.5;
  shared.Faults.SetRandom(random);
  TSimTerminal terminal(shared, nullptr);
  test::TRecordingWire wire;
  std::string transcript;
  for (int i = 1; i <= 40; ++i) {
    terminal.Feed(SeqLine("SMSN", i, {}) + "\r\n", wire);
    transcript += wire.Take() + "|";
    for (int p : wire.pauses) transcript += std::to_string(p) + ";";
  }
  return transcript;
}

TEST_F(SimFaultsTest, RandomFaultsFollowTheirSeed) {
  const std::string a = RandomRun(42);
  EXPECT_EQ(a, RandomRun(42));
  EXPECT_NE(a, RandomRun(43));
  // with probability 0.5 over 40 commands some replies must differ from the clean one
  const std::string clean = SeqLine("SMSN", 1, {}) + "\r\n+SMSN: 00012345,187\r\nOK\r\n";
  EXPECT_NE(a.find("ERROR"), std::string::npos);
  EXPECT_NE(a.find(clean), std::string::npos);
}

TEST_F(SimFaultsTest, NoiseLinesStayOutsideTheReply) {
  shared.DebugLines = true;
  shared.UnsolicitedLines = true;
  int debug = 0;
  int unsolicited = 0;
  for (int i = 0; i < 60; ++i) {
    const std::string out = Run("AT+CGMI");
    wire.Take();
    const auto echo = out.find("AT+CGMI\r\nOrtena\r\nOK\r\n");
    ASSERT_NE(echo, std::string::npos) << out;
    debug += out.rfind("[debug]", 0) == 0 ? 1 : 0;
    unsolicited += out.find("\r\n+", echo) != std::string::npos ? 1 : 0;
  }
  EXPECT_GT(debug, 0);
  EXPECT_GT(unsolicited, 0);
}

TEST_F(SimFaultsTest, QuestionMarkFirstAfterRestartEntersTheBootloader) {
  terminal.Restart();
  terminal.Feed("?\r\nrest", wire);
  ASSERT_EQ(triggers.size(), 1u);
  EXPECT_EQ(triggers[0], "?\r\nrest");  // the line and all bytes after it go to the bootloader
  EXPECT_EQ(wire.all, "");
  // later "?" lines are ordinary (unknown) lines
  terminal.Feed("?\r\n", wire);
  EXPECT_EQ(wire.Take(), "?\r\nERROR\r\n");
  EXPECT_EQ(triggers.size(), 1u);
}

TEST_F(SimFaultsTest, QuestionMarkAfterAnotherLineOrWithoutBootloaderIsAnError) {
  terminal.Restart();
  Run("AT");
  wire.Take();
  EXPECT_EQ(Run("?"), "?\r\nERROR\r\n");
  EXPECT_TRUE(triggers.empty());
  acceptBootloader = false;
  terminal.Restart();
  wire.Take();
  EXPECT_EQ(Run("?"), "?\r\nERROR\r\n");
  EXPECT_EQ(triggers.size(), 1u);
}

}  // namespace
}  // namespace quorvel::sim
