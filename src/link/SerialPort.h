#pragma once

#include "ComPort.h"
#include "LogMask.h"
#include "SerialPortInterface.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel {

class TSerialPorts;

/// One client of the shared port: it can be muted, has its own break, data and lost
/// handlers, and is the ISerialPort of whoever owns it. Writes made through it are logged.
/// Threads: the setters may run on any thread while the receiving thread delivers; a
/// delivery sees either the old or the new state, and once a setter returns the old handler
/// is neither running nor called again (unless the setter runs inside that handler).
class TSerialPort : public ISerialPort {
public:
  using TClientEvent = std::function<void(TSerialPort& sender)>;

  /// Created by TSerialPorts::AddPort only.
  TSerialPort(TSerialPorts& owner, TCustomComm& port);

  void Purge() override;
  void Open() override;
  void Close() override;
  void Write(std::string_view data) override;
  int GetBaudRate() const override;
  void SetBaudRate(int baudRate) override;
  void SetRTS(bool on) override;
  TDataEvent GetOnData() const override;
  void SetOnData(TDataEvent handler) override;

  /// The port is open.
  bool Connected() const;
  /// A client that is not active receives nothing (true on creation).
  bool Active() const;
  void SetActive(bool active);
  /// Called on a break on the line.
  void SetOnBreak(TClientEvent handler);
  /// Called once when the device goes away (cable pulled, other end closed).
  void SetOnLost(TClientEvent handler);
  /// The device path of the port (for messages).
  std::string DevicePath() const;

private:
  friend class TSerialPorts;
  TSerialPorts& owner_;
  TCustomComm& port_;
  bool active_ = true;
  TClientEvent onBreak_;
  TDataEvent onData_;
  TClientEvent onLost_;
};

/// The fan-out of one port to several clients: it takes the port's break, receive and error
/// callbacks, reads the received bytes, logs them ("<- ", secrets masked) and hands each chunk
/// to every active client with a data handler, in creation order.
/// Threads: AddPort and the clients' setters may run on any thread; deliveries run on the
/// port's receiving thread under one lock (recursive, so a handler may change handlers).
class TSerialPorts {
public:
  /// Registers its handlers as the port's OnBreak, OnRxChar and OnError. The port is not
  /// owned and must outlive this object; it must be closed when this object is created.
  explicit TSerialPorts(TCustomComm& port);
  ~TSerialPorts();
  TSerialPorts(const TSerialPorts&) = delete;
  TSerialPorts& operator=(const TSerialPorts&) = delete;

  /// A new client, owned here, appended at the end of the delivery order.
  TSerialPort& AddPort();
  /// Number of clients.
  std::size_t Count() const;
  /// The port.
  TCustomComm& Port() { return port_; }

private:
  friend class TSerialPort;
  void HandleBreak();
  void HandleRxChar(std::size_t count);
  void HandleError(unsigned errors);

  TCustomComm& port_;
  mutable std::recursive_mutex lock_;
  std::vector<std::unique_ptr<TSerialPort>> clients_;
  TLogLineMask rxLogMask_;  // the receiving thread's only
};

}  // namespace quorvel
