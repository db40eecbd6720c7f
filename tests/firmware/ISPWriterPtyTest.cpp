#include "ISPWriter.h"

#include "BootloaderPty.h"
#include "ComPort.h"
#include "HexFile.h"
#include "RandomBytes.h"
#include "SerialPort.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <thread>

using namespace quorvel;
using quorvel::test::HaveProgram;
using quorvel::test::RunCommand;
using quorvel::test::TempDir;

namespace {

using quorvel::test::RandomBytes;

std::uint32_t Word(const std::string& s, std::size_t offset) {
  std::uint32_t w = 0;
  for (int b = 3; b >= 0; --b) w = w << 8 | static_cast<unsigned char>(s[offset + b]);
  return w;
}

class ISPWriterPty : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("objcopy")) GTEST_SKIP() << "objcopy is not installed";
    part.Start();
    comm.SetPortName(part.SlavePath());
    ports = std::make_unique<TSerialPorts>(comm);
    ports->AddPort();  // the driver's spare client
    client = &ports->AddPort();
    comm.Open();
  }
  void TearDown() override {
    comm.Close();
    part.Stop();
  }

  // A HEX file made by objcopy from segments (address, bytes), one end-of-file record.
  std::string MakeHex(const std::vector<std::pair<std::uint32_t, std::string>>& segments) {
    std::string parts;
    for (std::size_t i = 0; i < segments.size(); ++i) {
      std::string bin = dir.File("s" + std::to_string(i) + ".bin");
      std::string hex = dir.File("s" + std::to_string(i) + ".hex");
      std::ofstream(bin, std::ios::binary) << segments[i].second;
      RunCommand("objcopy -I binary -O ihex --change-addresses " + std::to_string(segments[i].first) + " " +
                 bin + " " + hex);
      parts += "grep -v -e ':00000001FF' -e '^:04000003' " + hex + ";";
    }
    std::string file = dir.File("image.hex");
    RunCommand("(" + parts + " echo ':00000001FF') > " + file);
    return file;
  }

  // Runs the writer on a thread of its own while this one watches the status, as the page
  // does; returns the last status.
  TUpdateStatus::TSnapshot Run(const TISPParams& params, TISPImage image = nullptr) {
    TUpdateStatus status;
    TISPWriter writer(*client, status);
    status.BeginWork();  // the page marks the run before the worker starts
    std::thread worker([&] { writer.Write(params, image); });
    int lastPosition = 0;
    TUpdateStatus::TSnapshot s;
    for (std::uint64_t seen = 0;;) {
      seen = status.WaitForChange(seen, s);
      EXPECT_GE(s.Position, lastPosition);
      lastPosition = s.Position;
      if (!s.Running) break;
    }
    worker.join();
    return status.Snapshot();
  }

  std::size_t LinesStartingWith(const std::string& prefix) {
    std::vector<std::string> lines = part.ReceivedLines();
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }

  TempDir dir;
  std::shared_ptr<sim::TBootloaderFlash> memory = std::make_shared<sim::TBootloaderFlash>();
  sim::TBootloaderPty part{memory};
  TComm comm;
  std::unique_ptr<TSerialPorts> ports;
  TSerialPort* client = nullptr;
};

}  // namespace

TEST_F(ISPWriterPty, ImageOf2048BytesIsWrittenPatchedAndVerified) {
  std::string image = RandomBytes(2048, 1);
  TISPParams params{MakeHex({{0, image}}), 57600, 12000, true};
  TUpdateStatus::TSnapshot s = Run(params);
  EXPECT_FALSE(s.Failed) << s.Text;
  EXPECT_TRUE(s.Done);
  EXPECT_EQ(s.Text, kWriteSucceeded);
  EXPECT_EQ(s.Max, 4);
  EXPECT_EQ(s.Position, 4);
  std::string flash = memory->Flash();
  EXPECT_TRUE(flash.substr(0, 20) == image.substr(0, 20));
  EXPECT_TRUE(flash.substr(24, 2048 - 24) == image.substr(24));
  std::uint32_t sum = 0;
  for (std::size_t w = 0; w < 8; ++w) sum += Word(flash, w * 4);
  EXPECT_EQ(sum, 0u) << "the vector checksum was patched before writing";
  EXPECT_EQ(LinesStartingWith("G 1073742336 A"), 1u);
  EXPECT_EQ(LinesStartingWith("R "), 4u) << "two pages read back in halves";
  EXPECT_EQ(LinesStartingWith("C "), 2u);
  EXPECT_EQ(comm.BaudRate(), 115200) << "the port's rate is set back";
}

TEST_F(ISPWriterPty, WithoutVerificationNothingIsReadBack) {
  TISPParams params{MakeHex({{0, RandomBytes(1500, 2)}}), 115200, 12000, false};
  TUpdateStatus::TSnapshot s = Run(params);
  EXPECT_FALSE(s.Failed) << s.Text;
  EXPECT_EQ(s.Max, 2);
  EXPECT_EQ(LinesStartingWith("R "), 0u);
  EXPECT_EQ(LinesStartingWith("G "), 0u);
}

TEST_F(ISPWriterPty, TwoSegmentsLandAtTheirAddresses) {
  std::string low = RandomBytes(700, 3);
  std::string high = RandomBytes(3000, 4);
  TISPParams params{MakeHex({{0, low}, {0x9010, high}}), 115200, 12000, true};
  TUpdateStatus::TSnapshot s = Run(params);
  EXPECT_FALSE(s.Failed) << s.Text;
  EXPECT_EQ(s.Max, 8) << "page 0 and pages 0x9000..0x9BFF, written and verified";
  std::string flash = memory->Flash();
  EXPECT_TRUE(flash.substr(24, 700 - 24) == low.substr(24));
  EXPECT_TRUE(flash.substr(0x9010, 3000) == high);
  EXPECT_EQ(flash.substr(0x9000, 16), std::string(16, '\xFF'));
  EXPECT_EQ(LinesStartingWith("C "), 4u);
}

TEST_F(ISPWriterPty, ResendOnOneBlockIsRecovered) {
  sim::TBootloaderFaults faults;
  faults.ResendOnBlock = 3;
  part.SetFaults(faults);
  std::string image = RandomBytes(2048, 5);
  TUpdateStatus::TSnapshot s = Run({MakeHex({{0, image}}), 115200, 12000, true});
  EXPECT_FALSE(s.Failed) << s.Text;
  EXPECT_TRUE(memory->Flash().substr(1024, 1024) == image.substr(1024));
}

TEST_F(ISPWriterPty, FailuresEndTheRunWithTheirMessage) {
  struct Row {
    const char* what;
    sim::TBootloaderFaults faults;
    std::vector<std::pair<std::uint32_t, std::string>> segments;
    std::string message;
  };
  sim::TBootloaderFaults weak;
  weak.WeakByteAt = 0x500;
  sim::TBootloaderFaults dead;
  dead.NoAnswer = true;
  const std::vector<Row> rows = {
      {"verification mismatch", weak, {{0, RandomBytes(2048, 6)}}, kVerifyFailed},
      {"data beyond the flash",
       {},
       {{0x7DF00, RandomBytes(0x200, 7)}},
       "Данные по адресу 0x0007DF00 не помещаются во флэш-память"},
      {"dead line", dead, {{0, RandomBytes(100, 8)}}, ReturnCodeText(-1)},
  };
  for (const Row& row : rows) {
    part.Restart();
    part.SetFaults(row.faults);
    TUpdateStatus::TSnapshot s = Run({MakeHex(row.segments), 57600, 12000, true});
    EXPECT_TRUE(s.Failed) << row.what;
    EXPECT_TRUE(s.Done) << row.what;
    EXPECT_EQ(s.Text, row.message) << row.what;
    EXPECT_EQ(comm.BaudRate(), 115200) << row.what;
  }
}

TEST_F(ISPWriterPty, DamagedHexFileNeverReachesThePart) {
  std::string file = MakeHex({{0, RandomBytes(64, 9)}});
  // Damage one data digit of the second record, keeping its checksum.
  std::string text;
  {
    std::ifstream in(file);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
      if (n == 2) line[9] = line[9] == '0' ? '1' : '0';
      text += line + "\n";
    }
  }
  std::ofstream(file) << text;
  TUpdateStatus::TSnapshot s = Run({file, 115200, 12000, true});
  EXPECT_TRUE(s.Failed);
  EXPECT_EQ(s.Text.rfind("Строка 2: неверная контрольная сумма", 0), 0u) << s.Text;
  EXPECT_TRUE(part.ReceivedLines().empty());
  EXPECT_EQ(memory->Flash(), std::string(sim::TBootloaderFlash::kFlashSize, '\xFF'));
}

TEST_F(ISPWriterPty, ImagesThatWouldLeaveATerminalUnableToStartNeverReachThePart) {
  // Old firmware in the flash, which an erase would wipe.
  const std::string old = RandomBytes(4096, 10);
  memory->LoadFlash(0, old);
  std::string eofOnly = dir.File("eof.hex");
  std::ofstream(eofOnly) << ":00000001FF\n";
  std::string noVectors = MakeHex({{0x1000, RandomBytes(2048, 11)}});
  struct Row {
    const char* what;
    std::string file;
    std::string message;
  };
  const std::vector<Row> rows = {
      {"end record only", eofOnly, "Файл " + eofOnly + " не содержит данных для записи"},
      {"no vector area", noVectors, "В файле " + noVectors + " нет данных по адресу 0x00000000"},
  };
  for (const Row& row : rows) {
    TUpdateStatus::TSnapshot s = Run({row.file, 115200, 12000, true});
    EXPECT_TRUE(s.Failed) << row.what;
    EXPECT_EQ(s.Text.rfind(row.message, 0), 0u) << row.what << ": " << s.Text;
  }
  EXPECT_TRUE(part.ReceivedLines().empty()) << "not even the synchronisation";
  EXPECT_TRUE(memory->Flash().substr(0, old.size()) == old);
}

TEST_F(ISPWriterPty, AnImageLoadedBeforeTheRunIsNotReadAgain) {
  const std::string image = RandomBytes(1024, 12);
  std::string file = MakeHex({{0, image}});
  auto loaded = std::make_shared<THexFile>();
  loaded->LoadFromFile(file);
  std::remove(file.c_str());
  TUpdateStatus::TSnapshot s = Run({file, 115200, 12000, true}, loaded);
  EXPECT_FALSE(s.Failed) << s.Text;
  EXPECT_TRUE(memory->Flash().substr(24, 1000) == image.substr(24, 1000));
  EXPECT_EQ(loaded->Blocks()[0].Rec.Data, image) << "the caller's image is left as loaded";
}

// The flash ends at 0x7E000: data up to its last byte is written there, one byte more is
// refused before the part hears anything.
TEST_F(ISPWriterPty, AnImageEndingOnTheLastByteOfTheFlashFitsOneByteMoreDoesNot) {
  const struct {
    const char* What;
    std::uint32_t Start;
    std::size_t Size;
    std::string Message;  // empty: written
  } rows[] = {
      {"the last page whole", 0x7DC00, 0x400, ""},
      {"the last byte alone", 0x7DFFF, 1, ""},
      {"the last page and one byte", 0x7DC00, 0x401,
       "Данные по адресу 0x0007DC00 не помещаются во флэш-память"},
      {"the first byte past the flash", 0x7E000, 1,
       "Данные по адресу 0x0007E000 не помещаются во флэш-память"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.What);
    part.Restart();
    memory->LoadFlash(0, std::string(sim::TBootloaderFlash::kFlashSize, '\xFF'));
    const std::string tail = RandomBytes(row.Size, 12);
    const std::size_t linesBefore = part.ReceivedLines().size();
    const TUpdateStatus::TSnapshot s =
        Run({MakeHex({{0, RandomBytes(64, 13)}, {row.Start, tail}}), 115200, 12000, true});
    if (row.Message.empty()) {
      EXPECT_FALSE(s.Failed) << s.Text;
      EXPECT_TRUE(memory->Flash().substr(row.Start) == tail);
    } else {
      EXPECT_TRUE(s.Failed);
      EXPECT_EQ(s.Text, row.Message);
      EXPECT_EQ(part.ReceivedLines().size(), linesBefore) << "nothing reached the part";
    }
  }
}

namespace {

struct TCopy {
  std::uint32_t Flash = 0;
  std::uint32_t Ram = 0;
  std::uint32_t Count = 0;
};

std::vector<TCopy> Copies(const std::vector<std::string>& lines) {
  std::vector<TCopy> copies;
  for (const std::string& line : lines) {
    TCopy c;
    if (std::sscanf(line.c_str(), "C %u %u %u", &c.Flash, &c.Ram, &c.Count) == 3) copies.push_back(c);
  }
  return copies;
}

// The flash an image should leave: erased, the segments in place, the vector word patched.
std::string ExpectedFlash(const std::vector<std::pair<std::uint32_t, std::string>>& segments) {
  std::string flash(sim::TBootloaderFlash::kFlashSize, '\xFF');
  for (const auto& [address, bytes] : segments) flash.replace(address, bytes.size(), bytes);
  std::uint32_t sum = 0;
  for (std::size_t offset : {0, 4, 8, 12, 16, 24, 28}) sum += Word(flash, offset);
  for (int b = 0; b < 4; ++b) flash[20 + b] = static_cast<char>((0u - sum) >> (8 * b) & 0xFF);
  return flash;
}

}  // namespace

// Segments that end inside pages and cross both places where the sector size changes
// (0x8000: 4 KiB to 32 KiB, 0x78000: back to 4 KiB).
TEST_F(ISPWriterPty, FastModeWritesBlocksOf4KiBInsideTheirSectors) {
  const std::vector<std::pair<std::uint32_t, std::string>> segments = {
      {0, RandomBytes(0x2345, 20)}, {0x6C10, RandomBytes(0x3000, 21)}, {0x77400, RandomBytes(0x1F00, 22)}};
  TISPParams params{MakeHex(segments), 115200, 12000, false};
  params.Fast = true;
  TUpdateStatus::TSnapshot s = Run(params);
  ASSERT_FALSE(s.Failed) << s.Text;
  EXPECT_EQ(s.Max, 30) << "pages of 0..0x23FF, 0x6C00..0x9FFF, 0x77400..0x793FF";
  EXPECT_EQ(s.Position, 30);
  EXPECT_TRUE(memory->Flash() == ExpectedFlash(segments));

  const std::vector<TCopy> copies = Copies(part.ReceivedLines());
  std::vector<std::uint32_t> whole;
  for (const TCopy& c : copies) {
    EXPECT_EQ(sim::TBootloaderFlash::SectorOf(c.Flash),
              sim::TBootloaderFlash::SectorOf(c.Flash + c.Count - 1))
        << "copy to " << c.Flash << " crosses a sector";
    EXPECT_EQ((c.Ram - TISPInterface::kRamBuffer) % 1024, 0u);
    EXPECT_LE(c.Ram + c.Count, TISPInterface::kRamBuffer + TISPInterface::kFastBlock);
    if (c.Count == 4096)
      whole.push_back(c.Flash);
    else
      EXPECT_EQ(c.Count, 1024u);
  }
  EXPECT_EQ(whole, (std::vector<std::uint32_t>{0x0, 0x1000, 0x7000, 0x8000, 0x9000, 0x78000}));
  EXPECT_EQ(copies.size(), 12u) << "six whole blocks and six single KiB";
  EXPECT_EQ(LinesStartingWith("W "), 10u) << "one RAM write per piece";
  EXPECT_EQ(LinesStartingWith("W 1073742336 4096"), 6u);
}

TEST_F(ISPWriterPty, FastModeReadsBackWhatItWrote) {
  const std::vector<std::pair<std::uint32_t, std::string>> segments = {{0, RandomBytes(0x2C00, 23)}};
  TISPParams params{MakeHex(segments), 115200, 12000, true};
  params.Fast = true;
  TUpdateStatus::TSnapshot s = Run(params);
  ASSERT_FALSE(s.Failed) << s.Text;
  EXPECT_EQ(s.Position, 22);
  EXPECT_TRUE(memory->Flash() == ExpectedFlash(segments));
  EXPECT_EQ(LinesStartingWith("R "), 22u);
}

// A group the part refuses goes again, and only that group: the part takes the data after a
// RESEND as the same group once more.
TEST_F(ISPWriterPty, FastModeRecoversARefusedGroupInsideABlock) {
  const std::vector<std::pair<std::uint32_t, std::string>> segments = {{0, RandomBytes(0x2000, 24)}};
  struct Row {
    const char* what;
    sim::TBootloaderFaults faults;
  };
  sim::TBootloaderFaults resend;
  resend.ResendOnBlock = 3;  // the third of five groups of the first block
  resend.ResendTimes = 2;
  sim::TBootloaderFaults noise;
  noise.CorruptDataLine = 27;  // a line of the second group: wrong echo, wrong checksum
  for (const Row& row : {Row{"RESEND twice", resend}, Row{"a damaged line", noise}}) {
    SCOPED_TRACE(row.what);
    part.Restart();
    memory->LoadFlash(0, std::string(sim::TBootloaderFlash::kFlashSize, '\xFF'));
    part.SetFaults(row.faults);
    TISPParams params{MakeHex(segments), 115200, 12000, true};
    params.Fast = true;
    TUpdateStatus::TSnapshot s = Run(params);
    ASSERT_FALSE(s.Failed) << s.Text;
    EXPECT_TRUE(memory->Flash() == ExpectedFlash(segments));
  }
}

TEST_F(ISPWriterPty, FastModeGivesUpAfterThreeRefusalsAndCopiesNothing) {
  sim::TBootloaderFaults faults;
  faults.ResendOnBlock = 2;
  faults.ResendTimes = 3;
  part.SetFaults(faults);
  TISPParams params{MakeHex({{0, RandomBytes(0x2000, 25)}}), 115200, 12000, false};
  params.Fast = true;
  TUpdateStatus::TSnapshot s = Run(params);
  EXPECT_TRUE(s.Failed);
  EXPECT_EQ(s.Text, ReturnCodeText(kIspResendExceeded));
  EXPECT_EQ(LinesStartingWith("C "), 0u);
  EXPECT_EQ(memory->Flash(), std::string(sim::TBootloaderFlash::kFlashSize, '\xFF'));
}
