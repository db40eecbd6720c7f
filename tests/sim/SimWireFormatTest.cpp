#include <gtest/gtest.h>

#include "SimTestSupport.h"
#include "SimWireFormat.h"

namespace quorvel::sim {
namespace {

using test::HandSum;

TEST(SimWireFormat, HandSumMatchesTheWorkedExamples) {
  // the helper the other tests rely on, pinned to sums done on paper
  EXPECT_EQ(HandSum("1,"), 93u);       // 49 + 44
  EXPECT_EQ(HandSum("5,3,"), 192u);    // 53 + 44 + 51 + 44
  EXPECT_EQ(HandSum("3,ABC,"), 81u);   // 337 mod 256
  EXPECT_EQ(WireSum("3,ABC,"), 81u);
  EXPECT_EQ(WireSum("\xFF\xFF"), 254u);  // bytes above 127 count as unsigned
}

TEST(SimWireFormat, ParseSequencedAcceptsOnlyCorrectLines) {
  const std::vector<std::pair<const char*, bool>> rows = {
      {"1,93", true},
      {"5,3,192", true},
      {"99,1,\"a,b\",", false},  // the checksum is missing
      {"1,93 ", false},           // trailing blank
      {"1,093", false},           // leading zero in the checksum
      {"1,94", false},            // wrong checksum
      {"1,256", false},           // checksum beyond a byte
      {"1,-163", false},          // signed checksum
      {"", false},
      {"1", false},
  };
  for (const auto& [params, ok] : rows) {
    int seq = 0;
    std::vector<TSimArg> args;
    EXPECT_EQ(ParseSequenced(params, seq, args), ok) << params;
  }
  // bodies whose checksum is right but whose fields are not
  for (const std::string body : {"0,", "100,", "01,", ",", "\"1\",", "1,\"ab,", "1,a\"b\",",
                                 "1,\"a\"b", "-1,"}) {
    int seq = 0;
    std::vector<TSimArg> args;
    EXPECT_FALSE(ParseSequenced(body + std::to_string(HandSum(body)), seq, args)) << body;
  }
  // well-formed lines with quoted fields keep their commas and report quoting
  const std::string body = "12,1,\"x, y\",,-5,";
  const std::string params = body + std::to_string(HandSum(body));
  int seq = 0;
  std::vector<TSimArg> args;
  ASSERT_TRUE(ParseSequenced(params, seq, args));
  EXPECT_EQ(seq, 12);
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[0].Text, "1");
  EXPECT_FALSE(args[0].Quoted);
  EXPECT_EQ(args[1].Text, "x, y");
  EXPECT_TRUE(args[1].Quoted);
  EXPECT_EQ(args[2].Text, "");
  EXPECT_FALSE(args[2].Quoted);
  EXPECT_EQ(args[3].Text, "-5");
}

TEST(SimWireFormat, QuotedTextMayHoldQuotesOfItsOwn) {
  // scripts and receipt lines quote text and the protocol has no escaping
  struct Row {
    std::string params;
    std::vector<std::string> texts;
  } rows[] = {
      {"1,5,1,\"INPUT \"Phone\" PRINT\"", {"1", "5", "1", "INPUT \"Phone\" PRINT"}},
      {"4,\"OOO \"Romashka\"\"", {"4", "OOO \"Romashka\""}},
      {"\"a\",\"b\"", {"a", "b"}},                       // two quoted fields, not one
      // a quote-comma inside quoted text is taken as a field end when the rest still splits
      {"\"say \"x\",\"y\"\",2", {"say \"x", "y\"", "2"}},
      {"\"\"", {""}},
  };
  for (const auto& r : rows) {
    std::vector<TSimArg> args;
    ASSERT_TRUE(SplitArgs(r.params, args)) << r.params;
    ASSERT_EQ(args.size(), r.texts.size()) << r.params;
    for (std::size_t i = 0; i < args.size(); ++i) EXPECT_EQ(args[i].Text, r.texts[i]) << r.params;
  }
  std::vector<TSimArg> args;
  EXPECT_FALSE(SplitArgs("\"open", args));
  EXPECT_FALSE(SplitArgs("1,x\"y", args));
  // many fields that could each close later, and a last one that never closes: every
  // alternative fails, which must not take exponential time
  std::string many;
  for (int i = 0; i < 1500; ++i) many += "\"a\",";
  EXPECT_TRUE(SplitArgs(many, args));
  EXPECT_EQ(args.size(), 1501u);
  EXPECT_FALSE(SplitArgs(many + "\"x", args));
}

TEST(SimWireFormat, SplitCommandLineSeparatesNameAndParameters) {
  TSimCommandLine line;
  ASSERT_TRUE(SplitCommandLine("AT", line));
  EXPECT_EQ(line.Name, "AT");
  ASSERT_TRUE(SplitCommandLine("AT+CCLK?", line));
  EXPECT_EQ(line.Name, "CCLK?");
  EXPECT_FALSE(line.HasParams);
  ASSERT_TRUE(SplitCommandLine("AT+GLOBALOP=3", line));
  EXPECT_EQ(line.Name, "GLOBALOP");
  EXPECT_TRUE(line.HasParams);
  EXPECT_EQ(line.Params, "3");
  ASSERT_TRUE(SplitCommandLine("AT+SMSN=", line));
  EXPECT_TRUE(line.HasParams);
  EXPECT_EQ(line.Params, "");
  for (const char* bad : {"", "A", "AT+", "AT+=1", "at+cgmi", "ATE0", "+SMSN"}) {
    EXPECT_FALSE(SplitCommandLine(bad, line)) << bad;
  }
}

TEST(SimWireFormat, ReplyLinesCarryTheChecksumOfTheirFields) {
  EXPECT_EQ(ErrorLine(1), "+SMERROR: 1,93");
  EXPECT_EQ(ErrorLine(8), "+SMERROR: 8,100");
  EXPECT_EQ(ErrorLine(251), "+SMERROR: 251," + std::to_string(HandSum("251,")));
  EXPECT_EQ(ChecksumLine("SMHEADER", "3,\"ABC\","), test::DataLine("SMHEADER", "3,\"ABC\""));
  EXPECT_EQ(QuoteField("a,b"), "\"a,b\"");
}

}  // namespace
}  // namespace quorvel::sim
