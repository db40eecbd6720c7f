#include "Money.h"

#include "Errors.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quorvel;

TEST(Money, ParsesDecimalTextExactly) {
  struct Row {
    const char* text;
    std::int64_t units;
  } rows[] = {
      {"0", 0},
      {"1000", 10000000},
      {"1.5", 15000},
      {"0.0001", 1},
      {"10.005", 100050},
      {"-2.25", -22500},
      {"+3", 30000},
      {".5", 5000},
      {"5.", 50000},
      {"007.10", 71000},
      {"1.500000", 15000},  // zeros past the fourth place lose nothing
      {" 12.34\t", 123400},
      {"922337203685477.5807", std::numeric_limits<std::int64_t>::max()},
  };
  for (const auto& r : rows) EXPECT_EQ(Money::Parse(r.text).Units(), r.units) << r.text;
}

TEST(Money, RefusesBadTextWithClearMessage) {
  struct Row {
    const char* text;
    const char* reason;
  } rows[] = {
      {"", "пустой текст"},
      {"   ", "пустой текст"},
      {"-", "нет цифр"},
      {".", "нет цифр"},
      {"1,5", "разделитель дробной части - точка"},
      {"1.2.3", "вторая точка"},
      {"1e3", "недопустимый символ"},
      {"1 000", "недопустимый символ"},
      {"--1", "недопустимый символ"},
      {"0x10", "недопустимый символ"},
      {"1.00001", "больше четырех знаков после точки"},
      {"922337203685477.5808", "слишком большое значение"},
      {"99999999999999999999", "слишком большое значение"},
  };
  for (const auto& r : rows) {
    try {
      Money::Parse(r.text);
      ADD_FAILURE() << "accepted '" << r.text << "'";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.what(), "'" + std::string(r.text) + "' - неверная денежная сумма: " + r.reason);
    }
    EXPECT_FALSE(Money::TryParse(r.text).has_value()) << r.text;
  }
}

TEST(Money, FormatsShortestDecimalAndRoundTrips) {
  struct Row {
    std::int64_t units;
    const char* text;
  } rows[] = {
      {0, "0"},
      {10000000, "1000"},
      {15000, "1.5"},
      {1, "0.0001"},
      {-22500, "-2.25"},
      {-1, "-0.0001"},
      {100100, "10.01"},
      {std::numeric_limits<std::int64_t>::max(), "922337203685477.5807"},
      {std::numeric_limits<std::int64_t>::min(), "-922337203685477.5808"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(Money::FromUnits(r.units).ToString(), r.text) << r.units;
    if (r.units != std::numeric_limits<std::int64_t>::min()) {
      EXPECT_EQ(Money::Parse(r.text).Units(), r.units) << r.text;
    }
  }
}

TEST(Money, KopecksRoundHalfToEven) {
  struct Row {
    const char* text;
    std::int64_t kopecks;
  } rows[] = {
      {"10.005", 1000},   {"10.015", 1002}, {"10.0051", 1001}, {"10.0049", 1000},
      {"0.004", 0},       {"0.005", 0},     {"0.015", 2},      {"-10.005", -1000},
      {"-10.015", -1002}, {"-0.0051", -1},  {"1000", 100000},  {"0.01", 1},
  };
  for (const auto& r : rows) {
    const Money m = Money::Parse(r.text);
    EXPECT_EQ(m.ToKopecks(), r.kopecks) << r.text;
    EXPECT_EQ(m.RoundedToKopecks(), Money::FromKopecks(r.kopecks)) << r.text;
  }
  EXPECT_EQ(Money::FromUnits(std::numeric_limits<std::int64_t>::max()).ToKopecks(),
            std::numeric_limits<std::int64_t>::max() / 100);
}

TEST(Money, ArithmeticAndConversionsRefuseOverflow) {
  EXPECT_EQ(Money::Parse("0.1") + Money::Parse("0.2"), Money::Parse("0.3"));
  EXPECT_EQ(Money::Parse("1") - Money::Parse("1.0001"), Money::Parse("-0.0001"));
  EXPECT_LT(Money::Parse("99.9999"), Money::Parse("100"));
  const Money max = Money::FromUnits(std::numeric_limits<std::int64_t>::max());
  EXPECT_THROW(max + Money::FromUnits(1), EConvertError);
  EXPECT_THROW(Money::FromUnits(std::numeric_limits<std::int64_t>::min()) - Money::FromUnits(1),
               EConvertError);
  EXPECT_THROW(Money::FromKopecks(std::numeric_limits<std::int64_t>::max() / 50), EConvertError);
  EXPECT_EQ(Money::FromKopecks(-150).ToString(), "-1.5");
}

TEST(DoubleRounding, HalvesGoToEvenAtTheTypedDigits) {
  struct Row {
    double value;
    int decimals;
    std::int64_t scaled;
  } rows[] = {
      {0.125, 2, 12},   {0.375, 2, 38},     {1.005, 2, 100},  // 1.005 is a half as typed
      {1.015, 2, 102},  {2.675, 2, 268},    {0.0049, 2, 0},  {0.0051, 2, 1},  {-0.125, 2, -12},
      {-0.135, 2, -14}, {50.01, 2, 5001},   {100, 2, 10000}, {2.5, 0, 2},     {3.5, 0, 4},
      {1e-300, 2, 0},   {50.01, 4, 500100}, {0.00005, 4, 0}, {0.00015, 4, 2}, {123.456789, 4, 1234568},
  };
  for (const auto& r : rows) {
    const auto scaled = ScaledHalfEven(r.value, r.decimals);
    ASSERT_TRUE(scaled.has_value()) << r.value;
    EXPECT_EQ(*scaled, r.scaled) << r.value << " at " << r.decimals;
  }
  EXPECT_FALSE(ScaledHalfEven(std::numeric_limits<double>::infinity(), 2));
  EXPECT_FALSE(ScaledHalfEven(std::numeric_limits<double>::quiet_NaN(), 2));
  EXPECT_FALSE(ScaledHalfEven(1e300, 2));
  EXPECT_FALSE(ScaledHalfEven(1.0, 10));
}

TEST(DoubleRounding, HundredthsAndMoneyFromDouble) {
  EXPECT_EQ(RoundToHundredths(0.125), 0.12);
  EXPECT_EQ(RoundToHundredths(0.375), 0.38);
  EXPECT_EQ(RoundToHundredths(1.999), 2.0);
  EXPECT_EQ(RoundToHundredths(33.333333), 33.33);
  EXPECT_EQ(RoundToHundredths(1e300), 1e300);  // beyond 64 bits: unchanged
  EXPECT_EQ(MoneyFromDouble(50.01), Money::Parse("50.01"));
  EXPECT_EQ(MoneyFromDouble(-0.00015), Money::Parse("-0.0002"));
  EXPECT_FALSE(MoneyFromDouble(1e16).has_value());
  EXPECT_FALSE(MoneyFromDouble(std::numeric_limits<double>::infinity()).has_value());
}
