#include "FileText.h"

#include "Errors.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

}  // namespace

std::string ReadFileText(const std::string& fileName) {
  Fd fd(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) RaiseFileError("Не удалось открыть файл", fileName, errno);
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError("Ошибка чтения файла", fileName, errno);
    }
    if (n == 0) break;
    data.append(buf, static_cast<std::size_t>(n));
  }
  if (data.empty()) throw Exception(kEmptyFileMessage);
  return data;
}

void WriteFileText(const std::string& fileName, std::string_view text) {
  std::string tmp = fileName + ".XXXXXX";
  Fd fd(::mkstemp(tmp.data()));
  if (fd.get() < 0) RaiseFileError("Не удалось создать файл", tmp, errno);
  auto fail = [&](const char* what, int err) {
    ::unlink(tmp.c_str());
    RaiseFileError(what, fileName, err);
  };
  // Keep the permissions of the file being replaced; a new file gets the usual 0666 & ~umask.
  struct stat st {};
  mode_t mode;
  if (::stat(fileName.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd.get(), mode);
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t n = ::write(fd.get(), p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail("Ошибка записи файла", errno);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0) fail("Ошибка записи файла", errno);
  if (::close(fd.release()) != 0) fail("Ошибка записи файла", errno);
  if (::rename(tmp.c_str(), fileName.c_str()) != 0) fail("Ошибка записи файла", errno);
  // Make the rename itself durable.
  Fd dir(::open(DirectoryOf(fileName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace quorvel
