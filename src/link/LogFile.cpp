#include "LogFile.h"
#include "LogPort.h"

#include "Cp1251.h"
#include "Errors.h"
#include "Paths.h"
#include "TextUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <utility>

#include <fmt/printf.h>

namespace quorvel {

namespace {

// UTF-8 -> windows-1251 for the log: the log must never fail, so a character the code page
// lacks, or a byte that is not UTF-8, becomes '?'.
std::string ToLogBytes(std::string_view utf8) {
  try {
    return Utf8ToCp1251(utf8);
  } catch (const EEncodingError&) {
  }
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    std::size_t len = Utf8SequenceLength(static_cast<unsigned char>(utf8[i]));
    if (len == 1) {
      out.push_back(utf8[i++]);
      continue;
    }
    bool whole = len > 1 && i + len <= utf8.size();
    for (std::size_t j = 1; whole && j < len; ++j)
      whole = (static_cast<unsigned char>(utf8[i + j]) & 0xC0) == 0x80;
    if (!whole) {
      out.push_back('?');
      ++i;
      continue;
    }
    try {
      out += Utf8ToCp1251(utf8.substr(i, len));
    } catch (const EEncodingError&) {
      out.push_back('?');
    }
    i += len;
  }
  return out;
}

thread_local std::string tLogPort;

std::string Timestamp() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  return fmt::sprintf("%.2d.%.2d.%.4d %.2d:%.2d:%.2d.%.3d ", local.tm_mday, local.tm_mon + 1,
                      local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec,
                      static_cast<int>(ts.tv_nsec / 1000000));
}

}  // namespace

TLogFile::TLogFile() : fileName_(AbsolutePath(ProgramHome() + "/Quorvel.log")) {}

TLogFile::~TLogFile() {
  std::lock_guard lk(lock_);
  CloseLocked();
}

bool TLogFile::Enabled() const {
  std::lock_guard lk(lock_);
  return enabled_;
}

void TLogFile::SetEnabled(bool enabled) {
  std::lock_guard lk(lock_);
  if (enabled == enabled_) return;
  enabled_ = enabled;
  CloseLocked();
}

std::string TLogFile::FileName() const {
  std::lock_guard lk(lock_);
  return fileName_;
}

void TLogFile::SetFileName(const std::string& path) {
  std::lock_guard lk(lock_);
  const std::string absolute = AbsolutePath(path);
  if (absolute == fileName_) return;
  CloseLocked();
  fileName_ = absolute;
}

std::string TLogFile::Open() {
  std::lock_guard lk(lock_);
  if (fd_ >= 0) return {};
  OpenLocked();
  return fd_ >= 0 ? std::string() : std::strerror(openError_);
}

void TLogFile::WriteLine(std::string_view text) {
  // Formatting is skipped while disabled: the receiving thread logs every chunk.
  if (!Enabled()) return;
  const std::string port =
      tLogPort.empty() ? std::string() : "[" + PrintableText(ToLogBytes(tLogPort)) + "] ";
  std::string line = fmt::sprintf("[%s] [%.8d] %s%s", Timestamp(), static_cast<int>(gettid()), port,
                                  PrintableText(ToLogBytes(text)));
  line += "\r\n";
  Write(line);
}

void TLogFile::Error(std::string_view text) { WriteLine("[ERROR] " + std::string(text)); }

void TLogFile::Debug(std::string_view text) { WriteLine("[DEBUG] " + std::string(text)); }

void TLogFile::Write(std::string_view raw) {
  std::lock_guard lk(lock_);
  if (!enabled_ || raw.empty()) return;
  if (fd_ < 0) OpenLocked();
  if (fd_ < 0) return;
  // One line goes out whole while the lock is held; O_APPEND keeps it at the end even when
  // another process appends to the same file. Errors are ignored (the log never fails).
  while (!raw.empty()) {
    ssize_t n = ::write(fd_, raw.data(), raw.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    raw.remove_prefix(static_cast<std::size_t>(n));
  }
}

void TLogFile::OpenLocked() {
  // 0600: the log holds the terminal's settings, the login names and the server addresses.
  auto open = [this] {
    int fd = ::open(fileName_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0600);
    openError_ = fd >= 0 ? 0 : errno;
    // A log made readable to others (or by an older version) is narrowed before a line goes
    // in; one that cannot be narrowed (another user's file) gets nothing. A device such as
    // /dev/stderr keeps its mode.
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) != 0600 &&
        ::fchmod(fd, 0600) != 0) {
      openError_ = errno;
      ::close(fd);
      fd = -1;
    }
    return fd;
  };
  fd_ = open();
  if (fd_ >= 0 || errno != ENOENT) return;
  // The default file lives in the program's folder, which may not exist yet on a fresh
  // machine; a folder chosen by the user is never created.
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(fileName_).parent_path();
  if (parent != std::filesystem::path(AbsolutePath(ProgramHome()))) return;
  std::filesystem::create_directories(parent, ec);
  if (!ec) fd_ = open();
}

void TLogFile::CloseLocked() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

TLogPortScope::TLogPortScope(std::string port) : previous_(std::exchange(tLogPort, std::move(port))) {}

TLogPortScope::~TLogPortScope() { tLogPort = std::move(previous_); }

std::string LogThreadPort() { return tLogPort; }

TLogFile& LogFile() {
  static TLogFile instance;
  return instance;
}

}  // namespace quorvel
