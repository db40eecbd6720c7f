#include "FileText.h"

#include "Errors.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>

using namespace quorvel;

TEST(FileText, ReadsBytesUnchangedAndRefusesEmptyFile) {
  test::TempDir dir;
  const std::string bytes("\x00\x01\xFF\r\n\x00", 6);
  std::ofstream(dir.File("a.bin"), std::ios::binary) << bytes;
  EXPECT_EQ(ReadFileText(dir.File("a.bin")), bytes);

  std::ofstream(dir.File("empty.bin"), std::ios::binary).flush();
  try {
    ReadFileText(dir.File("empty.bin"));
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Файл пустой");
  }
  EXPECT_THROW(ReadFileText(dir.File("missing.bin")), Exception);
}

TEST(FileText, AnInputThatIsNoRegularFileIsRefusedAtOnceAndDashIsStandardInput) {
  test::TempDir dir;
  // A FIFO nobody writes would hold a blocking open for ever; so would a terminal device.
  const std::string fifo = dir.File("in.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {fifo, dir.Path(), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    for (auto read : {ReadFileText, ReadFileBytes}) {
      try {
        read(path);
        ADD_FAILURE() << "no error";
      } catch (const Exception& e) {
        EXPECT_EQ(std::string(e.what()), "\"" + path + "\" не является обычным файлом");
      }
    }
  }
  std::ofstream(dir.File("empty.txt")).flush();
  EXPECT_EQ(ReadFileBytes(dir.File("empty.txt")), "");

  // "-": whatever comes on standard input, to its end.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  ASSERT_EQ(::write(pipeFds[1], "line 1\nline 2\n", 14), 14);
  ::close(pipeFds[1]);
  const int savedStdin = ::dup(STDIN_FILENO);
  ::dup2(pipeFds[0], STDIN_FILENO);
  ::close(pipeFds[0]);
  std::string fromStdin;
  EXPECT_NO_THROW(fromStdin = ReadFileText("-"));
  ::dup2(savedStdin, STDIN_FILENO);
  ::close(savedStdin);
  EXPECT_EQ(fromStdin, "line 1\nline 2\n");
}

TEST(FileText, WriteReplacesAtomicallyAndKeepsMode) {
  test::TempDir dir;
  const std::string f = dir.File("s.xml");
  WriteFileText(f, "first");
  ::chmod(f.c_str(), 0600);
  WriteFileText(f, "second, longer");
  EXPECT_EQ(ReadFileText(f), "second, longer");
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  WriteFileText(f, "");
  EXPECT_EQ(std::filesystem::file_size(f), 0u);
  // no temporary files are left behind
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(FileText, FailedWriteLeavesThePreviousFile) {
  test::TempDir dir;
  const std::string f = dir.File("keep.txt");
  WriteFileText(f, "precious");
  if (::geteuid() == 0) {
    // root ignores directory permissions; a file name that is a directory makes rename fail
    std::filesystem::create_directory(dir.File("sub"));
    EXPECT_THROW(WriteFileText(dir.File("sub"), "x"), Exception);
    EXPECT_TRUE(std::filesystem::is_directory(dir.File("sub")));
  } else {
    ::chmod(dir.Path().c_str(), 0500);
    EXPECT_THROW(WriteFileText(f, "lost?"), Exception);
    ::chmod(dir.Path().c_str(), 0700);
  }
  EXPECT_EQ(ReadFileText(f), "precious");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}),
            std::filesystem::exists(dir.File("sub")) ? 2 : 1);
}

namespace {

std::size_t EntriesIn(const std::string& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Makes one of the calls that end the temporary file fail, for the lifetime of the object.
class FailingSyncCall {
 public:
  explicit FailingSyncCall(bool fsync) : saved_(FileSyncCalls()) {
    if (fsync)
      FileSyncCalls().Fsync = [](int) { return errno = EIO, -1; };
    else
      FileSyncCalls().Close = [](int fd) { return ::close(fd), errno = EIO, -1; };
  }
  ~FailingSyncCall() { FileSyncCalls() = saved_; }
  FailingSyncCall(const FailingSyncCall&) = delete;
  FailingSyncCall& operator=(const FailingSyncCall&) = delete;

 private:
  TFileSyncCalls saved_;
};

}  // namespace

TEST(FileText, AFailedFlushOrCloseLeavesTheOldFileAndNoTemporaryFile) {
  for (bool fsync : {true, false}) {
    SCOPED_TRACE(fsync ? "fsync" : "close");
    test::TempDir dir;
    const std::string f = dir.File("doc.xml");
    WriteFileText(f, "old");
    {
      FailingSyncCall failing(fsync);
      EXPECT_THROW(WriteFileText(f, "new"), Exception);
    }
    EXPECT_EQ(ReadFileText(f), "old");
    EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  }
}

TEST(FileText, AnOutputFifoIsWrittenThroughNotReplaced) {
  test::TempDir dir;
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Held open for reading, so that the writer's open does not wait; read after the write.
  const int readEnd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(readEnd, 0);
  EXPECT_NO_THROW(WriteFileText(fifo, "line 1\nline 2\n", TWriteKind::Output));
  std::string received(100, '\0');
  const ssize_t n = ::read(readEnd, received.data(), received.size());
  received.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  ::close(readEnd);
  EXPECT_EQ(received, "line 1\nline 2\n");
  struct stat st {};
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}

TEST(FileText, AChainOfLinksIsFollowedAndTheLinksStay) {
  test::TempDir dir;
  std::filesystem::create_directory(dir.File("real"));
  std::filesystem::create_directory(dir.File("links"));
  WriteFileText(dir.File("real/doc.xml"), "old");
  // links/first -> second (relative, same folder) -> ../real/doc.xml (relative, other folder)
  std::filesystem::create_symlink("../real/doc.xml", dir.File("links/second"));
  std::filesystem::create_symlink("second", dir.File("links/first"));
  for (TWriteKind kind : {TWriteKind::Document, TWriteKind::Output}) {
    const std::string text = kind == TWriteKind::Document ? "document" : "output";
    WriteFileText(dir.File("links/first"), text, kind);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("links/first")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.File("links/second")));
    EXPECT_EQ(ReadFileText(dir.File("real/doc.xml")), text);
    EXPECT_EQ(EntriesIn(dir.File("links")), 2u);
    EXPECT_EQ(EntriesIn(dir.File("real")), 1u);
  }
  std::filesystem::create_symlink("loop", dir.File("loop"));
  EXPECT_THROW(WriteFileText(dir.File("loop"), "x"), Exception);
}

TEST(FileText, SecretFilesAreCreatedOwnerOnlyAndNoModeIsWidened) {
  test::TempDir dir;
  const mode_t oldMask = ::umask(022);
  WriteFileText(dir.File("secret"), "key", TWriteKind::Document, TFileAccess::Secret);
  WriteFileText(dir.File("shared"), "text", TWriteKind::Output, TFileAccess::Shared);
  EXPECT_EQ(ModeOf(dir.File("secret")), 0600u);
  EXPECT_EQ(ModeOf(dir.File("shared")), 0644u);
  // Shared content keeps the mode of the file it replaces.
  WriteFileText(dir.File("secret"), "key 2", TWriteKind::Document, TFileAccess::Shared);
  EXPECT_EQ(ModeOf(dir.File("secret")), 0600u);
  ::chmod(dir.File("shared").c_str(), 0640);
  WriteFileText(dir.File("shared"), "text 2", TWriteKind::Output, TFileAccess::Shared);
  EXPECT_EQ(ModeOf(dir.File("shared")), 0640u);
  ::umask(oldMask);
}

// A file made readable to others before (by hand, by an older version, by the shell's
// redirection) is narrowed the moment a secret goes into it.
TEST(FileText, ASecretWrittenOverAReadableFileLeavesItOwnerOnly) {
  test::TempDir dir;
  for (TWriteKind kind : {TWriteKind::Document, TWriteKind::Output}) {
    SCOPED_TRACE(kind == TWriteKind::Document ? "document" : "output");
    const std::string f = dir.File("readable.xml");
    std::ofstream(f) << "old";
    ASSERT_EQ(::chmod(f.c_str(), 0644), 0);
    WriteFileText(f, "pin 1234", kind, TFileAccess::Secret);
    EXPECT_EQ(ReadFileText(f), "pin 1234");
    EXPECT_EQ(ModeOf(f), 0600u);
  }
  // Standard output redirected to a file is written through (appended), and narrowed too.
  const std::string out = dir.File("stdout.txt");
  const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::fchmod(fd, 0644), 0);
  WriteFileText("/proc/self/fd/" + std::to_string(fd), "key", TWriteKind::Output, TFileAccess::Secret);
  ::close(fd);
  EXPECT_EQ(ReadFileText(out), "key");
  EXPECT_EQ(ModeOf(out), 0600u);
}

TEST(FileText, AFileOverTheCapIsTooLarge) {
  test::TempDir dir;
  const std::string f = dir.File("big.bin");
  std::ofstream(f, std::ios::binary).flush();
  std::filesystem::resize_file(f, kMaxTextFileSize + 1);
  try {
    ReadFileText(f);
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Файл \"" + f + "\" слишком большой (больше 16 МиБ)");
  }
  std::filesystem::resize_file(f, kMaxTextFileSize);
  EXPECT_EQ(ReadFileText(f).size(), kMaxTextFileSize);
}

// A signal that ends the program in the middle of a write takes the temporary file with it.
TEST(FileText, TerminationMidWriteLeavesNoTemporaryFile) {
  test::TempDir dir;
  const std::string f = dir.File("doc.xml");
  WriteFileText(f, "old");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstallTempFileCleanup();
    // The temporary file is complete and about to be flushed when the signal arrives.
    FileSyncCalls().Fsync = [](int) { return ::raise(SIGTERM); };
    try {
      WriteFileText(f, "new");
    } catch (...) {
    }
    ::_exit(0);  // reached only when the signal did not end the process
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(ReadFileText(f), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
}
