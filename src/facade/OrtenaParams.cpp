// Parameter groups: payment server, SIM cards, receipt lines, fee tables, data files.
#include "Errors.h"
#include "FeeTable.h"
#include "Fees.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "PaymentSystem.h"
#include "SimCard.h"
#include "TextUtils.h"
#include "WireText.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <limits>
#include <vector>

namespace quorvel {

namespace {

constexpr std::int32_t kMaxServerPort = 65535;
constexpr const char* kFeeSumWireName = "Сумма комиссии в копейках";
constexpr const char* kFeeValueWireName = "Значение комиссии в сотых долях";

std::string TrimRight(std::string text) {
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.pop_back();
  return text;
}

bool IsFourDigitPin(const std::string& pin) {
  if (pin.size() != 4) return false;
  for (char c : pin)
    if (c < '0' || c > '9') return false;
  return true;
}

// The wire takes 32-bit integers: a value beyond them is refused rather than wrapped.
int WireInt(std::int64_t value, const char* name) {
  CheckRange(value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), name);
  return static_cast<int>(value);
}

// Gives to the scheme and the rates of from (a table read whole); from is left empty.
void TakeOverTable(TFeeTable& to, TFeeTable& from) {
  to.SetSchemeType(from.SchemeType());
  to.Fees().Clear();
  while (from.Fees().Count() > 0) to.Fees().Append(from.Fees().Extract(from.Fees().Items(0)));
}

}  // namespace

// ---- payment server ----

void TOrtena::ReadServerParams(TPaymentSystem& system) {
  TClearStatusGuard clear(*this);
  EnsureActiveSystem(system);
  TServerParams& params = system.ServerParams();
  int retries = 0;
  if (driver_->CheckData(driver_->GetTryCount(retries))) params.SetRetryCount(retries);
  std::string address;
  std::string port;
  if (driver_->CheckData(driver_->GetServer(address, port))) {
    // Converted before anything is stored, so a bad port leaves the address as it was too.
    const std::int32_t portNumber = StrToInt(port);
    params.Address = address;
    params.Port = portNumber;
  }
  std::string name;
  if (driver_->CheckData(driver_->GetServerName(name))) params.ServerName = name;
}

void TOrtena::WriteServerParams(const TPaymentSystem& system) {
  TClearStatusGuard clear(*this);
  const TServerParams& params = system.ServerParams();
  CheckServerParams(params);
  EnsureActiveSystem(system);
  driver_->CheckResultStrict(driver_->SetTryCount(params.RetryCount()));
  driver_->CheckResultStrict(driver_->SetServer(params.Address, params.Port));
  driver_->CheckResult(driver_->SetServerName(params.ServerName));
}

void TOrtena::CheckServerPort(std::int32_t port) {
  if (port < 0 || port > kMaxServerPort) throw Exception(kServerPortMessage);
}

void TOrtena::CheckServerParams(const TServerParams& params) {
  CheckWireText(params.Address, kServerAddressCaption);
  CheckServerPort(params.Port);
  CheckWireText(params.ServerName, kServerNameCaption);
}

// ---- SIM cards ----

void TOrtena::ReadSimCards(TSimCards& cards) {
  TClearStatusGuard clear(*this);
  // Every slot is read before any is taken over: a read that fails at slot 2 leaves slot 1
  // as it was too, not half of one terminal and half of another.
  std::vector<TSimCardRec> read(static_cast<std::size_t>(cards.Count()));
  for (int i = 0; i < cards.Count(); ++i)
    ReadSimRecord(cards.Items(i).SlotNumber, read[static_cast<std::size_t>(i)]);
  for (int i = 0; i < cards.Count(); ++i) TakeSimRecord(cards.Items(i), read[static_cast<std::size_t>(i)]);
}

void TOrtena::WriteSimCards(const TSimCards& cards) {
  TClearStatusGuard clear(*this);
  // Every slot in use is checked before the first is written: no half-written pair.
  for (int i = 0; i < cards.Count(); ++i)
    if (cards.Items(i).Enabled) CheckSimCard(cards.Items(i));
  for (int i = 0; i < cards.Count(); ++i) WriteSimCard(cards.Items(i));
}

void TOrtena::ReadSimCard(TSimCard& card) {
  TSimCardRec rec;
  ReadSimRecord(card.SlotNumber, rec);
  TakeSimRecord(card, rec);
}

void TOrtena::ReadSimRecord(std::int32_t slotNumber, TSimCardRec& rec) {
  rec.SlotNumber = slotNumber;
  driver_->CheckResult(driver_->GetSimCard(rec));
}

void TOrtena::TakeSimRecord(TSimCard& card, const TSimCardRec& rec) {
  card.Pin.clear();
  card.Apn = rec.Apn;
  card.Login = rec.Login;
  card.Password = rec.Password;
  card.Enabled = rec.Enabled;
  card.Priority = rec.Priority;
}

void TOrtena::WriteSimCard(const TSimCard& card) {
  if (!card.Enabled) {
    // Removing a slot that holds nothing is not an error.
    driver_->CheckResult(driver_->DeleteSimCard(card.SlotNumber));
    return;
  }
  CheckSimCard(card);
  TSimCardRec rec;
  rec.SlotNumber = card.SlotNumber;
  rec.Enabled = card.Enabled;
  rec.Pin = card.Pin;
  rec.Apn = card.Apn;
  rec.Login = card.Login;
  rec.Password = card.Password;
  rec.Priority = card.Priority;
  driver_->CheckResultStrict(driver_->SetSimCard(rec));
}

void TOrtena::CheckSimCard(const TSimCard& card) {
  // Only plain digits: the PIN goes to the terminal unquoted, so a sign or a blank that a
  // lenient number conversion would accept must not pass.
  if (!IsFourDigitPin(card.Pin)) throw Exception(kSimPinMessage);
  if (card.Apn.empty()) throw Exception(kSimApnEmptyMessage);
  const std::size_t apnLength = Utf8Length(card.Apn);
  if (apnLength > kSimApnMaxLength)
    throw Exception(fmt::format("{} ({} > {})", kSimApnTooLongMessage, apnLength, kSimApnMaxLength));
  if (Utf8Length(card.Login) > kSimLoginMaxLength) throw Exception(kSimLoginLengthMessage);
  if (Utf8Length(card.Password) > kSimPasswordMaxLength) throw Exception(kSimPasswordLengthMessage);
  CheckWireText(card.Apn, kSimApnCaption);
  CheckWireText(card.Login, kSimLoginCaption);
  CheckWireText(card.Password, kSimPasswordCaption);
}

// ---- receipt header and advertisement trailer ----

std::string TOrtena::ReadLines(bool trailer) {
  TClearStatusGuard clear(*this);
  std::string text;
  for (int number = 1; number <= kReceiptLineCount; ++number) {
    std::string line;
    const int result = trailer ? driver_->GetReklamLine(number, line) : driver_->GetHeaderLine(number, line);
    if (!driver_->CheckData(result)) break;
    text += TrimRight(std::move(line));
    text += "\r\n";
  }
  return text;
}

void TOrtena::CheckLines(bool trailer, const std::string& text) {
  const std::vector<std::string> lines = SplitLines(text);
  const std::size_t count = std::min<std::size_t>(lines.size(), kReceiptLineCount);
  for (std::size_t i = 0; i < count; ++i)
    CheckWireText(lines[i], fmt::format("{}, строка {}", trailer ? kTrailerCaption : kHeaderCaption, i + 1));
}

void TOrtena::WriteLines(bool trailer, const std::string& text) {
  TClearStatusGuard clear(*this);
  CheckLines(trailer, text);
  const std::vector<std::string> lines = SplitLines(text);
  for (int number = 1; number <= kReceiptLineCount; ++number) {
    const std::size_t index = static_cast<std::size_t>(number - 1);
    const std::string& line = index < lines.size() ? lines[index] : std::string();
    const int result = trailer ? driver_->SetReklamLine(number, line) : driver_->SetHeaderLine(number, line);
    driver_->CheckResultStrict(result);
  }
}

std::string TOrtena::ReadHeader() { return ReadLines(false); }

std::string TOrtena::ReadTrailer() { return ReadLines(true); }

void TOrtena::WriteHeader(const std::string& text) { WriteLines(false, text); }

void TOrtena::WriteTrailer(const std::string& text) { WriteLines(true, text); }

// ---- fee tables ----

void TOrtena::ReadFeeTables(TFeeTables& tables) {
  // Read whole into a scratch set first: a read that fails at table 7 leaves the six
  // before it as they were too, not tables from two terminals mixed.
  TFeeTables read;
  for (int i = 0; i < tables.Count(); ++i) {
    read.Items(i).SetSchemeType(tables.Items(i).SchemeType());
    ReadFeeTable(read.Items(i));
  }
  for (int i = 0; i < tables.Count(); ++i) TakeOverTable(tables.Items(i), read.Items(i));
}

void TOrtena::WriteFeeTables(const TFeeTables& tables) {
  for (int i = 0; i < tables.Count(); ++i)
    (void)FeeWireValues(tables.Items(i).Number(), tables.Items(i).Fees());
  for (int i = 0; i < tables.Count(); ++i) WriteFeeTable(tables.Items(i));
}

void TOrtena::ReadFeeTable(TFeeTable& table) {
  TClearStatusGuard clear(*this);
  // The table changes only when the whole of it was read.
  TFeeTables scratch;
  TFeeTable& read = scratch.Items(table.Number() - 1);
  read.SetSchemeType(table.SchemeType());
  int scheme = 0;
  if (driver_->CheckData(driver_->GetFeeScheme(table.Number(), scheme))) read.SetSchemeType(scheme);
  ReadFees(table.Number(), read.Fees());
  TakeOverTable(table, read);
}

void TOrtena::WriteFeeTable(const TFeeTable& table) {
  TClearStatusGuard clear(*this);
  // A rate the rules or the wire refuse stops the table before its scheme.
  (void)FeeWireValues(table.Number(), table.Fees());
  driver_->CheckResultStrict(driver_->SetFeeScheme(table.Number(), table.SchemeType()));
  WriteFees(table.Number(), table.Fees());
}

void TOrtena::ReadFees(std::int32_t tableNumber, TFees& fees) {
  fees.Clear();
  for (int index = 1; index <= kTerminalFeeCount; ++index) {
    int sum = 0;
    int type = 0;
    int value = 0;
    if (!driver_->CheckData(driver_->GetFee(tableNumber, index, sum, type, value))) continue;
    if (sum <= 0 || value <= 0 || (type != kFeePercent && type != kFeeFixed)) continue;
    TFee& fee = fees.Add();
    try {
      fee.SetValues(type, Money::FromKopecks(sum), value / 100.0);
    } catch (...) {
      // A rate the model refuses does not stay in the list as an empty one: the list keeps
      // only the rates that were read whole.
      fees.Delete(fees.IndexOf(fee));
      throw;
    }
  }
}

std::vector<TOrtena::TFeeWire> TOrtena::FeeWireValues(std::int32_t tableNumber, const TFees& fees) {
  std::vector<TFeeWire> rows(kTerminalFeeCount);
  for (int index = 1; index <= kTerminalFeeCount; ++index) {
    if (!fees.IsValidIndex(index - 1)) continue;
    const TFee& fee = fees.Items(index - 1);
    TFeeWire& row = rows[static_cast<std::size_t>(index - 1)];
    try {
      // The document may hold a rate no dialog would have let through (a file edited by hand).
      fee.Check();
      const std::optional<std::int64_t> hundredths = ScaledHalfEven(fee.FeeValue, 2);
      if (!hundredths) throw Exception(kFeeValueMessage);
      row.Sum = WireInt(fee.FeeSum.ToKopecks(), kFeeSumWireName);
      row.Type = fee.FeeType;
      row.Value = WireInt(*hundredths, kFeeValueWireName);
    } catch (const Exception& e) {
      throw Exception(fmt::sprintf(kFeeRateErrorFmt, tableNumber, index, e.what()));
    }
  }
  return rows;
}

void TOrtena::WriteFees(std::int32_t tableNumber, const TFees& fees) {
  // Every rate checked and converted before the first is sent.
  const std::vector<TFeeWire> rows = FeeWireValues(tableNumber, fees);
  for (int index = 1; index <= kTerminalFeeCount; ++index) {
    const TFeeWire& row = rows[static_cast<std::size_t>(index - 1)];
    driver_->CheckResultStrict(driver_->SetFee(tableNumber, index, row.Sum, row.Type, row.Value));
  }
}

// ---- data files ----

void TOrtena::WriteXmlData(const std::string& bytes) { driver_->WriteDataFile(TDataFile::Xml, bytes); }

std::string TOrtena::ReadXmlData() { return driver_->ReadDataFile(TDataFile::Xml); }

void TOrtena::WritePhoneBase(const std::string& bytes) {
  driver_->WriteDataFile(TDataFile::PhoneBase, bytes);
}

std::string TOrtena::ReadPhoneBase() { return driver_->ReadDataFile(TDataFile::PhoneBase); }

}  // namespace quorvel
