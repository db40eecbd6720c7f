#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace quorvel::test {

TempDir::TempDir() {
  const char* base = std::getenv("QUORVEL_TEST_TMP");
  std::filesystem::path root = base && *base ? base : std::filesystem::temp_directory_path().string();
  std::filesystem::create_directories(root);
  std::string pattern = (root / "quorvel-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

NoNewFilesIn::NoNewFilesIn(const std::string& folder) : folder_(folder) {
  if (::geteuid() != 0) {
    ::chmod(folder_.c_str(), 0500);
    return;
  }
  // Root writes into any folder; a file-size limit of 0 makes the write fail instead (EFBIG,
  // with SIGXFSZ ignored). A descriptor limit would do too, but the sanitizers' own checks need
  // descriptors and would report nonsense.
  rlimit limit{};
  ::getrlimit(RLIMIT_FSIZE, &limit);
  oldLimit_ = limit.rlim_cur;
  oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
  limit.rlim_cur = 0;
  limited_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  if (!limited_) ADD_FAILURE() << "RLIMIT_FSIZE could not be lowered";
}

NoNewFilesIn::~NoNewFilesIn() {
  if (::geteuid() != 0) {
    ::chmod(folder_.c_str(), 0700);
    return;
  }
  if (limited_) {
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(oldLimit_);
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ::signal(SIGXFSZ, oldHandler_);
}

TempDir::~TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  if (info && info->result()->Failed()) {
    std::fprintf(stderr, "test files kept in %s\n", path_.c_str());
    return;
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) {
    if (status) *status = -1;
    return out;
  }
  std::array<char, 4096> buf{};
  std::size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
  int rc = pclose(p);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

bool HaveProgram(const std::string& name) {
  int status = 0;
  RunCommand("command -v " + name + " >/dev/null 2>&1", &status);
  return status == 0;
}

}  // namespace quorvel::test
