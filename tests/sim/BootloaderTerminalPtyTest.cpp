#include "Bootloader.h"
#include "BootloaderFlash.h"
#include "DemoTerminal.h"
#include "TerminalSim.h"

#include "TempDir.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>

using namespace quorvel::sim;
using quorvel::test::HaveProgram;
using quorvel::test::RunCommand;
using quorvel::test::TempDir;

namespace {

// The host's end of the line, by hand: raw writes and reads on the pty slave.
class TRawHost {
 public:
  explicit TRawHost(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    termios tio{};
    if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~TRawHost() {
    if (fd_ >= 0) close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  // Writes text and returns what came back until expected was seen (or 5 s of nothing).
  std::string Exchange(const std::string& text, const std::string& expected) {
    if (write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return "(write failed)";
    std::string got;
    while (got.find(expected) == std::string::npos) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      char buf[512];
      ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return got;
  }

 private:
  int fd_;
};

}  // namespace

TEST(BootloaderInTerminal, QuestionMarkAfterRestartEntersTheBootloaderAndGoLeavesIt) {
  auto memory = std::make_shared<TBootloaderFlash>();
  TTerminalSim terminal;
  terminal.SetBootloaderFactory(BootloaderFactory(memory));
  terminal.Start();
  terminal.Restart();
  TRawHost host(terminal.SlavePath());
  ASSERT_TRUE(host.Ok());
  // The part answers "?" at once and echoes the line end that follows it.
  std::string dialogue = host.Exchange("?\r\n", "Synchronized\r\n");
  EXPECT_TRUE(terminal.InBootloader());
  dialogue += host.Exchange("Synchronized\r\n", "OK\r\n");
  EXPECT_EQ(dialogue, "Synchronized\r\n\r\nSynchronized\r\nOK\r\n");
  EXPECT_EQ(host.Exchange("12000\r\n", "OK\r\n"), "12000\r\nOK\r\n");
  std::string id = std::to_string(kBootPartId) + "\r\n";
  EXPECT_EQ(host.Exchange("J\r\n", id), "J\r\n0\r\n" + id);
  EXPECT_EQ(host.Exchange("U 23130\r\n", "0\r\n"), "U 23130\r\n0\r\n");
  EXPECT_EQ(host.Exchange("G 0 A\r\n", "0\r\n"), "G 0 A\r\n0\r\n");
  // The terminal runs its program again: the command mode answers.
  std::string reply = host.Exchange("AT\r\n", "OK\r\n");
  EXPECT_NE(reply.find("OK\r\n"), std::string::npos) << reply;
  EXPECT_FALSE(terminal.InBootloader());
}

TEST(BootloaderInTerminal, TheDemoTerminalSynchronisesWithoutARestartAndAPlainOneRefuses) {
  TTerminalSim plain;
  plain.SetBootloaderFactory(BootloaderFactory(std::make_shared<TBootloaderFlash>()));
  plain.Start();
  TRawHost plainHost(plain.SlavePath());
  ASSERT_TRUE(plainHost.Ok());
  // Past the moment after its start (a restart), a plain terminal takes "?" as a command.
  EXPECT_NE(plainHost.Exchange("AT\r\n", "OK\r\n").find("OK\r\n"), std::string::npos);
  EXPECT_EQ(plainHost.Exchange("?\r\n", "ERROR\r\n"), "?\r\nERROR\r\n");
  EXPECT_FALSE(plain.InBootloader());

  TTerminalSim demo(DemoTerminalOptions());
  demo.Update(SeedDemoTerminal);
  InstallDemoBootloader(demo);
  demo.Start();
  TRawHost host(demo.SlavePath());
  ASSERT_TRUE(host.Ok());
  // Commands first, as the program talks to the terminal before an update.
  EXPECT_NE(host.Exchange("AT\r\n", "OK\r\n").find("OK\r\n"), std::string::npos);
  // The echo of the line end after "?" may come with either reply: the dialogue is compared whole.
  std::string dialogue = host.Exchange("?\r\n", "Synchronized\r\n");
  EXPECT_TRUE(demo.InBootloader());
  dialogue += host.Exchange("Synchronized\r\n", "OK\r\n");
  EXPECT_EQ(dialogue, "Synchronized\r\n\r\nSynchronized\r\nOK\r\n");
}

TEST(BootloaderInTerminal, Lpc21ispWritesThroughTheTerminalSimulator) {
  if (!HaveProgram("lpc21isp") || !HaveProgram("objcopy"))
    GTEST_SKIP() << "lpc21isp or objcopy is not installed";
  TempDir dir;
  std::mt19937 gen(5);
  std::string bytes(3000, '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
  std::ofstream(dir.File("a.bin"), std::ios::binary) << bytes;
  RunCommand("objcopy -I binary -O ihex " + dir.File("a.bin") + " " + dir.File("a.hex"));
  auto memory = std::make_shared<TBootloaderFlash>();
  TSimOptions options;
  options.StartInBootloader = true;
  options.BaudRate = 115200;
  TTerminalSim terminal(options);
  terminal.SetBootloaderFactory(BootloaderFactory(memory));
  terminal.Start();
  ASSERT_TRUE(terminal.EnterBootloader());
  std::string out = RunCommand("timeout 120 lpc21isp -hex " + dir.File("a.hex") + " " + terminal.SlavePath() +
                               " 115200 12000 2>&1 </dev/null");
  EXPECT_NE(out.find("Download Finished"), std::string::npos) << out;
  std::string flash = memory->Flash();
  EXPECT_TRUE(flash.substr(0, 0x14) == bytes.substr(0, 0x14));
  EXPECT_TRUE(flash.substr(0x18, bytes.size() - 0x18) == bytes.substr(0x18));
  EXPECT_FALSE(terminal.InBootloader()) << "lpc21isp's final jump ends the bootloader";
}
