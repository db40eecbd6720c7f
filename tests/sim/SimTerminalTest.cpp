// The terminal's command mode driven line by line through a recording wire: exact reply
// bytes, refusals that change nothing, code 8, and the state the writes leave.
#include <gtest/gtest.h>

#include "Cp1251.h"
#include "SimTerminal.h"
#include "SimTestSupport.h"

namespace quorvel::sim {
namespace {

using test::DataLine;
using test::HandSum;
using test::SeqLine;

class SimTerminalTest : public ::testing::Test {
 protected:
  SimTerminalTest() : terminal(shared, nullptr) {}

  // Sends one line and returns everything the terminal answered.
  std::string Run(const std::string& line) {
    terminal.Feed(line + "\r\n", wire);
    return wire.Take();
  }
  // The reply of a sequenced command with the next sequence number.
  std::string Seq(const std::string& name, const std::vector<std::string>& params) {
    return Run(SeqLine(name, NextSeq(), params));
  }
  int NextSeq() {
    seq = seq % 99 + 1;
    return seq;
  }
  static std::string Reply(const std::string& echo, const std::vector<std::string>& lines) {
    std::string out = echo + "\r\n";
    for (const auto& l : lines) out += l + "\r\n";
    return out;
  }
  static std::string W(const std::string& utf8) { return Utf8ToCp1251(utf8); }

  TSimShared shared;
  TSimTerminal terminal;
  test::TRecordingWire wire;
  int seq = 0;
};

TEST_F(SimTerminalTest, PlainQueriesAnswerWithTheirValue) {
  shared.State.Manufacturer = "Ortena";
  shared.State.HardwareVersion = "HW 2.1";
  shared.State.Clock = "26/12/09,06:25:52";
  shared.State.ActiveSystem = 4;
  shared.State.RetryCount = 7;
  EXPECT_EQ(Run("AT"), "AT\r\nOK\r\n");
  EXPECT_EQ(Run("AT+CGMI"), "AT+CGMI\r\nOrtena\r\nOK\r\n");
  EXPECT_EQ(Run("AT+WHWV"), "AT+WHWV\r\n+WHWV: \"HW 2.1\"\r\nOK\r\n");
  EXPECT_EQ(Run("AT+CCLK?"), "AT+CCLK?\r\n+CCLK: \"26/12/09,06:25:52\"\r\nOK\r\n");
  EXPECT_EQ(Run("AT+GLOBALOP?"), "AT+GLOBALOP?\r\n+GLOBALOP: 4\r\nOK\r\n");
  EXPECT_EQ(Run("AT+SMTRYCOUNT?"), "AT+SMTRYCOUNT?\r\n+SMTRYCOUNT: 7\r\nOK\r\n");
  EXPECT_EQ(Run("AT+NOSUCH"), "AT+NOSUCH\r\nERROR\r\n");
  EXPECT_EQ(Run("hello"), "hello\r\nERROR\r\n");
}

TEST_F(SimTerminalTest, SequencedReadsCarryTheChecksumOfTheirFields) {
  shared.State.SerialNumber = "00012345";
  shared.State.VoltageTenths = 126;
  // 00012345, sums to 187 (48*3 + 49 + 50 + 51 + 52 + 53 + 44)
  EXPECT_EQ(Seq("SMSN", {}), Reply("AT+SMSN=1,93", {"+SMSN: 00012345,187", "OK"}));
  EXPECT_EQ(Seq("SMSTATE", {}),
            Reply(SeqLine("SMSTATE", 2, {}), {"+SMSTATE: 1,23,0,200,126,205", "OK"}));
  shared.State.VoltageTenths.reset();
  EXPECT_EQ(Seq("SMSTATE", {}),
            Reply(SeqLine("SMSTATE", 3, {}), {DataLine("SMSTATE", "1,23,0,200"), "OK"}));
  shared.State.Header[2] = "Магазин, №1";
  const std::string line = SeqLine("SMHEADER", 4, {"3"});
  EXPECT_EQ(Seq("SMHEADER", {"3"}),
            Reply(line, {DataLine("SMHEADER", "3," + W("\"Магазин, №1\"")), "OK"}));
}

TEST_F(SimTerminalTest, MissingDataIsCodeEight) {
  shared.State.Manufacturer.clear();
  shared.State.ServerAddress.clear();
  const std::string eight = "+SMERROR: 8,100";  // '8' + ',' = 100
  EXPECT_EQ(Run("AT+CGMI"), Reply("AT+CGMI", {eight}));
  EXPECT_EQ(Run("AT+SMTRYCOUNT?"), Reply("AT+SMTRYCOUNT?", {eight}));
  const std::vector<std::pair<std::string, std::vector<std::string>>> reads = {
      {"SMSERV", {}},        {"SMSERVERNAME", {"1"}}, {"SMHEADER", {"10"}},
      {"SMREKLAM", {"1"}},   {"SMSIMSETUP", {"2"}},   {"SMFEE", {"0", "1", "10"}},
      {"SMFEESCHEME", {"5"}}, {"LOADXML", {"0"}},     {"LOADPHONEBASE", {"0"}},
      {"SMSCRIPT", {"2", "5", "1"}}, {"SMABSOLUTPLAT", {"4"}}, {"SMEUROFON", {"5"}},
      {"SMSPB", {"4"}},      {"SMBACKLOAD", {}},
  };
  for (const auto& [name, params] : reads) {
    const int n = NextSeq();
    EXPECT_EQ(Run(SeqLine(name, n, params)), Reply(SeqLine(name, n, params), {eight})) << name;
  }
}

TEST_F(SimTerminalTest, WrongChecksumOrMalformedLinesAreRefusedAndChangeNothing) {
  shared.State.Header[0] = "old";
  shared.State.ActiveSystem = 1;
  const std::string good = SeqLine("SMHEADER", 5, {"1", "\"new\""});
  const std::string body = "5,1,\"new\",";
  const std::vector<std::string> bad = {
      "AT+SMHEADER=" + body + std::to_string((HandSum(body) + 1) % 256),  // checksum off by one
      "AT+SMHEADER=" + body + "0" + std::to_string(HandSum(body)),       // leading zero
      "AT+SMHEADER=" + body,                                             // no checksum
      "AT+SMHEADER",                                                     // no parameters
      SeqLine("SMHEADER", 0, {"1", "\"new\""}),                          // sequence 0
      SeqLine("SMHEADER", 5, {"11", "\"new\""}),                         // line 11
      SeqLine("SMHEADER", 5, {"1", "new"}),                              // text not quoted
      SeqLine("SMHEADER", 5, {"\"1\"", "\"new\""}),                      // number quoted
      SeqLine("SMHEADER", 5, {"1", "\"new\"", "\"more\""}),              // one too many
      SeqLine("SMHEADER", 5, {"1", "\"new"}),                            // quote never closed
      SeqLine("SMHEADER", 5, {"1", "n\"ew"}),                            // quote inside bare text
      "AT+GLOBALOP=x",                                                   // plain, not a number
      "AT+GLOBALOP=11",                                                  // unknown system
      "AT+GLOBALOP?=1",
  };
  for (const auto& line : bad) {
    EXPECT_EQ(Run(line), Reply(line, {"+SMERROR: 1,93"})) << line;
  }
  EXPECT_EQ(shared.State.Header[0], "old");
  EXPECT_EQ(shared.State.ActiveSystem, 1);
  EXPECT_EQ(Run(good), Reply(good, {"OK"}));
  EXPECT_EQ(shared.State.Header[0], "new");
  // receipt text may quote a name itself: there is no escaping on the wire
  const std::string quoted = SeqLine("SMHEADER", 6, {"1", "\"OOO \"Romashka\"\""});
  EXPECT_EQ(Run(quoted), Reply(quoted, {"OK"}));
  EXPECT_EQ(shared.State.Header[0], "OOO \"Romashka\"");
}

TEST_F(SimTerminalTest, AMultiFieldWriteRefusedHalfWayKeepsEveryField) {
  shared.State.Sims[0] = {true, true, "1234", "old.apn", "u", "p", false};
  // valid up to the PIN of three digits: nothing of the slot may change
  const std::string line =
      SeqLine("SMSIMSETUP", 3, {"1", "1", "123", "\"new.apn\"", "\"l\"", "\"w\"", "1"});
  EXPECT_EQ(Run(line), Reply(line, {"+SMERROR: 1,93"}));
  EXPECT_EQ(shared.State.Sims[0].Apn, "old.apn");
  EXPECT_EQ(shared.State.Sims[0].Pin, "1234");
}

TEST_F(SimTerminalTest, WritesLandInTheState) {
  const std::string guid = "0f8fad5b-d9cb-469f-a165-70867728950e";
  EXPECT_EQ(Seq("SMSN", {"87654321"}), Reply(SeqLine("SMSN", 1, {"87654321"}), {"OK"}));
  Seq("SMGUID", {"\"SENDER\"", "\"" + guid + "\""});
  Seq("SMSERV", {"\"pay.example.ru\"", "8080"});
  Seq("SMSERVERNAME", {"2", W("\"Сервер\"")});
  Seq("SMSIMSETUP", {"2", "1", "0000", "\"internet\"", "\"\"", "\"\"", "1"});
  Seq("SMFEE", {"1", "3", "2", "100000", "1", "250"});
  Seq("SMFEESCHEME", {"3", "2"});
  Seq("SMRSA", {"\"PRTQ\"", "\"AQAB\""});
  Seq("SMCRSECSET", {"\"17033\"", "0001 comment", "\"BODY\"", "\"pass\""});
  Run("AT+SMTRYCOUNT=5");
  Run("AT+GLOBALOP=12");
  const TSimState& s = shared.State;
  EXPECT_EQ(s.SerialNumber, "87654321");
  EXPECT_EQ(s.SenderGuid, guid);
  EXPECT_EQ(s.ServerAddress, "pay.example.ru");
  EXPECT_EQ(s.ServerPort, 8080);
  EXPECT_EQ(s.ServerName, "Сервер");
  EXPECT_TRUE(s.Sims[1].Present);
  EXPECT_EQ(s.Sims[1].Apn, "internet");
  EXPECT_TRUE(s.Sims[1].Priority);
  ASSERT_TRUE(s.Fees[2].Rates[1].has_value());
  EXPECT_EQ(s.Fees[2].Rates[1]->MaxSum, 100000);
  EXPECT_EQ(s.Fees[2].Rates[1]->Value, 250);
  EXPECT_EQ(s.Fees[2].Scheme, 2);
  EXPECT_EQ(s.Rsa.at("PRTQ"), "AQAB");
  EXPECT_EQ(s.Credentials.at(cred::kSecKeyRest), "0001 comment");
  EXPECT_EQ(s.RetryCount, 5);
  EXPECT_EQ(s.ActiveSystem, 12);
  // the slot reads back with its fields in order; the PIN never leaves the terminal
  // 2,1,"internet","","",1, sums to 209
  EXPECT_EQ(Seq("SMSIMSETUP", {"2"}),
            Reply(SeqLine("SMSIMSETUP", 10, {"2"}), {"+SMSIMSETUP: 2,1,\"internet\",\"\",\"\",1,209", "OK"}));
  Seq("SMSIMSETUP", {"2", "2"});
  EXPECT_FALSE(shared.State.Sims[1].Present);
}

TEST_F(SimTerminalTest, GuidsAndSerialsAreCheckedByTheTerminal) {
  for (const std::string guid : {"{0f8fad5b-d9cb-469f-a165-70867728950e}",
                                 "0f8fad5bd9cb469fa16570867728950e", "0f8fad5b-d9cb-469f-a165-70867728950g"}) {
    const std::string line = SeqLine("SMGUID", 1, {"\"CLIENT\"", "\"" + guid + "\""});
    EXPECT_EQ(Run(line), Reply(line, {"+SMERROR: 1,93"})) << guid;
  }
  const std::string shortSerial = SeqLine("SMSN", 2, {"1234567"});
  EXPECT_EQ(Run(shortSerial), Reply(shortSerial, {"+SMERROR: 1,93"}));
  EXPECT_TRUE(shared.State.ClientGuid.empty());
  // eight letters are eight characters on the wire, whatever their UTF-8 length
  const std::string letters = SeqLine("SMSN", 3, {W("АБВГДЕЖЗ")});
  EXPECT_EQ(Run(letters), Reply(letters, {"OK"}));
  EXPECT_EQ(shared.State.SerialNumber, "АБВГДЕЖЗ");
}

TEST_F(SimTerminalTest, BackupRestoresSettingsButNotIdentity) {
  TSimState backup;
  backup.ServerAddress = "restored.example";
  backup.HardwareVersion = "other hardware";
  shared.Backup = backup;
  shared.State.HardwareVersion = "HW 9";
  EXPECT_EQ(Seq("SMBACKLOAD", {}), Reply(SeqLine("SMBACKLOAD", 1, {}), {"OK"}));
  EXPECT_EQ(shared.State.ServerAddress, "restored.example");
  EXPECT_EQ(shared.State.HardwareVersion, "HW 9");
}

TEST_F(SimTerminalTest, TextTheWireCannotCarryIsCodeTwo) {
  shared.State.Header[0] = "snow ☃";
  const std::string line = SeqLine("SMHEADER", 1, {"1"});
  EXPECT_EQ(Run(line), Reply(line, {"+SMERROR: 2,94"}));
}

TEST_F(SimTerminalTest, LinesSplitAcrossFeedsAndEmptyLinesAreHandledOnce) {
  terminal.Feed("\r\n\r\nAT+CG", wire);
  terminal.Feed("MI\r", wire);
  terminal.Feed("\n", wire);
  EXPECT_EQ(wire.Take(), "AT+CGMI\r\nOrtena\r\nOK\r\n");
  EXPECT_EQ(shared.CommandCount, 1u);
  terminal.Feed(std::string(20000, 'A') + "\r\n", wire);
  EXPECT_EQ(wire.Take(), "ERROR\r\n");
  EXPECT_EQ(Run("AT"), "AT\r\nOK\r\n");  // the terminal reads on after the long line
}

}  // namespace
}  // namespace quorvel::sim
