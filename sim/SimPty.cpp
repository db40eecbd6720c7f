#include "SimPty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "Errors.h"

namespace quorvel::sim {

namespace {

[[noreturn]] void Fail(const char* call) {
  throw Exception(std::string("Simulator pty: ") + call + ": " + std::strerror(errno));
}

void MakeRaw(int fd) {
  termios tio{};
  if (tcgetattr(fd, &tio) != 0) return;  // some pty masters refuse; the slave side decides
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tcsetattr(fd, TCSANOW, &tio);
}

}  // namespace

TSimPty::TSimPty() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (master_ < 0) Fail("posix_openpt");
  std::array<char, 128> name{};
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name.data(), name.size()) != 0) {
    const int saved = errno;
    close(master_);
    errno = saved;
    Fail("grantpt/unlockpt/ptsname");
  }
  slavePath_ = name.data();
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (slave_ < 0) {
    const int saved = errno;
    close(master_);
    errno = saved;
    Fail("open slave");
  }
  MakeRaw(master_);
  MakeRaw(slave_);
}

TSimPty::~TSimPty() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
}

void TSimPty::Flush() {
  tcflush(master_, TCIOFLUSH);
  tcflush(slave_, TCIOFLUSH);
}

}  // namespace quorvel::sim
