#include "Bootloader.h"
#include "RandomBytes.h"

#include <gtest/gtest.h>

#include <random>

using namespace quorvel::sim;

namespace {

class TFakeWire : public ISimWire {
 public:
  void Send(std::string_view bytes) override { out += bytes; }
  void Pause(int delayMs) override { pauses.push_back({out.size(), delayMs}); }
  void LogReceivedLine(const std::string& line) override { lines.push_back(line); }
  void LeaveBootloader() override { left = true; }
  int BaudRate() const override { return 0; }

  std::string Take() { return std::exchange(out, {}); }

  std::string out;
  std::vector<std::pair<std::size_t, int>> pauses;
  std::vector<std::string> lines;
  bool left = false;
};

using quorvel::test::RandomBytes;

std::uint32_t Sum(const std::string& s) {
  std::uint32_t sum = 0;
  for (unsigned char c : s) sum += c;
  return sum;
}

class BootloaderDialogue : public ::testing::Test {
 protected:
  // Sends a line and returns everything the part answered to it.
  std::string Say(const std::string& line) {
    part.Feed(line + "\r\n", wire);
    return wire.Take();
  }
  void Handshake() {
    part.Feed("?", wire);
    ASSERT_EQ(wire.Take(), "Synchronized\r\n");
    ASSERT_EQ(Say("Synchronized"), "Synchronized\r\nOK\r\n");
    ASSERT_EQ(Say("12000"), "12000\r\nOK\r\n");
  }
  void Unlock() { ASSERT_EQ(Say("U 23130"), "U 23130\r\n0\r\n"); }

  std::shared_ptr<TBootloaderFlash> memory = std::make_shared<TBootloaderFlash>();
  TBootloader part{memory};
  TFakeWire wire;
};

}  // namespace

TEST(BootloaderLayout, SectorsOfThe512KiBPart) {
  EXPECT_EQ(TBootloaderFlash::Sector(0).Start, 0u);
  EXPECT_EQ(TBootloaderFlash::Sector(7).Start, 0x7000u);
  EXPECT_EQ(TBootloaderFlash::Sector(8).Start, 0x8000u);
  EXPECT_EQ(TBootloaderFlash::Sector(8).Size, 0x8000u);
  EXPECT_EQ(TBootloaderFlash::Sector(21).Start, 0x70000u);
  EXPECT_EQ(TBootloaderFlash::Sector(22).Start, 0x78000u);
  EXPECT_EQ(TBootloaderFlash::Sector(27).Start + TBootloaderFlash::Sector(27).Size,
            TBootloaderFlash::kFlashSize);
  EXPECT_EQ(TBootloaderFlash::SectorOf(0x7FFF), 7);
  EXPECT_EQ(TBootloaderFlash::SectorOf(0x77FFF), 21);
  EXPECT_EQ(TBootloaderFlash::SectorOf(0x7E000), -1);
}

TEST_F(BootloaderDialogue, HandshakeIdentityAndByteByByteInput) {
  part.Feed("xx", wire);
  EXPECT_EQ(wire.Take(), "") << "nothing before the autobaud character";
  Handshake();
  for (char c : std::string("J\r\n")) part.Feed(std::string(1, c), wire);
  EXPECT_EQ(wire.Take(), "J\r\n0\r\n" + std::to_string(kBootPartId) + "\r\n");
  EXPECT_EQ(Say("K"), "K\r\n0\r\n9\r\n2\r\n");
  EXPECT_EQ(Say("A 0"), "A 0\r\n0\r\n");
  EXPECT_EQ(Say("J"), "0\r\n" + std::to_string(kBootPartId) + "\r\n") << "echo off";
}

TEST_F(BootloaderDialogue, WrongHandshakeStartsOver) {
  part.Feed("?", wire);
  wire.Take();
  EXPECT_EQ(Say("Synchronised"), "Synchronised\r\n");
  part.Feed("?", wire);
  EXPECT_EQ(wire.Take(), "Synchronized\r\n");
}

TEST_F(BootloaderDialogue, CommandsAnswerThePartsReturnCodes) {
  Handshake();
  const std::vector<std::pair<std::string, int>> rows = {
      {"E 0 0", 15},
      {"C 0 1073742336 1024", 15},
      {"G 0 A", 15},  // locked until unlocked
      {"U 23131", 16},
      {"U", 12},
      {"P 1", 12},
      {"P 0 28", 7},
      {"P 3 2", 7},
      {"P x 2", 12},
      {"Z 1", 1},
      {"PP 1 2", 1},
      {"R 1 4", 13},
      {"R 0 6", 6},
      {"R 589824 4", 14},
      {"W 1073741824 4", 14},
      {"W 1073742337 4", 13},
      {"W 1073742336 6", 6},
      {"U 23130", 0},
      {"E 0 0", 9},
      {"G 0 X", 12},
      {"G 2 A", 13},
      {"C 0 1073742336 1024", 9},
      {"P 0 0", 0},
      {"C 0 1073742336 100", 6},
      {"C 16 1073742336 256", 3},
      {"C 0 1073742338 256", 2},
      {"C 0 1073774592 256", 4},
      {"C 516096 1073742336 1024", 5},
      {"E 0 0", 0},
      {"I 0 27", 0},
  };
  for (const auto& [line, code] : rows)
    EXPECT_EQ(Say(line), line + "\r\n" + std::to_string(code) + "\r\n") << line;
}

TEST_F(BootloaderDialogue, WriteTakesAChecksumAfterEvery20LinesAndResends) {
  Handshake();
  Unlock();
  std::string data = RandomBytes(1000, 1);
  EXPECT_EQ(Say("W 1073742336 1000"), "W 1073742336 1000\r\n0\r\n");
  for (int i = 0; i < 20; ++i) Say(BootUUEncode(std::string_view(data).substr(i * 45, 45)));
  EXPECT_EQ(Say(std::to_string(Sum(data.substr(0, 900)) + 1)),
            std::to_string(Sum(data.substr(0, 900)) + 1) + "\r\nRESEND\r\n");
  for (int i = 0; i < 20; ++i) Say(BootUUEncode(std::string_view(data).substr(i * 45, 45)));
  EXPECT_EQ(Say(std::to_string(Sum(data.substr(0, 900)))),
            std::to_string(Sum(data.substr(0, 900))) + "\r\nOK\r\n");
  for (int i = 20; i < 23; ++i) Say(BootUUEncode(std::string_view(data).substr(i * 45, 45)));
  EXPECT_EQ(Say(std::to_string(Sum(data.substr(900)))), std::to_string(Sum(data.substr(900))) + "\r\nOK\r\n");
  EXPECT_TRUE(memory->Ram(0x40000200, 1000) == data);
  EXPECT_EQ(Say("P 0 0"), "P 0 0\r\n0\r\n") << "back in the command mode";
}

TEST_F(BootloaderDialogue, ReadSendsBlocksOf20LinesWithTheirSums) {
  Handshake();
  std::string data = RandomBytes(1000, 2);
  memory->LoadFlash(0x1000, data);
  std::string reply = Say("R 4096 1000");
  std::string expected = "R 4096 1000\r\n0\r\n";
  for (int i = 0; i < 20; ++i) expected += BootUUEncode(std::string_view(data).substr(i * 45, 45)) + "\r\n";
  expected += std::to_string(Sum(data.substr(0, 900))) + "\r\n";
  EXPECT_EQ(reply, expected);
  EXPECT_EQ(Say("RESEND"), "RESEND\r\n" + expected.substr(std::string("R 4096 1000\r\n0\r\n").size()));
  std::string rest = Say("OK");
  EXPECT_EQ(rest.substr(0, 4), "OK\r\n");
  EXPECT_NE(rest.find("\r\n" + std::to_string(Sum(data.substr(900))) + "\r\n"), std::string::npos);
  EXPECT_EQ(Say("OK"), "OK\r\n");
  EXPECT_EQ(Say("P 0 0"), "P 0 0\r\n0\r\n");
}

TEST_F(BootloaderDialogue, BootBlockIsMappedUntilTheRoutineRuns) {
  Handshake();
  Unlock();
  memory->LoadFlash(0, std::string(64, '\x5A'));
  std::string mapped;
  ASSERT_EQ(memory->Read(0, 64, mapped), 0);
  EXPECT_EQ(mapped, TBootloaderFlash::BootVectors());
  const std::string routine(
      "\x0c\x00\x9f\xe5\x01\x10\xa0\xe3\x00\x10\x80\xe5\x0e\xe0\x81\xe1\x1e\xff\x2f\xe1\x40\xc0\x1f\xe0", 24);
  Say("W 1073742336 24");
  Say(BootUUEncode(routine));
  EXPECT_EQ(Say(std::to_string(Sum(routine))), std::to_string(Sum(routine)) + "\r\nOK\r\n");
  EXPECT_EQ(Say("G 1073742336 T"), "G 1073742336 T\r\n0\r\n") << "the routine is ARM code";
  EXPECT_TRUE(wire.left) << "a jump in Thumb mode runs something else: the session ends";
  EXPECT_EQ(Say("J"), "");
}

TEST_F(BootloaderDialogue, ReadoutRoutineInArmModeSwitchesTheMapping) {
  Handshake();
  Unlock();
  memory->LoadFlash(0, std::string(64, '\x5A'));
  const std::string routine(
      "\x0c\x00\x9f\xe5\x01\x10\xa0\xe3\x00\x10\x80\xe5\x0e\xe0\x81\xe1\x1e\xff\x2f\xe1\x40\xc0\x1f\xe0", 24);
  Say("W 1073742336 24");
  Say(BootUUEncode(routine));
  Say(std::to_string(Sum(routine)));
  EXPECT_EQ(Say("G 1073742336 A"), "G 1073742336 A\r\n0\r\n");
  EXPECT_FALSE(wire.left);
  EXPECT_TRUE(memory->UserFlashMapped());
  std::string reply = Say("R 0 64");
  EXPECT_NE(reply.find(BootUUEncode(std::string(45, '\x5A'))), std::string::npos);
  memory->Reset();
  EXPECT_FALSE(memory->UserFlashMapped());
}

TEST_F(BootloaderDialogue, FaultsSlowEraseWrongEchoAndSilence) {
  TBootloaderFaults faults;
  faults.EraseDelayMs = 700;
  faults.WrongEchoOnLine = 2;
  part.SetFaults(faults);
  Handshake();
  Unlock();
  EXPECT_EQ(Say("P 0 0"), "p 0 0\r\n0\r\n");
  Say("P 0 0");
  EXPECT_EQ(Say("E 0 0"), "E 0 0\r\n0\r\n");
  ASSERT_EQ(wire.pauses.size(), 1u);
  EXPECT_EQ(wire.pauses[0].second, 700);
  faults = {};
  faults.NoAnswer = true;
  part.SetFaults(faults);
  EXPECT_EQ(Say("J"), "");
}

TEST_F(BootloaderDialogue, ARefusedRamWriteLeavesThePartInCommandMode) {
  TBootloaderFaults faults;
  faults.WriteErrorOnCommand = 2;
  faults.WriteErrorCode = kIspCountError;
  part.SetFaults(faults);
  Handshake();
  EXPECT_EQ(Say("W 1073742336 4"), "W 1073742336 4\r\n0\r\n");
  EXPECT_EQ(Say("$`0``"), "$`0``\r\n");
  EXPECT_EQ(Say("1"), "1\r\nOK\r\n");
  EXPECT_EQ(Say("W 1073742336 4"), "W 1073742336 4\r\n6\r\n");
  // The next line is a command again, not data of the refused write.
  EXPECT_EQ(Say("J"), "J\r\n0\r\n" + std::to_string(kBootPartId) + "\r\n");
  EXPECT_EQ(memory->Ram(0x40000200, 4), std::string("\x01\x00\x00\x00", 4));
}
