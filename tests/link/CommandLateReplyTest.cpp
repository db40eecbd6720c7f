// Replies carry no sequence number: a reply that arrives after its command timed out must not
// be taken for the next command's answer.
#include "Command.h"

#include "CommandTestSupport.h"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::DataLine;
using quorvel::test::ErrorLine;

namespace {

// Configures a sequenced SMHEADER read of one line (same base name for every line, the worst
// case: the late data line looks like this command's own).
void ReadHeader(TCommand& c, int line) {
  c.Reset();
  c.SetName("SMHEADER");
  c.SetSequenced(true);
  c.Params().AppendInt(line);
  c.SetTimeout(1);
  c.Prepare();
}

std::string HeaderReply(const std::string& echo, int line, const std::string& text) {
  return echo + "\r\n" + DataLine("SMHEADER", std::to_string(line) + ",\"" + text + "\",") + "\r\nOK\r\n";
}

}  // namespace

TEST(CommandLateReply, RetryAnsweredTwiceSecondAnswerDuringTheNextCommand) {
  TCommand c;
  // Command A: line 1. The first attempt times out with no byte received.
  ReadHeader(c, 1);
  const std::string lineA = c.CommandLine();
  EXPECT_EQ(c.WaitResult(), 1005);
  // The retry repeats the same line (same SeqNo); the terminal now answers the first attempt.
  c.Prepare();
  EXPECT_EQ(c.CommandLine(), lineA);
  c.Feed(HeaderReply(lineA, 1, "first"));
  ASSERT_TRUE(c.Done());
  EXPECT_EQ(c.WaitResult(), 0);
  EXPECT_EQ(c.AnswerField(1), "first");
  EXPECT_EQ(c.SeqNo(), 2);

  // Command B: line 2, built with the next number.
  ReadHeader(c, 2);
  c.SetTimeout(2000);
  const std::string lineB = c.CommandLine();
  ASSERT_NE(lineA, lineB);
  // The terminal's answer to A's retry arrives now, split across chunks.
  const std::string late = HeaderReply(lineA, 1, "first");
  c.Feed(late.substr(0, 7));
  c.Feed(late.substr(7));
  EXPECT_FALSE(c.Done());
  EXPECT_TRUE(c.Answer().Empty());
  EXPECT_FALSE(c.DataSeen());
  EXPECT_EQ(c.SeqNo(), 3);  // its data line still advanced the number
  // Then B's own answer.
  c.Feed(HeaderReply(lineB, 2, "second"));
  EXPECT_EQ(c.WaitResult(), 0);
  EXPECT_EQ(c.AnswerField(0), "2");
  EXPECT_EQ(c.AnswerField(1), "second");
  EXPECT_EQ(c.SeqNo(), 4);
}

TEST(CommandLateReply, EchoBeforePrepareDataAfterIt) {
  TCommand c;
  ReadHeader(c, 1);
  const std::string lineA = c.CommandLine();
  EXPECT_EQ(c.WaitResult(), 1005);
  // A's echo arrives after the timeout, before the next command is prepared ...
  c.Feed(lineA + "\r\n");
  ReadHeader(c, 2);
  const std::string lineB = c.CommandLine();
  // ... its data line after: it is A's, and B's echo must not complete B with it.
  c.Feed(DataLine("SMHEADER", "1,\"first\",") + "\r\nOK\r\n" + lineB + "\r\n");
  EXPECT_FALSE(c.Done());
  EXPECT_TRUE(c.Answer().Empty());
  c.Feed(DataLine("SMHEADER", "2,\"second\",") + "\r\nOK\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.AnswerField(1), "second");
}

TEST(CommandLateReply, LateLoadXmlPacketDoesNotCorruptTheNextRead) {
  TCommand c;
  auto load = [&](int packet) {
    c.Reset();
    c.SetName("LOADXML");
    c.SetSequenced(true);
    c.Params().AppendInt(packet);
    c.SetTimeout(1);
    c.Prepare();
    return c.CommandLine();
  };
  const std::string line0 = load(0);
  EXPECT_EQ(c.WaitResult(), 1005);
  c.Prepare();
  c.Feed(line0 + "\r\n" + DataLine("LOADXML", "0,256,0,\"AAAA\",") + "\r\nOK\r\n");
  ASSERT_TRUE(c.Done());
  const std::string line1 = load(1);
  c.Feed(line0 + "\r\n" + DataLine("LOADXML", "0,256,0,\"AAAA\",") + "\r\n");
  c.Feed(line1 + "\r\n");  // the late OK of packet 0 got lost: B's own echo ends A's reply
  EXPECT_FALSE(c.Done());
  c.Feed(DataLine("LOADXML", "1,2,0,\"BBBB\",") + "\r\nOK\r\n");
  ASSERT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 0);
  EXPECT_EQ(c.AnswerField(1), "2");
  EXPECT_EQ(c.AnswerField(3), "BBBB");
}

TEST(CommandLateReply, LateErrorDoesNotFailTheNextCommand) {
  TCommand c;
  ReadHeader(c, 1);
  const std::string lineA = c.CommandLine();
  EXPECT_EQ(c.WaitResult(), 1005);
  c.Reset();
  c.SetName("SMSTATE");
  c.SetSequenced(true);
  c.Prepare();
  const int seq = c.SeqNo();
  c.Feed(lineA + "\r\nERROR\r\n");
  EXPECT_FALSE(c.Done());
  EXPECT_EQ(c.ResultCode(), 0);
  EXPECT_EQ(c.SeqNo(), seq);
  c.Feed(c.CommandLine() + "\r\n" + DataLine("SMSTATE", "1,0,5,") + "\r\nOK\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.ResultCode(), 0);
  EXPECT_EQ(c.AnswerField(2), "5");
}

TEST(CommandLateReply, LateSmErrorDoesNotFailTheNextCommandButAdvancesSeqNo) {
  for (const std::string& error : {ErrorLine("3"), std::string("+SMERROR: 3,0"), ErrorLine("x")}) {
    TCommand c;
    ReadHeader(c, 1);
    const std::string lineA = c.CommandLine();
    EXPECT_EQ(c.WaitResult(), 1005);
    c.Reset();
    c.SetName("SMSTATE");
    c.SetSequenced(true);
    c.Prepare();
    const int seq = c.SeqNo();
    c.Feed(lineA + "\r\n" + error + "\r\n");
    EXPECT_FALSE(c.Done()) << error;
    EXPECT_EQ(c.ResultCode(), 0);
    EXPECT_TRUE(c.Answer().Empty());
    EXPECT_EQ(c.SeqNo(), seq + 1);
    c.Feed(c.CommandLine() + "\r\n" + DataLine("SMSTATE", "1,0,5,") + "\r\n");
    EXPECT_TRUE(c.Done());
    EXPECT_EQ(c.ResultCode(), 0);
    EXPECT_EQ(c.SeqNo(), seq + 2);
  }
}

TEST(CommandLateReply, LinesAfterATimeoutDoNotChangeTheNoLinkResult) {
  TCommand c;
  ReadHeader(c, 1);
  EXPECT_EQ(c.WaitResult(), 1005);
  c.Feed(HeaderReply(c.CommandLine(), 1, "late"));
  EXPECT_EQ(c.ResultCode(), 1005);
  EXPECT_EQ(c.ResultText(), kNoLinkText);
  EXPECT_EQ(c.SeqNo(), 2);
}

TEST(CommandLateReply, DataBeforeEchoWithoutForeignEchoStillCompletes) {
  TCommand c;
  ReadHeader(c, 4);
  c.Feed(DataLine("SMHEADER", "4,\"x\",") + "\r\n");
  EXPECT_FALSE(c.Done());
  c.Feed(c.CommandLine() + "\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.AnswerField(1), "x");
}

TEST(CommandLateReply, ForeignPlainAnswerLinesCountForNothing) {
  TCommand c;
  c.SetName("CGMM");
  c.Prepare();
  c.Feed("AT+CGMI\r\nOrtena\r\n");
  c.Feed("OK\r\nAT+CGMM\r\nOT-100\r\nOK\r\n");
  EXPECT_TRUE(c.Done());
  EXPECT_EQ(c.Answer().Items(), std::vector<std::string>{"OT-100"});
}
