#pragma once

#include "CommandDriver.h"
#include "ComPort.h"
#include "DriverStatus.h"
#include "SerialPort.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorvel {

/// One SIM slot of the terminal.
struct TSimCardRec {
  std::string Pin;       ///< PIN code, four digits (checked by the caller); never read back
  int SlotNumber = 1;    ///< 1 or 2
  std::string Apn;       ///< access point name, at most 50 characters
  std::string Login;     ///< at most 20 characters
  std::string Password;  ///< at most 20 characters when written
  bool Enabled = false;  ///< the slot is used
  bool Priority = false; ///< the slot has priority
  int Result = 0;        ///< result code of the last read (filled by the caller)
};

/// The answer of SMSTATE.
struct TDeviceStateRec {
  bool ModemStateValid = false;  ///< answer field 0 was a decimal integer
  int ModemState = 0;            ///< answer field 0 (0 when not valid)
  std::string QueuedPayments;    ///< answer field 2: payments waiting in the queue
  std::string FreePositions;     ///< answer field 3: free positions in that queue
  bool HasVoltage = false;       ///< answer field 4 is present and not empty
  double Voltage = 0;            ///< battery voltage, volts
  std::string VoltageText;       ///< "%.1f" of Voltage, or "нет данных" when the command failed
};

/// The files that go to the terminal in Base64 packets, each with its command and selector.
enum class TKeyFile {
  EasyPayKey,           ///< SMEASYPAY 1
  EasyPayCertificate,   ///< SMEASYPAY 2
  KrasplatKey,          ///< SMKRASPLAT 1
  KrasplatCertificate,  ///< SMKRASPLAT 2
  KrasplatCodeWord,     ///< SMKRASPLAT 3
  AbsolutplatCodeWord,  ///< SMABSOLUTPLAT 3
  EurofonCodeWord,      ///< SMEUROFON 3
};

/// The payment systems whose agent and device ids are written and read with selectors
/// 1/2 (write) and 4/5 (read).
enum class TAgentSystem {
  Absolutplat,  ///< SMABSOLUTPLAT
  Eurofon,      ///< SMEUROFON
  UbsPay,       ///< SMSPB
};

/// The two packet-transferred data files.
enum class TDataFile {
  Xml,        ///< SAVEXML / LOADXML
  PhoneBase,  ///< SAVEPHONEBASE / LOADPHONEBASE
};

/// Packet sizes of the transfers.
inline constexpr std::size_t kDataPacketSize = 256;    ///< bytes per SAVEXML/SAVEPHONEBASE packet
inline constexpr std::size_t kScriptPacketSize = 300;  ///< characters per SMSCRIPT packet
inline constexpr std::size_t kKeyPacketSize = 200;     ///< Base64 characters per key-file packet

/// Bounds of MaxRetryCount.
inline constexpr int kMinRetryCount = 1;
inline constexpr int kMaxRetryCount = 5;

/// Progress format of a retry: the operation's text and the attempt number (2 for the second).
inline constexpr const char* kRetryFmt = "%s, retry %d...";

/// The terminal driver: owns the device-link chain for one port (port object, status, port
/// clients, command driver with the one reused TCommand) and runs terminal commands with
/// retries. Every terminal command is one operation here; operations return the result code
/// and leave the judgement to the caller's check (CheckResult, CheckResultStrict, CheckData).
/// Text arguments and results are UTF-8; a text windows-1251 cannot hold raises
/// EEncodingError before anything is sent. Packet data (TDataFile) is bytes.
///
/// Errors every operation may raise: EDriverError 1005 when no complete reply came on the
/// last attempt (or the port went away during the command), EDriverError 1004 for a BREAK on
/// the line, Exception "Порт <path> недоступен" when the port cannot be opened.
///
/// Threads: one thread at a time uses a driver (the UI thread, or a search's worker thread);
/// only its port's receiving thread runs beside it. Status().SetText runs on that thread.
/// The stop request (RequestStop, ResetStop, StopRequested) is the exception: any thread, and
/// a signal handler, may use it while an operation runs.
class TModemDriver {
 public:
  /// MaxRetryCount 1; creates the port object (closed), the status, the port clients (the
  /// spare one first) and the command driver on the second client.
  TModemDriver();
  /// Closes the port first (its receiving thread must be gone before the objects its handlers
  /// call), then frees the command driver, the clients, the status and the port.
  ~TModemDriver();
  TModemDriver(const TModemDriver&) = delete;
  TModemDriver& operator=(const TModemDriver&) = delete;

  // ---- core ----

  /// Attempts per command, 1..5.
  int MaxRetryCount() const { return maxRetryCount_; }
  /// A different value is range-checked first ("MaxRetryCount, <v>. Допустимые значения:
  /// 1..5"); outside the range the old value stays.
  void SetMaxRetryCount(int value);

  /// COM port number of old settings (1..32; n is /dev/ttyS(n-1) unless a port name is set).
  int PortNumber() const;
  /// Another number closes the port; Exception "Неверный номер COM порта" outside 1..32.
  void SetPortNumber(int number);
  /// The device path set by the user (empty: derived from PortNumber).
  std::string PortName() const;
  /// Another path closes the port and is used from the next command on.
  void SetPortName(const std::string& path);
  /// The device path in use.
  std::string DevicePath() const;

  /// Closes the port (nothing when closed).
  void ClosePort();
  /// Opens the port when it is closed, then raises RTS.
  void EnsureOpen();
  /// Runs the command configured on Command(): EnsureOpen, the status text ProgressText +
  /// "...", then up to MaxRetryCount attempts; an attempt ending with 1005 or 1001 is
  /// repeated (status "<ProgressText>, retry <k>..."). Returns the last result; raises
  /// EDriverError with the no-link text and 1005 when the last attempt timed out, at once
  /// when the port went away (a dead port is not retried).
  int Run();

  /// Lenient: returns for 0, 8 and 1000; otherwise as CheckResultStrict.
  void CheckResult(int code) const;
  /// Raises EDriverError with the command's ResultText and the code when code is not 0 (a code
  /// that is not the command's own result gets ResultCodeText of it).
  void CheckResultStrict(int code) const;
  /// 0: true; 8: false; anything else raises as CheckResultStrict.
  bool CheckData(int code) const;
  /// code is 0.
  static bool Succeeded(int code) { return code == 0; }

  TComm& Comm() { return *comm_; }
  TDriverStatus& Status() { return *status_; }
  TSerialPorts& Ports() { return *ports_; }
  /// The first client of Ports, kept for other users (the debug page, the firmware writer).
  TSerialPort& SparePort() { return *sparePort_; }
  TCommandDriver& CommandDriver() { return *commandDriver_; }
  /// The one command reused by every operation.
  TCommand& Command() { return commandDriver_->Command(); }

  // ---- stopping a packet transfer ----

  /// Asks the packet transfers to stop: each checks the request before every packet and
  /// raises the silent abort (EAbort, kAbortMessage) instead of sending it. Packets already
  /// sent stay sent; a read returns nothing. The request stays until ResetStop, so every
  /// transfer started meanwhile stops before its first packet; single commands run as usual.
  /// Any thread; async-signal-safe (one lock-free atomic store).
  void RequestStop() noexcept { stopRequested_.store(true, std::memory_order_relaxed); }
  /// Withdraws the request. Any thread; async-signal-safe. Call it before an operation that
  /// may be stopped, not during one (a request made meanwhile would be lost).
  void ResetStop() noexcept { stopRequested_.store(false, std::memory_order_relaxed); }
  /// Whether a stop was requested and not withdrawn. Any thread; async-signal-safe.
  bool StopRequested() const noexcept { return stopRequested_.load(std::memory_order_relaxed); }

  // ---- identity, status and maintenance (answers marked "always" are copied whatever the
  // result: "нет данных" after 8 or 1000) ----

  /// WHWV (plain); always: hardware version. Sets no progress text of its own.
  int GetHardwareVersion(std::string& version);
  /// SMSN read; always: serial number.
  int GetSerialNumber(std::string& serial);
  /// SMSN write; the serial number goes unquoted (eight characters, checked by the caller).
  int SetSerialNumber(const std::string& serial);
  /// WDWL? (plain); always: loader version.
  int GetLoaderVersion(std::string& version);
  /// CGMI (plain); always: manufacturer.
  int GetManufacturer(std::string& text);
  /// CGMM (plain); always: model.
  int GetModel(std::string& text);
  /// CGMR (plain); always: operating system version.
  int GetModelVersion(std::string& text);
  /// CGSN (plain); always: factory number of the modem.
  int GetModemSerialNumber(std::string& text);
  /// CGSN waiting timeoutMs for the reply, asked once whatever MaxRetryCount says: a bench
  /// asks a port that may hold no terminal every second.
  int ProbeModemSerialNumber(std::string& text, int timeoutMs);
  /// CCLK? (plain, completes at the final OK); always: date and time.
  int GetDateTime(std::string& text);
  /// WDOP (plain); always: production date.
  int GetProductionDate(std::string& text);
  /// SMSNTERM; always: terminal number.
  int GetTerminalNumber(std::string& text);
  /// SMSTATE, timeout 1000 ms, into state (rules in the .cpp); the caller's values stay
  /// where the answer has nothing. EConvertError never: bad numbers mark the field invalid.
  int GetDeviceState(TDeviceStateRec& state);
  /// SMBACKLOAD: restore the current settings from the terminal's backup.
  int RestoreBackup();

  // ---- identifiers and keys ----

  /// SMGUID "CLIENT"/"SENDER"/"RECEIVER" with the GUID (36-character form, no braces);
  /// Exception "Неверное значение GUID" before anything is sent.
  int SetClientGuid(const std::string& guid);
  int SetSenderGuid(const std::string& guid);
  int SetReceiverGuid(const std::string& guid);
  /// SMRSA with one key component: part name (PUBMOD, PRTD, ...) and its value text.
  int SetRsaPart(const std::string& partName, const std::string& value);

  // ---- payment server ----

  /// SMSERV write: address and port (0..65535, checked by the caller).
  int SetServer(const std::string& address, int port);
  /// SMSERV read; always: address and port text.
  int GetServer(std::string& address, std::string& port);
  /// SMSERVERNAME 1, checksum not tested; always: server name.
  int GetServerName(std::string& name);
  /// SMSERVERNAME 2 with the name.
  int SetServerName(const std::string& name);
  /// SMTRYCOUNT? (plain); after 0: the count, 0 when the field is not a number.
  int GetTryCount(int& count);
  /// SMTRYCOUNT (plain) with the count.
  int SetTryCount(int count);

  // ---- SIM cards ----

  /// SMSIMSETUP write: slot, Enabled, Pin (unquoted), Apn, Login, Password, Priority.
  int SetSimCard(const TSimCardRec& card);
  /// SMSIMSETUP slot, 2: delete the slot.
  int DeleteSimCard(int slotNumber);
  /// SMSIMSETUP slot: Apn, Login, Password and both flags are cleared first (Pin untouched);
  /// after 0 they are filled (Apn cut to 50 characters, Login to 20). A missing flag field
  /// raises Exception "Неверный индекс параметра, <n>".
  int GetSimCard(TSimCardRec& card);

  // ---- receipt header and advertisement lines (1..10) ----

  /// SMHEADER read; after 0: line text (answer field 1).
  int GetHeaderLine(int lineNumber, std::string& text);
  /// SMHEADER write.
  int SetHeaderLine(int lineNumber, const std::string& text);
  /// SMREKLAM read; after 0: line text.
  int GetReklamLine(int lineNumber, std::string& text);
  /// SMREKLAM write.
  int SetReklamLine(int lineNumber, const std::string& text);

  // ---- fees (integers in hundredths) ----

  /// SMFEE 1: table, slot 1..10, maximum sum, fee type, fee value.
  int SetFee(int table, int slot, int maxSum, int feeType, int feeValue);
  /// SMFEE 0: after 0 the three values (EConvertError / index error for a bad answer).
  int GetFee(int table, int slot, int& maxSum, int& feeType, int& feeValue);
  /// SMFEESCHEME write.
  int SetFeeScheme(int table, int scheme);
  /// SMFEESCHEME read; after 0: scheme (EConvertError for a bad field).
  int GetFeeScheme(int table, int& scheme);

  // ---- active payment system ----

  /// GLOBALOP? (plain); after 0: the id, -1 when the field is not a number.
  int GetPaymentSystem(int& id);
  /// GLOBALOP (plain) with the id.
  int SetPaymentSystem(int id);

  // ---- payment-system settings ----

  /// SMCRSALEPOINT: dealer (SD), point (AP) and operator (OP) codes, unquoted.
  int SetCyberplatPoint(const std::string& dealer, const std::string& point, const std::string& op);
  /// SMCRSECSET: key code (quoted), rest of the identification line (unquoted), key body and
  /// password (quoted).
  int SetCyberplatSecretKey(const std::string& keyCode, const std::string& rest, const std::string& body,
                            const std::string& password);
  /// SMCRPUBSET: key code, rest of the identification line, key body.
  int SetCyberplatPublicKey(const std::string& keyCode, const std::string& rest, const std::string& body);
  /// EPCARD: card number and PIN.
  int SetEPortCard(const std::string& cardNumber, const std::string& pin);
  /// EPPOINT: point name.
  int SetEPortPoint(const std::string& pointName);
  /// XPCASSIR: point, login, password.
  int SetXPlatCashier(const std::string& point, const std::string& login, const std::string& password);
  /// XPKEY: secret key text.
  int SetXPlatKey(const std::string& keyText);
  /// OSMPPARAMS: login and password.
  int SetOsmpParams(const std::string& login, const std::string& password);
  /// OSMPID: terminal id.
  int SetOsmpId(const std::string& terminalId);
  /// One packet of a key-file upload (its command, selector, number and Base64 text).
  /// Used by WriteKeyFile; packetNumber from 1, the end mark has empty text.
  int SendKeyFilePacket(TKeyFile file, int packetNumber, std::string_view base64Text);
  /// SMKRASPLAT 4, 0: the device number of ПлатеЖКа.
  int SetKrasplatDeviceNumber(const std::string& deviceNumber);
  /// SMBERCUT 2: device id.
  int SetBercutDeviceId(const std::string& deviceId);
  /// Selector 1: agent id of the system.
  int SetAgentId(TAgentSystem system, const std::string& agentId);
  /// Selector 2: device id of the system.
  int SetDeviceId(TAgentSystem system, const std::string& deviceId);
  /// Selector 4; after 0: agent id.
  int GetAgentId(TAgentSystem system, std::string& agentId);
  /// Selector 5; after 0: device id.
  int GetDeviceId(TAgentSystem system, std::string& deviceId);
  /// SMSPB 3: the URL of UbsPay.
  int SetUbsPayUrl(const std::string& url);

  // ---- single packets (the loops below use them) ----

  /// SMSCRIPT 1: script number, packet number, packet text (windows-1251 bytes, quoted).
  int WriteScriptPacket(int scriptNumber, int packetNumber, std::string_view bytes);
  /// SMSCRIPT 2; after 0: the packet text (windows-1251 bytes): the answer up to its
  /// checksum without the enclosing quotes, so quotes and commas of the script survive.
  int ReadScriptPacket(int scriptNumber, int packetNumber, std::string& bytes);
  /// SAVEXML / SAVEPHONEBASE: packet number, byte count and the bytes in hexadecimal.
  int SaveDataPacket(TDataFile file, int packetNumber, std::string_view bytes);
  /// LOADXML / LOADPHONEBASE; after 0: field 3 decoded from hexadecimal and cut to the byte
  /// count of field 1 (Exception / EConvertError when that field is missing or not a number).
  int LoadDataPacket(TDataFile file, int packetNumber, std::string& bytes);

  // ---- packet transfers (every packet checked strictly: a failed packet raises
  // EDriverError and ends the transfer; packets already sent stay sent; a stop request
  // raises EAbort before the next packet, see RequestStop) ----

  /// Writes the data file: 256-byte packets from 0, at least one (an empty text sends packet
  /// 0 with count 0).
  void WriteDataFile(TDataFile file, std::string_view bytes);
  /// Reads the data file from packet 0 until a packet of fewer than 256 bytes. Nothing is
  /// returned when a packet fails (the error is raised).
  std::string ReadDataFile(TDataFile file);
  /// Writes script number scriptNumber: the UTF-8 text made ScriptWireText (nothing sent when
  /// it is refused), sent in 300-character packets from 1, then the empty end mark one past
  /// the last.
  void WriteScript(int scriptNumber, std::string_view utf8Text);
  /// Reads script number scriptNumber (UTF-8): packets from 1 until an empty packet or
  /// result 8; another failure raises.
  std::string ReadScript(int scriptNumber);
  /// Uploads the file's bytes as Base64 in 200-character packets from 1, then the empty end
  /// mark. Exception "Файл пустой" for an empty file (nothing sent).
  void WriteKeyFile(TKeyFile file, const std::string& fileName);
  /// As WriteKeyFile with the bytes in hand.
  void WriteKeyFileData(TKeyFile file, std::string_view bytes);

 private:
  /// Reset, name and form: the start of every operation.
  TCommand& Begin(const char* name, bool sequenced);
  /// ProgressText, then Run.
  int RunWith(const std::string& progressText);
  int ReadAlways(const char* name, bool sequenced, const char* progress, std::string& out);
  int SendGuid(const char* kind, const std::string& guid, const char* progress);
  int AgentCommand(TAgentSystem system, int selector, const std::string* value, std::string* out);
  [[noreturn]] void RaiseResult(int code) const;
  /// The silent abort when a stop was requested.
  void CheckStop() const;

  int maxRetryCount_ = 1;
  std::unique_ptr<TComm> comm_;
  std::unique_ptr<TDriverStatus> status_;
  std::unique_ptr<TSerialPorts> ports_;
  TSerialPort* sparePort_ = nullptr;
  std::unique_ptr<TCommandDriver> commandDriver_;
  // A signal handler may set it: it must never take a lock.
  std::atomic<bool> stopRequested_{false};
  static_assert(std::atomic<bool>::is_always_lock_free);
};

/// Raises EDriverError with the text and the result code.
[[noreturn]] void RaiseDriverError(const std::string& text, std::int64_t code);

/// The program version "major.minor.patch.tweak" of the build.
std::string FileVersionText();

/// The script text as it goes to the terminal (bytes in, bytes out): a pair of slashes
/// outside a comment starts a comment that lasts up to the next CR or LF; characters inside
/// a comment are dropped, and every CR and LF is dropped everywhere. Slashes inside quoted
/// strings start a comment too. Nothing else is touched.
std::string StripScriptText(std::string_view text);

/// The windows-1251 bytes a script goes to the terminal as: converted, StripScriptText, and a
/// TAB outside an apostrophe string turned into a blank (the script language reads it as
/// one). Raises Exception naming "Сценарий ввода <number>" and the character for a double
/// quote or a control code (0..31, DEL) left after that (a TAB inside a string among them), and
/// EEncodingError naming it too for a character windows-1251 cannot hold.
std::string ScriptWireText(std::int32_t scriptNumber, std::string_view utf8Text);

/// Standard Base64 (A-Z a-z 0-9 + /, "=" padding, no line breaks) of the bytes.
std::string DriverBase64(std::string_view bytes);

}  // namespace quorvel
