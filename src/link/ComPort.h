#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class TCommEventThread;

/// Line events a port can report (bit order of the event set).
enum class TCommEvent : unsigned {
  Break = 0,
  Cts = 1,
  Dsr = 2,
  Error = 3,
  Ring = 4,
  Rlsd = 5,
  RxChar = 6,
  RxFlag = 7,
  TxEmpty = 8,
};

/// Error flags passed to OnError.
enum TCommErrorFlags : unsigned {
  kCommErrFrame = 0x0008,    ///< framing error on a received byte
  kCommErrOverrun = 0x0002,  ///< the device reported an overrun
  kCommErrLost = 0x10000,    ///< the device went away (USB adapter pulled, other end of a pty closed)
};

/// Special characters of the line settings; kept for completeness, the program never
/// changes them. Setting one on an open port re-applies the settings.
struct TCommEventChars {
  char XonChar = 17;
  char XoffChar = 19;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

/// A serial port on a POSIX tty (a real device or a pseudo-terminal): raw 8N1, no flow
/// control, DTR and RTS low after open, BREAK detected in-band.
///
/// Threads: Open, Close, Write, SetRTS, SetBaudRate, SetPort, SetPortName and PurgeInput run
/// on the caller's thread (one at a time). The handlers run on the port's receiving thread;
/// Read is meant to be called from OnRxChar on that thread. Assign the handlers before Open.
/// Close must not be called from the receiving thread.
class TCustomComm {
public:
  using TNotifyEvent = std::function<void(TCustomComm& sender)>;
  /// count: bytes waiting to be read with Read.
  using TRxCharEvent = std::function<void(TCustomComm& sender, std::size_t count)>;
  /// errors: TCommErrorFlags.
  using TErrorEvent = std::function<void(TCustomComm& sender, unsigned errors)>;

  TCustomComm();
  virtual ~TCustomComm();
  TCustomComm(const TCustomComm&) = delete;
  TCustomComm& operator=(const TCustomComm&) = delete;

  /// Opens the device: realpath, open(O_NOCTTY|O_NONBLOCK), flock + TIOCEXCL for exclusive
  /// use, raw 8N1, DTR and RTS cleared, queues flushed, the driver asked for low latency
  /// (RequestLowLatency; a device without it opens all the same); starts the receiving thread. Does
  /// nothing when already open; after the device went away it closes first and opens anew.
  /// Raises Exception "Порт <path> недоступен: <why>" when the device does not exist
  /// (kPortNoDevice), is not a terminal device (kPortNotTerminal), is held by another program
  /// (kPortBusy) or may not be opened by this user (kPortNoPermissionFmt with the device's
  /// group), other system errors giving the system's text; and Exception with the system's
  /// reason when the line settings fail; the port then stays closed.
  void Open();
  /// Stops the receiving thread and closes the device, also after the device went away.
  /// Does nothing when closed. Not on the receiving thread (raises std::logic_error there).
  void Close();
  /// True while the device is open and has not gone away. Any thread.
  bool Connected() const;

  /// COM port number 1..32 of old settings; n maps to /dev/ttyS(n-1) unless a PortName is set.
  int Port() const { return port_; }
  /// Same number: nothing; outside 1..32: Exception "Неверный номер COM порта" (the number is
  /// kept); otherwise Close, store the number and clear PortName.
  void SetPort(int port);
  /// The device path in use: PortName when set, else /dev/ttyS(Port-1).
  std::string DevicePath() const;
  /// The device path set by the user (empty: derived from Port).
  const std::string& PortName() const { return portName_; }
  /// Same path: nothing; otherwise Close and store it.
  void SetPortName(const std::string& path);

  /// Bits per second (default 115200).
  int BaudRate() const { return baudRate_; }
  /// A different value is stored and, when open, applied at once without reopening (after
  /// the device went away it is only stored, for the next Open). Raises Exception for a rate
  /// the system does not support, or the device does not take; the old value stays then.
  void SetBaudRate(int baudRate);

  const TCommEventChars& EventChars() const { return eventChars_; }
  void SetEventChars(const TCommEventChars& chars);

  /// How long Read waits for the requested bytes, ms (default 1000).
  int ReadTimeout() const { return readTimeout_; }
  void SetReadTimeout(int ms) { readTimeout_ = ms; }

  /// Writes all bytes (empty data: nothing, also when closed) under the I/O lock, waiting for
  /// room at most 10 ms per byte + 100 ms. Raises "COM порт не открыт" on a closed port,
  /// "Порт <path> недоступен" when the device went away, and Exception with the system's
  /// reason when the write fails or times out.
  void Write(std::string_view data);
  /// Bytes written to the device since the object was made, over every port it opened.
  /// Any thread.
  std::uint64_t BytesWritten() const { return bytesWritten_.load(); }
  /// Takes up to count received bytes from the port's receive queue (count 0: empty, also
  /// when closed). When the queue is empty it waits at most ReadTimeout for data and then
  /// returns what it has, possibly nothing; on the receiving thread it does not wait.
  /// Raises "COM порт не открыт" on a closed port and "Порт <path> недоступен" when the
  /// device went away and nothing is left. It never waits for Write (see Lock).
  std::string Read(std::size_t count);
  /// Discards received bytes not yet read (the device's and the receive queue). Nothing when
  /// closed.
  void PurgeInput();
  /// Raises (true) or lowers RTS. "COM порт не открыт" when closed, "Порт <path> недоступен"
  /// when the device went away; a no-op on a pseudo-terminal, which has no modem lines.
  void SetRTS(bool on);
  /// Applies the line settings to the open device; nothing when closed or gone. Raises
  /// Exception with the system's reason, or for a speed the device did not take.
  void ApplySettings();

  /// The I/O lock that serialises writes; hold it to keep several Writes together. Read does
  /// not take it: it only takes bytes from the receive queue, and a receiving thread held up
  /// behind a slow write would stop draining the device. Do not Close while holding it.
  void Lock() { ioLock_.lock(); }
  void Unlock() { ioLock_.unlock(); }

  /// A BREAK was received. Receiving thread.
  TNotifyEvent OnBreak;
  TNotifyEvent OnCts;
  TNotifyEvent OnDsr;
  /// kCommErrFrame: the next received byte had a framing error (it is still delivered).
  /// kCommErrLost: the device went away; called once, after Connected() turned false and
  /// the receiving thread stopped reading. Receiving thread.
  TErrorEvent OnError;
  TNotifyEvent OnRing;
  TNotifyEvent OnRlsd;
  /// count bytes wait in the receive queue; the handler takes them with Read. When it leaves
  /// some, it is called again with the rest; when it takes none, again only when more bytes
  /// arrive. Unassigned: the bytes wait for Read. Receiving thread.
  TRxCharEvent OnRxChar;
  TNotifyEvent OnRxFlag;
  TNotifyEvent OnTxEmpty;

private:
  friend class TCommEventThread;
  struct Impl;

  // Called by the receiving thread: decodes a chunk read from the device and runs the
  // handlers; reports the device gone once.
  void Dispatch(TCommEventThread& thread, std::string_view raw);
  void DeliverRxChar(TCommEventThread& thread);
  void DeviceLost(TCommEventThread& thread, const std::string& reason);

  void OpenDevice();
  /// Raises "COM порт не открыт" when closed, "Порт <path> недоступен" when the device went away.
  void CheckUsable() const;
  [[noreturn]] void RaiseSystemError(const char* operation, int error) const;

  std::unique_ptr<Impl> impl_;
  std::recursive_mutex ioLock_;
  std::atomic<std::uint64_t> bytesWritten_{0};
  int port_ = 1;
  std::string portName_;
  int baudRate_ = 115200;
  int readTimeout_ = 1000;
  TCommEventChars eventChars_;
};

/// The concrete port the driver creates.
class TComm : public TCustomComm {};

/// One serial device of the system.
struct TComPortInfo {
  std::string Name;         ///< short name, e.g. ttyUSB0
  std::string Path;         ///< device path, e.g. /dev/ttyUSB0
  std::string Description;  ///< readable name from /dev/serial/by-id, or empty
  int Number = 0;           ///< number attached for lists (ttySn: n+1; others count on after them)
};

/// The serial devices the system has (sysfs /sys/class/tty entries backed by a device,
/// with /dev/serial/by-id names), sorted by Number ascending. Rules in ComEnum.h: only the
/// ttyS numbers map back to a device through SetPort; select the others by Path.
std::vector<TComPortInfo> EnumComPorts();

/// Message texts of the port.
inline constexpr const char* kBadPortNumber = "Неверный номер COM порта";
inline constexpr const char* kPortNotOpen = "COM порт не открыт";
/// Format of "port unavailable" with the device path.
inline constexpr const char* kPortUnavailableFmt = "Порт %s недоступен";
/// Why an open failed; follows kPortUnavailableFmt after ": ".
inline constexpr const char* kPortNoDevice = "нет такого устройства";
inline constexpr const char* kPortNotTerminal = "это не последовательный порт";
inline constexpr const char* kPortBusy = "порт занят другой программой";
/// With the group of the device (kSerialGroup when it cannot be told).
inline constexpr const char* kPortNoPermissionFmt =
    "нет прав доступа (добавьте пользователя в группу %s и войдите в систему заново)";
/// The group that owns the serial devices on common Linux systems.
inline constexpr const char* kSerialGroup = "dialout";

/// Baud rates offered for the firmware update, fastest first.
inline constexpr std::array<int, 8> kFirmwareBaudRates = {230400, 115200, 57600, 38400, 19200, 9600, 4800, 2400};

}  // namespace quorvel
