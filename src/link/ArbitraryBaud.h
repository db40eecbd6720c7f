#pragma once

namespace quorvel {

/// Sets both directions of the open terminal device fd to rate bits per second through the
/// kernel's arbitrary-rate interface (termios2 with BOTHER), for the rates termios has no
/// constant for (7200, 14400, 28800). Returns 0, or the errno of the refusal; EINVAL also when
/// the driver took another rate instead (it rounds to what its clock can make).
int SetArbitraryBaudRate(int fd, int rate);

/// The output rate the device has now in bits per second, or -1 with errno set.
int GetArbitraryBaudRate(int fd);

}  // namespace quorvel
