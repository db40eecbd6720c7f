#include "FileText.h"

#include "Errors.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include <fmt/format.h>

namespace quorvel {

namespace {

[[noreturn]] void RaiseFileError(const char* what, const std::string& fileName, int err) {
  throw Exception(fmt::format("{} \"{}\": {}", what, fileName, std::strerror(err)));
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

std::string DirectoryOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Temporary files of the writes in progress, for the signal handler. A slot is claimed
// (1) while its path is copied and published (2) when complete; the handler reads only
// published slots, so it never sees half a path.
constexpr int kTempSlots = 16;
struct TTempSlot {
  std::atomic<int> State{0};
  char Path[PATH_MAX]{};
};
TTempSlot tempSlots[kTempSlots];
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(kCleanupSignals)];

int RegisterTemp(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    int expected = 0;
    if (!tempSlots[i].State.compare_exchange_strong(expected, 1)) continue;
    std::memcpy(tempSlots[i].Path, path.c_str(), path.size() + 1);
    tempSlots[i].State.store(2);
    return i;
  }
  return -1;  // more writes at once than slots: that file is only cleaned up on errors
}

void UnregisterTemp(int slot) {
  if (slot >= 0) tempSlots[slot].State.store(0);
}

// The one-shot SIGINT handler of SetInterruptHandler.
using TInterruptHandler = void (*)();
std::atomic<TInterruptHandler> interruptHandler{nullptr};
static_assert(std::atomic<TInterruptHandler>::is_always_lock_free);
std::atomic<bool> interruptOnEnd{false};

extern "C" void RemoveTempsAndReraise(int sig) {
  if (sig == SIGINT || interruptOnEnd.load()) {
    if (TInterruptHandler handler = interruptHandler.exchange(nullptr)) {
      handler();
      return;
    }
  }
  for (auto& slot : tempSlots)
    if (slot.State.load() == 2) ::unlink(slot.Path);
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i)
    if (kCleanupSignals[i] == sig) ::sigaction(sig, &previousActions[i], nullptr);
  ::raise(sig);
}

// Blocks the cleanup signals while a temporary file is created and registered, so that no
// signal lands between the two.
class TCleanupSignalsBlocked {
 public:
  TCleanupSignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kCleanupSignals) sigaddset(&set, sig);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~TCleanupSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
  TCleanupSignalsBlocked(const TCleanupSignalsBlocked&) = delete;
  TCleanupSignalsBlocked& operator=(const TCleanupSignalsBlocked&) = delete;

 private:
  sigset_t old_{};
};

int SyncFd(int fd) { return ::fsync(fd); }
int CloseFd(int fd) { return ::close(fd); }
TFileSyncCalls syncCalls{SyncFd, CloseFd};

bool WriteAll(int fd, std::string_view text, int& err) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

constexpr mode_t kSecretMode = 0600;  // owner read and write

// A new file's mode: 0600 for secrets, else the usual 0666 & ~umask.
mode_t NewFileMode(TFileAccess access) {
  if (access == TFileAccess::Secret) return kSecretMode;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// The names of the process's own open files (/dev/stdout, /dev/fd/1, /proc/self/fd/1).
bool IsOwnStream(const std::string& fileName) {
  return fileName == "/dev/stdout" || fileName == "/dev/stderr" || fileName.starts_with("/dev/fd/") ||
         fileName.starts_with("/proc/self/fd/") || fileName.starts_with("/proc/thread-self/fd/");
}

// Output that must not be replaced: a device, FIFO or socket, and the process's own streams
// even when they are redirected to a regular file (replacing that file would leave the
// shell's redirection writing to the old one); those are appended to, as the shell would.
bool WritesThrough(const std::string& fileName, int* openFlags) {
  struct stat st {};
  if (::stat(fileName.c_str(), &st) != 0) return false;
  if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
    *openFlags = O_WRONLY;
    return true;
  }
  if (S_ISREG(st.st_mode) && IsOwnStream(fileName)) {
    *openFlags = O_WRONLY | O_APPEND;
    return true;
  }
  return false;
}

void WriteThrough(const std::string& fileName, std::string_view text, int openFlags, TFileAccess access) {
  Fd fd(::open(fileName.c_str(), openFlags | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) RaiseFileError("Не удалось открыть файл", fileName, errno);
  // Standard output sent to a file by the shell is a file like any other; a device or pipe
  // has no mode of its own to narrow.
  struct stat st {};
  if (access == TFileAccess::Secret && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) &&
      ::fchmod(fd.get(), kSecretMode) != 0)
    RaiseFileError("Не удалось открыть файл", fileName, errno);
  int err = 0;
  if (!WriteAll(fd.get(), text, err)) RaiseFileError("Ошибка записи файла", fileName, err);
  if (::close(fd.release()) != 0 && errno != EINTR) RaiseFileError("Ошибка записи файла", fileName, errno);
}

void ReplaceAtomically(const std::string& target, std::string_view text, TFileAccess access) {
  std::string tmp = target + ".XXXXXX";
  int slot = -1;
  int raw = -1;
  {
    TCleanupSignalsBlocked blocked;
    raw = ::mkstemp(tmp.data());
    if (raw >= 0) slot = RegisterTemp(tmp);
  }
  if (raw < 0) RaiseFileError("Не удалось создать файл", tmp, errno);
  Fd fd(raw);
  auto fail = [&](int err) {
    if (fd.get() >= 0) ::close(fd.release());
    ::unlink(tmp.c_str());
    UnregisterTemp(slot);
    RaiseFileError("Ошибка записи файла", target, err);
  };
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) {
    // A secret never stays in a file others can read, whatever mode the old file had.
    ::fchmod(fd.get(), access == TFileAccess::Secret ? kSecretMode : st.st_mode & 07777);
    // Keeps the owner when root replaces a user's file; refused (and ignored) otherwise.
    if (::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
    }
  } else {
    ::fchmod(fd.get(), NewFileMode(access));
  }
  int err = 0;
  if (!WriteAll(fd.get(), text, err)) fail(err);
  // The data must be on disk and the file closed before it takes the old one's name.
  if (syncCalls.Fsync(fd.get()) != 0) fail(errno);
  if (syncCalls.Close(fd.release()) != 0) fail(errno);
  if (::rename(tmp.c_str(), target.c_str()) != 0) fail(errno);
  UnregisterTemp(slot);
  // Make the rename itself durable.
  Fd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace

std::string ReadFileBytes(const std::string& fileName) {
  const bool standardInput = fileName == "-";
  // O_NONBLOCK: the open of a FIFO without a writer would wait for one for ever.
  Fd fd(standardInput ? ::dup(STDIN_FILENO) : ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) RaiseFileError("Не удалось открыть файл", fileName, errno);
  auto tooLarge = [&] { throw Exception(fmt::format(kFileTooLargeMessage, fileName)); };
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) RaiseFileError("Ошибка чтения файла", fileName, errno);
  if (!standardInput && !S_ISREG(st.st_mode)) throw Exception(fmt::format(kNotRegularFileMessage, fileName));
  if (S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) > kMaxTextFileSize) tooLarge();
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("Ошибка чтения файла", fileName, errno);
    }
    if (n == 0) break;
    // Standard input or a growing file has no size to look at first.
    if (data.size() + static_cast<std::size_t>(n) > kMaxTextFileSize) tooLarge();
    data.append(buf, static_cast<std::size_t>(n));
  }
  return data;
}

std::string ReadFileText(const std::string& fileName) {
  std::string data = ReadFileBytes(fileName);
  if (data.empty()) throw Exception(kEmptyFileMessage);
  return data;
}

void WriteFileText(const std::string& fileName, std::string_view text, TWriteKind kind, TFileAccess access) {
  int openFlags = 0;
  if (kind == TWriteKind::Output && WritesThrough(fileName, &openFlags)) {
    WriteThrough(fileName, text, openFlags, access);
    return;
  }
  ReplaceAtomically(ResolveLinks(fileName), text, access);
}

std::string ResolveLinks(const std::string& path) {
  std::string current = path;
  // As many links as the kernel follows in one path.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(PATH_MAX, '\0');
    ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0) RaiseFileError("Не удалось открыть файл", path, errno);
    target.resize(static_cast<std::size_t>(n));
    if (target.empty() || target.front() != '/') {
      const std::string dir = DirectoryOf(current);
      target = (dir == "/" ? std::string() : dir) + "/" + target;
    }
    current = target;
  }
  RaiseFileError("Не удалось открыть файл", path, ELOOP);
}

void InstallTempFileCleanup() {
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
    struct sigaction current {};
    if (::sigaction(kCleanupSignals[i], nullptr, &current) != 0) continue;
    if (current.sa_handler == SIG_IGN) continue;  // nohup and friends keep their meaning
    previousActions[i] = current;
    struct sigaction action {};
    action.sa_handler = RemoveTempsAndReraise;
    sigemptyset(&action.sa_mask);
    ::sigaction(kCleanupSignals[i], &action, nullptr);
  }
}

void SetInterruptHandler(void (*handler)(), bool alsoEndSignals) noexcept {
  interruptOnEnd.store(handler != nullptr && alsoEndSignals);
  interruptHandler.store(handler);
}

TFileSyncCalls& FileSyncCalls() { return syncCalls; }

}  // namespace quorvel
