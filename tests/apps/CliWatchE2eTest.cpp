// Continuous benches through quorvel-cli: two programs watching fifty terminals each, taking
// identities from one pool of one record, some terminals silent and some pulled midway.
#include "CliFixture.h"

#include "PgServer.h"
#include "Profile.h"
#include "ServiceRecord.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using quorvel::sim::TSimState;
using quorvel::sim::TTerminalSim;

// One quorvel-cli started in the background, its output in files of the test's folder.
class TBackgroundCli {
 public:
  TBackgroundCli(std::vector<std::string> words, const std::string& out, const std::string& err) {
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (::posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&files);
  }
  ~TBackgroundCli() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool Started() const { return pid_ > 0; }
  /// Sends signal and waits (a minute at most) for the exit status; -1 when it did not exit.
  int Stop(int signal) {
    if (pid_ <= 0) return -1;
    ::kill(pid_, signal);
    for (int i = 0; i < 600; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(100ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
};

class CliWatch : public quorvel::test::CliTest {
 protected:
  void TearDown() override {
    for (auto& terminal : terminals) terminal->Stop();
    CliTest::TearDown();
  }

  std::string HeaderProfile() {
    quorvel::TProfile profile;
    profile.Header = "Магазин\r\n";
    profile.Groups = {quorvel::TProfileGroup::Header};
    const std::string path = dir.File("p.xml");
    profile.SaveToFile(path);
    return path;
  }

  // Two benches on one record, fifty ports each, a pool of a hundred serial numbers: every
  // fifth terminal is silent, every seventh is pulled while its header is written.
  void TwoBenchesShareOnePool(const std::string& record) {
    constexpr int kTerminals = 100;
    std::string table = "serial\n";
    for (int i = 0; i < kTerminals; ++i) table += std::to_string(50000000 + i) + "\n";
    const std::string values = WriteFile("serials.csv", table);
    ASSERT_EQ(CliRaw("--record " + Quote(record) + " pool import batch " + Quote(values)).Status, 0);
    std::set<int> silent;
    std::set<int> pulled;
    for (int i = 0; i < kTerminals; ++i) {
      auto terminal = std::make_unique<TTerminalSim>();
      terminal->Update([i](TSimState& s) { s.FactoryNumber = std::to_string(359000000000000 + i); });
      if (i % 5 == 4) {
        terminal->SetSilent(true);
        silent.insert(i);
      } else if (i % 7 == 6) {
        // Slow enough for the cable to be pulled while the header goes.
        terminal->ArmFault("SMHEADER", {quorvel::sim::TSimFaultKind::Delay, 0, 1, 3000});
        pulled.insert(i);
      }
      terminal->Start();
      terminals.push_back(std::move(terminal));
    }
    const std::string profile = HeaderProfile();
    std::vector<std::unique_ptr<TBackgroundCli>> benches;
    for (int b = 0; b < 2; ++b) {
      // Two benches on one PC each have a program folder of their own.
      const std::string home = dir.File("bench" + std::to_string(b));
      std::filesystem::create_directory(home);
      std::vector<std::string> words = {
          CliPath(), "--home", home,    "--record", record,   "--operator", "bench" + std::to_string(b),
          "profile", "write",  profile, "--watch",  "--pool", "batch"};
      for (int i = b * 50; i < b * 50 + 50; ++i) {
        words.push_back("--port");
        words.push_back(terminals[static_cast<std::size_t>(i)]->SlavePath());
      }
      benches.push_back(std::make_unique<TBackgroundCli>(words, dir.File("out" + std::to_string(b) + ".txt"),
                                                         dir.File("err" + std::to_string(b) + ".txt")));
      ASSERT_TRUE(benches.back()->Started());
    }
    auto reader = quorvel::OpenServiceRecord(record);
    const auto states = [&reader] {
      std::map<std::string, std::string> byFactory;
      for (const quorvel::TTerminalRecord& t : reader->Terminals({})) byFactory[t.FactoryNumber] = t.State;
      return byFactory;
    };
    // Pull each slow terminal once its bench is writing it, then wait for every terminal
    // that answers to have ended.
    std::set<int> pulledNow;
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    bool ended = false;
    while (!ended && std::chrono::steady_clock::now() < deadline) {
      const auto now = states();
      ended = true;
      for (int i = 0; i < kTerminals; ++i) {
        if (silent.count(i) > 0) continue;
        const auto found = now.find(std::to_string(359000000000000 + i));
        const bool running = found != now.end() && found->second == quorvel::kRecordRunning;
        if (pulled.count(i) > 0 && running && pulledNow.insert(i).second)
          terminals[static_cast<std::size_t>(i)]->Stop();
        if (found == now.end() || running) ended = false;
      }
      std::this_thread::sleep_for(200ms);
    }
    ASSERT_TRUE(ended) << ReadFile(dir.File("err0.txt")) << ReadFile(dir.File("err1.txt"));
    EXPECT_EQ(benches[0]->Stop(SIGTERM), 1) << ReadFile(dir.File("err0.txt"));
    EXPECT_EQ(benches[1]->Stop(SIGHUP), 1) << ReadFile(dir.File("err1.txt"));

    // The record: every answering terminal once, the pulled ones failed, the rest passed; no
    // row held by two terminals; every passed terminal holds the serial number of its row.
    const std::vector<quorvel::TTerminalRecord> all = reader->Terminals({});
    std::map<std::string, const quorvel::TTerminalRecord*> byFactory;
    for (const auto& t : all) EXPECT_TRUE(byFactory.emplace(t.FactoryNumber, &t).second) << t.FactoryNumber;
    EXPECT_EQ(all.size(), static_cast<std::size_t>(kTerminals) - silent.size());
    std::map<std::string, std::string> serialOfRow;
    std::set<std::string> holders;
    for (const quorvel::TPoolRow& row : reader->PoolRows("batch")) {
      if (row.State == quorvel::kPoolFree) continue;
      EXPECT_TRUE(holders.insert(row.FactoryNumber).second) << "two rows for " << row.FactoryNumber;
      serialOfRow[row.FactoryNumber] = row.Cells.at(0).second;
    }
    for (int i = 0; i < kTerminals; ++i) {
      const std::string factory = std::to_string(359000000000000 + i);
      const TTerminalSim& terminal = *terminals[static_cast<std::size_t>(i)];
      if (silent.count(i) > 0) {
        EXPECT_EQ(byFactory.count(factory), 0u);
        EXPECT_EQ(holders.count(factory), 0u);
        continue;
      }
      ASSERT_EQ(byFactory.count(factory), 1u) << factory;
      const quorvel::TTerminalRecord& t = *byFactory[factory];
      if (pulled.count(i) > 0) {
        EXPECT_EQ(t.State, quorvel::kRecordFailed) << factory;
        continue;
      }
      EXPECT_EQ(t.State, quorvel::kRecordPassed) << factory << ": " << t.Message;
      // Read back from the terminal itself: the serial number of its row and the header.
      EXPECT_EQ(terminal.State().SerialNumber, serialOfRow[factory]) << factory;
      EXPECT_EQ(t.SerialAfter, serialOfRow[factory]);
      EXPECT_EQ(terminal.State().Header[0], "Магазин");
    }
    // Each bench kept its own run.
    std::set<std::string> operators;
    for (const quorvel::TRunRecord& run : reader->Runs("")) {
      operators.insert(run.Operator);
      EXPECT_EQ(run.State, quorvel::kRecordStopped);
    }
    EXPECT_EQ(operators, (std::set<std::string>{"bench0", "bench1"}));
  }

  std::vector<std::unique_ptr<TTerminalSim>> terminals;
};

TEST_F(CliWatch, TwoBenchesOnOneSqliteRecordShareOnePool) { TwoBenchesShareOnePool(dir.File("service.db")); }

TEST_F(CliWatch, TwoBenchesOnOnePostgresRecordShareOnePool) {
  QUORVEL_SKIP_WITHOUT_PG_SERVER();
  quorvel::test::TPgTestServer server;
  server.CreateRole("bench");
  server.CreateDatabase("service", "bench");
  const std::string url = server.Url("service", "bench");
  ASSERT_EQ(CliRaw("--record " + Quote(url) + " record init").Status, 0);
  TwoBenchesShareOnePool(url);
}

}  // namespace
