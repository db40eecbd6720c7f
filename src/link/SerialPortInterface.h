#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quorvel {

/// A client's view of the serial port, through which a protocol layer (the ISP bootloader
/// protocol) drives the line without knowing the classes behind it.
/// Threads: Purge, Open, Close, Write, baud rate, RTS and SetOnData run on the caller's
/// thread; the data handler runs on the port's receiving thread.
class ISerialPort {
public:
  /// Called with every received chunk, in arrival order, on the receiving thread.
  using TDataEvent = std::function<void(ISerialPort& sender, const std::string& data)>;

  virtual ~ISerialPort() = default;

  /// Discards received bytes not yet delivered.
  virtual void Purge() = 0;
  /// Opens the port (nothing when open); raises Exception when the device is unavailable.
  virtual void Open() = 0;
  /// Closes the port (nothing when closed).
  virtual void Close() = 0;
  /// Logs "-> " and the data as a debug line, then writes the bytes.
  virtual void Write(std::string_view data) = 0;
  /// Bits per second of the port.
  virtual int GetBaudRate() const = 0;
  /// Applies a new rate at once when open.
  virtual void SetBaudRate(int baudRate) = 0;
  /// Raises or lowers RTS; raises "COM порт не открыт" when closed.
  virtual void SetRTS(bool on) = 0;
  /// The current data handler (may be empty).
  virtual TDataEvent GetOnData() const = 0;
  /// Replaces the data handler; an empty handler detaches it. When this returns, the old
  /// handler is not running and will not be called again.
  virtual void SetOnData(TDataEvent handler) = 0;
};

}  // namespace quorvel
