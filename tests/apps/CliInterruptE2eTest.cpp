// Ctrl+C in the middle of a transfer: the program stops before the next packet, keeps nothing
// of the run and ends with 130. The SIGINT is sent by the simulator's thread as it receives
// the n-th packet, so the program is certainly inside the transfer.
#include "CliFixture.h"

#include "Bootloader.h"
#include "IntelHex.h"
#include "Profile.h"
#include "SqliteRecord.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

extern char** environ;

namespace {

class CliInterrupt : public quorvel::test::CliTest {
 protected:
  CliInterrupt() : CliTest(Options()) {}

  // Runs the program with args (after --home and --port) and, while it runs, sends it SIGINT
  // when the n-th line starting with prefix arrives. Returns the exit status, or -1 when the
  // program did not exit by itself.
  int RunInterrupted(const std::vector<std::string>& args, const char* prefix, int n, int signal = SIGINT) {
    signal_.store(signal);
#ifdef QUORVEL_CLI_PATH
    std::vector<std::string> words = {QUORVEL_CLI_PATH, "--home", dir.Path(), "--port", sim.SlavePath()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, dir.File("stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, dir.File("stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    seen_.store(0);
    prefix_.store(prefix);
    stopAt_.store(n);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (spawned != 0) return -2;
    pid_.store(pid);
    int status = 0;
    const pid_t waited = ::waitpid(pid, &status, 0);
    pid_.store(0);
    prefix_.store(nullptr);
    if (waited != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
#else
    (void)args, (void)prefix, (void)n, (void)signal;
    return -2;
#endif
  }

  static ino_t Inode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  }

 private:
  quorvel::sim::TSimOptions Options() {
    quorvel::sim::TSimOptions options;
    // The simulator's thread, before the line is answered.
    options.OnLineReceived = [this](const std::string& line) {
      const char* prefix = prefix_.load();
      if (prefix == nullptr || line.rfind(prefix, 0) != 0) return;
      if (seen_.fetch_add(1) + 1 != stopAt_.load()) return;
      // On a busy machine the program may get this far before the test's thread has noted
      // its pid; it waits for this line's answer meanwhile, so nothing more is sent.
      for (int i = 0; i < 5000 && pid_.load() <= 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (const pid_t pid = pid_.load(); pid > 0) ::kill(pid, signal_.load());
      // The answer follows after a while, as from a terminal that is slow to answer: a signal
      // reaches a busy program's handler some time after kill().
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    };
    return options;
  }

  std::atomic<const char*> prefix_{nullptr};
  std::atomic<int> stopAt_{0};
  std::atomic<int> seen_{0};
  std::atomic<pid_t> pid_{0};
  std::atomic<int> signal_{SIGINT};
};

TEST_F(CliInterrupt, CtrlCStopsATransferAndKeepsNothingOfTheRun) {
  // A document of an earlier run, which the stopped run must leave alone.
  ASSERT_EQ(Cli("status").Status, 0);
  const std::string document = dir.File(quorvel::kAppDocFileName);
  const std::string documentBytes = ReadFile(document);
  const ino_t documentInode = Inode(document);
  ASSERT_NE(documentInode, 0u);

  const std::string data(10 * 256, 'd');
  const std::string in = WriteFile("in.bin", data);
  sim.ClearReceivedLines();
  EXPECT_EQ(RunInterrupted({"xmldata", "write", in}, "AT+SAVEXML=", 3), 130);
  EXPECT_EQ(CountOf("SAVEXML="), 3) << "no packet after Ctrl+C";
  EXPECT_NE(ReadFile(dir.File("stderr.txt")).find("Операция прервана"), std::string::npos)
      << ReadFile(dir.File("stderr.txt"));
  EXPECT_EQ(Inode(document), documentInode) << "the document was not saved";
  EXPECT_TRUE(ReadFile(document) == documentBytes);

  // A read: the file named keeps what it held.
  sim.Update([&](quorvel::sim::TSimState& s) { s.PhoneBase = data; });
  const std::string out = WriteFile("out.bin", "earlier bytes");
  sim.ClearReceivedLines();
  EXPECT_EQ(RunInterrupted({"phonebase", "read", out}, "AT+LOADPHONEBASE=", 2), 130);
  EXPECT_EQ(CountOf("LOADPHONEBASE="), 2);
  EXPECT_EQ(ReadFile(out), "earlier bytes");
  EXPECT_EQ(Inode(document), documentInode);

  // Without Ctrl+C the same run goes through and saves.
  EXPECT_EQ(RunInterrupted({"phonebase", "read", out}, "AT+LOADPHONEBASE=", 0), 0);
  EXPECT_TRUE(ReadFile(out) == data);
  EXPECT_NE(Inode(document), documentInode);
}

TEST_F(CliInterrupt, CtrlCStopsABenchBetweenPacketsAndStillWritesTheReport) {
  quorvel::TProfile profile;
  profile.XmlData = std::string(10 * 256, 'x');
  profile.Groups = {quorvel::TProfileGroup::XmlData};
  profile.SaveToFile(dir.File("p.xml"));
  sim.ClearReceivedLines();
  EXPECT_EQ(RunInterrupted({"profile", "write", dir.File("p.xml"), "--port", sim.SlavePath(), "--report",
                            dir.File("report")},
                           "AT+SAVEXML=", 3),
            130);
  EXPECT_EQ(CountOf("SAVEXML="), 3) << "no packet after Ctrl+C";
  const std::string report = ReadFile(dir.File("report.csv"));
  EXPECT_NE(report.find(sim.SlavePath()), std::string::npos) << report;
  EXPECT_NE(report.find("остановлен"), std::string::npos) << report;
}

TEST_F(CliInterrupt, AKilledBenchLeavesEveryFinishedStepInTheRecord) {
  quorvel::TProfile profile;
  profile.Header = "Магазин\r\n";
  profile.XmlData = std::string(10 * 256, 'x');
  profile.Groups = {quorvel::TProfileGroup::Header, quorvel::TProfileGroup::XmlData};
  profile.SaveToFile(dir.File("p.xml"));
  const struct {
    int signal;
    int status;
    const char* run;
    const char* step;
  } cases[] = {
      {SIGTERM, 130, quorvel::kRecordStopped, quorvel::kRecordStopped},
      {SIGHUP, 130, quorvel::kRecordStopped, quorvel::kRecordStopped},
      // Nothing of the program runs after SIGKILL: the step under way stays as it was.
      {SIGKILL, -1, quorvel::kRecordRunning, quorvel::kRecordRunning},
  };
  std::int64_t run = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.signal);
    sim.ClearReceivedLines();
    EXPECT_EQ(RunInterrupted({"profile", "write", dir.File("p.xml"), "--port", sim.SlavePath(), "--report",
                              dir.File("report")},
                             "AT+SAVEXML=", 3, c.signal),
              c.status);
    EXPECT_EQ(CountOf("SAVEXML="), 3) << "no packet after the signal";
    quorvel::TSqliteRecord record(dir.File("service.db"));
    const auto found = record.Run(++run);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->State, c.run);
    quorvel::TTerminalQuery query;
    query.RunId = run;
    const auto terminals = record.Terminals(query);
    ASSERT_EQ(terminals.size(), 1u);
    ASSERT_EQ(terminals[0].Steps.size(), 2u);
    EXPECT_EQ(terminals[0].Steps[0].State, quorvel::kRecordPassed) << "the finished step is kept";
    EXPECT_GT(terminals[0].Steps[0].BytesSent, 0);
    EXPECT_EQ(terminals[0].Steps[1].State, c.step);
    if (c.signal != SIGKILL) {
      EXPECT_NE(ReadFile(dir.File("report.csv")).find("остановлен"), std::string::npos);
    }
  }
}

// Ctrl+C while the bench writes the firmware: the writer stops before its next page, and
// the terminal is reported stopped (to be retried), not failed.
TEST_F(CliInterrupt, CtrlCDuringABenchsFirmwareReportsThatTerminalStopped) {
  sim.SetBootloaderFactory(
      quorvel::sim::BootloaderFactory(std::make_shared<quorvel::sim::TBootloaderFlash>()));
  ASSERT_TRUE(sim.EnterBootloader());
  quorvel::TProfile profile;
  profile.Firmware = quorvel::test::IntelHexText(quorvel::test::FirmwarePattern(16 * 1024));
  profile.Header = "Магазин\r\n";
  profile.Groups = {quorvel::TProfileGroup::Firmware, quorvel::TProfileGroup::Header};
  profile.SaveToFile(dir.File("fw.xml"));
  EXPECT_EQ(RunInterrupted({"--yes", "profile", "write", dir.File("fw.xml"), "--port", sim.SlavePath(),
                            "--report", dir.File("report")},
                           "W ", 3),
            130);
  const std::string report = ReadFile(dir.File("report.csv"));
  const std::string row = report.substr(report.find('\n') + 1);
  EXPECT_EQ(row.rfind(sim.SlavePath() + ",,,остановлен,", 0), 0u) << report;
  EXPECT_EQ(row.find("ошибка"), std::string::npos) << report;
  EXPECT_NE(ReadFile(dir.File("report.json")).find("{\"group\": \"firmware\", \"result\": \"остановлен\""),
            std::string::npos)
      << ReadFile(dir.File("report.json"));
  EXPECT_TRUE(sim.InBootloader());
}

}  // namespace
