#pragma once

// The host's end of a simulator's pty for the tests, written with plain read/write.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace quorvel::sim::test {

// The host's end: the slave opened raw, non-blocking.
class HostPort {
 public:
  explicit HostPort(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
    tcflush(fd_, TCIOFLUSH);
  }
  ~HostPort() { Close(); }
  bool IsOpen() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  bool Write(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        if (poll(&p, 1, 5000) <= 0) return false;
      } else {
        return false;
      }
    }
    return true;
  }
  // Reads until the text received ends with `until`, the line hangs up, or timeoutMs pass.
  std::string ReadUntil(const std::string& until, int timeoutMs = 5000) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (got.size() < until.size() || got.compare(got.size() - until.size(), until.size(), until) != 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
              .count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) break;
      char buffer[4096];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) {
        hungUp = true;
        break;
      }
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  std::string Exchange(const std::string& line, const std::string& until = "OK\r\n") {
    Write(line + "\r\n");
    return ReadUntil(until);
  }

  bool hungUp = false;

 private:
  int fd_ = -1;
};

}  // namespace quorvel::sim::test
