#include "BootloaderPty.h"

#include "RandomBytes.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

using namespace quorvel::sim;
using quorvel::test::HaveProgram;
using quorvel::test::RunCommand;
using quorvel::test::TempDir;

namespace {

using quorvel::test::RandomBytes;

struct TSegment {
  std::uint32_t Address;
  std::string Bytes;
};

// lpc21isp, an independent host, writes a HEX file made by srec_cat or objcopy from these
// segments into the simulated part; the flash must then hold every byte of the file.
class BootloaderLpc21isp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("lpc21isp")) GTEST_SKIP() << "lpc21isp is not installed";
    if (!HaveProgram("objcopy")) GTEST_SKIP() << "objcopy is not installed";
  }

  std::string MakeHex(const std::vector<TSegment>& segments) {
    std::string inputs;
    for (std::size_t i = 0; i < segments.size(); ++i) {
      std::string bin = dir.File("seg" + std::to_string(i) + ".bin");
      std::ofstream(bin, std::ios::binary) << segments[i].Bytes;
      std::string hex = dir.File("seg" + std::to_string(i) + ".hex");
      RunCommand("objcopy -I binary -O ihex --change-addresses " + std::to_string(segments[i].Address) + " " +
                 bin + " " + hex);
      // Drop each part's end-of-file and start records, keep one end at the very end.
      inputs += "grep -v -e ':00000001FF' -e '^:04000003' -e '^:04000005' " + hex + ";";
    }
    std::string file = dir.File("image.hex");
    RunCommand("(" + inputs + " echo ':00000001FF') > " + file);
    return file;
  }

  std::string RunLpc21isp(const std::string& hexFile) {
    int status = 0;
    std::string out = RunCommand(
        "timeout 120 lpc21isp -hex " + hexFile + " " + part.SlavePath() + " 115200 12000 2>&1 </dev/null",
        &status);
    std::ofstream(dir.File("lpc21isp.log")) << out;
    return out;
  }

  void ExpectFlashHolds(const std::vector<TSegment>& segments) {
    std::string flash = memory->Flash();
    for (const TSegment& s : segments) {
      for (std::size_t i = 0; i < s.Bytes.size(); ++i) {
        std::uint32_t a = s.Address + static_cast<std::uint32_t>(i);
        if (a >= 0x14 && a < 0x18) continue;  // the vector checksum word, patched by the host
        if (flash[a] != s.Bytes[i]) {
          ADD_FAILURE() << "flash differs at 0x" << std::hex << a;
          return;
        }
      }
    }
  }

  TempDir dir;
  std::shared_ptr<TBootloaderFlash> memory = std::make_shared<TBootloaderFlash>();
  TBootloaderPty part{memory};
};

}  // namespace

TEST_F(BootloaderLpc21isp, WritesOneSegmentAcrossSectors) {
  std::vector<TSegment> segments = {{0, RandomBytes(5000, 1)}};
  part.Start();
  std::string out = RunLpc21isp(MakeHex(segments));
  EXPECT_NE(out.find("LPC2368"), std::string::npos) << out;
  EXPECT_NE(out.find("Download Finished"), std::string::npos) << out;
  ExpectFlashHolds(segments);
  // The vector checksum lpc21isp wrote makes the eight vectors sum to zero.
  std::string flash = memory->Flash();
  std::uint32_t sum = 0;
  for (int w = 0; w < 8; ++w)
    for (int b = 0; b < 4; ++b)
      sum += static_cast<std::uint32_t>(static_cast<unsigned char>(flash[w * 4 + b])) << (8 * b);
  EXPECT_EQ(sum, 0u);
  EXPECT_TRUE(part.SessionEnded()) << "lpc21isp ends with a jump into the new program";
}

TEST_F(BootloaderLpc21isp, WritesTwoSegmentsPacedAtTheLineRate) {
  std::vector<TSegment> segments = {{0, RandomBytes(700, 2)}, {0x9010, RandomBytes(3000, 3)}};
  part.SetBaudRate(115200);
  part.Start();
  std::string out = RunLpc21isp(MakeHex(segments));
  EXPECT_NE(out.find("Download Finished"), std::string::npos) << out;
  ExpectFlashHolds(segments);
}

TEST_F(BootloaderLpc21isp, WritesTheTopSmallSectors) {
  std::vector<TSegment> segments = {{0, RandomBytes(64, 7)}, {0x7D100, RandomBytes(300, 4)}};
  part.Start();
  std::string out = RunLpc21isp(MakeHex(segments));
  EXPECT_NE(out.find("Download Finished"), std::string::npos) << out;
  ExpectFlashHolds(segments);
}

TEST_F(BootloaderLpc21isp, SlowEraseWithinItsPatienceStillWrites) {
  TBootloaderFaults faults;
  faults.EraseDelayMs = 300;
  part.SetFaults(faults);
  std::vector<TSegment> segments = {{0, RandomBytes(2000, 5)}};
  part.Start();
  std::string out = RunLpc21isp(MakeHex(segments));
  EXPECT_NE(out.find("Download Finished"), std::string::npos) << out;
  ExpectFlashHolds(segments);
}

TEST_F(BootloaderLpc21isp, SilentPartIsNotWritten) {
  TBootloaderFaults faults;
  faults.NoAnswer = true;
  part.SetFaults(faults);
  part.Start();
  std::string out = RunCommand("timeout 120 lpc21isp -try3 -hex " + MakeHex({{0, RandomBytes(100, 6)}}) +
                               " " + part.SlavePath() + " 115200 12000 2>&1 </dev/null");
  EXPECT_EQ(out.find("Download Finished"), std::string::npos) << out;
  EXPECT_EQ(memory->Flash(), std::string(TBootloaderFlash::kFlashSize, '\xFF'));
}
