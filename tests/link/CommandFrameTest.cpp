// A table of realistic replies, each fed in one chunk, split at every byte boundary (between
// CR and LF included) and byte by byte: every way of cutting gives the same result.
#include "Command.h"

#include "CommandTestSupport.h"

#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <vector>

using namespace quorvel;
using quorvel::test::DataLine;
using quorvel::test::ErrorLine;
using quorvel::test::WithCrc;

namespace {

struct Outcome {
  bool done = false;
  int code = 0;
  std::string text;
  std::vector<std::string> answer;
  int seqNo = 1;
  bool echoSeen = false;
  bool dataSeen = false;
  std::string lineBuffer;

  bool operator==(const Outcome&) const = default;
};

[[maybe_unused]] void PrintTo(const Outcome& o, std::ostream* os) {
  *os << "{done " << o.done << ", code " << o.code << ", text \"" << o.text << "\", answer [";
  for (const auto& a : o.answer) *os << '"' << a << "\" ";
  *os << "], seq " << o.seqNo << ", echo " << o.echoSeen << ", data " << o.dataSeen << ", buffer \""
      << o.lineBuffer << "\"}";
}

struct Row {
  const char* label;
  const char* name;
  bool sequenced;
  std::vector<std::string> params;  // wire bytes
  bool waitForOk;
  bool checkCrc;
  std::string reply;
  Outcome expected;
};

[[maybe_unused]] void PrintTo(const Row& r, std::ostream* os) { *os << r.label; }

Outcome Take(const TCommand& c) {
  return {c.Done(),  c.ResultCode(), c.ResultText(), c.Answer().Items(),
          c.SeqNo(), c.EchoSeen(),   c.DataSeen(),   c.LineBuffer()};
}

void Configure(TCommand& c, const Row& r) {
  c.Reset();
  c.SetName(r.name);
  c.SetSequenced(r.sequenced);
  for (const auto& p : r.params) c.Params().AddRaw(p);
  c.SetWaitForOk(r.waitForOk);
  c.SetCheckCrc(r.checkCrc);
  c.Prepare();
}

Outcome Feed(const Row& r, const std::vector<std::string_view>& chunks) {
  TCommand c;
  Configure(c, r);
  for (auto chunk : chunks) c.Feed(chunk);
  return Take(c);
}

const std::string kStateEcho = "AT+SMSTATE=1,93\r\n";
const std::string kStateText = "1,0,5,20,126,";
const std::string kOkText = "Ошибок нет";
const std::string kBadCrc = "Неверная CRC принятого кадра";
const std::string kErrorText = "Устройство вернуло ошибку: ERROR";
const std::vector<std::string> kStateFields{"1",  "0",   "5",
                                            "20", "126", std::to_string(quorvel::test::Sum256(kStateText))};

// clang-format off
// "Касса №1" in windows-1251; on the wire with two control bytes the parser drops
const std::string kCyrillic = "3,\"\xCA\xE0\xF1\xF1\xE0 \xB9" "1\",";
const std::string kCyrillicOnWire = "3,\"\xCA\xE0\xF1\xF1\xE0\x01\x02 \xB9" "1\",";

std::vector<Row> Rows() {
  const std::string sn = "12345678";
  const std::string snLine = "AT+SMSN=" + WithCrc("1," + sn + ",") + "\r\n";
  const std::string headerEcho = "AT+SMHEADER=" + WithCrc("1,3,") + "\r\n";
  const int cyrCrc = quorvel::test::Sum256(kCyrillic);
  // label; name, sequenced, params, WaitForOk, CheckCrc; reply;
  // expected {Done, ResultCode, ResultText, Answer, SeqNo, EchoSeen, DataSeen, LineBuffer}
  return {
      {"echo, data, OK", "SMSTATE", true, {}, false, true,
       kStateEcho + DataLine("SMSTATE", kStateText) + "\r\nOK\r\n",
       {true, 0, "", kStateFields, 2, true, true, ""}},
      {"echo, data, OK with LF only", "SMSTATE", true, {}, false, true,
       "AT+SMSTATE=1,93\n" + DataLine("SMSTATE", kStateText) + "\nOK\n",
       {true, 0, "", kStateFields, 2, true, true, ""}},
      {"echo, data, OK with CR only and blank lines", "SMSTATE", true, {}, false, true,
       "\r\r\nAT+SMSTATE=1,93\r\r\n\n" + DataLine("SMSTATE", kStateText) + "\rOK\r",
       {true, 0, "", kStateFields, 2, true, true, ""}},
      {"echo and OK of a write", "SMSN", true, {sn}, false, true,
       snLine + "OK\r\n",
       {true, 0, kOkText, {}, 1, true, false, ""}},
      {"ERROR after echo", "SMSN", true, {sn}, false, true,
       snLine + "ERROR\r\n",
       {true, 1000, kErrorText, {}, 1, true, false, ""}},
      {"ERROR without echo", "SMSTATE", true, {}, false, true,
       "ERROR\r\n",
       {true, 1000, kErrorText, {}, 1, false, false, ""}},
      {"+SMERROR valid", "SMSTATE", true, {}, false, true,
       kStateEcho + ErrorLine("8") + "\r\n",
       {true, 8, "Ortena: Нет запрошенных данных", {"8", "100"}, 2, true, false, ""}},
      {"+SMERROR bad checksum", "SMSTATE", true, {}, false, true,
       kStateEcho + "+SMERROR: 8,99\r\n",
       {true, 1001, kBadCrc, {}, 2, true, false, ""}},
      {"+SMERROR non-numeric checksum", "SMSTATE", true, {}, false, true,
       kStateEcho + "+SMERROR: 8,x9\r\n",
       {true, 1001, kBadCrc, {}, 2, true, false, ""}},
      {"+SMERROR non-numeric code", "SMSTATE", true, {}, false, true,
       kStateEcho + ErrorLine("E1") + "\r\n",
       {true, 1002, "Неверное значение кода ошибки в команде SM", {"E1", WithCrc("E1,").substr(3)}, 2, true, false, ""}},
      {"+SMERROR unknown code", "SMSN", true, {sn}, false, true,
       snLine + ErrorLine("77") + "\r\n",
       {true, 77, "Ortena: неизвестный код ошибки, 77", {"77", WithCrc("77,").substr(3)}, 2, true, false, ""}},
      {"debug lines and unsolicited lines are ignored", "SMSTATE", true, {}, false, true,
       "[debug] gsm: registered\r\n" + kStateEcho + "+CREG: 1,\"00A1\"\r\n[debug] +SMSTATE: 9,9\r\n" +
           "AT+CPIN?\r\n+CPIN: READY\r\nOK\r\n" + DataLine("SMSTATE", kStateText) + "\r\nOK\r\n",
       {true, 0, "", kStateFields, 2, true, true, ""}},
      {"sequenced form ignores other lines", "SMSTATE", true, {}, false, true,
       kStateEcho + "garbage line\r\n" + DataLine("SMSTATE", kStateText) + "\r\n",
       {true, 0, "", kStateFields, 2, true, true, ""}},
      {"plain answer lines", "CGMI", false, {}, false, true,
       "AT+CGMI\r\nOrtena Ltd\r\n  \r\nOK\r\n",
       {true, 0, kOkText, {"Ortena Ltd", ""}, 1, true, false, ""}},
      {"plain data line completes at the data line", "WHWV", false, {}, false, true,
       "AT+WHWV\r\n+WHWV: 2.1, rev \"B,C\"\r\nOK\r\n",
       {true, 0, "", {"2.1", " rev B,C"}, 2, true, true, ""}},
      {"plain with WaitForOk completes at OK", "CCLK?", false, {}, true, true,
       "AT+CCLK?\r\n+CCLK: \"09/03/05,14:07:09\"\r\nOK\r\n",
       {true, 0, kOkText, {"09/03/05,14:07:09"}, 2, true, true, ""}},
      {"plain with WaitForOk without OK is not done", "CCLK?", false, {}, true, true,
       "AT+CCLK?\r\n+CCLK: \"09/03/05,14:07:09\"\r\n",
       {false, 0, "", {"09/03/05,14:07:09"}, 2, true, true, ""}},
      {"data before echo completes at the echo", "SMSTATE", true, {}, false, true,
       DataLine("SMSTATE", kStateText) + "\r\n" + kStateEcho,
       {true, 0, "", kStateFields, 2, true, true, ""}},
      {"data before echo completes at the echo even with WaitForOk", "SMSTATE", true, {}, true, true,
       DataLine("SMSTATE", kStateText) + "\r\n" + kStateEcho,
       {true, 0, "", kStateFields, 2, true, true, ""}},
      {"OK before echo does not complete", "SMSTATE", true, {}, false, true,
       "OK\r\n" + kStateEcho,
       {false, 0, kOkText, {}, 1, true, false, ""}},
      {"data line with bad checksum", "SMSTATE", true, {}, false, true,
       kStateEcho + "+SMSTATE: 1,0,5,7\r\nOK\r\n",
       {true, 1001, kBadCrc, {}, 2, true, true, ""}},
      {"data line with non-numeric checksum", "SMSTATE", true, {}, false, true,
       kStateEcho + "+SMSTATE: 1,0,5,\r\nOK\r\n",
       {true, 1001, kBadCrc, {}, 2, true, true, ""}},
      {"CheckCrc false accepts any last field", "SMSERVERNAME", true, {"1"}, false, false,
       "AT+SMSERVERNAME=" + WithCrc("1,1,") + "\r\n+SMSERVERNAME: \"pay.example.ru\",zz\r\nOK\r\n",
       {true, 0, "", {"pay.example.ru", "zz"}, 2, true, true, ""}},
      {"Cyrillic data and control bytes", "SMHEADER", true, {"3"}, false, true,
       headerEcho + "+SMHEADER: " + kCyrillicOnWire + std::to_string(cyrCrc) + "\r\n",
       {true, 0, "", {"3", "\xCA\xE0\xF1\xF1\xE0 \xB9" "1", std::to_string(cyrCrc)}, 2, true, true, ""}},
      {"reply of another command before this one's", "SMHEADER", true, {"3"}, false, true,
       "AT+SMHEADER=" + WithCrc("1,2,") + "\r\n" + DataLine("SMHEADER", "2,\"old\",") + "\r\nOK\r\n" +
           headerEcho + DataLine("SMHEADER", "3,\"new\",") + "\r\nOK\r\n",
       {true, 0, "", {"3", "new", WithCrc("3,\"new\",").substr(8)}, 3, true, true, ""}},
      {"unfinished line stays in the buffer", "SMSTATE", true, {}, false, true,
       kStateEcho + "+SMSTA",
       {false, 0, "", {}, 1, true, false, "+SMSTA"}},
  };
}
// clang-format on

class CommandFrame : public ::testing::TestWithParam<Row> {};

TEST_P(CommandFrame, OneChunk) {
  const Row& r = GetParam();
  EXPECT_EQ(Feed(r, {r.reply}), r.expected);
}

TEST_P(CommandFrame, SplitAtEveryByteBoundary) {
  const Row& r = GetParam();
  std::string_view all = r.reply;
  for (std::size_t i = 0; i <= all.size(); ++i)
    ASSERT_EQ(Feed(r, {all.substr(0, i), all.substr(i)}), r.expected) << "split at " << i;
}

TEST_P(CommandFrame, ThreeChunksAtEveryPairOfBoundaries) {
  const Row& r = GetParam();
  std::string_view all = r.reply;
  for (std::size_t i = 0; i <= all.size(); i += 1)
    for (std::size_t j = i; j <= all.size(); j += 3)
      ASSERT_EQ(Feed(r, {all.substr(0, i), all.substr(i, j - i), all.substr(j)}), r.expected)
          << "split at " << i << " and " << j;
}

TEST_P(CommandFrame, ByteByByte) {
  const Row& r = GetParam();
  std::vector<std::string_view> bytes;
  std::string_view all = r.reply;
  for (std::size_t i = 0; i < all.size(); ++i) bytes.push_back(all.substr(i, 1));
  EXPECT_EQ(Feed(r, bytes), r.expected);
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) {
  std::string name;
  for (const char* p = info.param.label; *p; ++p)
    name.push_back(std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_');
  return std::to_string(info.index) + "_" + name;
}

INSTANTIATE_TEST_SUITE_P(Replies, CommandFrame, ::testing::ValuesIn(Rows()), RowName);

}  // namespace
