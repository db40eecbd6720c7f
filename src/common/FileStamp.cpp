#include "FileStamp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string_view>

namespace quorvel {

TFileStamp TFileStamp::Of(const std::string& fileName) {
  TFileStamp stamp;
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno != ENOENT) stamp.State = TState::Unreadable;
    return stamp;
  }
  stamp.State = TState::Unreadable;
  struct stat st {};
  // A folder or a device where the file should be is not a file another program wrote.
  std::string bytes;
  bool readAll = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  char buf[65536];
  while (readAll) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) readAll = false;
    if (n <= 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!readAll) return stamp;
  stamp.State = TState::Present;
  stamp.Size = bytes.size();
  // The stamps never leave the process, so the library's own hash is good enough; the length
  // beside it makes an accidental match of two different files still less likely.
  stamp.Hash = std::hash<std::string_view>{}(bytes);
  return stamp;
}

}  // namespace quorvel
