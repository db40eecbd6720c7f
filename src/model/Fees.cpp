#include "Fees.h"

#include "Errors.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

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

void TFee::SetValues(std::int32_t type, Money sum, double value) {
  if (sum <= Money()) throw Exception(kFeeSumMessage);
  if (!(value > 0) || !std::isfinite(value)) throw Exception(kFeeValueMessage);
  if (type == kFeeFixed && !SumExceedsValue(sum, value)) throw Exception(kFeeFixedMessage);
  if (type == kFeePercent) {
    if (value > kMaxPercent) throw Exception(kFeeMaxPercentMessage);
    if (value < kMinPercent) throw Exception(kFeeMinPercentMessage);
  }
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

}  // namespace quorvel
