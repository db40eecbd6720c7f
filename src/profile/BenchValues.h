#pragma once

#include <map>
#include <string>
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

/// What a row is looked up by.
enum class TValueKey {
  FactoryNumber,  ///< the factory number the terminal reports
  Port,           ///< the port's device path
};

/// One terminal's values: column name -> value (only the columns of the table).
using TValueRow = std::map<std::string, std::string>;

/// A table of per-terminal values read from CSV: the first row names the columns (those
/// above, in any order), every other row holds one terminal's values; fields are separated by
/// commas and may be quoted with double quotes ("" inside a quoted field is one quote). Empty
/// lines are skipped.
/// Threads: read-only after Parse, so any number of threads may use one table.
class TBenchValues {
 public:
  /// Parses text (name is used in messages) and checks it before any terminal is touched.
  /// Raises Exception "Файл значений <name>, строка <n>: <reason>" for an unknown column, a row
  /// whose number of fields differs from the header's, a key column the table lacks, a serial
  /// number that is not eight digits, a port that is not a number, and a value used twice in a
  /// column that must be unique (factory_number, port, serial), naming both rows.
  static TBenchValues Parse(const std::string& text, const std::string& name, TValueKey key);

  /// The row whose key column holds keyValue, or nullptr.
  const TValueRow* Find(const std::string& keyValue) const;
  TValueKey Key() const { return key_; }
  const std::vector<TValueRow>& Rows() const { return rows_; }

 private:
  TValueKey key_ = TValueKey::FactoryNumber;
  std::vector<TValueRow> rows_;
};

/// The key column of a key.
const char* KeyColumn(TValueKey key);

/// Puts the row's values into profile: the SIM and server columns; the serial number is
/// written by itself (see TBenchRun). A column the row lacks leaves the profile's value.
void ApplyValues(const TValueRow& row, TProfile& profile);

}  // namespace quorvel
