#pragma once

#include "Fees.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

class TFeeTables;

/// Scheme types of TFeeTable::SchemeType.
inline constexpr std::int32_t kSchemeAdded = 0;  // "Начисляется"
inline constexpr std::int32_t kSchemeFromTransaction = 1;  // "Включается от суммы транзакций"
inline constexpr std::int32_t kSchemeFromDeposit = 2;  // "Включается от внесенной суммы"

/// A rate that breaks the rules, formatted with the table's number, the rate's position from
/// 1 and the rule's message.
inline constexpr const char* kFeeRateErrorFmt = "Таблица %d, ставка %d: %s";

/// Name given to CheckRange for a scheme type outside 0..2.
inline constexpr const char* kSchemeTypeRangeName = "Неверный тип схемы комиссии";

/// One fee table: its fixed number, its scheme and its rates.
/// Threads: model objects are used by one thread at a time.
class TFeeTable {
 public:
  /// A table with the given number (1..10), scheme 0 and no rates.
  TFeeTable(std::int32_t number, TFeeTables* owner);
  TFeeTable(const TFeeTable&) = delete;
  TFeeTable& operator=(const TFeeTable&) = delete;

  /// The table's number, 1..10, fixed at creation.
  std::int32_t Number() const { return number_; }
  /// The rates, owned by the table.
  TFees& Fees() { return fees_; }
  const TFees& Fees() const { return fees_; }
  /// The set the table belongs to.
  TFeeTables* Owner() const { return owner_; }

  /// 0..2, see kSchemeAdded and the others; 0 at creation.
  std::int32_t SchemeType() const { return schemeType_; }
  /// Stores a scheme type. A value outside 0..2 (a garbled file or terminal answer) raises the
  /// CheckRange message named kSchemeTypeRangeName and keeps the old value.
  void SetSchemeType(std::int32_t value);

  /// "Таблица <Number>", for example "Таблица 3".
  std::string DisplayName() const;
  /// TFee::Check of every rate in order; the first failure is raised again as Exception
  /// "Таблица <Number>, ставка <position from 1>: <its message>" (kFeeRateErrorFmt).
  void CheckFees() const;

 private:
  std::int32_t number_;
  TFees fees_;
  TFeeTables* owner_;
  std::int32_t schemeType_ = kSchemeAdded;
};

/// The ten fee tables, numbered 1..10 in that order; none is ever added or removed.
/// Threads: model objects are used by one thread at a time.
class TFeeTables {
 public:
  /// Number of tables.
  static constexpr int kTableCount = 10;

  /// Creates the ten tables.
  TFeeTables();
  TFeeTables(const TFeeTables&) = delete;
  TFeeTables& operator=(const TFeeTables&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  /// The table at position index (0-based); index must satisfy IsValidIndex.
  TFeeTable& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  /// True for 0 <= index < Count().
  bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }

  /// Frees the rates of every table; scheme types stay.
  void ClearAllFees();
  /// TFeeTable::CheckFees of every table in order; raises the first failure.
  void CheckFees() const;

  /// The text of one scheme type ("Начисляется", ...), empty for an unknown type.
  static std::string SchemeName(std::int32_t schemeType);
  /// The three scheme texts in order, joined by CR LF (a ready list for a choice box).
  static std::string SchemeNames();

  /// Position (0-based) of the table the fees page shows; 0 at creation.
  std::int32_t ItemIndex = 0;

 private:
  std::vector<std::unique_ptr<TFeeTable>> items_;
};

}  // namespace quorvel
