#include "FeeTable.h"
#include "Fees.h"

#include "Errors.h"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

Money M(const char* text) { return Money::Parse(text); }

// The message SetValues raises, or "" when it accepts the rate.
std::string SetValuesMessage(TFee& fee, std::int32_t type, const char* sum, double value) {
  try {
    fee.SetValues(type, M(sum), value);
    return "";
  } catch (const Exception& e) {
    return e.what();
  }
}

}  // namespace

TEST(FeeSetValues, RulesInOrderWithBoundaries) {
  struct Row {
    std::int32_t type;
    const char* sum;
    double value;
    const char* message;  // nullptr: accepted
  } rows[] = {
      {kFeePercent, "100", 0.01, nullptr},
      {kFeePercent, "100", 0.009, kFeeMinPercentMessage},
      {kFeePercent, "100", 100, nullptr},
      {kFeePercent, "100", 100.01, kFeeMaxPercentMessage},
      {kFeeFixed, "50", 50, kFeeFixedMessage},
      {kFeeFixed, "50.01", 50, nullptr},
      {kFeeFixed, "50.01", 50.01, kFeeFixedMessage},  // equal as typed, not as doubles
      {kFeeFixed, "50", 500, kFeeFixedMessage},
      {kFeeFixed, "1000", 150, nullptr},  // a fixed rate may exceed 100
      {kFeePercent, "0", 1, kFeeSumMessage},
      {kFeePercent, "-1", 1, kFeeSumMessage},
      {kFeePercent, "0", 0, kFeeSumMessage},  // the sum is checked first
      {kFeePercent, "10", 0, kFeeValueMessage},
      {kFeeFixed, "10", -5, kFeeValueMessage},
      {kFeePercent, "10", std::numeric_limits<double>::quiet_NaN(), kFeeValueMessage},
      {kFeeFixed, "10", std::numeric_limits<double>::infinity(), kFeeValueMessage},
      {kFeePercent, "10", 1e20, kFeeMaxPercentMessage},
      {kFeeFixed, "10", 1e20, kFeeFixedMessage},  // beyond money, still less than no sum
      {2, "10", 500, "Неверный тип ставки комиссии, 2. Допустимые значения: 0..1"},
      {7, "0", 0, "Неверный тип ставки комиссии, 7. Допустимые значения: 0..1"},  // the type first
      {-1, "10", 1, "Неверный тип ставки комиссии, -1. Допустимые значения: 0..1"},
      {kFeePercent, "0.004", 1, nullptr},  // passes check 1, stored as 0
  };
  for (const auto& r : rows) {
    TFee fee;
    EXPECT_EQ(SetValuesMessage(fee, r.type, r.sum, r.value), r.message ? r.message : "")
        << "type " << r.type << " sum " << r.sum << " value " << r.value;
  }
}

TEST(FeeSetValues, FailureChangesNothing) {
  TFees fees;
  TFee& fee = fees.Add();
  fee.SetValues(kFeePercent, M("200"), 1.5);
  fees.Add().SetValues(kFeePercent, M("100"), 2);
  ASSERT_EQ(&fees.Items(1), &fee);
  EXPECT_NE(SetValuesMessage(fee, kFeeFixed, "50", 60), "");
  EXPECT_EQ(fee.FeeType, kFeePercent);
  EXPECT_EQ(fee.FeeSum, M("200"));
  EXPECT_EQ(fee.FeeValue, 1.5);
  EXPECT_EQ(&fees.Items(1), &fee);
}

TEST(FeeSetValues, StoresRoundedHalvesToEven) {
  struct Row {
    const char* sum;
    double value;
    const char* storedSum;
    double storedValue;
  } rows[] = {
      {"10.005", 0.125, "10", 0.12},
      {"10.015", 0.375, "10.02", 0.38},
      {"0.004", 1, "0", 1},
      {"99.9951", 12.3456, "100", 12.35},
  };
  for (const auto& r : rows) {
    TFee fee;
    fee.SetValues(kFeePercent, M(r.sum), r.value);
    EXPECT_EQ(fee.FeeSum, M(r.storedSum)) << r.sum;
    EXPECT_EQ(fee.FeeValue, r.storedValue) << r.value;
  }
}

TEST(Fees, SetValuesKeepsTheListOrderedBySum) {
  TFees fees;
  TFee& a = fees.Add();
  a.SetValues(kFeePercent, M("300"), 1);
  TFee& b = fees.Add();
  b.SetValues(kFeePercent, M("100"), 2);
  TFee& c = fees.Add();
  c.SetValues(kFeeFixed, M("200"), 3);
  ASSERT_EQ(fees.Count(), 3);
  EXPECT_EQ(fees.Items(0).FeeSum, M("100"));
  EXPECT_EQ(fees.Items(1).FeeSum, M("200"));
  EXPECT_EQ(fees.Items(2).FeeSum, M("300"));
  EXPECT_EQ(&fees.Items(0), &b);  // the rates move, their addresses stay valid
  EXPECT_EQ(fees.IndexOf(a), 2);
  EXPECT_EQ(a.Owner(), &fees);
}

TEST(Fees, AddSelectsTheNewRateAndStopsAtTen) {
  TFees fees;
  EXPECT_EQ(fees.ItemIndex, 0);
  for (int i = 0; i < TFees::kMaxFees; ++i) {
    ASSERT_TRUE(fees.CanAdd());
    TFee& fee = fees.Add();
    EXPECT_EQ(fees.ItemIndex, i);
    EXPECT_EQ(fee.FeeSum, Money());
    EXPECT_EQ(fee.FeeValue, 0);
    EXPECT_EQ(fee.FeeType, kFeePercent);
  }
  EXPECT_FALSE(fees.CanAdd());
  try {
    fees.Add();
    FAIL() << "eleventh rate added";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Максимальное количество ставок 10. Добавление ставки невозможно");
  }
  EXPECT_EQ(fees.Count(), 10);
  EXPECT_EQ(fees.ItemIndex, 9);
  EXPECT_THROW(fees.Append(std::make_unique<TFee>()), Exception);
  EXPECT_EQ(fees.Count(), 10);
}

TEST(Fees, PositionTestDeleteAndMoveBetweenLists) {
  TFees from, to;
  TFee& kept = from.Add();
  TFee& moved = from.Add();
  moved.SetValues(kFeePercent, M("5"), 1);
  EXPECT_TRUE(from.IsValidIndex(0));
  EXPECT_TRUE(from.IsValidIndex(1));
  EXPECT_FALSE(from.IsValidIndex(2));
  EXPECT_FALSE(from.IsValidIndex(-1));

  to.Append(from.Extract(moved));
  EXPECT_EQ(from.Count(), 1);
  EXPECT_EQ(to.Count(), 1);
  EXPECT_EQ(moved.Owner(), &to);
  EXPECT_EQ(&from.Items(0), &kept);
  EXPECT_THROW(from.Extract(moved), std::invalid_argument);

  auto loose = to.Extract(moved);
  EXPECT_EQ(loose->Owner(), nullptr);
  loose->SetValues(kFeePercent, M("7"), 1);  // no list to sort: must not touch the old one
  EXPECT_EQ(to.Count(), 0);

  from.Delete(5);  // ignored
  from.Delete(0);
  EXPECT_EQ(from.Count(), 0);
}

TEST(FeeTables, FreshSetHasTenEmptyTables) {
  TFeeTables tables;
  ASSERT_EQ(tables.Count(), 10);
  EXPECT_EQ(tables.ItemIndex, 0);
  for (int i = 0; i < tables.Count(); ++i) {
    const TFeeTable& table = tables.Items(i);
    EXPECT_EQ(table.Number(), i + 1);
    EXPECT_EQ(table.SchemeType(), kSchemeAdded);
    EXPECT_EQ(table.Fees().Count(), 0);
    EXPECT_EQ(table.Owner(), &tables);
  }
  EXPECT_EQ(tables.Items(2).DisplayName(), "Таблица 3");
  EXPECT_EQ(tables.Items(9).DisplayName(), "Таблица 10");
  EXPECT_FALSE(tables.IsValidIndex(10));
}

TEST(FeeTables, ClearAllFeesKeepsSchemes) {
  TFeeTables tables;
  for (int i = 0; i < tables.Count(); ++i) {
    tables.Items(i).SetSchemeType(i % 3);
    tables.Items(i).Fees().Add().SetValues(kFeePercent, M("10"), 1);
  }
  tables.ClearAllFees();
  for (int i = 0; i < tables.Count(); ++i) {
    EXPECT_EQ(tables.Items(i).Fees().Count(), 0);
    EXPECT_EQ(tables.Items(i).SchemeType(), i % 3);
  }
}

TEST(FeeTables, SchemeNamesAndRange) {
  EXPECT_EQ(TFeeTables::SchemeNames(),
            "Начисляется\r\nВключается от суммы транзакций\r\nВключается от внесенной суммы");
  EXPECT_EQ(TFeeTables::SchemeName(2), "Включается от внесенной суммы");
  EXPECT_EQ(TFeeTables::SchemeName(3), "");
  TFeeTables tables;
  tables.Items(0).SetSchemeType(2);
  try {
    tables.Items(0).SetSchemeType(3);
    FAIL() << "scheme 3 accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Неверный тип схемы комиссии, 3. Допустимые значения: 0..2");
  }
  EXPECT_THROW(tables.Items(0).SetSchemeType(-1), Exception);
  EXPECT_EQ(tables.Items(0).SchemeType(), 2);
}

TEST(FeeText, RowTextsAsTheListAndTheCommandLineShowThem) {
  TFees fees;
  TFee& percent = fees.Add();
  percent.SetValues(kFeePercent, M("1000"), 1.5);
  EXPECT_EQ(FeeSumText(percent), "1000 руб.");
  EXPECT_EQ(FeeValueText(percent), "1.5 %");
  TFee& fixed = fees.Add();
  fixed.SetValues(kFeeFixed, M("250.5"), 20);
  EXPECT_EQ(FeeSumText(fixed), "250.5 руб.");
  EXPECT_EQ(FeeValueText(fixed), "20 руб.");
  // Values straight from a file keep every digit and never turn into an exponent.
  fixed.FeeValue = 0.0001;
  fixed.FeeSum = Money::FromUnits(1);
  EXPECT_EQ(FeeValueText(fixed), "0.0001 руб.");
  EXPECT_EQ(FeeSumText(fixed), "0.0001 руб.");
  EXPECT_EQ(NumberText(1e20), "100000000000000000000");
  EXPECT_EQ(NumberText(0.1 + 0.2), "0.30000000000000004");
}

TEST(FeeText, DialogFieldsParseOrRaiseAConversionMessage) {
  EXPECT_EQ(ParseFeeSumField(" 10.5 "), M("10.5"));
  EXPECT_EQ(ParseFeeValueField("1.25"), 1.25);
  EXPECT_EQ(ParseFeeValueField(".5"), 0.5);
  EXPECT_EQ(ParseFeeValueField("+3"), 3.0);
  EXPECT_EQ(ParseFeeValueField("-3"), -3.0);  // a rule of the rate refuses it, not the parser
  for (const char* bad : {"", " ", ".", "1..2", "1e5", "inf", "nan", "1,5", "12a", "1-2", "1e400"}) {
    try {
      ParseFeeValueField(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const EConvertError& e) {
      EXPECT_NE(std::string(e.what()).find("неверное числовое значение"), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(ParseFeeValueField(std::string(400, '9')), EConvertError);  // beyond a double
  EXPECT_THROW(ParseFeeSumField(""), EConvertError);
  EXPECT_THROW(ParseFeeSumField("1.00001"), EConvertError);
  EXPECT_THROW(ParseFeeSumField("abc"), EConvertError);
}
