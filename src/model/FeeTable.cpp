#include "FeeTable.h"

#include "Errors.h"

#include <fmt/printf.h>

namespace quorvel {

namespace {

constexpr const char* kSchemeNames[] = {
    "Начисляется",
    "Включается от суммы транзакций",
    "Включается от внесенной суммы",
};

}  // namespace

TFeeTable::TFeeTable(std::int32_t number, TFeeTables* owner) : number_(number), owner_(owner) {}

void TFeeTable::SetSchemeType(std::int32_t value) {
  CheckRange(value, kSchemeAdded, kSchemeFromDeposit, kSchemeTypeRangeName);
  schemeType_ = value;
}

std::string TFeeTable::DisplayName() const { return fmt::sprintf("%s %d", "Таблица", number_); }

void TFeeTable::CheckFees() const {
  for (int i = 0; i < fees_.Count(); ++i) {
    try {
      fees_.Items(i).Check();
    } catch (const Exception& e) {
      throw Exception(fmt::sprintf(kFeeRateErrorFmt, number_, i + 1, e.what()));
    }
  }
}

TFeeTables::TFeeTables() {
  for (std::int32_t number = 1; number <= kTableCount; ++number)
    items_.push_back(std::make_unique<TFeeTable>(number, this));
}

void TFeeTables::ClearAllFees() {
  for (auto& table : items_) table->Fees().Clear();
}

void TFeeTables::CheckFees() const {
  for (const auto& table : items_) table->CheckFees();
}

std::string TFeeTables::SchemeName(std::int32_t schemeType) {
  if (schemeType < kSchemeAdded || schemeType > kSchemeFromDeposit) return {};
  return kSchemeNames[schemeType];
}

std::string TFeeTables::SchemeNames() {
  std::string text;
  for (const char* name : kSchemeNames) {
    if (!text.empty()) text += "\r\n";
    text += name;
  }
  return text;
}

}  // namespace quorvel
