#include "FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fmt/format.h>

namespace quorvel {

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(25);  // between two attempts to lock

// No link is followed and nothing waits: a link could make the program create or lock a file
// elsewhere, and a FIFO put there would hold the open for good.
constexpr int kOpenFlags = O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;

[[noreturn]] void RefuseLockFile(const std::string& path, const char* reason) {
  throw Exception(fmt::format(kLockFileRefusedMessage, path, reason));
}

int OpenLockFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | kOpenFlags, 0600);
  // flock works on a descriptor opened for reading too: a lock file left in a folder that
  // became read-only still serves.
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
    fd = ::open(path.c_str(), O_RDONLY | kOpenFlags);
  if (fd < 0) {
    // Something in the lock file's place that is not a file: two programs could each run
    // without the lock, so neither may.
    const int err = errno;
    if (err == ELOOP) RefuseLockFile(path, "это символическая ссылка");
    if (err == EISDIR) RefuseLockFile(path, "это папка");
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) RefuseLockFile(path, std::strerror(err));
    return fd;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    RefuseLockFile(path, "это не обычный файл");
  }
  return fd;
}

}  // namespace

TFolderLock::TFolderLock(const std::string& folder, int waitMs) {
  const std::string path = folder + "/" + kFolderLockFileName;
  fd_ = OpenLockFile(path);
  if (fd_ < 0) return;
  // flock has no timeout of its own; a blocking call cannot be given up after waitMs without
  // a signal, which would disturb the program's own handlers.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd_);
      fd_ = -1;
      if (err != EWOULDBLOCK)
        throw Exception(fmt::format("Не удалось открыть файл \"{}\": {}", path, std::strerror(err)));
      throw EFolderBusy(fmt::format(kFolderBusyMessage, folder));
    }
    std::this_thread::sleep_for(kRetryPause);
  }
}

TFolderLock::~TFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace quorvel
