// Packet transfers from the terminal's side: numbering, sizes, encodings, end marks, and
// packets out of turn refused without touching what was received so far.
#include <gtest/gtest.h>

#include "Cp1251.h"
#include "SimTerminal.h"
#include "SimTestSupport.h"

namespace quorvel::sim {
namespace {

using test::DataLine;
using test::SeqLine;

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

class SimTransfersTest : public ::testing::Test {
 protected:
  SimTransfersTest() : terminal(shared, nullptr) {}

  // The lines the terminal answered after its echo.
  std::vector<std::string> Seq(const std::string& name, const std::vector<std::string>& params) {
    seq = seq % 99 + 1;
    terminal.Feed(SeqLine(name, seq, params) + "\r\n", wire);
    std::string all = wire.Take();
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < all.size();) {
      const auto end = all.find("\r\n", at);
      lines.push_back(all.substr(at, end - at));
      at = end + 2;
    }
    lines.erase(lines.begin());  // the echo
    return lines;
  }
  bool Ok(const std::vector<std::string>& lines) { return lines == std::vector<std::string>{"OK"}; }
  bool Refused(const std::vector<std::string>& lines, const char* code = "+SMERROR: 1,93") {
    return lines == std::vector<std::string>{code};
  }

  TSimShared shared;
  TSimTerminal terminal;
  test::TRecordingWire wire;
  int seq = 0;
};

TEST_F(SimTransfersTest, XmlDataOf600BytesIsThreePacketsAndReadsBack) {
  std::string data;
  for (int i = 0; i < 600; ++i) data += static_cast<char>(i % 251);
  const std::size_t counts[] = {256, 256, 88};
  for (int b = 0; b < 3; ++b) {
    const std::string part = data.substr(static_cast<std::size_t>(b) * 256, counts[b]);
    ASSERT_TRUE(Ok(Seq("SAVEXML", {std::to_string(b), std::to_string(part.size()),
                                   "\"" + Hex(part) + "\""})));
  }
  ASSERT_TRUE(shared.State.XmlData.has_value());
  EXPECT_EQ(*shared.State.XmlData, data);
  // fields: packet number, byte count, total size, bytes in hexadecimal
  const std::string last = data.substr(512);
  EXPECT_EQ(Seq("LOADXML", {"2"}),
            (std::vector<std::string>{DataLine("LOADXML", "2,88,600,\"" + Hex(last) + "\""), "OK"}));
  EXPECT_TRUE(Refused(Seq("LOADXML", {"3"}), "+SMERROR: 8,100"));
}

TEST_F(SimTransfersTest, EmptyDataIsOnePacketZeroThatReadsBackEmpty) {
  ASSERT_TRUE(Ok(Seq("SAVEPHONEBASE", {"0", "0", "\"\""})));
  EXPECT_EQ(shared.State.PhoneBase, std::string());
  EXPECT_EQ(Seq("LOADPHONEBASE", {"0"}),
            (std::vector<std::string>{DataLine("LOADPHONEBASE", "0,0,0,\"\""), "OK"}));
}

TEST_F(SimTransfersTest, DataPacketsOutOfTurnOrBadlyEncodedAreRefused) {
  const std::string full(256, 'x');
  ASSERT_TRUE(Ok(Seq("SAVEXML", {"0", "256", "\"" + Hex(full) + "\""})));
  EXPECT_TRUE(Refused(Seq("SAVEXML", {"2", "1", "\"41\""})));     // packet 1 skipped
  EXPECT_TRUE(Refused(Seq("SAVEXML", {"1", "2", "\"41\""})));     // count says 2, one byte
  EXPECT_TRUE(Refused(Seq("SAVEXML", {"1", "1", "\"4g\""})));     // not hexadecimal
  EXPECT_TRUE(Refused(Seq("SAVEXML", {"1", "1", "\"4a\""})));     // lower case digits
  EXPECT_TRUE(Refused(Seq("SAVEXML", {"1", "257", "\"41\""})));   // more than a packet
  EXPECT_TRUE(Refused(Seq("SAVEXML", {"1", "1", "41"})));         // not quoted
  EXPECT_EQ(*shared.State.XmlData, full);
  ASSERT_TRUE(Ok(Seq("SAVEXML", {"1", "1", "\"41\""})));
  EXPECT_EQ(*shared.State.XmlData, full + "A");
}

TEST_F(SimTransfersTest, ScriptOf301CharactersIsTwoPacketsAndAnEndMark) {
  const std::string text = std::string(299, 'a') + "яz";  // 301 characters, one of them Cyrillic
  const std::string bytes = Utf8ToCp1251(text);
  ASSERT_EQ(bytes.size(), 301u);
  ASSERT_TRUE(Ok(Seq("SMSCRIPT", {"1", "7", "1", "\"" + bytes.substr(0, 300) + "\""})));
  EXPECT_EQ(shared.State.Scripts.count(7), 0u);  // not kept before its end mark
  ASSERT_TRUE(Ok(Seq("SMSCRIPT", {"1", "7", "2", "\"z\""})));
  ASSERT_TRUE(Ok(Seq("SMSCRIPT", {"1", "7", "3", "\"\""})));
  EXPECT_EQ(ScriptText(shared.State, 7), text);
  EXPECT_EQ(Seq("SMSCRIPT", {"2", "7", "2"}),
            (std::vector<std::string>{DataLine("SMSCRIPT", "\"z\""), "OK"}));
  EXPECT_EQ(Seq("SMSCRIPT", {"2", "7", "3"}),
            (std::vector<std::string>{DataLine("SMSCRIPT", "\"\""), "OK"}));
  EXPECT_TRUE(Refused(Seq("SMSCRIPT", {"2", "7", "4"}), "+SMERROR: 8,100"));
}

TEST_F(SimTransfersTest, ScriptPacketsOutOfTurnOrTooLongAreRefused) {
  SetScriptText(shared.State, 3, "old");
  EXPECT_TRUE(Refused(Seq("SMSCRIPT", {"1", "3", "2", "\"x\""})));  // no packet 1 yet
  EXPECT_TRUE(Refused(Seq("SMSCRIPT", {"1", "3", "1", "\"" + std::string(301, 'x') + "\""})));
  ASSERT_TRUE(Ok(Seq("SMSCRIPT", {"1", "3", "1", "\"new\""})));
  EXPECT_TRUE(Refused(Seq("SMSCRIPT", {"1", "3", "3", "\"\""})));   // end mark skips packet 2
  EXPECT_EQ(ScriptText(shared.State, 3), "old");
  ASSERT_TRUE(Ok(Seq("SMSCRIPT", {"1", "3", "2", "\"\""})));
  EXPECT_EQ(ScriptText(shared.State, 3), "new");
  // an empty script is only its end mark, and reads back as one empty packet
  ASSERT_TRUE(Ok(Seq("SMSCRIPT", {"1", "4", "1", "\"\""})));
  EXPECT_EQ(Seq("SMSCRIPT", {"2", "4", "1"}),
            (std::vector<std::string>{DataLine("SMSCRIPT", "\"\""), "OK"}));
}

TEST_F(SimTransfersTest, RestartDropsATransferInProgress) {
  ASSERT_TRUE(Ok(Seq("SMSCRIPT", {"1", "5", "1", "\"part\""})));
  terminal.Restart();
  terminal.Feed("AT\r\n", wire);  // the first line after a restart, no bootloader here
  wire.Take();
  EXPECT_TRUE(Refused(Seq("SMSCRIPT", {"1", "5", "2", "\"\""})));
  EXPECT_EQ(shared.State.Scripts.count(5), 0u);
}

TEST_F(SimTransfersTest, FilesInBase64PartsAreDecodedAtTheEndMark) {
  // "Man is" in Base64 is TWFuIGlz; split over two parts
  ASSERT_TRUE(Ok(Seq("SMKRASPLAT", {"2", "1", "\"TWFu\""})));
  ASSERT_TRUE(Ok(Seq("SMKRASPLAT", {"2", "2", "\"IGlz\""})));
  EXPECT_EQ(shared.State.Files.count(files::kKrasplatCertificate), 0u);
  ASSERT_TRUE(Ok(Seq("SMKRASPLAT", {"2", "3", "\"\""})));
  EXPECT_EQ(shared.State.Files.at(files::kKrasplatCertificate), "Man is");
  // padding, and a part longer than 200 characters
  ASSERT_TRUE(Ok(Seq("SMEASYPAY", {"1", "1", "\"TQ==\""})));
  ASSERT_TRUE(Ok(Seq("SMEASYPAY", {"1", "2", "\"\""})));
  EXPECT_EQ(shared.State.Files.at(files::kEasyPayKey), "M");
  EXPECT_TRUE(Refused(Seq("SMEUROFON", {"3", "1", "\"" + std::string(204, 'A') + "\""})));
  // text that is not Base64 fails at the end mark and keeps the old file
  shared.State.Files[files::kAbsolutplatCodeWord] = "old";
  ASSERT_TRUE(Ok(Seq("SMABSOLUTPLAT", {"3", "1", "\"TWF\""})));
  EXPECT_TRUE(Refused(Seq("SMABSOLUTPLAT", {"3", "2", "\"\""})));
  EXPECT_EQ(shared.State.Files.at(files::kAbsolutplatCodeWord), "old");
}

// Every command used to work on a copy of the whole state, phone base included: 40960
// packets of a 10 MB base copied it 40960 times each way and never finished.
TEST_F(SimTransfersTest, TenMegabytePhoneBaseWritesAndReadsBackPacketByPacket) {
  constexpr std::size_t kSize = 10u << 20;
  std::string base(kSize, '\0');
  for (std::size_t i = 0; i < kSize; ++i) base[i] = static_cast<char>((i * 31 + i / 4096) & 0xFF);
  const std::size_t packets = kSize / 256;
  for (std::size_t p = 0; p < packets; ++p) {
    const std::string part = base.substr(p * 256, 256);
    ASSERT_TRUE(Ok(Seq("SAVEPHONEBASE", {std::to_string(p), "256", "\"" + Hex(part) + "\""}))) << p;
    wire.lines.clear();
  }
  ASSERT_TRUE(shared.State.PhoneBase.has_value());
  EXPECT_TRUE(*shared.State.PhoneBase == base);
  std::string back;
  for (std::size_t p = 0; p < packets; ++p) {
    const auto lines = Seq("LOADPHONEBASE", {std::to_string(p)});
    const std::string fields = std::to_string(p) + ",256," + std::to_string(kSize) + ",\"";
    ASSERT_EQ(lines.size(), 2u) << p;
    ASSERT_EQ(lines[0].rfind("+LOADPHONEBASE: " + fields, 0), 0u) << p;
    back += lines[0].substr(16 + fields.size(), 512);
    wire.lines.clear();
  }
  EXPECT_TRUE(back == Hex(base));
  // a refused packet at the end hands the whole base back untouched
  EXPECT_TRUE(Refused(Seq("SAVEPHONEBASE", {std::to_string(packets + 1), "1", "\"41\""})));
  EXPECT_TRUE(*shared.State.PhoneBase == base);
}

TEST_F(SimTransfersTest, PaymentSystemIdsWriteAndReadBack) {
  ASSERT_TRUE(Ok(Seq("SMKRASPLAT", {"4", "0", "\"DEV-1\""})));
  EXPECT_EQ(shared.State.Credentials.at(cred::kKrasplatDeviceId), "DEV-1");
  EXPECT_TRUE(Refused(Seq("SMKRASPLAT", {"4", "1", "\"DEV-2\""})));  // part number must be 0
  ASSERT_TRUE(Ok(Seq("SMEUROFON", {"1", Utf8ToCp1251("\"Агент\"")})));
  EXPECT_EQ(Seq("SMEUROFON", {"4"}),
            (std::vector<std::string>{DataLine("SMEUROFON", Utf8ToCp1251("\"Агент\"")), "OK"}));
  ASSERT_TRUE(Ok(Seq("SMSPB", {"3", "\"http://u.example/\""})));
  EXPECT_EQ(shared.State.Credentials.at(cred::kUbsPayUrl), "http://u.example/");
  ASSERT_TRUE(Ok(Seq("SMBERCUT", {"2", "\"B7\""})));
  EXPECT_EQ(shared.State.Credentials.at(cred::kBercutDeviceId), "B7");
  ASSERT_TRUE(Ok(Seq("XPCASSIR", {"\"p\"", "\"l\"", "\"w\""})));
  EXPECT_EQ(shared.State.Credentials.at(cred::kXPlatPassword), "w");
}

}  // namespace
}  // namespace quorvel::sim
