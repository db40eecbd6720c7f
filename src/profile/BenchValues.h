#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace quorvel {

class TProfile;

/// Columns of a values table. The key columns name the terminal a row is for; the others
/// replace the profile's values for that terminal.
inline constexpr const char* kFactoryNumberColumn = "factory_number";  ///< key: CGSN's answer
inline constexpr const char* kPortColumn = "port";                     ///< key: the device path
inline constexpr const char* kSerialColumn = "serial";                 ///< serial number, eight digits
inline constexpr const char* kSimPinColumn = "sim_pin";                ///< SIM slot 1: PIN
inline constexpr const char* kSimApnColumn = "sim_apn";                ///< SIM slot 1: access point
inline constexpr const char* kSimLoginColumn = "sim_login";            ///< SIM slot 1: user name
inline constexpr const char* kSimPasswordColumn = "sim_password";      ///< SIM slot 1: password
inline constexpr const char* kSim2PinColumn = "sim2_pin";              ///< SIM slot 2: PIN
inline constexpr const char* kServerAddressColumn = "server_address";  ///< payment server address
inline constexpr const char* kServerPortColumn = "server_port";        ///< payment server port
/// The active payment system's own values; a column the system has no such value for is an
/// error before anything is sent.
inline constexpr const char* kApplicationIdColumn = "application_id";  ///< MasterPort: application GUID
inline constexpr const char* kSenderIdColumn = "sender_id";            ///< MasterPort: sender GUID
inline constexpr const char* kPrivateKeyColumn =
    "private_key";  ///< MasterPort: PEM file of the application key
inline constexpr const char* kTerminalIdColumn = "terminal_id";  ///< OSMP, PegasOSMP
inline constexpr const char* kLoginColumn = "login";             ///< OSMP, PegasOSMP, XPlat
inline constexpr const char* kPasswordColumn = "password";       ///< OSMP, PegasOSMP, XPlat
inline constexpr const char* kAgentIdColumn = "agent_id";        ///< Absolutplat, Eurofon, UbsPay
inline constexpr const char* kDeviceIdColumn =
    "device_id";  ///< Krasplat, Bercut, Absolutplat, Eurofon, UbsPay

/// What a row is looked up by.
enum class TValueKey {
  FactoryNumber,  ///< the factory number the terminal reports
  Port,           ///< the port's device path
  None,           ///< no key column: rows are handed out in order, each to one terminal
};

/// One terminal's values: column name -> value (only the columns of the table).
using TValueRow = std::map<std::string, std::string>;

/// A table of per-terminal values read from CSV: the first row names the columns (those
/// above, in any order), every other row holds one terminal's values; fields are separated by
/// commas and may be quoted with double quotes ("" inside a quoted field is one quote); blanks
/// and tabs around a field are dropped (inside quotes they stay). A UTF-8 byte order mark at
/// the start is skipped; empty and blank lines are skipped.
/// Threads: read-only after Parse, so any number of threads may use one table.
class TBenchValues {
 public:
  /// Parses text (name is used in messages) and checks it before any terminal is touched.
  /// Raises Exception "Файл значений <name>, строка <n>: <reason>" for an unknown column, a row
  /// whose number of fields differs from the header's, a key column the table lacks, a serial
  /// number that is not eight digits, a port that is not a number, and a value used twice in a
  /// column that must be unique (factory_number, port, serial), naming both rows.
  /// A table whose key is FactoryNumber but that has neither a factory_number nor a port
  /// column is one handed out in order (Key() None).
  static TBenchValues Parse(const std::string& text, const std::string& name, TValueKey key);
  /// A table of columns and rows already split (a pool kept in the service record), checked
  /// as Parse checks one; lines are the rows' lines in the file they came from.
  static TBenchValues FromRows(const std::vector<std::string>& columns,
                               const std::vector<std::vector<std::string>>& rows, const std::vector<int>& lines,
                               const std::string& name, TValueKey key);

  /// The row whose key column holds keyValue, or nullptr.
  const TValueRow* Find(const std::string& keyValue) const;
  /// The row standing on that line of the file, or nullptr.
  const TValueRow* RowAtLine(int line) const;
  /// The columns in the file's order.
  const std::vector<std::string>& Columns() const { return columns_; }
  TValueKey Key() const { return key_; }
  const std::vector<TValueRow>& Rows() const { return rows_; }
  /// The line of the file a row stands on, counting from 1.
  int LineOf(std::size_t row) const { return lines_.at(row); }
  /// The name the table was parsed with.
  const std::string& Name() const { return name_; }

 private:
  void AddRow(const std::vector<std::string>& fields, int line);

  TValueKey key_ = TValueKey::FactoryNumber;
  std::vector<std::string> columns_;
  std::vector<TValueRow> rows_;
  std::vector<int> lines_;
  std::string name_;
};

/// The key column of a key ("" for None).
const char* KeyColumn(TValueKey key);

/// Whether a column holds a secret (a PIN or a password) that the service record never keeps.
bool IsSecretColumn(const std::string& column);

/// The values of the profile's credentials that belong to one terminal only, each with the
/// column that gives it: MasterPort's and PegasMP's serial number, application and sender
/// GUIDs and private key (its modulus), the OSMP terminal id, the device ids. Empty ones are
/// left out.
std::vector<std::pair<const char*, std::string>> TerminalOwnValues(const TProfile& profile);

/// Puts the row's values into profile: the SIM and server columns and the active system's own
/// (private_key: the PEM file is read and decoded now); the serial number is written by itself
/// (see TBenchRun) and is MasterPort's "Серийный номер модема" too. A column the row lacks
/// leaves the profile's value. Raises Exception "столбец <name> не относится к платежной
/// системе <display name>" for a system column the active system has no value for, and the
/// key file's read and decode errors.
void ApplyValues(const TValueRow& row, TProfile& profile);

}  // namespace quorvel
