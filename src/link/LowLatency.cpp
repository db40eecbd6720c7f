#include "LowLatency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace quorvel {

namespace {

int GetSerialInfo(int fd, serial_struct* info) { return ::ioctl(fd, TIOCGSERIAL, info); }
int SetSerialInfo(int fd, const serial_struct* info) { return ::ioctl(fd, TIOCSSERIAL, info); }

}  // namespace

TSerialInfoCalls SystemSerialInfoCalls() { return {&GetSerialInfo, &SetSerialInfo}; }

bool RequestLowLatency(int fd, const TSerialInfoCalls& calls) {
  const int savedErrno = errno;
  serial_struct info{};
  bool on = false;
  if (calls.Get(fd, &info) == 0) {
    on = (info.flags & ASYNC_LOW_LATENCY) != 0;
    if (!on) {
      info.flags |= ASYNC_LOW_LATENCY;
      on = calls.Set(fd, &info) == 0;
    }
  }
  errno = savedErrno;
  return on;
}

}  // namespace quorvel
