// The control FIFO of quorvel-sim: the lines a bench writes into it, in whatever pieces
// they arrive, and the FIFO's own life on disk.
#include "SimControl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "Errors.h"
#include "TempDir.h"

namespace quorvel::sim {
namespace {

TEST(SimControl, ControlLines) {
  using C = TSimControlCommand;
  const struct {
    const char* line;
    std::optional<C> command;
  } cases[] = {
      {"replace", C::Replace},         {"  replace\t", C::Replace},
      {"replace\r", C::Replace},  // written by a tool that ends lines with CR LF
      {"silent on", C::SilentOn},      {"silent   off", C::SilentOff},
      {"\tsilent\ton ", C::SilentOn},  {"", std::nullopt},
      {"Replace", std::nullopt},       {"replace now", std::nullopt},
      {"silent", std::nullopt},        {"silent yes", std::nullopt},
      {"silent on off", std::nullopt}, {"silenton", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSimControl(c.line), c.command) << '"' << c.line << '"';
}

bool WriteTo(const std::string& path, const std::string& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  return ok;
}

bool IsFifo(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

TEST(SimControlFifo, LinesInPiecesFromWritersThatComeAndGo) {
  quorvel::test::TempDir dir;
  const std::string path = dir.File("sim.ctl");
  TSimControlFifo fifo(path);
  ASSERT_TRUE(IsFifo(path));
  EXPECT_TRUE(fifo.ReadLines().empty());  // nothing written yet, and no wait for a writer

  // each write by another writer, as `echo ... > fifo` does; an unfinished line waits
  ASSERT_TRUE(WriteTo(path, "repl"));
  EXPECT_TRUE(fifo.ReadLines().empty());
  ASSERT_TRUE(WriteTo(path, "ace\n\nsilent on\nsil"));
  EXPECT_EQ(fifo.ReadLines(), (std::vector<std::string>{"replace", "silent on"}));
  ASSERT_TRUE(WriteTo(path, "ent off\n"));
  EXPECT_EQ(fifo.ReadLines(), (std::vector<std::string>{"silent off"}));
  // with every writer gone the FIFO has nothing to read, rather than an end
  EXPECT_TRUE(fifo.ReadLines().empty());

  const std::string longLine(TSimControlFifo::kMaxLine + 50, 'x');
  ASSERT_TRUE(WriteTo(path, longLine + "\nreplace\n"));
  EXPECT_EQ(fifo.ReadLines(),
            (std::vector<std::string>{longLine.substr(0, TSimControlFifo::kMaxLine), "replace"}));
}

TEST(SimControlFifo, ItsOwnFifoIsRemovedAndOneThatWasThereIsLeft) {
  quorvel::test::TempDir dir;
  const std::string made = dir.File("made.ctl");
  { TSimControlFifo fifo(made); }
  EXPECT_FALSE(IsFifo(made));

  const std::string existing = dir.File("existing.ctl");
  ASSERT_EQ(::mkfifo(existing.c_str(), 0600), 0);
  {
    TSimControlFifo fifo(existing);
    ASSERT_TRUE(WriteTo(existing, "replace\n"));
    EXPECT_EQ(fifo.ReadLines(), (std::vector<std::string>{"replace"}));
  }
  EXPECT_TRUE(IsFifo(existing));
}

TEST(SimControlFifo, APathThatCannotBeAFifoIsRefused) {
  quorvel::test::TempDir dir;
  const std::string plain = dir.File("plain");
  std::ofstream(plain) << "replace\n";
  EXPECT_THROW(TSimControlFifo{plain}, quorvel::Exception);
  EXPECT_THROW(TSimControlFifo{dir.Path()}, quorvel::Exception);
  EXPECT_THROW(TSimControlFifo{dir.File("missing/sim.ctl")}, quorvel::Exception);
  // the refused file is left as it was
  std::ifstream in(plain);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "replace");
}

}  // namespace
}  // namespace quorvel::sim
