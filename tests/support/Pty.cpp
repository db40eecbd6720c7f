#include "Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace quorvel::test {

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

[[noreturn]] void Fail(const char* what) {
  throw std::runtime_error(std::string("pty: ") + what + ": " + std::system_category().message(errno));
}

}  // namespace

Pty::Pty() {
  const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Fail("posix_openpt");
  master_ = fd;
  char name[128];
  if (grantpt(fd) != 0) Fail("grantpt");
  if (unlockpt(fd) != 0) Fail("unlockpt");
  if (ptsname_r(fd, name, sizeof name) != 0) Fail("ptsname_r");
  slavePath_ = name;
  // On a pty master the termios calls act on the slave's settings: raw until the code under
  // test applies its own.
  termios t{};
  if (tcgetattr(fd, &t) != 0) Fail("tcgetattr");
  cfmakeraw(&t);
  if (tcsetattr(fd, TCSANOW, &t) != 0) Fail("tcsetattr");
  if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) Fail("fcntl");
}

Pty::~Pty() { CloseMaster(); }

bool Pty::Write(std::string_view data, int timeoutMs) {
  const int fd = master_.load();
  if (fd < 0) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n > 0) {
      data.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd p{fd, POLLOUT, 0};
    // A closed slave shows as POLLHUP without room: that write cannot finish either.
    if (poll(&p, 1, MsLeft(deadline)) <= 0 || (p.revents & POLLOUT) == 0) return false;
  }
  return true;
}

std::string Pty::Read(std::size_t count, int timeoutMs) {
  std::string got;
  const int fd = master_.load();
  if (fd < 0) return got;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[4096];
  while (got.size() < count) {
    const ssize_t n = ::read(fd, buf, std::min(sizeof buf, count - got.size()));
    if (n > 0) {
      got.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) break;  // EIO: the slave is closed
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, MsLeft(deadline)) <= 0) break;
    // POLLHUP without POLLIN: the slave is closed and nothing is left.
    if ((p.revents & POLLIN) == 0) break;
  }
  return got;
}

void Pty::CloseMaster() {
  const int fd = master_.exchange(-1);
  if (fd >= 0) close(fd);
}

}  // namespace quorvel::test
