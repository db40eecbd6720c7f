#pragma once

struct serial_struct;

namespace quorvel {

/// The two driver calls RequestLowLatency makes (TIOCGSERIAL, TIOCSSERIAL): 0 or -1 with
/// errno, as ioctl returns. Tests put fakes in.
struct TSerialInfoCalls {
  int (*Get)(int fd, serial_struct* info);
  int (*Set)(int fd, const serial_struct* info);
};

/// The calls of the running kernel.
TSerialInfoCalls SystemSerialInfoCalls();

/// Asks the tty driver behind fd to hand received bytes on at once (ASYNC_LOW_LATENCY): a
/// USB serial adapter otherwise holds them back up to its latency timer (16 ms on FTDI
/// parts), and a dialogue of short lines waits that long for every answer. True when the
/// flag is on afterwards (also when it was on already, then nothing is set). False, silently
/// and with nothing changed, when the driver has no such setting or refuses it (a
/// pseudo-terminal, a plain UART without it: ENOTTY, EINVAL, EPERM, ...); the port then works
/// as before. Never raises; errno is kept.
bool RequestLowLatency(int fd, const TSerialInfoCalls& calls = SystemSerialInfoCalls());

}  // namespace quorvel
