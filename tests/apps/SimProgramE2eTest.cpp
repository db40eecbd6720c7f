// quorvel-sim run as the real program, one process per terminal, with quorvel-cli talking to
// it: each process its own factory number, and a terminal started in its bootloader that a
// bench gives its firmware and then its settings.
#include "CliFixture.h"

#include "IntelHex.h"
#include "Profile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>

extern char** environ;

namespace {

constexpr int kStartWaitMs = 20000;  // a ceiling for the program to print its pty

// One quorvel-sim process: started with its options, ended with SIGTERM.
class TSimProcess {
 public:
  explicit TSimProcess(const std::vector<std::string>& options) {
#ifdef QUORVEL_SIM_PATH
    std::vector<std::string> words = {QUORVEL_SIM_PATH};
    words.insert(words.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int out[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, out[1], STDOUT_FILENO);
    if (::posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
    ::close(out[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartWaitMs);
    while (pid_ > 0 && path_.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd fd{out[0], POLLIN, 0};
      if (::poll(&fd, 1, 100) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      path_.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    // A line not ended is no path: the program did not get as far as printing it.
    const auto end = path_.find('\n');
    path_.resize(end == std::string::npos ? 0 : end);
#else
    (void)options;
#endif
  }
  ~TSimProcess() { Stop(); }
  TSimProcess(const TSimProcess&) = delete;
  TSimProcess& operator=(const TSimProcess&) = delete;

  /// The pty it printed; empty when it did not start.
  const std::string& Path() const { return path_; }
  /// Sends it a signal; false when it is not running.
  bool Signal(int signal) { return pid_ > 0 && ::kill(pid_, signal) == 0; }
  /// SIGTERM, then its exit status (-1 when it did not exit by itself).
  int Stop() {
    if (pid_ <= 0) return -1;
    ::kill(pid_, SIGTERM);
    int status = 0;
    const pid_t waited = ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

class SimProgram : public quorvel::test::CliTest {
 protected:
  void SetUp() override {
#ifndef QUORVEL_SIM_PATH
    GTEST_SKIP() << "quorvel-sim is not built in this configuration";
#endif
    CliTest::SetUp();
  }

  // The factory number in the status report of the terminal on port.
  std::string FactoryNumberOf(const std::string& port) {
    const auto status = CliRaw("--port " + Quote(port) + " status");
    EXPECT_EQ(status.Status, 0) << status.Err;
    return FactoryNumberIn(status.Out);
  }

  static std::string FactoryNumberIn(const std::string& out) {
    std::smatch match;
    static const std::regex line("Заводской номер\\s*: (\\S*)");
    return std::regex_search(out, match, line) ? match[1].str() : "<none in: " + out + ">";
  }

  // The factory number once the terminal answers with one other than before, asked again and
  // again until then (the program handles its signal or control line on its own time);
  // before on a timeout.
  std::string NewFactoryNumberOf(const std::string& port, const std::string& before) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartWaitMs);
    while (std::chrono::steady_clock::now() < deadline) {
      const auto status = CliRaw("--port " + Quote(port) + " status");
      const std::string now = FactoryNumberIn(status.Out);
      if (status.Status == 0 && now != before) return now;
    }
    return before;
  }

  static std::string SimPath() {
#ifdef QUORVEL_SIM_PATH
    return QUORVEL_SIM_PATH;
#else
    return {};
#endif
  }
};

TEST_F(SimProgram, SimulatorsStartedAlikeReportFactoryNumbersOfTheirOwnOrTheOneGiven) {
  TSimProcess first({"--serial", "10000001"});
  TSimProcess second({"--serial", "10000001"});
  ASSERT_FALSE(first.Path().empty());
  ASSERT_FALSE(second.Path().empty());
  const std::string a = FactoryNumberOf(first.Path());
  const std::string b = FactoryNumberOf(second.Path());
  EXPECT_TRUE(std::regex_match(a, std::regex("[0-9]{15}"))) << a;
  EXPECT_TRUE(std::regex_match(b, std::regex("[0-9]{15}"))) << b;
  EXPECT_NE(a, b);
  EXPECT_EQ(first.Stop(), 0);

  TSimProcess given({"--factory-number", "354360000099999"});
  ASSERT_FALSE(given.Path().empty());
  EXPECT_EQ(FactoryNumberOf(given.Path()), "354360000099999");

  // A number no terminal reports is a usage error.
  int status = -1;
  for (const char* wrong : {"35436000009999a", "3543600000999990", "''"}) {
    quorvel::test::RunCommand(Quote(SimPath()) + " --factory-number " + wrong + " </dev/null >/dev/null 2>&1",
                              &status);
    EXPECT_EQ(status, 2) << wrong;
  }
}

// The cable moved on to the next terminal: the same pty, the next factory number, and what
// the old terminal was given gone (the serial number the options gave is the new one's too).
TEST_F(SimProgram, SigusrOneReplacesTheTerminalOnTheSamePty) {
  TSimProcess sim({"--factory-number", "354360000000199", "--serial", "30000001"});
  ASSERT_FALSE(sim.Path().empty());
  ASSERT_EQ(FactoryNumberOf(sim.Path()), "354360000000199");
  const auto write = CliRaw("--port " + Quote(sim.Path()) + " serial write 30009999");
  ASSERT_EQ(write.Status, 0) << write.Err;

  ASSERT_TRUE(sim.Signal(SIGUSR1));
  EXPECT_EQ(NewFactoryNumberOf(sim.Path(), "354360000000199"), "354360000000200");
  const auto serial = CliRaw("--port " + Quote(sim.Path()) + " serial read");
  EXPECT_EQ(serial.Out, "30000001\n") << serial.Err;
  EXPECT_EQ(sim.Stop(), 0);
}

// A bench's test of a port whose terminal does not answer, and of the next terminal, with
// the program's control FIFO; it exists once the pty is printed.
TEST_F(SimProgram, TheControlFifoSilencesAndReplacesTheTerminal) {
  const std::string fifo = dir.File("sim.ctl");
  TSimProcess sim({"--silent", "--control-fifo", fifo, "--factory-number", "354360000000299"});
  ASSERT_FALSE(sim.Path().empty());
  const auto silent = CliRaw("--port " + Quote(sim.Path()) + " serial read");
  EXPECT_NE(silent.Status, 0) << silent.Out;
  EXPECT_EQ(silent.Out, "");

  quorvel::test::RunCommand("printf 'nonsense\\nsilent off\\n' > " + Quote(fifo));
  EXPECT_EQ(NewFactoryNumberOf(sim.Path(), ""), "354360000000299");
  quorvel::test::RunCommand("echo replace > " + Quote(fifo));
  EXPECT_EQ(NewFactoryNumberOf(sim.Path(), "354360000000299"), "354360000000300");
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_NE(::access(fifo.c_str(), F_OK), 0);  // its own FIFO is removed at the end
}

// The bench writes the firmware into the bootloader, starts it with the jump to address 0, and
// finds the terminal answering in its command mode for the settings that follow.
TEST_F(SimProgram, ATerminalStartedInItsBootloaderTakesABenchsFirmwareAndThenItsSettings) {
  TSimProcess board({"--bootloader", "--factory-number", "354360000000077"});
  ASSERT_FALSE(board.Path().empty());
  quorvel::TProfile profile;
  profile.Firmware = quorvel::test::IntelHexText(quorvel::test::FirmwarePattern(12 * 1024));
  profile.Header = "Магазин у дома\r\n";
  profile.Groups = {quorvel::TProfileGroup::Firmware, quorvel::TProfileGroup::Header};
  profile.SaveToFile(dir.File("fw.xml"));
  const std::string values = WriteFile("values.csv", "factory_number,serial\n354360000000077,20000077\n");
  const auto run =
      CliRaw("--yes profile write " + Quote(dir.File("fw.xml")) + " --port " + Quote(board.Path()) +
             " --values " + Quote(values) + " --fast --report " + Quote(dir.File("bench")));
  ASSERT_EQ(run.Status, 0) << run.Out << run.Err;

  // The terminal keeps answering commands after the bench.
  const auto header = CliRaw("--port " + Quote(board.Path()) + " header read");
  EXPECT_EQ(header.Status, 0) << header.Err;
  EXPECT_EQ(header.Out, "Магазин у дома\n");
  const auto serial = CliRaw("--port " + Quote(board.Path()) + " serial read");
  EXPECT_EQ(serial.Out, "20000077\n") << serial.Err;
  EXPECT_NE(ReadFile(dir.File("bench.csv")).find(",успешно,"), std::string::npos);
}

// Without the bench's jump the bootloader stays: a firmware write alone leaves the terminal in it.
TEST_F(SimProgram, AFirmwareWriteGoesIntoTheBootloaderOfASimulatorStartedInIt) {
  TSimProcess board({"--bootloader"});
  ASSERT_FALSE(board.Path().empty());
  WriteFile("fw.hex", quorvel::test::IntelHexText(quorvel::test::FirmwarePattern(5 * 1024)));
  const auto write =
      CliRaw("--yes --port " + Quote(board.Path()) + " firmware write " + Quote(dir.File("fw.hex")));
  EXPECT_EQ(write.Status, 0) << write.Out << write.Err;
  EXPECT_NE(write.Out.find("Запись выполнена успешно."), std::string::npos) << write.Out;
}

}  // namespace
