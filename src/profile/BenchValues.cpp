#include "BenchValues.h"

#include "Absolutplat.h"
#include "Bercut.h"
#include "Errors.h"
#include "Eurofon.h"
#include "FileText.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ServerParams.h"
#include "TextUtils.h"
#include "UbsPay.h"
#include "XPlat.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <exception>
#include <set>
#include <string_view>

namespace quorvel {

namespace {

constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";
constexpr const char* kValuesErrorFormat = "Файл значений {}, строка {}: {}";

const std::vector<std::string>& KnownColumns() {
  static const std::vector<std::string> columns = {
      kFactoryNumberColumn, kPortColumn,        kSerialColumn,     kSimPinColumn,        kSimApnColumn,
      kSimLoginColumn,      kSimPasswordColumn, kSim2PinColumn,    kServerAddressColumn, kServerPortColumn,
      kApplicationIdColumn, kSenderIdColumn,    kPrivateKeyColumn, kTerminalIdColumn,    kLoginColumn,
      kPasswordColumn,      kAgentIdColumn,     kDeviceIdColumn};
  return columns;
}

// Columns whose value belongs to one terminal only.
constexpr const char* kUniqueColumns[] = {kFactoryNumberColumn, kPortColumn,     kSerialColumn,
                                          kApplicationIdColumn, kSenderIdColumn, kPrivateKeyColumn,
                                          kTerminalIdColumn,    kDeviceIdColumn};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Fields of one CSV line; a quoted field may hold commas and doubled quotes. Blanks around a
// field are a spreadsheet's padding, not part of the value; those inside quotes are kept.
std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields(1);
  std::size_t kept = 0;  // the field's length up to its last quoted character
  const auto endField = [&] {
    std::string& field = fields.back();
    while (field.size() > kept && IsBlank(field.back())) field.pop_back();
  };
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
      kept = fields.back().size();
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      endField();
      fields.emplace_back();
      kept = 0;
    } else if (!IsBlank(c) || !fields.back().empty() || kept > 0) {
      fields.back() += c;
    }
  }
  endField();
  return fields;
}

bool IsNumber(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

const char* KeyColumn(TValueKey key) {
  switch (key) {
    case TValueKey::Port:
      return kPortColumn;
    case TValueKey::FactoryNumber:
      return kFactoryNumberColumn;
    case TValueKey::None:
      break;
  }
  return "";
}

bool IsSecretColumn(const std::string& column) {
  return column == kSimPinColumn || column == kSim2PinColumn || column == kSimPasswordColumn ||
         column == kPasswordColumn;
}

namespace {

[[noreturn]] void FailAt(const std::string& name, int line, const std::string& reason) {
  throw Exception(fmt::format(kValuesErrorFormat, name, line, reason));
}

void CheckHeader(const std::vector<std::string>& fields, const std::string& name, int line, TValueKey& key) {
  for (const std::string& column : fields) {
    if (std::find(KnownColumns().begin(), KnownColumns().end(), column) == KnownColumns().end())
      FailAt(name, line, fmt::format("неизвестный столбец \"{}\"", column));
    if (std::count(fields.begin(), fields.end(), column) > 1)
      FailAt(name, line, fmt::format("столбец \"{}\" назван дважды", column));
  }
  const auto has = [&fields](const char* column) {
    return std::find(fields.begin(), fields.end(), column) != fields.end();
  };
  // A table that names no terminal is a batch of identities for whichever terminal comes.
  if (key == TValueKey::FactoryNumber && !has(kFactoryNumberColumn) && !has(kPortColumn)) key = TValueKey::None;
  if (key != TValueKey::None && !has(KeyColumn(key)))
    FailAt(name, line, fmt::format("нет столбца \"{}\", по которому ищутся терминалы", KeyColumn(key)));
}

}  // namespace

void TBenchValues::AddRow(const std::vector<std::string>& fields, int line) {
  if (fields.size() != columns_.size())
    FailAt(name_, line, fmt::format("полей {}, а в заголовке {}", fields.size(), columns_.size()));
  TValueRow row;
  for (std::size_t i = 0; i < columns_.size(); ++i) row[columns_[i]] = fields[i];
  if (const auto serial = row.find(kSerialColumn); serial != row.end()) {
    try {
      TOrtena::CheckSerialNumber(serial->second);
    } catch (const std::exception& e) {
      FailAt(name_, line, e.what());
    }
  }
  if (const auto port = row.find(kServerPortColumn); port != row.end() && !IsNumber(port->second))
    FailAt(name_, line, fmt::format("порт сервера \"{}\" не число", port->second));
  for (const char* unique : kUniqueColumns) {
    const auto value = row.find(unique);
    if (value == row.end()) continue;
    for (std::size_t k = 0; k < rows_.size(); ++k)
      if (rows_[k].at(unique) == value->second)
        FailAt(name_, line,
               fmt::format("значение \"{}\" столбца {} уже есть в строке {}", value->second, unique, lines_[k]));
  }
  rows_.push_back(std::move(row));
  lines_.push_back(line);
}

TBenchValues TBenchValues::Parse(const std::string& text, const std::string& name, TValueKey key) {
  TBenchValues table;
  table.name_ = name;
  bool header = true;
  int lineNumber = 0;
  // A spreadsheet saving "CSV UTF-8" puts a byte order mark before the first column's name.
  std::size_t start = text.rfind(kUtf8Bom, 0) == 0 ? std::string_view(kUtf8Bom).size() : 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Trim(line).empty()) continue;
    std::vector<std::string> fields = SplitFields(line);
    if (header) {
      CheckHeader(fields, name, lineNumber, key);
      table.columns_ = fields;
      header = false;
      continue;
    }
    table.AddRow(fields, lineNumber);
  }
  if (header) FailAt(name, 1, "нет строки заголовка");
  table.key_ = key;
  return table;
}

TBenchValues TBenchValues::FromRows(const std::vector<std::string>& columns,
                                    const std::vector<std::vector<std::string>>& rows, const std::vector<int>& lines,
                                    const std::string& name, TValueKey key) {
  TBenchValues table;
  table.name_ = name;
  CheckHeader(columns, name, 1, key);
  table.columns_ = columns;
  for (std::size_t i = 0; i < rows.size(); ++i)
    table.AddRow(rows[i], i < lines.size() ? lines[i] : static_cast<int>(i) + 2);
  table.key_ = key;
  return table;
}

const TValueRow* TBenchValues::Find(const std::string& keyValue) const {
  if (key_ == TValueKey::None) return nullptr;
  const char* column = KeyColumn(key_);
  for (const TValueRow& row : rows_)
    if (row.at(column) == keyValue) return &row;
  return nullptr;
}

const TValueRow* TBenchValues::RowAtLine(int line) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (lines_[i] == line) return &rows_[i];
  return nullptr;
}

void ApplyValues(const TValueRow& row, TProfile& profile) {
  const auto take = [&row](const char* column, std::string& target) {
    if (const auto it = row.find(column); it != row.end()) target = it->second;
  };
  TSimCard& first = profile.SimCards.FindSlot(1);
  take(kSimPinColumn, first.Pin);
  take(kSimApnColumn, first.Apn);
  take(kSimLoginColumn, first.Login);
  take(kSimPasswordColumn, first.Password);
  take(kSim2PinColumn, profile.SimCards.FindSlot(2).Pin);
  TServerParams& server = profile.System().ServerParams();
  take(kServerAddressColumn, server.Address);
  if (const auto it = row.find(kServerPortColumn); it != row.end()) server.Port = std::stoi(it->second);

  TPaymentSystem& system = profile.System();
  // Every system column of the row must find its value in the active system.
  std::set<std::string> taken;
  const auto put = [&](const char* column, std::string& target) {
    if (const auto it = row.find(column); it != row.end()) {
      // An empty identifier would leave the profile's own, which every such terminal would get.
      if (it->second.empty() && std::string_view(column) != kLoginColumn && std::string_view(column) != kPasswordColumn)
        throw Exception(fmt::format("столбец {} пуст, а платежной системе {} нужно это значение", column,
                                    system.GetDisplayName()));
      target = it->second;
      taken.insert(column);
    }
  };
  if (auto* mp = dynamic_cast<TMasterPortProtocol*>(&system)) {
    put(kApplicationIdColumn, mp->ApplicationID);
    put(kSenderIdColumn, mp->SenderID);
    std::string keyFile;
    put(kPrivateKeyColumn, keyFile);
    if (taken.count(kPrivateKeyColumn) > 0) TOpenSSL().DecodePrivateKey(ReadFileText(keyFile), mp->ApplicationPrivateKey);
    if (const auto it = row.find(kSerialColumn); it != row.end()) mp->SerialNumber = it->second;
  } else if (auto* osmp = dynamic_cast<TOSMPProtocol*>(&system)) {
    put(kTerminalIdColumn, osmp->TerminalID);
    put(kLoginColumn, osmp->Login);
    put(kPasswordColumn, osmp->Password);
  } else if (auto* xplat = dynamic_cast<TXPlat*>(&system)) {
    put(kLoginColumn, xplat->Login);
    put(kPasswordColumn, xplat->Password);
  } else if (auto* krasplat = dynamic_cast<TKrasplat*>(&system)) {
    put(kDeviceIdColumn, krasplat->DeviceID);
  } else if (auto* bercut = dynamic_cast<TBercut*>(&system)) {
    put(kDeviceIdColumn, bercut->DeviceID);
  } else if (auto* absolutplat = dynamic_cast<TAbsolutplat*>(&system)) {
    put(kAgentIdColumn, absolutplat->AgentID);
    put(kDeviceIdColumn, absolutplat->DeviceID);
  } else if (auto* eurofon = dynamic_cast<TEurofon*>(&system)) {
    put(kAgentIdColumn, eurofon->AgentID);
    put(kDeviceIdColumn, eurofon->DeviceID);
  } else if (auto* ubsPay = dynamic_cast<TUbsPay*>(&system)) {
    put(kAgentIdColumn, ubsPay->AgentID);
    put(kDeviceIdColumn, ubsPay->DeviceID);
  }
  for (const char* column : {kApplicationIdColumn, kSenderIdColumn, kPrivateKeyColumn, kTerminalIdColumn,
                             kLoginColumn, kPasswordColumn, kAgentIdColumn, kDeviceIdColumn})
    if (row.count(column) > 0 && taken.count(column) == 0)
      throw Exception(
          fmt::format("столбец {} не относится к платежной системе {}", column, system.GetDisplayName()));
}

std::vector<std::pair<const char*, std::string>> TerminalOwnValues(const TProfile& profile) {
  std::vector<std::pair<const char*, std::string>> values;
  const auto add = [&values](const char* column, const std::string& value) {
    if (!value.empty()) values.emplace_back(column, value);
  };
  const TPaymentSystem& system = profile.System();
  if (const auto* mp = dynamic_cast<const TMasterPortProtocol*>(&system)) {
    add(kSerialColumn, mp->SerialNumber);
    add(kApplicationIdColumn, mp->ApplicationID);
    add(kSenderIdColumn, mp->SenderID);
    add(kPrivateKeyColumn, mp->ApplicationPrivateKey.Modulus);
  } else if (const auto* osmp = dynamic_cast<const TOSMPProtocol*>(&system)) {
    add(kTerminalIdColumn, osmp->TerminalID);
  } else if (const auto* krasplat = dynamic_cast<const TKrasplat*>(&system)) {
    add(kDeviceIdColumn, krasplat->DeviceID);
  } else if (const auto* bercut = dynamic_cast<const TBercut*>(&system)) {
    add(kDeviceIdColumn, bercut->DeviceID);
  } else if (const auto* absolutplat = dynamic_cast<const TAbsolutplat*>(&system)) {
    add(kDeviceIdColumn, absolutplat->DeviceID);
  } else if (const auto* eurofon = dynamic_cast<const TEurofon*>(&system)) {
    add(kDeviceIdColumn, eurofon->DeviceID);
  } else if (const auto* ubsPay = dynamic_cast<const TUbsPay*>(&system)) {
    add(kDeviceIdColumn, ubsPay->DeviceID);
  }
  return values;
}

}  // namespace quorvel
