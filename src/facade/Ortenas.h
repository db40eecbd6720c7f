#pragma once

#include "ModemDriver.h"
#include "Prompt.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

class TAbsolutplat;
class TBercut;
class TCyberplat;
class TEasyPay;
class TEPort;
class TEurofon;
class TFeeTable;
class TFeeTables;
class TFees;
class TMasterPortProtocol;
class TOSMPProtocol;
class TPaymentSystem;
class TPrivateKey;
class TScriptDefs;
class TSimCard;
class TServerParams;
class TSimCards;
class TKrasplat;
class TUbsPay;
class TXPlat;

/// Texts of the facade's own messages and questions.
inline constexpr const char* kSerialNumberLengthMessage = "Серийный номер должен состоять из восьми цифр";
inline constexpr const char* kServerPortMessage = "Неверное значение порта сервера";
inline constexpr const char* kSimPinMessage = "PIN-код SIM-карты должен состоять из четырех цифр";
inline constexpr const char* kSimApnEmptyMessage = "Не введено имя точки доступа SIM-карты";
/// Followed by " (<length> > 50)".
inline constexpr const char* kSimApnTooLongMessage = "Слишком длинное имя точки доступа";
inline constexpr const char* kSimLoginLengthMessage = "Недопустимая длина имени пользователя";
inline constexpr const char* kSimPasswordLengthMessage = "Недопустимая длина пароля";
/// Pieces of the active-system question "<now> <name>.\r\n<make> <display name>?".
inline constexpr const char* kActiveSystemNowText = "Сейчас активна платежная система";
inline constexpr const char* kMakeActiveSystemText = "Сделать активной платежную систему";
/// The question asked before test settings overwrite the payment server parameters.
inline constexpr const char* kTestSettingsQuestion =
    "В файле содержатся тестовые настройки\r\nПараметры платежного сервера будут перезаписаны. Продолжить?";

/// Captions of the fields as their pages show them, for the messages of the wire checks.
inline constexpr const char* kServerAddressCaption = "IP-адрес сервера";
inline constexpr const char* kServerNameCaption = "WWW адрес сервера";
inline constexpr const char* kSimApnCaption = "Точка доступа, APN";
inline constexpr const char* kSimLoginCaption = "Имя пользователя";
inline constexpr const char* kSimPasswordCaption = "Пароль";
inline constexpr const char* kHeaderCaption = "Клише";
inline constexpr const char* kTrailerCaption = "Рекламный текст";
inline constexpr const char* kPrivateKeyCaption = "Закрытый ключ";

/// Limits of the SIM card values.
inline constexpr int kSimApnMaxLength = 50;
inline constexpr int kSimLoginMaxLength = 20;
inline constexpr int kSimPasswordMaxLength = 20;
/// Lines of the receipt header and of the advertisement trailer.
inline constexpr int kReceiptLineCount = 10;
/// Rates per fee table on the terminal.
inline constexpr int kTerminalFeeCount = 10;

/// The contents of the key, certificate and code-word files a payment system's page sends;
/// each is empty when the system has no such file.
struct TPaysysFileData {
  std::string Key;
  std::string Certificate;
  std::string CodeWord;
};

/// What ReadStatus collects for the status page. Strings start empty, numbers 0.
struct TOrtenaStatus {
  std::string Model;              ///< CGMM
  std::int32_t RetryCount = 0;    ///< SMTRYCOUNT? (0 when the terminal gives no value)
  std::string OsVersion;          ///< CGMR
  std::string SerialNumber;       ///< SMSN
  std::string LoaderVersion;      ///< WDWL?
  std::string HardwareVersion;    ///< WHWV
  std::string FactoryNumber;      ///< CGSN
  std::string Manufacturer;       ///< CGMI
  std::string DateTime;           ///< CCLK?
  std::string ProductionDate;     ///< WDOP
  std::string TerminalNumber;     ///< SMSNTERM
  std::int32_t ActiveSystem = 0;  ///< GLOBALOP? (0 when the terminal gives no value)
  TDeviceStateRec DeviceState;    ///< SMSTATE
  std::string SignalLevel;        ///< filled by no query; stays empty
  std::string ServerAddress;      ///< SMSERV, first field
  std::string ServerPort;         ///< SMSERV, second field as text
  TSimCardRec Sim1;               ///< SMSIMSETUP slot 1; Result holds the result code
  TSimCardRec Sim2;               ///< SMSIMSETUP slot 2; Result holds the result code
};

/// The terminal facade: the one object through which the program reads and writes the
/// terminal. Every operation runs its terminal commands one at a time through the owned
/// driver and judges each reply with one of the driver's checks (strict, data, lenient); a
/// failure raises EDriverError and commands already sent stay done (there is no rollback).
/// Validation messages are raised as Exception with the texts above; every value an operation
/// sends is checked (CheckWireText and the page's rules) before the operation's first command,
/// the active-system question included, so a refused value leaves the terminal untouched.
/// A No to a question raises the silent abort (EAbort).
/// Operations documented "clears the status" set the driver's status text to empty at their
/// end, on failure too.
/// Threads: one operation at a time, on the caller's thread; the driver's status may report
/// progress on its port thread (see TDriverStatus). RequestStop and ResetStop may run on any
/// thread and in a signal handler.
class TOrtena {
 public:
  /// Creates the driver (closed port, MaxRetryCount 1); no prompt, so questions answer No.
  TOrtena();
  ~TOrtena();
  TOrtena(const TOrtena&) = delete;
  TOrtena& operator=(const TOrtena&) = delete;

  // ---- the driver and the settings passed to it ----

  TModemDriver& Driver() { return *driver_; }
  /// The driver's progress text and its change handler.
  TDriverStatus& DriverStatus() { return driver_->Status(); }
  /// The driver's port clients (the firmware update uses the spare one).
  TSerialPorts& SerialPorts() { return driver_->Ports(); }
  /// Sets the status text to empty.
  void ClearStatus();
  /// Stops the packet transfer in progress before its next packet, and any started before
  /// ResetStop, with the silent abort (TModemDriver::RequestStop): data files, scripts, key
  /// files. Nothing a stopped read brought is stored. Any thread; async-signal-safe.
  void RequestStop() noexcept { driver_->RequestStop(); }
  /// Withdraws a stop request (TModemDriver::ResetStop). Any thread; async-signal-safe.
  void ResetStop() noexcept { driver_->ResetStop(); }

  std::string GetPortName() const;
  /// Another path closes the port; the next command opens the new one.
  void SetPortName(const std::string& path);
  int GetMaxRetryCount() const;
  /// 1..5; outside, the driver's range message and the old value stays.
  void SetMaxRetryCount(int value);

  /// The question interface (not owned; nullptr: every question is answered No).
  void SetPrompt(IPrompt* prompt) { prompt_ = prompt; }
  IPrompt* Prompt() const { return prompt_; }

  /// Base address of the support web server for UpdateScriptDefs; kDefaultSupportServer at
  /// creation.
  const std::string& SupportServer() const { return supportServer_; }
  void SetSupportServer(const std::string& address) { supportServer_ = address; }

  // ---- identity, active payment system, status ----

  /// SMSN, strict; the serial number. Clears the status.
  std::string ReadSerialNumber();
  /// CheckSerialNumber (nothing sent), then SMSN write, strict.
  void WriteSerialNumber(const std::string& serial);
  /// kSerialNumberLengthMessage unless the text is exactly eight digits.
  static void CheckSerialNumber(const std::string& serial);
  /// SMSN, lenient: the serial number, "нет данных" when the terminal has none.
  std::string QuerySerialNumber();
  /// WHWV, lenient: the hardware version, "нет данных" when the terminal has none.
  std::string QueryHardwareVersion();
  /// GLOBALOP?, strict; -1 for an answer that is not a whole number. Clears the status.
  std::int32_t ReadActiveSystem();
  /// GLOBALOP with the system's code, strict. Clears the status.
  void SetActiveSystem(const TPaymentSystem& system);
  /// GLOBALOP?, strict; when the terminal's code differs from the system's, asks
  /// "<kActiveSystemNowText> <name of the current code>.\r\n<kMakeActiveSystemText> <display
  /// name>?"; No raises the silent abort, Yes runs SetActiveSystem.
  void EnsureActiveSystem(const TPaymentSystem& system);
  /// Fills a fresh record: eleven lenient queries (WDWL?, CGMR, WHWV, CGSN, CGMM, CGMI, CCLK?,
  /// WDOP, SMSNTERM, SMSN, SMSERV; a tolerated failure stores "нет данных"), then GLOBALOP?,
  /// SMTRYCOUNT? and SMSTATE unchecked (a failure leaves 0), then both SIM slots lenient with
  /// their result codes. Raises only for a result the lenient check refuses or a timeout.
  void ReadStatus(TOrtenaStatus& status);
  TOrtenaStatus ReadStatus();

  // ---- payment server parameters ----

  /// EnsureActiveSystem; SMTRYCOUNT?, SMSERV, SMSERVERNAME with the data check; a present
  /// value replaces the model's (the retry count through its range-checked setter, the port
  /// converted with EConvertError for a non-number). Clears the status.
  void ReadServerParams(TPaymentSystem& system);
  /// CheckServerParams; EnsureActiveSystem; SMTRYCOUNT strict; SMSERV strict; SMSERVERNAME
  /// lenient. Clears the status.
  void WriteServerParams(const TPaymentSystem& system);
  /// kServerPortMessage for a port below 0 or above 65535.
  static void CheckServerPort(std::int32_t port);
  /// The address and the server name fit for the wire (CheckWireText), CheckServerPort.
  static void CheckServerParams(const TServerParams& params);

  // ---- SIM cards ----

  /// ReadSimCard for every card in list order. Clears the status.
  void ReadSimCards(TSimCards& cards);
  /// CheckSimCard for every card in use, then WriteSimCard for every card in list order.
  /// Clears the status.
  void WriteSimCards(const TSimCards& cards);
  /// SMSIMSETUP read, lenient; Pin becomes empty; an absent slot gives empty texts and both
  /// flags false.
  void ReadSimCard(TSimCard& card);
  /// Enabled: CheckSimCard, then SMSIMSETUP write, strict. Not enabled: the delete form,
  /// lenient, without validation.
  void WriteSimCard(const TSimCard& card);
  /// PIN of exactly four digits, APN not empty and at most 50 characters ("<message> (<n> >
  /// 50)"), login and password at most 20 characters, the three texts fit for the wire
  /// (CheckWireText); the first failure raises.
  static void CheckSimCard(const TSimCard& card);

  // ---- receipt header and advertisement trailer ----

  /// Lines 1..10 with the data check, stopping at the first absent one; each line without
  /// trailing blanks and followed by CR LF. Clears the status.
  std::string ReadHeader();
  std::string ReadTrailer();
  /// CheckLines, then exactly ten strict writes: the text's lines (CR LF, CR or LF end a
  /// line), empty lines for the rest, lines beyond the tenth ignored. Clears the status.
  void WriteHeader(const std::string& text);
  void WriteTrailer(const std::string& text);
  /// CheckWireText of each of the first ten lines, captioned "Клише, строка <n>" or
  /// "Рекламный текст, строка <n>".
  static void CheckLines(bool trailer, const std::string& text);

  // ---- fee tables ----

  /// ReadFeeTable for each table in order, clearing the status after each. The tables change
  /// only when all ten were read: an error leaves every one of them as it was.
  void ReadFeeTables(TFeeTables& tables);
  /// Checks the rates of every table (FeeWireValues), then WriteFeeTable for each table in
  /// order, clearing the status after each: a rate refused anywhere sends nothing at all.
  void WriteFeeTables(const TFeeTables& tables);
  /// SMFEESCHEME read with the data check (a present scheme replaces the table's), then
  /// ReadFees. Clears the status. The table changes only when all of it was read.
  void ReadFeeTable(TFeeTable& table);
  /// FeeWireValues of the rates (a refused rate sends nothing), SMFEESCHEME write, strict,
  /// then WriteFees. Clears the status.
  void WriteFeeTable(const TFeeTable& table);
  /// Clears the list, then reads indexes 1..10 with the data check; an absent index, a rate
  /// with sum or value not above 0, or a type other than 0 and 1 is skipped. Others are added
  /// through TFees::Add and TFee::SetValues (kopecks / 100, hundredths / 100), whose rule
  /// messages end the read (the failing rate stays with zero values).
  void ReadFees(std::int32_t tableNumber, TFees& fees);
  /// Indexes 1..10, strict each: the rate at that position (sum in kopecks, value in
  /// hundredths, both rounded halves to even) or sum 0, type 0, value 0 past the list's end.
  /// Every rate is checked and converted (FeeWireValues) before the first is sent.
  void WriteFees(std::int32_t tableNumber, const TFees& fees);

  /// One rate as the terminal takes it.
  struct TFeeWire {
    std::int32_t Sum = 0;  ///< kopecks
    std::int32_t Type = 0;
    std::int32_t Value = 0;  ///< hundredths
  };
  /// The ten rates of WriteFees for table tableNumber. Each rate must keep the rules of a rate
  /// (TFee::Check) and fit the wire's 32-bit integers (the range message otherwise); a rate
  /// that does not raises Exception kFeeRateErrorFmt naming the table, the rate's position and
  /// the reason ("Таблица 3, ставка 2: Неверный тип ставки комиссии, 7. ...").
  static std::vector<TFeeWire> FeeWireValues(std::int32_t tableNumber, const TFees& fees);

  // ---- data files (packet transfers; the status is left to the caller) ----

  /// SAVEXML packets; the text's bytes travel unchanged.
  void WriteXmlData(const std::string& bytes);
  /// LOADXML packets.
  std::string ReadXmlData();
  /// SAVEPHONEBASE packets.
  void WritePhoneBase(const std::string& bytes);
  /// LOADPHONEBASE packets.
  std::string ReadPhoneBase();

  // ---- scripts ----

  /// ScriptWireText of every script, then EnsureActiveSystem, then WriteScriptText for every
  /// script of the system in list order (the built-in ones too: each is only the end mark).
  /// Clears the status.
  void WriteScripts(const TPaymentSystem& system);
  /// EnsureActiveSystem, then ReadScriptText for every editable script of the system in list
  /// order, stored with SetText. The built-in scripts are neither read nor changed. Clears the
  /// status.
  void ReadScripts(TPaymentSystem& system);
  /// SMSCRIPT packets from 1 (data check) until an absent or empty one; the parts joined.
  std::string ReadScriptText(std::int32_t number);
  /// The text without comments and line breaks in 300-character SMSCRIPT packets from 1, then
  /// the empty end mark; strict each.
  void WriteScriptText(std::int32_t number, const std::string& text);

  // ---- payment systems that check the active system first (all clear the status) ----

  /// Check of the system, CheckSerialNumber and the three GUIDs; EnsureActiveSystem; when
  /// TestSettings is set asks kTestSettingsQuestion (No: silent abort, nothing written);
  /// WriteSerialNumber; SMGUID CLIENT, SENDER, RECEIVER (a value that
  /// is not a GUID stops there with "Неверное значение GUID"); SMRSA PUBMOD and PUBEXP of the
  /// server key; WritePrivateKey of the application key.
  void WriteMasterPort(const TMasterPortProtocol& system);
  /// WriteMasterPort's checks: the system's Check, CheckSerialNumber and the three GUIDs.
  static void CheckMasterPort(const TMasterPortProtocol& system);
  /// EnsureActiveSystem; SMBACKLOAD.
  void RestoreBackup(const TMasterPortProtocol& system);
  /// The system's Check; EnsureActiveSystem; SMCRSALEPOINT, SMCRSECSET (with Password),
  /// SMCRPUBSET.
  void WriteCyberplat(const TCyberplat& system);
  /// The system's Check; EnsureActiveSystem; EPCARD, EPPOINT.
  void WriteEPort(const TEPort& system);
  /// The system's Check; EnsureActiveSystem; XPCASSIR, XPKEY.
  void WriteXPlat(const TXPlat& system);
  /// The system's Check; EnsureActiveSystem (code 4 for OSMP and PegasOSMP alike);
  /// OSMPPARAMS, OSMPID.
  void WriteOSMP(const TOSMPProtocol& system);

  // ---- per-value operations (strict; no active-system check; the status is left) ----

  /// Every part fit for the wire ("Закрытый ключ"), then eight SMRSA commands: PRTMOD, PRTEXP,
  /// PRTP, PRTQ, PRTDP, PRTDQ, PRTIQ, PRTD.
  void WritePrivateKey(const TPrivateKey& key);
  /// Decodes the PEM text (its decoder's messages; nothing sent then), then WritePrivateKey.
  void WritePrivateKeyPem(const std::string& pemText);

  /// Key files go in Base64 parts of 200 characters from 1 and an empty end mark; a missing
  /// file raises its file error and an empty one "Файл пустой", before anything is sent.
  void WriteEasyPayKey(const std::string& fileName);
  void WriteEasyPayCertificate(const std::string& fileName);
  void WriteKrasplatKey(const std::string& fileName);
  void WriteKrasplatCertificate(const std::string& fileName);
  void WriteKrasplatCodeWord(const std::string& fileName);
  /// The whole pages of the systems without an active-system step: every file named is read
  /// and every value checked (the system's Check* rules) before the first command, then the
  /// page's order: EasyPay key, certificate; Krasplat key, certificate, code word, device
  /// number; Absolutplat and Eurofon code word, device id, agent id; UbsPay URL, device id,
  /// agent id. An empty file name is the file error of ReadFileText. Clear the status.
  void WriteEasyPay(const TEasyPay& system);
  void WriteKrasplat(const TKrasplat& system);
  void WriteAbsolutplat(const TAbsolutplat& system);
  void WriteEurofon(const TEurofon& system);
  void WriteUbsPay(const TUbsPay& system);
  /// The same writes with the files' contents given instead of read (a profile carries them):
  /// the same checks and commands in the same order.
  void WriteEasyPay(const TEasyPay& system, const TPaysysFileData& files);
  void WriteKrasplat(const TKrasplat& system, const TPaysysFileData& files);
  void WriteAbsolutplat(const TAbsolutplat& system, const TPaysysFileData& files);
  void WriteEurofon(const TEurofon& system, const TPaysysFileData& files);
  /// The files the page of system names, read now (ReadFileText's errors): EasyPay key and
  /// certificate; Krasplat key, certificate and code word; Absolutplat and Eurofon code word;
  /// nothing for the other systems. skipUnnamed: a file the page names no file for is empty
  /// instead of an error.
  static TPaysysFileData ReadPaysysFiles(const TPaymentSystem& system, bool skipUnnamed = false);
  /// WriteBercutDeviceID with the system's DeviceID. Clears the status.
  void WriteBercut(const TBercut& system);
  /// The pages' reads: the agent id, then the device id (strict each). The system takes both
  /// only when both were read, so a failure half way leaves it as it was. Clear the status.
  void ReadAbsolutplat(TAbsolutplat& system);
  void ReadEurofon(TEurofon& system);
  void ReadUbsPay(TUbsPay& system);

  /// The per-value writes below check their value first (the system's Check* rule).
  /// SMKRASPLAT 4 with part number 0 and no end mark.
  void WriteKrasplatDeviceID(const std::string& deviceId);
  /// SMBERCUT 2.
  void WriteBercutDeviceID(const std::string& deviceId);

  void WriteAbsolutplatAgentID(const std::string& agentId);
  void WriteAbsolutplatDeviceID(const std::string& deviceId);
  void WriteAbsolutplatCodeWord(const std::string& fileName);
  std::string ReadAbsolutplatAgentID();
  std::string ReadAbsolutplatDeviceID();

  void WriteEurofonAgentID(const std::string& agentId);
  void WriteEurofonDeviceID(const std::string& deviceId);
  void WriteEurofonCodeWord(const std::string& fileName);
  std::string ReadEurofonAgentID();
  std::string ReadEurofonDeviceID();

  void WriteUbsPayAgentID(const std::string& agentId);
  void WriteUbsPayDeviceID(const std::string& deviceId);
  void WriteUbsPayURL(const std::string& url);
  std::string ReadUbsPayAgentID();
  std::string ReadUbsPayDeviceID();

  // ---- support-server updates (no terminal command, no status change) ----

  /// Replaces the system's editable scripts with the list at its GetScriptsURL (the built-in
  /// ones stay); the XML reader's errors when the address cannot be read.
  void UpdateScripts(TPaymentSystem& system);
  /// Loads the definitions from SupportServer() + "/ortena/otscripts.xml"; on an error the set
  /// is left unchanged.
  void UpdateScriptDefs(TScriptDefs& defs);

 private:
  /// Asks the prompt; false without one.
  bool Ask(const std::string& question);
  /// SMSIMSETUP read of one slot, lenient.
  void ReadSimRecord(std::int32_t slotNumber, TSimCardRec& rec);
  /// The record's values into the card; the PIN becomes empty (the terminal never tells it).
  static void TakeSimRecord(TSimCard& card, const TSimCardRec& rec);
  std::string ReadLines(bool trailer);
  void WriteLines(bool trailer, const std::string& text);

  std::unique_ptr<TModemDriver> driver_;
  IPrompt* prompt_ = nullptr;
  std::string supportServer_;
};

/// The program's one facade, created on the first call; lives to the end of the program.
TOrtena& Facade();

}  // namespace quorvel
