#pragma once

#include <string>

namespace quorvel::test {

/// A fresh directory for one test, under $QUORVEL_TEST_TMP (set by CTest) or the system's
/// temporary folder. It is removed when the test passed and kept for inspection when the
/// running test failed (the path is printed then).
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  /// The directory's path.
  const std::string& Path() const { return path_; }
  /// Path of a file inside the directory.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
  std::string path_;
};

/// While it lives, nothing new can be written into folder: the folder is made read-only, and
/// for root, whom permissions do not stop, the process may write no byte into a file
/// (RLIMIT_FSIZE 0, SIGXFSZ ignored), so a save fails all the same.
class NoNewFilesIn {
 public:
  explicit NoNewFilesIn(const std::string& folder);
  ~NoNewFilesIn();
  NoNewFilesIn(const NoNewFilesIn&) = delete;
  NoNewFilesIn& operator=(const NoNewFilesIn&) = delete;

 private:
  std::string folder_;
  bool limited_ = false;
  unsigned long long oldLimit_ = 0;
  void (*oldHandler_)(int) = nullptr;
};

/// Runs a shell command and returns its standard output; the exit status goes to *status
/// when given.
std::string RunCommand(const std::string& command, int* status = nullptr);

/// True when a program of that name is on PATH.
bool HaveProgram(const std::string& name);

}  // namespace quorvel::test
