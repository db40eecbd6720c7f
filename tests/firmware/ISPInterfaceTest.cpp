#include "ISPInterface.h"
#include "UUEncoding.h"

#include "Bootloader.h"
#include "Cp1251.h"
#include "FileText.h"
#include "LogFile.h"
#include "RandomBytes.h"
#include "TempDir.h"
#include "TextUtils.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>

using namespace quorvel;

namespace {

using quorvel::test::RandomBytes;

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// The port as seen by the protocol, wired straight to the simulator's bootloader: what the
// host writes is fed to the part, what the part sends comes back through the data handler.
class TBootloaderPort : public ISerialPort, public sim::ISimWire {
 public:
  TBootloaderPort() : memory(std::make_shared<sim::TBootloaderFlash>()), part(memory) {}

  void Purge() override {}
  void Open() override {}
  void Close() override {}
  void Write(std::string_view data) override {
    written += data;
    part.Feed(data, *this);
  }
  int GetBaudRate() const override { return 115200; }
  void SetBaudRate(int) override {}
  void SetRTS(bool) override {}
  TDataEvent GetOnData() const override { return onData_; }
  void SetOnData(TDataEvent handler) override { onData_ = std::move(handler); }

  void Send(std::string_view bytes) override {
    if (onData_) onData_(*this, std::string(bytes));
  }
  void Pause(int) override {}
  void LogReceivedLine(const std::string&) override {}
  void LeaveBootloader() override { left = true; }
  int BaudRate() const override { return 0; }

  std::shared_ptr<sim::TBootloaderFlash> memory;
  sim::TBootloader part;
  std::string written;
  bool left = false;

 private:
  TDataEvent onData_;
};

// A port whose far end answers each written line with the next scripted text.
class TScriptPort : public ISerialPort {
 public:
  void Purge() override {}
  void Open() override {}
  void Close() override {}
  void Write(std::string_view data) override {
    written += data;
    if (!replies.empty()) {
      std::string reply = replies.front();
      replies.pop_front();
      if (onData_) onData_(*this, reply);
    }
  }
  int GetBaudRate() const override { return 115200; }
  void SetBaudRate(int) override {}
  void SetRTS(bool) override {}
  TDataEvent GetOnData() const override { return onData_; }
  void SetOnData(TDataEvent handler) override { onData_ = std::move(handler); }

  std::deque<std::string> replies;
  std::string written;

 private:
  TDataEvent onData_;
};

class ISPInterfaceSim : public ::testing::Test {
 protected:
  void SetUp() override {
    isp.SetByteTimeout(300);
    ASSERT_EQ(isp.Synchronize(12000), 0);
    ASSERT_EQ(isp.UnlockCommands(), 0);
    port.written.clear();
  }
  TBootloaderPort port;
  TISPInterface isp{port};
};

}  // namespace

TEST(UUEncoding, KnownLinesAndRoundTrips) {
  EXPECT_EQ(UUEncodeLine(std::string(3, '\0')), "#````");
  std::string line45 = UUEncodeLine(RandomBytes(45, 1));
  EXPECT_EQ(line45.size(), 61u);
  EXPECT_EQ(line45[0], 'M');
  EXPECT_EQ(UUEncodeLine(""), " ");
  EXPECT_EQ(UUDecodeLine(""), "");
  EXPECT_EQ(UUEncodeLine("Cat"), "#0V%T");
  for (std::size_t n = 0; n <= 45; ++n) {
    std::string bytes = RandomBytes(n, static_cast<unsigned>(n));
    std::string line = UUEncodeLine(bytes);
    EXPECT_EQ(line.size(), 1 + (n + 2) / 3 * 4) << n;
    EXPECT_EQ(line.find(' ', 1), std::string::npos) << "zero must be written as a grave accent";
    EXPECT_EQ(UUDecodeLine(line), bytes) << n;
    // The simulator's codec is written apart; both must read each other's lines.
    EXPECT_EQ(sim::BootUUDecode(line), bytes) << n;
    EXPECT_EQ(UUDecodeLine(sim::BootUUEncode(bytes)), bytes) << n;
  }
  // Spaces (the classic zero) still decode as zero bits.
  EXPECT_EQ(UUDecodeLine("#    "), std::string(3, '\0'));
}

TEST(UUEncoding, FlashReadoutRoutineDecodesToTheArmCode) {
  EXPECT_EQ(StrToHex(FlashReadoutRoutine()), "0C009FE50110A0E3001080E50EE081E11EFF2FE140C01FE0");
}

TEST(ISPCodes, TextsMessagesAndTitles) {
  EXPECT_EQ(ReturnCodeText(8), "8, Sector is not blank.");
  EXPECT_EQ(ReturnCodeText(0), "0, Command is executed successfully");
  EXPECT_EQ(ReturnCodeText(19), "19, Code read protection enabled.");
  EXPECT_EQ(ReturnCodeText(100), "100, Maximum block resend count exeeded.");
  EXPECT_EQ(ReturnCodeText(-2), "-2, Эхо не соответствует данным");
  EXPECT_EQ(ReturnCodeText(-3), "-3, Ответ на команду не распознан");
  EXPECT_EQ(ReturnCodeText(20), "20, Unknown error");
  EXPECT_EQ(ReturnCodeText(-4), "-4, Unknown error");
  EXPECT_EQ(ReturnCodeText(-1).rfind("-1, Нет связи с устройством.\r\n", 0), 0u);
  EISPProgrammerException e(9);
  EXPECT_EQ(e.ReturnCode(), 9);
  EXPECT_STREQ(e.what(), "9, Command to prepare sector for write operation was not executed.");
  EXPECT_NO_THROW(TISPInterface::RaiseOnError(0));
  EXPECT_THROW(TISPInterface::RaiseOnError(-1), EISPProgrammerException);
  EXPECT_EQ(IspCommandTitle("W 1073742336 512"), "Запись ОЗУ");
  EXPECT_EQ(IspCommandTitle("?"), "Синхронизация");
  EXPECT_EQ(IspCommandTitle("U 23130"), "Разблокировка");
  EXPECT_EQ(IspCommandTitle("12000"), "");
  EXPECT_EQ(IspCommandTitle(""), "");
}

TEST(ISPCodes, PatchVectorChecksumMakesTheVectorsSumToZero) {
  std::string vectors = RandomBytes(64, 7);
  TISPInterface::PatchVectorChecksum(vectors);
  std::uint32_t sum = 0;
  for (int i = 0; i < 8; ++i) {
    std::uint32_t w = 0;
    for (int b = 3; b >= 0; --b) w = w << 8 | static_cast<unsigned char>(vectors[i * 4 + b]);
    sum += w;
  }
  EXPECT_EQ(sum, 0u);
  std::string short23 = RandomBytes(23, 8);
  std::string copy = short23;
  TISPInterface::PatchVectorChecksum(short23);
  EXPECT_EQ(short23, copy);
  std::string short24(24, '\0');
  short24[0] = 1;
  TISPInterface::PatchVectorChecksum(short24);
  EXPECT_EQ(StrToHex(short24.substr(20)), "FFFFFFFF");
}

TEST(ISPInterfaceScripted, LongReplyIsDrainedAcknowledgedAndNotANumber) {
  TScriptPort port;
  TISPInterface isp(port);
  isp.SetByteTimeout(100);
  port.replies = {"P 0 27\r\n" + std::string(31, 'x') + "\r\nmore text\r\n", "OK\r\n"};
  EXPECT_EQ(isp.PrepareSectors(0, 27), kIspBadReply);
  EXPECT_EQ(port.written, "P 0 27\r\nOK\r\n");
}

TEST(ISPInterfaceScripted, SyncAnswersAndUnrecognisedReplies) {
  struct Row {
    std::vector<std::string> replies;
    int result;
    const char* written;
  };
  const std::vector<Row> rows = {
      // A part that echoes "?" first, then the handshake with echo.
      {{"?\r\nSynchronized\r\n", "Synchronized\r\nOK\r\n", "12000\r\nOK\r\n"},
       0,
       "?\r\nSynchronized\r\n12000\r\n"},
      // Already synchronised: "?" is an unknown command; no handshake is sent.
      {{"?\r\n1\r\n"}, 0, "?\r\n"},
      // Crystal refused with a return code.
      {{"Synchronized\r\n", "Synchronized\r\nOK\r\n", "12000\r\n12\r\n"},
       12,
       "?\r\nSynchronized\r\n12000\r\n"},
      // Garbage where OK belongs.
      {{"Synchronized\r\n", "Synchronized\r\nhuh\r\n"}, kIspBadReply, "?\r\nSynchronized\r\n"},
      // Echo that is not what was sent.
      {{"Synchronized\r\n", "Synchronised\r\nOK\r\n"}, kIspBadEcho, "?\r\nSynchronized\r\n"},
      // Nothing at all.
      {{}, kIspNoLink, "?\r\n"},
  };
  for (const Row& row : rows) {
    TScriptPort port;
    TISPInterface isp(port);
    isp.SetByteTimeout(100);
    port.replies.assign(row.replies.begin(), row.replies.end());
    EXPECT_EQ(isp.Synchronize(12000), row.result) << row.written;
    EXPECT_EQ(port.written, row.written);
  }
}

TEST(ISPInterfaceScripted, DataHandlerIsDetachedOnDestruction) {
  TScriptPort port;
  {
    TISPInterface isp(port);
    EXPECT_TRUE(port.GetOnData());
  }
  EXPECT_FALSE(port.GetOnData());
}

TEST_F(ISPInterfaceSim, WriteRamOf512BytesSendsTwelveLinesAndTheSum) {
  std::string data = RandomBytes(512, 11);
  std::string encoded;
  ASSERT_EQ(isp.WriteRam(TISPInterface::kRamBuffer, data, encoded), 0);
  std::vector<std::string> lines = SplitLines(port.written);
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], "W 1073742336 512");
  for (int i = 1; i <= 11; ++i) EXPECT_EQ(lines[i].size(), 61u) << i;
  EXPECT_EQ(lines[12][0], static_cast<char>(17 + 32));
  EXPECT_EQ(lines[13], std::to_string(TISPInterface::ByteSum(data)));
  EXPECT_EQ(SplitLines(encoded).size(), 12u);
  EXPECT_TRUE(port.memory->Ram(TISPInterface::kRamBuffer, 512) == data);
}

TEST_F(ISPInterfaceSim, WriteRamPadsToWholeWords) {
  std::string data = "0123456789";
  std::string encoded;
  ASSERT_EQ(isp.WriteRam(TISPInterface::kRamBuffer2, data, encoded), 0);
  std::vector<std::string> lines = SplitLines(port.written);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "W 1073742848 12");
  EXPECT_EQ(lines[1][0], ',');
  EXPECT_EQ(lines[2], std::to_string(TISPInterface::ByteSum(data)));  // the padding adds zeros
  EXPECT_EQ(port.memory->Ram(TISPInterface::kRamBuffer2, 12), data + std::string(2, '\0'));
  EXPECT_THROW(isp.WriteRam(TISPInterface::kRamBuffer, std::string(901, 'x'), encoded), Exception);
  EXPECT_THROW(isp.ReadMemory(0, 904, encoded, data), Exception);
}

TEST_F(ISPInterfaceSim, ResendRepeatsTheBlockAndGivesUpWithCode100) {
  sim::TBootloaderFaults faults;
  faults.ResendOnBlock = 1;
  port.part.SetFaults(faults);
  std::string data = RandomBytes(100, 12);
  std::string encoded;
  ASSERT_EQ(isp.WriteRam(TISPInterface::kRamBuffer, data, encoded), 0);
  std::vector<std::string> lines = SplitLines(port.written);
  // W, three data lines and the sum, then the data lines and the sum again.
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[5], lines[1]);
  EXPECT_EQ(lines[8], lines[4]);
  EXPECT_TRUE(port.memory->Ram(TISPInterface::kRamBuffer, 100) == data);

  faults.ResendOnBlock = 3;  // the next write's checksum lines are the 3rd, 4th and 5th
  faults.ResendTimes = 3;
  port.part.SetFaults(faults);
  std::string other = RandomBytes(100, 13);
  EXPECT_EQ(isp.WriteRam(TISPInterface::kRamBuffer, other, encoded), kIspResendExceeded);
  EXPECT_TRUE(port.memory->Ram(TISPInterface::kRamBuffer, 100) == data)
      << "nothing of the lost block may land";
}

TEST_F(ISPInterfaceSim, PageIsWrittenCopiedAndReadBack) {
  std::string part;
  ASSERT_EQ(isp.ReadPartId(part), 0);
  EXPECT_EQ(part, std::to_string(sim::kBootPartId));
  ASSERT_EQ(isp.PrepareSectors(0, 27), 0);
  ASSERT_EQ(isp.EraseSectors(0, 27), 0);
  std::string page = RandomBytes(1024, 14);
  ASSERT_NO_THROW(isp.WritePage(0x8400, page));
  std::string text, bytes;
  ASSERT_EQ(isp.ReadMemory(0x8400, 900, text, bytes), 0);
  EXPECT_TRUE(bytes == page.substr(0, 900));
  EXPECT_EQ(SplitLines(text).size(), 20u);
  EXPECT_TRUE(port.memory->Flash().substr(0x8400, 1024) == page);
  // A short page is completed with 0xFF, never with what the last page left in RAM.
  ASSERT_NO_THROW(isp.WritePage(0x1000, "abc"));
  EXPECT_EQ(port.memory->Flash().substr(0x1000, 1024), "abc" + std::string(1021, '\xFF'));
}

TEST_F(ISPInterfaceSim, FlashRulesGiveThePartsReturnCodes) {
  std::string encoded;
  ASSERT_EQ(isp.WriteRam(TISPInterface::kRamBuffer, std::string(900, '\x0F'), encoded), 0);
  ASSERT_EQ(isp.WriteRam(TISPInterface::kRamBuffer + 900, std::string(124, '\x0F'), encoded), 0);
  EXPECT_EQ(isp.CopyRamToFlash(0, TISPInterface::kRamBuffer, 1024), 9) << "unprepared sector";
  EXPECT_EQ(isp.EraseSectors(0, 0), 9);
  EXPECT_EQ(isp.PrepareSectors(0, 28), 7);
  EXPECT_EQ(isp.PrepareSectors(5, 3), 7);
  EXPECT_EQ(isp.PrepareSectors(0, 0), 0);
  EXPECT_EQ(isp.CopyRamToFlash(0x100, TISPInterface::kRamBuffer, 1000), 6);
  EXPECT_EQ(isp.CopyRamToFlash(0x80, TISPInterface::kRamBuffer, 1024), 3);
  EXPECT_EQ(isp.CopyRamToFlash(0, TISPInterface::kRamBuffer, 1024), 0);
  EXPECT_EQ(isp.CopyRamToFlash(0, TISPInterface::kRamBuffer, 1024), 9)
      << "the copy protects the sector again";
  ASSERT_EQ(isp.WriteRam(TISPInterface::kRamBuffer, std::string(4, '\xF0'), encoded), 0);
  EXPECT_EQ(isp.PrepareSectors(0, 0), 0);
  EXPECT_EQ(isp.CopyRamToFlash(0, TISPInterface::kRamBuffer, 1024), 10)
      << "bits cannot be set without an erase";
  std::string text, bytes;
  EXPECT_EQ(isp.ReadMemory(2, 4, text, bytes), 13);
  EXPECT_EQ(isp.ReadMemory(0x90000, 4, text, bytes), 14);
  EXPECT_EQ(isp.WriteRam(0x40000000, "abcd", encoded), 14) << "the bootloader's own RAM";
  EXPECT_EQ(isp.RunCommand("U 1"), 16);
  EXPECT_EQ(isp.RunCommand("X"), 1);
}

TEST_F(ISPInterfaceSim, ReadoutRoutineMapsTheFlashOverTheBootVectors) {
  std::string vectors = RandomBytes(64, 15);
  port.memory->LoadFlash(0, vectors);
  std::string text, bytes;
  ASSERT_EQ(isp.ReadMemory(0, 64, text, bytes), 0);
  EXPECT_EQ(bytes, sim::TBootloaderFlash::BootVectors());
  ASSERT_EQ(isp.EnableFlashReadout(), 0);
  EXPECT_NE(port.written.find("G 1073742336 A\r\n"), std::string::npos);
  EXPECT_FALSE(port.left);
  ASSERT_EQ(isp.ReadMemory(0, 64, text, bytes), 0);
  EXPECT_TRUE(bytes == vectors);
}

TEST_F(ISPInterfaceSim, JumpIntoTheProgramEndsTheSession) {
  EXPECT_EQ(isp.GoToAddress(0, 1), 0);
  EXPECT_TRUE(port.left);
  EXPECT_EQ(isp.UnlockCommands(), kIspNoLink);
}

TEST_F(ISPInterfaceSim, WrongEchoAndSilence) {
  sim::TBootloaderFaults faults;
  faults.WrongEchoOnLine = 2;  // the unlock in SetUp was the first command line
  port.part.SetFaults(faults);
  EXPECT_EQ(isp.PrepareSectors(0, 1), kIspBadEcho);
  EXPECT_EQ(isp.PrepareSectors(0, 1), 0);
  faults = {};
  faults.NoAnswer = true;
  port.part.SetFaults(faults);
  std::string id;
  EXPECT_EQ(isp.ReadPartId(id), kIspNoLink);
}

TEST_F(ISPInterfaceSim, ReadChecksumMismatchAsksForTheBlockAgain) {
  std::string data = RandomBytes(64, 16);
  port.memory->LoadFlash(0x2000, data);
  sim::TBootloaderFaults faults;
  faults.BadReadSumOnBlock = 1;
  port.part.SetFaults(faults);
  std::string text, bytes;
  ASSERT_EQ(isp.ReadMemory(0x2000, 64, text, bytes), 0);
  EXPECT_TRUE(bytes == data);
  EXPECT_EQ(port.written, "R 8192 64\r\nRESEND\r\nOK\r\n");
  // The part is back in its command mode.
  EXPECT_EQ(isp.PrepareSectors(1, 1), 0);
}

TEST_F(ISPInterfaceSim, LogShowsCommandTitlesAndBothSidesOfABadEcho) {
  test::TempDir dir;
  LogFile().SetFileName(dir.File("isp.log"));
  LogFile().SetEnabled(true);
  sim::TBootloaderFaults faults;
  faults.WrongEchoOnLine = 3;  // unlock and W come first
  port.part.SetFaults(faults);
  std::string encoded;
  EXPECT_EQ(isp.WriteRam(TISPInterface::kRamBuffer, "abcd", encoded), 0);
  EXPECT_EQ(isp.PrepareSectors(0, 1), kIspBadEcho);
  LogFile().SetEnabled(false);
  std::string log = Cp1251ToUtf8(ReadFileText(dir.File("isp.log")));
  EXPECT_NE(log.find("[DEBUG] Запись ОЗУ"), std::string::npos) << log;
  EXPECT_NE(log.find("[DEBUG] Подготовка сектора к записи"), std::string::npos) << log;
  EXPECT_NE(log.find("[ERROR] -2, Эхо не соответствует данным"), std::string::npos) << log;
  EXPECT_NE(log.find("[DEBUG] Данные : \"P 0 1\""), std::string::npos) << log;
  EXPECT_NE(log.find("[DEBUG] Ответ  : \"p 0 1\""), std::string::npos) << log;
  EXPECT_NE(log.find("[DEBUG] Данные : 5020302031"), std::string::npos) << log;
  EXPECT_NE(log.find("[DEBUG] Ответ  : 7020302031"), std::string::npos) << log;
}
