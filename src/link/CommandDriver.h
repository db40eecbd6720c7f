#pragma once

#include "Command.h"
#include "SerialPort.h"

#include <atomic>
#include <memory>
#include <string_view>

namespace quorvel {

/// Binds one TCommand to one port client: writes command lines, feeds received data into the
/// command and remembers a break on the line.
/// Threads: Send and Execute run on the caller's thread; the break, data and lost handlers
/// run on the port's receiving thread.
class TCommandDriver {
public:
  /// Takes over the client's break, data and lost handlers. The client must outlive this.
  explicit TCommandDriver(TSerialPort& client);
  ~TCommandDriver();
  TCommandDriver(const TCommandDriver&) = delete;
  TCommandDriver& operator=(const TCommandDriver&) = delete;

  /// The one command reused for every exchange (its sequence number runs on).
  TCommand& Command() { return *command_; }
  /// The client the driver writes through.
  TSerialPort& Client() { return client_; }

  /// When a break was seen since the last check: clears it and raises EDriverError
  /// "Линия находится в состоянии BREAK" with code 1004.
  void CheckBreak();
  /// CheckBreak, then writes line + CR LF through the client (logged there). Write failures
  /// of the port propagate.
  void Send(std::string_view line);
  /// Sends the command's CommandLine and waits for its result (WaitResult); returns the code.
  int Execute();

private:
  TSerialPort& client_;
  std::unique_ptr<TCommand> command_;
  std::atomic<bool> breakPending_{false};
};

/// Format of the result text when the device goes away during an exchange (port path).
inline constexpr const char* kPortLostFmt = "Связь с устройством потеряна: порт %s закрыт (устройство отключено?)";

}  // namespace quorvel
