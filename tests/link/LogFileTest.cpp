#include "LogFile.h"

#include "Cp1251.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>
#include <vector>

using namespace quorvel;
using quorvel::test::TempDir;

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// Lines of the file without their CR LF; a trailing part without CR LF is returned as a line
// too, so a torn line shows up.
std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < content.size()) {
    auto end = content.find("\r\n", start);
    if (end == std::string::npos) {
      out.push_back(content.substr(start));
      break;
    }
    out.push_back(content.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

// "[dd.mm.yyyy hh:mm:ss.zzz ] [tid8] text"
const std::regex kLine(
    R"(^\[(\d{2})\.(\d{2})\.(\d{4}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}) \] \[(\d{8,})\] (.*)$)");

// Text of a log line after the timestamp and thread id ("" when the line does not match).
std::string TextOf(const std::string& line, std::string* tid = nullptr) {
  std::smatch m;
  if (!std::regex_match(line, m, kLine)) return "<malformed: " + line + ">";
  if (tid) *tid = m[8];
  return m[9];
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    had_ = std::getenv(name) != nullptr;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (had_)
      setenv(name_, old_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace

TEST(LogFile, DefaultsAndAccessor) {
  TempDir dir;
  ScopedEnv home("QUORVEL_HOME", dir.Path());
  TLogFile log;
  EXPECT_FALSE(log.Enabled());
  EXPECT_EQ(log.FileName(), dir.Path() + "/Quorvel.log");
  EXPECT_EQ(&LogFile(), &LogFile());
}

TEST(LogFile, DisabledWritesCreateNoFile) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.WriteLine("one");
  log.Error("two");
  log.Debug("three");
  log.Write("raw");
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.log")));
}

TEST(LogFile, LineFormat) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  log.Debug("-> AT+SMSN=1,93\r\n");
  log.Error("TCommEventThread.DoOnSignal: x");
  log.WriteLine("plain");
  const std::string content = ReadAll(dir.File("a.log"));
  ASSERT_EQ(content.substr(content.size() - 2), "\r\n");
  auto lines = Lines(content);
  ASSERT_EQ(lines.size(), 3u);
  std::string tid;
  EXPECT_EQ(TextOf(lines[0], &tid), "[DEBUG] -> AT+SMSN=1,93..");
  EXPECT_EQ(std::stol(tid), static_cast<long>(gettid()));
  EXPECT_GE(tid.size(), 8u);
  EXPECT_EQ(TextOf(lines[1]), "[ERROR] TCommEventThread.DoOnSignal: x");
  EXPECT_EQ(TextOf(lines[2]), "plain");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, kLine));
  int day = std::stoi(m[1]), month = std::stoi(m[2]), year = std::stoi(m[3]);
  EXPECT_TRUE(day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 2020) << lines[0];
  EXPECT_LT(std::stoi(m[4]), 24);
  EXPECT_LT(std::stoi(m[5]), 60);
  EXPECT_LT(std::stoi(m[6]), 61);
}

TEST(LogFile, ControlCharactersBecomeDotsOnOneLine) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  std::string text = "a\rb\nc\td";
  text.push_back('\0');
  text += "\x01\x1F e";
  log.WriteLine(text);
  auto lines = Lines(ReadAll(dir.File("a.log")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(TextOf(lines[0]), "a.b.c.d... e");
}

TEST(LogFile, TextIsWrittenInWindows1251) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  log.WriteLine("Привет Ёё №");
  log.WriteLine("漢 ok \xFF end");  // a character the code page lacks, a byte that is not UTF-8
  auto lines = Lines(ReadAll(dir.File("a.log")));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(TextOf(lines[0]), "\xCF\xF0\xE8\xE2\xE5\xF2 \xA8\xB8 \xB9");
  EXPECT_EQ(TextOf(lines[1]), "? ok ? end");
}

TEST(LogFile, RawBytes128To255AreWrittenUnchanged) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  std::string high;
  for (int b = 128; b < 256; ++b) high.push_back(static_cast<char>(b));
  log.Write(high);
  EXPECT_EQ(ReadAll(dir.File("a.log")), high);
}

TEST(LogFile, WireBytesConvertedToUtf8ComeBackUnchanged) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  std::string high;
  for (int b = 128; b < 256; ++b) high.push_back(static_cast<char>(b));
  log.Debug("<- " + Cp1251ToUtf8(high));
  auto lines = Lines(ReadAll(dir.File("a.log")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(TextOf(lines[0]), "[DEBUG] <- " + high);
}

TEST(LogFile, SwitchingTheFileNameWhileEnabled) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  log.WriteLine("first");
  log.SetFileName(dir.File("b.log"));
  log.WriteLine("second");
  log.SetFileName(dir.File("a.log"));
  log.WriteLine("third");  // appended to the existing file
  auto a = Lines(ReadAll(dir.File("a.log")));
  auto b = Lines(ReadAll(dir.File("b.log")));
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(TextOf(a[0]), "first");
  EXPECT_EQ(TextOf(a[1]), "third");
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(TextOf(b[0]), "second");
}

TEST(LogFile, DisablingClosesAndReenablingAppends) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  log.WriteLine("one");
  log.SetEnabled(false);
  std::filesystem::remove(dir.File("a.log"));  // closed: the next write makes a new file
  log.WriteLine("lost");
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.log")));
  log.SetEnabled(true);
  log.WriteLine("two");
  auto lines = Lines(ReadAll(dir.File("a.log")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(TextOf(lines[0]), "two");
}

TEST(LogFile, FailuresNeverReachTheCaller) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("missing/folder/a.log"));
  log.SetEnabled(true);
  EXPECT_NO_THROW(log.WriteLine("nowhere"));
  EXPECT_NO_THROW(log.Write("nowhere"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  log.SetFileName(dir.Path());  // a directory
  EXPECT_NO_THROW(log.WriteLine("nowhere"));
  log.SetFileName(dir.File("ok.log"));  // and the next good name works
  log.WriteLine("here");
  EXPECT_EQ(Lines(ReadAll(dir.File("ok.log"))).size(), 1u);
}

TEST(LogFile, DefaultFolderIsCreatedOnFirstWrite) {
  TempDir dir;
  ScopedEnv home("QUORVEL_HOME", dir.File("home"));
  TLogFile log;
  log.SetEnabled(true);
  log.WriteLine("hello");
  auto lines = Lines(ReadAll(dir.File("home/Quorvel.log")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(TextOf(lines[0]), "hello");
}

TEST(LogFile, TwoThreadsGiveWholeLinesOnly) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("a.log"));
  log.SetEnabled(true);
  constexpr int kLines = 3000;
  auto writer = [&](char tag) {
    for (int i = 0; i < kLines; ++i)
      log.Debug(std::string(1, tag) + " " + std::to_string(i) + " " +
                std::string(static_cast<std::size_t>(i % 97), tag));
  };
  std::thread t1(writer, 'A');
  std::thread t2(writer, 'B');
  t1.join();
  t2.join();
  auto lines = Lines(ReadAll(dir.File("a.log")));
  ASSERT_EQ(lines.size(), 2u * kLines);
  std::map<char, int> next{{'A', 0}, {'B', 0}};
  std::map<char, std::string> tids;
  for (const auto& line : lines) {
    std::string tid;
    std::string text = TextOf(line, &tid);
    ASSERT_EQ(text.substr(0, 8), "[DEBUG] ") << line;
    char tag = text[8];
    ASSERT_TRUE(tag == 'A' || tag == 'B') << line;
    int i = next[tag]++;
    ASSERT_EQ(text, "[DEBUG] " + std::string(1, tag) + " " + std::to_string(i) + " " +
                        std::string(static_cast<std::size_t>(i % 97), tag));
    if (tids[tag].empty()) tids[tag] = tid;
    ASSERT_EQ(tids[tag], tid);
  }
  EXPECT_NE(tids['A'], tids['B']);
}

TEST(LogFile, TheFileIsOwnerOnlyAndItsNameAbsolute) {
  TempDir dir;
  const mode_t oldMask = ::umask(022);
  TLogFile log;
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  log.SetFileName("sub/../a.log");
  std::filesystem::current_path(cwd);
  // Stored as the file it meant where it was given, not where the program stands later.
  EXPECT_EQ(log.FileName(), dir.File("a.log"));
  log.SetEnabled(true);
  log.WriteLine("line");
  ::umask(oldMask);
  EXPECT_EQ(std::filesystem::status(dir.File("a.log")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST(LogFile, AnExistingReadableLogIsNarrowedBeforeTheFirstLine) {
  TempDir dir;
  const std::string file = dir.File("old.log");
  std::ofstream(file, std::ios::binary) << "earlier run\r\n";
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  TLogFile log;
  log.SetFileName(file);
  log.SetEnabled(true);
  log.Debug("SMSIMSETUP=1,1,1234");
  EXPECT_EQ(std::filesystem::status(file).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  const auto lines = Lines(ReadAll(file));
  ASSERT_EQ(lines.size(), 2u);  // appended: the earlier run's line stays
  EXPECT_EQ(lines[0], "earlier run");
}

TEST(LogFile, OpenTellsWhyTheFileCannotBeWritten) {
  TempDir dir;
  TLogFile log;
  log.SetFileName(dir.File("missing/a.log"));
  EXPECT_EQ(log.Open(), "No such file or directory");
  log.SetFileName(dir.File("a.log"));
  EXPECT_EQ(log.Open(), "");
  EXPECT_TRUE(std::filesystem::exists(dir.File("a.log")));
}
