#include "Cp1251.h"
#include "DriverFixture.h"
#include "Errors.h"
#include "RandomBytes.h"
#include "TempDir.h"
#include "TextUtils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <random>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// Splits the parameters of a packet line ("1,7,2,\"text\"," -> 1 | 7 | 2 | text) by the
// terminal's own rule: the quoted text is the last parameter and may hold commas.
struct Packet {
  std::vector<int> numbers;
  std::string text;
};

Packet ParsePacket(const std::string& params) {
  Packet p;
  const auto quote = params.find('"');
  std::string head = params.substr(0, quote);
  std::size_t pos = 0;
  while (pos < head.size()) {
    const auto comma = head.find(',', pos);
    p.numbers.push_back(std::stoi(head.substr(pos, comma - pos)));
    pos = comma + 1;
  }
  if (quote != std::string::npos) p.text = params.substr(quote + 1, params.rfind('"') - quote - 1);
  return p;
}

using quorvel::test::RandomBytes;

// Serves LOADXML from a byte string in 256-byte packets; fails packet failAt with code 9.
std::string ServeData(const TWireLine& line, const std::string& data, int failAt) {
  const int packet = ParsePacket(line.Params).numbers.at(0);
  if (packet == failAt) return line.Raw + "\r\n" + SmError(9);
  const std::size_t from = std::min(data.size(), static_cast<std::size_t>(packet) * 256);
  const std::string part = data.substr(from, 256);
  return line.Raw + "\r\n" +
         SeqData(line.Name,
                 std::to_string(packet) + "," + std::to_string(part.size()) + ",0," + StrToHex(part)) +
         "OK\r\n";
}

}  // namespace

TEST(TransferPty, XmlOf600BytesGoesAsThreePackets) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  const std::string data = RandomBytes(600, 1);
  fx.driver->WriteDataFile(TDataFile::Xml, data);
  auto lines = terminal.Lines();
  ASSERT_EQ(lines.size(), 3u);
  const int counts[] = {256, 256, 88};
  std::string joined;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i].Name, "SAVEXML");
    const Packet p = ParsePacket(lines[i].Params);
    ASSERT_EQ(p.numbers.size(), 2u);
    EXPECT_EQ(p.numbers[0], i);
    EXPECT_EQ(p.numbers[1], counts[i]);
    EXPECT_EQ(p.text.size(), 2u * counts[i]);
    EXPECT_EQ(p.text.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    joined += HexToStr(p.text);
  }
  EXPECT_EQ(joined, data);
  EXPECT_EQ(fx.texts.back(), "Запись данных XML файла, пакет 2...");
}

TEST(TransferPty, PacketCountsAtTheBoundaries) {
  // (size, packets): empty still sends packet 0; exactly 256 is one packet
  const std::vector<std::pair<std::size_t, std::size_t>> rows = {
      {0, 1}, {1, 1}, {256, 1}, {257, 2}, {512, 2}};
  for (const auto& [size, packets] : rows) {
    SCOPED_TRACE(size);
    DriverOnPty fx;
    ScriptedTerminal terminal(fx.pty, AcceptAll);
    fx.driver->WriteDataFile(TDataFile::PhoneBase, RandomBytes(size, 2));
    auto lines = terminal.Lines();
    ASSERT_EQ(lines.size(), packets);
    EXPECT_EQ(lines[0].Name, "SAVEPHONEBASE");
    if (size == 0) {
      EXPECT_EQ(lines[0].Params, "0,0,\"\",");
    }
  }
}

TEST(TransferPty, ReadStopsAtTheFirstShortPacket) {
  // (size, packets requested): a file of exactly 512 bytes needs a third, empty packet
  const std::vector<std::pair<std::size_t, std::size_t>> rows = {{600, 3}, {512, 3}, {0, 1}, {255, 1}};
  for (const auto& [size, requests] : rows) {
    SCOPED_TRACE(size);
    DriverOnPty fx;
    const std::string data = RandomBytes(size, 3);
    ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) { return ServeData(line, data, -1); });
    EXPECT_EQ(fx.driver->ReadDataFile(TDataFile::Xml), data);
    auto lines = terminal.Lines();
    ASSERT_EQ(lines.size(), requests);
    for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].Params, std::to_string(i) + ",");
  }
}

TEST(TransferPty, FailedPacketEndsTheTransferWithItsError) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, [](const TWireLine& line) {
    return ParsePacket(line.Params).numbers.at(0) == 1 ? line.Raw + "\r\n" + SmError(9) : AcceptAll(line);
  });
  try {
    fx.driver->WriteDataFile(TDataFile::Xml, RandomBytes(700, 4));
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 9);
    EXPECT_STREQ(e.what(), "Ortena: Ошибка записи во флеш память");
  }
  EXPECT_EQ(terminal.Lines().size(), 2u);  // packet 2 never went out
}

TEST(TransferPty, FailedReadPacketDropsWhatWasRead) {
  DriverOnPty fx;
  const std::string data = RandomBytes(900, 5);
  ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) { return ServeData(line, data, 2); });
  std::string result = "untouched";
  try {
    result = fx.driver->ReadDataFile(TDataFile::PhoneBase);
    ADD_FAILURE() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 9);
  }
  EXPECT_EQ(result, "untouched");
  EXPECT_EQ(terminal.Lines().size(), 3u);
}

TEST(TransferPty, ScriptOf301CharactersIsTwoPacketsAndTheEndMark) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  // 150 + 151 characters after stripping; Cyrillic counts one character each
  std::string utf8 = std::string(100, 'a');
  for (int i = 0; i < 50; ++i) utf8 += "я";
  utf8 += "\r\n// comment\r\n" + std::string(151, 'b') + "\n";
  fx.driver->WriteScript(7, utf8);
  auto lines = terminal.Lines();
  ASSERT_EQ(lines.size(), 3u);
  const Packet p1 = ParsePacket(lines[0].Params), p2 = ParsePacket(lines[1].Params),
               p3 = ParsePacket(lines[2].Params);
  EXPECT_EQ(p1.numbers, (std::vector<int>{1, 7, 1}));
  EXPECT_EQ(p2.numbers, (std::vector<int>{1, 7, 2}));
  EXPECT_EQ(p3.numbers, (std::vector<int>{1, 7, 3}));
  EXPECT_EQ(p1.text.size(), 300u);
  EXPECT_EQ(p1.text.substr(100, 50), std::string(50, '\xFF'));  // 'я' in windows-1251
  EXPECT_EQ(p2.text, "b");
  EXPECT_EQ(lines[2].Params, "1,7,3,\"\",");
  EXPECT_EQ(fx.driver->Status().Text(), "Запись сценария ввода 7...");
}

TEST(TransferPty, EmptyScriptSendsOnlyTheEndMark) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  fx.driver->WriteScript(2, "// only a comment\r\n\r\n");
  auto lines = terminal.Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Params, "1,2,1,\"\",");
}

TEST(TransferPty, ScriptReadEndsAtAnEmptyPacketOrNoData) {
  struct Row {
    const char* label;
    std::vector<std::string> packets;  // served for 1..n; then the end
    bool endWithNoData;
    std::string expected;
  };
  const std::vector<Row> rows = {
      {"empty packet ends", {"PRINT \xEC\xE8\xF0", ",x"}, false, "PRINT мир,x"},
      {"code 8 ends", {"A", "B"}, true, "AB"},
      {"code 8 at once", {}, true, ""},
      {"quotes and commas of the script survive",
       {"PRINT \"a,b\";", "X=\"\""},
       false,
       "PRINT \"a,b\";X=\"\""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    DriverOnPty fx;
    ScriptedTerminal terminal(fx.pty, [&](const TWireLine& line) {
      const std::size_t p = static_cast<std::size_t>(ParsePacket(line.Params).numbers.at(2));
      if (p > row.packets.size() && row.endWithNoData) return line.Raw + "\r\n" + SmError(8);
      const std::string text = p <= row.packets.size() ? row.packets[p - 1] : "";
      return line.Raw + "\r\n" + SeqData("SMSCRIPT", "\"" + text + "\"") + "OK\r\n";
    });
    EXPECT_EQ(fx.driver->ReadScript(4), row.expected);
    EXPECT_EQ(terminal.Lines().size(), row.packets.size() + 1);
  }
}

TEST(TransferPty, ScriptReadFailureRaises) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, [](const TWireLine& line) { return line.Raw + "\r\nERROR\r\n"; });
  try {
    fx.driver->ReadScript(1);
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1000);
  }
}

TEST(TransferPty, KeyFileGoesInBase64PartsOf200) {
  TempDir dir;
  const std::string bytes = RandomBytes(400, 6);  // 536 Base64 characters: 200, 200, 136
  const std::string path = dir.Path() + "/key.bin";
  std::ofstream(path, std::ios::binary) << bytes;
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  fx.driver->WriteKeyFile(TKeyFile::KrasplatCertificate, path);
  auto lines = terminal.Lines();
  ASSERT_EQ(lines.size(), 4u);
  std::string joined;
  const std::size_t sizes[] = {200, 200, 136, 0};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(lines[i].Name, "SMKRASPLAT");
    const Packet p = ParsePacket(lines[i].Params);
    EXPECT_EQ(p.numbers, (std::vector<int>{2, static_cast<int>(i + 1)}));
    EXPECT_EQ(p.text.size(), sizes[i]);
    joined += p.text;
  }
  EXPECT_EQ(joined, DriverBase64(bytes));
  if (HaveProgram("base64")) {
    int status = 0;
    const std::string reference = RunCommand("base64 -w0 '" + path + "'", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(joined, reference);
  }
  EXPECT_EQ(fx.driver->Status().Text(), "Запись сертификата системы \"ПлатеЖКа\"...");
}

TEST(TransferPty, EmptyKeyFileSendsNothing) {
  TempDir dir;
  const std::string path = dir.Path() + "/empty.key";
  std::ofstream(path, std::ios::binary).flush();
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  try {
    fx.driver->WriteKeyFile(TKeyFile::EasyPayKey, path);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Файл пустой");
  }
  EXPECT_TRUE(terminal.Lines().empty());
}
