// Where quorvel-cli writes and what its files hold: output through devices and pipes,
// symbolic links followed, owner-only files for secrets, a log without private keys, paths
// kept absolute, text inputs checked before anything is sent.
#include "CliFixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

using quorvel::sim::TSimState;
namespace fs = std::filesystem;

#ifdef QUORVEL_CLI_PATH
constexpr const char* kCliPath = QUORVEL_CLI_PATH;
#else
constexpr const char* kCliPath = "";
#endif

class CliSafeFiles : public quorvel::test::CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    sim.Update([](TSimState& s) {
      s.Header[0] = "Магазин";
      s.Header[1] = "Касса 2";
    });
  }

  // The permission bits of path's target.
  static fs::perms Perms(const std::string& path) { return fs::status(path).permissions() & fs::perms::all; }
};

TEST_F(CliSafeFiles, AReadToADeviceOrAPipeGoesThroughIt) {
  auto r = Cli("header read /dev/stdout");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "Магазин\nКасса 2\n");
  // stdout redirected to a file by the shell: that file gets the lines
  const std::string out = WriteFile("out.txt", "before\n");
  int status = -1;
  quorvel::test::RunCommand(Quote(kCliPath) + " --home " + Quote(dir.Path()) + " --port " + Quote(sim.SlavePath()) +
                                " header read /dev/stdout >> " + Quote(out) + " 2>/dev/null",
                            &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(out), "before\nМагазин\nКасса 2\n");

  const std::string fifo = dir.File("lines.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Held open for reading, so that the program's open does not wait; read after the run.
  const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  r = Cli("header read " + Quote(fifo));
  std::string received(100, '\0');
  const ssize_t n = ::read(readEnd, received.data(), received.size());
  received.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  ::close(readEnd);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(received, "Магазин\nКасса 2\n");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(CliSafeFiles, ALinkedDocumentStaysALinkToTheUpdatedFile) {
  fs::create_directory(dir.File("dotfiles"));
  ASSERT_EQ(Cli("header read").Status, 0);
  fs::rename(dir.File("Quorvel.xml"), dir.File("dotfiles/Quorvel.xml"));
  fs::create_symlink("dotfiles/Quorvel.xml", dir.File("Quorvel.xml"));
  sim.Update([](TSimState& s) { s.Header[0] = "Новый магазин"; });

  auto r = Cli("header read");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(fs::is_symlink(dir.File("Quorvel.xml")));
  EXPECT_EQ(Document()->Header, "Новый магазин\r\nКасса 2\r\n");
  EXPECT_EQ(Perms(dir.File("dotfiles/Quorvel.xml")), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(CliSafeFiles, TheDocumentAndTheLogAreOwnerOnly) {
  auto r = Cli("--log " + Quote(dir.File("q.log")) + " header read");
  ASSERT_EQ(r.Status, 0) << r.Err;
  const fs::perms ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
  EXPECT_EQ(Perms(dir.File("Quorvel.xml")), ownerOnly);
  EXPECT_EQ(Perms(dir.File("q.log")), ownerOnly);
}

TEST_F(CliSafeFiles, TheLogOfAnRsaWriteHoldsNoPrivateComponent) {
  if (!quorvel::test::HaveProgram("openssl")) GTEST_SKIP() << "openssl is not installed";
  const std::string pem = dir.File("key.pem");
  quorvel::test::RunCommand("openssl genrsa -traditional -out " + Quote(pem) + " 1024 2>/dev/null");
  const std::string log = dir.File("rsa.log");
  auto r = Cli("--log " + Quote(log) + " rsa write " + Quote(pem));
  ASSERT_EQ(r.Status, 0) << r.Err;
  const TSimState s = sim.State();
  const std::string text = ReadFile(log);
  for (const char* part : {"PRTP", "PRTQ", "PRTDP", "PRTDQ", "PRTIQ", "PRTD"}) {
    SCOPED_TRACE(part);
    ASSERT_FALSE(s.Rsa.at(part).empty());
    EXPECT_EQ(text.find(s.Rsa.at(part)), std::string::npos);
    // the command and its echo are still there, value masked
    EXPECT_NE(text.find(std::string("\"") + part + "\",\"***\""), std::string::npos);
  }
  // the public parts stay readable
  EXPECT_NE(text.find(s.Rsa.at("PRTMOD")), std::string::npos);
}

TEST_F(CliSafeFiles, ARelativeLogIsKeptAbsolute) {
  fs::create_directory(dir.File("work"));
  int status = -1;
  quorvel::test::RunCommand("cd " + Quote(dir.File("work")) + " && " + Quote(kCliPath) + " --home " +
                                Quote(dir.Path()) + " --port " + Quote(sim.SlavePath()) +
                                " --log run.log --save-settings header read >/dev/null 2>&1",
                            &status);
  ASSERT_EQ(status, 0);
  EXPECT_NE(
      ReadFile(dir.File("settings.xml")).find("<LogFileName>" + dir.File("work/run.log") + "</LogFileName>"),
      std::string::npos)
      << ReadFile(dir.File("settings.xml"));
  // a run from another folder writes to the same file
  const auto before = fs::file_size(dir.File("work/run.log"));
  ASSERT_EQ(Cli("header read").Status, 0);
  EXPECT_GT(fs::file_size(dir.File("work/run.log")), before);
}

TEST_F(CliSafeFiles, ALogThatCannotBeWrittenIsAnError) {
  auto r = Cli("--log " + Quote(dir.File("missing/q.log")) + " header read");
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("missing/q.log"), std::string::npos) << r.Err;
  EXPECT_TRUE(Commands().empty());
}

TEST_F(CliSafeFiles, TextThatIsNotUtf8OrTooLargeIsRefusedBeforeSending) {
  const std::string latin1 = WriteFile("latin1.txt", "Кафе\r\nCaf\xE9\n\xE9t\xE9\n");
  auto r = Cli("header write " + Quote(latin1));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Файл " + latin1 + " не является текстом UTF-8 (строка 2)\n");

  const std::string big = dir.File("big.bin");
  std::ofstream(big, std::ios::binary).put('x');
  fs::resize_file(big, (std::uintmax_t{16} << 20) + 1);
  r = Cli("phonebase write " + Quote(big));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("слишком большой"), std::string::npos) << r.Err;
  r = Cli("fees import " + Quote(big));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("слишком большой"), std::string::npos) << r.Err;
  EXPECT_TRUE(Commands().empty());
  EXPECT_EQ(sim.State().Header[0], "Магазин");
}

}  // namespace
