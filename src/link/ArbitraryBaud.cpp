// Kept apart from the termios code: <asm/termbits.h> and <termios.h> define the same names and
// cannot share a translation unit.
#include "ArbitraryBaud.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace quorvel {

int SetArbitraryBaudRate(int fd, int rate) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return errno;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = static_cast<speed_t>(rate);
  t.c_ospeed = static_cast<speed_t>(rate);
  if (ioctl(fd, TCSETS2, &t) != 0) return errno;
  struct termios2 applied {};
  if (ioctl(fd, TCGETS2, &applied) != 0) return errno;
  // A driver may round to the nearest rate its clock divides to; within 2 % a UART still
  // frames bytes, beyond that the line would be garbage.
  const long got = static_cast<long>(applied.c_ospeed);
  const long diff = got > rate ? got - rate : rate - got;
  return diff * 50 <= rate ? 0 : EINVAL;
}

int GetArbitraryBaudRate(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return -1;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace quorvel
