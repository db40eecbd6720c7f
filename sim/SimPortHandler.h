#pragma once

#include <string>
#include <string_view>

namespace quorvel::sim {

/// The terminal's side of the line as a byte handler sees it. Calls are valid only on the
/// simulator's server thread, inside ISimPortHandler::Feed.
class ISimWire {
 public:
  virtual ~ISimWire() = default;

  /// Queues bytes for the host; they go out paced at the line rate, in order, after
  /// whatever was queued before.
  virtual void Send(std::string_view bytes) = 0;
  /// The next bytes queued go out no earlier than delayMs after the bytes queued so far.
  virtual void Pause(int delayMs) = 0;
  /// Appends a line to the simulator's log of received lines (raw bytes, no line end).
  virtual void LogReceivedLine(const std::string& line) = 0;
  /// Switches the byte handling back to the terminal's command mode (the bootloader's
  /// "go" command, for example). Takes effect for the next bytes received.
  virtual void LeaveBootloader() = 0;
  /// The simulated line rate in baud, 0 when unthrottled.
  virtual int BaudRate() const = 0;
};

/// A mode of the terminal's serial port: the command mode, or the ISP bootloader that a
/// separate unit provides through TTerminalSim::SetBootloaderFactory. The server feeds the
/// received bytes, paced at the line rate, in order.
/// Threads: every call comes from the server thread.
class ISimPortHandler {
 public:
  virtual ~ISimPortHandler() = default;

  /// Received bytes, in arrival order; replies go through wire.
  virtual void Feed(std::string_view bytes, ISimWire& wire) = 0;
};

}  // namespace quorvel::sim
