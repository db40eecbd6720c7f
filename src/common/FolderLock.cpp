#include "FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fmt/format.h>

namespace quorvel {

namespace {

constexpr auto kRetryPause = std::chrono::milliseconds(25);  // between two attempts to lock

int OpenLockFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
  // flock works on a descriptor opened for reading too: a lock file left in a folder that
  // became read-only still serves.
  if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
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
