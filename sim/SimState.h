#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quorvel::sim {

/// One SIM slot of the simulated terminal. An absent slot (`Present` false) is answered
/// with code 8 when read.
struct TSimSlot {
  bool Present = false;
  bool Enabled = false;
  std::string Pin;       ///< four digits
  std::string Apn;       ///< UTF-8
  std::string Login;     ///< UTF-8
  std::string Password;  ///< UTF-8
  bool Priority = false;
};

/// One rate of a fee table, in the wire units: kopecks for the sum, hundredths for the value.
struct TSimFeeRate {
  std::int32_t MaxSum = 0;
  std::int32_t Type = 0;
  std::int32_t Value = 0;
};

/// One fee table: its scheme and ten rate positions (index 0 is position 1). An unset
/// scheme or position is answered with code 8.
struct TSimFeeTable {
  std::optional<std::int32_t> Scheme;
  std::array<std::optional<TSimFeeRate>, 10> Rates;
};

/// Keys of TSimState::Credentials: the values the payment-system commands write, one key
/// per field, named "<command>.<field>".
namespace cred {
inline constexpr const char* kCyberSD = "SMCRSALEPOINT.SD";
inline constexpr const char* kCyberAP = "SMCRSALEPOINT.AP";
inline constexpr const char* kCyberOP = "SMCRSALEPOINT.OP";
inline constexpr const char* kSecKeyCode = "SMCRSECSET.KeyCode";
inline constexpr const char* kSecKeyRest = "SMCRSECSET.KeyRest";
inline constexpr const char* kSecKey = "SMCRSECSET.Key";
inline constexpr const char* kSecPassword = "SMCRSECSET.Password";
inline constexpr const char* kPubKeyCode = "SMCRPUBSET.KeyCode";
inline constexpr const char* kPubKeyRest = "SMCRPUBSET.KeyRest";
inline constexpr const char* kPubKey = "SMCRPUBSET.Key";
inline constexpr const char* kEPortCardNumber = "EPCARD.CardNumber";
inline constexpr const char* kEPortCardPin = "EPCARD.CardPin";
inline constexpr const char* kEPortPoint = "EPPOINT.Point";
inline constexpr const char* kXPlatPoint = "XPCASSIR.Point";
inline constexpr const char* kXPlatLogin = "XPCASSIR.Login";
inline constexpr const char* kXPlatPassword = "XPCASSIR.Password";
inline constexpr const char* kXPlatKey = "XPKEY.Key";
inline constexpr const char* kOsmpLogin = "OSMPPARAMS.Login";
inline constexpr const char* kOsmpPassword = "OSMPPARAMS.Password";
inline constexpr const char* kOsmpTerminalId = "OSMPID.TerminalID";
inline constexpr const char* kKrasplatDeviceId = "SMKRASPLAT.DeviceID";
inline constexpr const char* kBercutDeviceId = "SMBERCUT.DeviceID";
inline constexpr const char* kAbsolutplatAgentId = "SMABSOLUTPLAT.AgentID";
inline constexpr const char* kAbsolutplatDeviceId = "SMABSOLUTPLAT.DeviceID";
inline constexpr const char* kEurofonAgentId = "SMEUROFON.AgentID";
inline constexpr const char* kEurofonDeviceId = "SMEUROFON.DeviceID";
inline constexpr const char* kUbsPayAgentId = "SMSPB.AgentID";
inline constexpr const char* kUbsPayDeviceId = "SMSPB.DeviceID";
inline constexpr const char* kUbsPayUrl = "SMSPB.URL";
}  // namespace cred

/// Keys of TSimState::Files: the files received in Base64 parts, "<command>.<selector>".
namespace files {
inline constexpr const char* kEasyPayKey = "SMEASYPAY.1";
inline constexpr const char* kEasyPayCertificate = "SMEASYPAY.2";
inline constexpr const char* kKrasplatKey = "SMKRASPLAT.1";
inline constexpr const char* kKrasplatCertificate = "SMKRASPLAT.2";
inline constexpr const char* kKrasplatCodeWord = "SMKRASPLAT.3";
inline constexpr const char* kAbsolutplatCodeWord = "SMABSOLUTPLAT.3";
inline constexpr const char* kEurofonCodeWord = "SMEUROFON.3";
}  // namespace files

/// Everything the simulated terminal keeps. Texts are UTF-8 (the terminal converts them
/// to and from windows-1251 at the wire); XmlData, PhoneBase and Files are raw bytes.
/// An empty text or an unset optional is "no data": reading it is answered with code 8.
/// A plain value type: copy it freely.
struct TSimState {
  // identity
  std::string SerialNumber = "00012345";
  std::string HardwareVersion = "HW 2.1";
  std::string LoaderVersion = "LDR 1.07";
  std::string Manufacturer = "Ortena";
  std::string Model = "Ortena GSM-3";
  std::string OsVersion = "OS 6.63";
  std::string FactoryNumber = "354360000012345";
  std::string ProductionDate = "2008/03/14";
  std::string TerminalNumber = "1001";
  /// CCLK? answer ("yy/MM/dd,hh:mm:ss"); empty: the current UTC time.
  std::string Clock;

  // SMSTATE answer fields 0..4
  std::int32_t ModemState = 1;
  std::int32_t SignalLevel = 23;
  std::string QueuedPayments = "0";
  std::string FreePositions = "200";
  /// Battery voltage in tenths of a volt (126 = 12.6 V); unset: the field is left out.
  std::optional<std::int32_t> VoltageTenths = 126;

  // payment server
  std::string ServerAddress;  ///< empty: SMSERV read gives code 8
  std::int32_t ServerPort = 0;
  std::string ServerName;     ///< empty: code 8
  std::optional<std::int32_t> RetryCount;
  std::int32_t ActiveSystem = 0;
  /// GLOBALOP accepts these ids and refuses others with code 1.
  std::set<std::int32_t> SupportedSystems = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 12};

  // identifiers and keys
  std::string ClientGuid;
  std::string SenderGuid;
  std::string ReceiverGuid;
  /// SMRSA parts by name (PUBMOD, PUBEXP, PRTMOD, PRTEXP, PRTP, PRTQ, PRTDP, PRTDQ, PRTIQ, PRTD).
  std::map<std::string, std::string> Rsa;

  // receipt lines 1..10 (index 0 is line 1); an empty line is absent
  std::array<std::string, 10> Header;
  std::array<std::string, 10> Trailer;
  /// The habit of some terminals: an empty receipt line is kept and read back empty, not
  /// answered as absent (code 8).
  bool KeepsEmptyLines = false;

  std::array<TSimFeeTable, 10> Fees;  ///< tables 1..10
  std::array<TSimSlot, 2> Sims;       ///< slots 1 and 2

  std::map<std::string, std::string> Credentials;  ///< keys in namespace cred
  std::map<std::string, std::string> Files;        ///< keys in namespace files; decoded bytes

  /// Input scripts by number: the packets as received (without the empty end mark).
  std::map<std::int32_t, std::vector<std::string>> Scripts;

  std::optional<std::string> XmlData;    ///< bytes; unset: LOADXML gives code 8
  std::optional<std::string> PhoneBase;  ///< bytes; unset: LOADPHONEBASE gives code 8
};

/// The text of a stored script: its packets joined.
std::string ScriptText(const TSimState& state, std::int32_t number);

/// Stores a script as the terminal would hold it after a write: the text in packets of
/// 300 windows-1251 characters. Raises EEncodingError for a character windows-1251 lacks.
void SetScriptText(TSimState& state, std::int32_t number, const std::string& utf8Text);

}  // namespace quorvel::sim
