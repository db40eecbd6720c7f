#include "Fees.h"

#include "Errors.h"
#include "TextUtils.h"
#include "WireText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>
#include <fmt/printf.h>

namespace quorvel {

namespace {

constexpr double kMaxPercent = 100;
constexpr double kMinPercent = 0.01;

[[noreturn]] void RaiseTooManyFees() {
  throw Exception(fmt::sprintf("%s %d. %s", "Максимальное количество ставок", TFees::kMaxFees,
                               "Добавление ставки невозможно"));
}

// sum > value for a fixed rate, with the value taken at the four decimals of money so that a
// typed 50.01 equals a sum of 50.01 although the double lies a little below it.
bool SumExceedsValue(Money sum, double value) {
  const auto asMoney = MoneyFromDouble(value);
  if (!asMoney) return false;  // beyond the range of money: no sum exceeds it
  return sum > *asMoney;
}

}  // namespace

void TFee::CheckValues(std::int32_t type, Money sum, double value) {
  // The terminal knows two kinds of rate; any other number would reach it as a rate nobody
  // can predict.
  CheckRange(type, kFeePercent, kFeeFixed, kFeeTypeRangeName);
  if (sum <= Money()) throw Exception(kFeeSumMessage);
  if (!(value > 0) || !std::isfinite(value)) throw Exception(kFeeValueMessage);
  if (type == kFeeFixed && !SumExceedsValue(sum, value)) throw Exception(kFeeFixedMessage);
  if (type == kFeePercent) {
    if (value > kMaxPercent) throw Exception(kFeeMaxPercentMessage);
    if (value < kMinPercent) throw Exception(kFeeMinPercentMessage);
  }
}

void TFee::SetValues(std::int32_t type, Money sum, double value) {
  CheckValues(type, sum, value);
  FeeType = type;
  FeeSum = sum.RoundedToKopecks();
  FeeValue = RoundToHundredths(value);
  if (owner_) owner_->Sort();
}

TFees::~TFees() { Clear(); }

int TFees::IndexOf(const TFee& fee) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == &fee) return static_cast<int>(i);
  return -1;
}

TFee& TFees::Add() { return Append(std::make_unique<TFee>()); }

TFee& TFees::Append(std::unique_ptr<TFee> fee) {
  if (!fee || fee->owner_) throw std::invalid_argument("TFees::Append: the rate belongs to a list");
  if (!CanAdd()) RaiseTooManyFees();
  fee->owner_ = this;
  items_.push_back(std::move(fee));
  ItemIndex = Count() - 1;
  return *items_.back();
}

std::unique_ptr<TFee> TFees::Extract(const TFee& fee) {
  const int index = IndexOf(fee);
  if (index < 0) throw std::invalid_argument("TFees::Extract: the rate is not in this list");
  std::unique_ptr<TFee> taken = std::move(items_[static_cast<std::size_t>(index)]);
  items_.erase(items_.begin() + index);
  taken->owner_ = nullptr;
  return taken;
}

void TFees::Delete(int index) {
  if (!IsValidIndex(index)) return;
  items_.erase(items_.begin() + index);
}

void TFees::Clear() { items_.clear(); }

void TFees::Sort() {
  std::stable_sort(
      items_.begin(), items_.end(),
      [](const std::unique_ptr<TFee>& a, const std::unique_ptr<TFee>& b) { return a->FeeSum < b->FeeSum; });
}

std::string NumberText(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  // Fixed notation of the largest double needs 309 digits before the point.
  char buffer[400];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  if (ec != std::errc()) return fmt::format("{}", value);
  return std::string(buffer, end);
}

std::string FeeSumText(const TFee& fee) { return fee.FeeSum.ToString() + " руб."; }

std::string FeeValueText(const TFee& fee) {
  return NumberText(fee.FeeValue) + (fee.FeeType == kFeeFixed ? " руб." : " %");
}

Money ParseFeeSumField(std::string_view text) { return Money::Parse(text); }

double ParseFeeValueField(std::string_view text) {
  const std::string trimmed = Trim(text);
  std::string_view number = trimmed;
  if (!number.empty() && number.front() == '+') number.remove_prefix(1);
  // from_chars also takes "inf" and "nan"; a typed rate is digits and one point only.
  const bool plain = !number.empty() && std::all_of(number.begin(), number.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '.' || c == '-';
  });
  double value = 0;
  if (plain) {
    const auto [end, ec] =
        std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::fixed);
    if (ec == std::errc() && end == number.data() + number.size()) return value;
  }
  throw EConvertError("'" + ShortValue(text) + "' - неверное числовое значение");
}

}  // namespace quorvel
