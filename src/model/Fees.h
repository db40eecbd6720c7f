#pragma once

#include "Money.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class TFees;

/// Rate types of TFee::FeeType.
inline constexpr std::int32_t kFeePercent = 0;  // "Процентная": FeeValue is a percentage
inline constexpr std::int32_t kFeeFixed = 1;    // "Суммовая": FeeValue is rubles

/// Messages of the rate rules.
inline constexpr const char* kFeeSumMessage = "Значение суммы комиссии должно быть больше 0";
inline constexpr const char* kFeeValueMessage = "Значение комиссии должно быть больше 0";
inline constexpr const char* kFeeFixedMessage =
    "Значение суммовой ставки комиссии должно быть меньше суммы комиссии";
inline constexpr const char* kFeeMaxPercentMessage = "Процентная ставка не может превышать 100%";
inline constexpr const char* kFeeMinPercentMessage = "Процентная ставка должна быть больше или равна 0.01%";
/// Name given to CheckRange for a rate type other than kFeePercent and kFeeFixed.
inline constexpr const char* kFeeTypeRangeName = "Неверный тип ставки комиссии";

/// One rate of a fee table: applies to payments up to FeeSum.
/// Threads: model objects are used by one thread at a time.
class TFee {
 public:
  /// A zero rate (sum 0, value 0, type 0) without a list.
  TFee() = default;
  TFee(const TFee&) = delete;
  TFee& operator=(const TFee&) = delete;

  /// The maximum payment sum in rubles to which the rate applies.
  Money FeeSum;
  /// The rate: a percentage for type 0, rubles for type 1.
  double FeeValue = 0;
  /// kFeePercent or kFeeFixed (a file read into the document may hold another value, which
  /// CheckValues refuses).
  std::int32_t FeeType = kFeePercent;

  /// The rules of a rate, in order, each raising Exception with its message: type 0 or 1 (the
  /// CheckRange message named kFeeTypeRangeName); sum > 0 (kFeeSumMessage); value > 0 and
  /// finite (kFeeValueMessage); type 1: sum > value, the value taken at four decimals
  /// (kFeeFixedMessage); type 0: value <= 100 (kFeeMaxPercentMessage) and value >= 0.01
  /// (kFeeMinPercentMessage).
  static void CheckValues(std::int32_t type, Money sum, double value);
  /// CheckValues of this rate's own fields.
  void Check() const { CheckValues(FeeType, FeeSum, FeeValue); }
  /// Validates (CheckValues; nothing changes on an error) and stores a rate: the type, the sum
  /// rounded to whole kopecks and the value rounded to two decimals (halves to even both);
  /// then sorts the owning list.
  void SetValues(std::int32_t type, Money sum, double value);

  /// The list the rate belongs to, or nullptr.
  TFees* Owner() const { return owner_; }

 private:
  friend class TFees;
  TFees* owner_ = nullptr;
};

/// The rates of one fee table, at most kMaxFees, owned.
/// Threads: model objects are used by one thread at a time.
class TFees {
 public:
  /// Maximum number of rates in a table.
  static constexpr int kMaxFees = 10;

  TFees() = default;
  ~TFees();
  TFees(const TFees&) = delete;
  TFees& operator=(const TFees&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  /// The rate at position index; index must satisfy IsValidIndex.
  TFee& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  /// True for 0 <= index < Count().
  bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }
  /// Position of the rate in this list, or -1.
  int IndexOf(const TFee& fee) const;

  /// True while Count() < kMaxFees.
  bool CanAdd() const { return Count() < kMaxFees; }
  /// Appends a zero rate and selects it (ItemIndex = its position). With kMaxFees rates
  /// present raises Exception "Максимальное количество ставок 10. Добавление ставки
  /// невозможно" and adds nothing.
  TFee& Add();
  /// Takes over a rate that belongs to no list (for example one taken out of another list with
  /// Extract) and appends it; the same limit and message as Add, and then nothing is taken.
  TFee& Append(std::unique_ptr<TFee> fee);
  /// Removes the rate from this list and hands it to the caller (owner none). The rate must
  /// belong to this list (std::invalid_argument otherwise).
  std::unique_ptr<TFee> Extract(const TFee& fee);
  /// Frees the rate at position index (ignored when the index is not valid).
  void Delete(int index);
  /// Frees all rates.
  void Clear();
  /// Orders the rates by ascending FeeSum (rates with equal sums keep their order).
  void Sort();

  /// Position of the rate the fees page selects; 0 at creation; not checked against Count.
  std::int32_t ItemIndex = 0;

 private:
  std::vector<std::unique_ptr<TFee>> items_;
};

/// A number in its shortest fixed decimal form that reads back as the same double: "." as the
/// separator, no exponent, no trailing zeros ("1.5", "100", "0.01"). "nan"/"inf" for those.
std::string NumberText(double value);

/// The rate's sum as the fees page and the command line show it: the shortest decimal form of
/// the money and " руб." ("1000 руб.", "0.5 руб.").
std::string FeeSumText(const TFee& fee);

/// The rate's value with its unit: NumberText and " руб." for kFeeFixed, " %" for any other
/// type ("1.5 %", "20 руб.").
std::string FeeValueText(const TFee& fee);

/// The sum field of the rate dialog as money: blanks around are allowed, "." is the separator,
/// at most four decimals. Anything else (an empty text included) raises EConvertError naming
/// the text. The rules of a rate are SetValues' business, not this one's.
Money ParseFeeSumField(std::string_view text);

/// The value field of the rate dialog: blanks around, an optional sign, digits with at most one
/// "." (no exponent, no "inf"/"nan"). Otherwise, also for an empty text or a number beyond the
/// range of a double, raises EConvertError "'<text>' - неверное числовое значение".
double ParseFeeValueField(std::string_view text);

}  // namespace quorvel
