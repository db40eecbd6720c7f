#include "TextUtils.h"

#include "Errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace quorvel;

TEST(StrToHex, UpperCasePairsWithoutSeparators) {
  EXPECT_EQ(StrToHex(std::string("\x00\x1F\xAB\xFF", 4)), "001FABFF");
  EXPECT_EQ(StrToHex(""), "");
}

TEST(HexToStr, PairsBlanksSingleDigitsAndStop) {
  struct Row {
    const char* text;
    std::string bytes;
  } rows[] = {
      {"0A1b", std::string("\x0A\x1B", 2)},
      {"0A 1B\t2c", std::string("\x0A\x1B\x2C", 3)},
      {"A B", std::string("\x0A\x0B", 2)},          // single digits before blanks
      {"0A1", std::string("\x0A\x01", 2)},          // a digit left at the end
      {"0A zz 1B", std::string("\x0A", 1)},         // stops at the first bad pair
      {"0AZ1", std::string("\x0A", 1)},
      {"", ""},
      {"   ", ""},
  };
  for (const auto& r : rows) EXPECT_EQ(HexToStr(r.text), r.bytes) << r.text;
  EXPECT_EQ(HexToStr(StrToHex("\x01\x80\xFF")), "\x01\x80\xFF");
}

TEST(PrintableText, ControlBytesBecomeDotsOthersStay) {
  EXPECT_EQ(PrintableText(std::string("a\r\n\t\x00\x1F b\x80\xFF", 10)), "a..... b\x80\xFF");
}

TEST(KeyFilters, DigitAndNumericKeys) {
  for (char32_t k = U'0'; k <= U'9'; ++k) {
    EXPECT_TRUE(IsDigitKey(k));
    EXPECT_TRUE(IsNumericKey(k));
  }
  EXPECT_TRUE(IsDigitKey(8));
  EXPECT_TRUE(IsDigitKey(12));
  EXPECT_FALSE(IsDigitKey(U'.'));
  EXPECT_FALSE(IsDigitKey(U'a'));
  EXPECT_FALSE(IsDigitKey(22));
  for (char32_t k : {U'.', char32_t(3), char32_t(8), char32_t(12), char32_t(22), char32_t(24), char32_t(26)})
    EXPECT_TRUE(IsNumericKey(k)) << static_cast<int>(k);
  for (char32_t k : {U',', U'-', U'e', char32_t(13), char32_t(27), U'я'}) EXPECT_FALSE(IsNumericKey(k));
}

TEST(Trim, RemovesCodesUpTo32AndKeepsHighBytes) {
  EXPECT_EQ(Trim(std::string("\x01 \t ab c\r\n\x1F", 10)), "ab c");
  EXPECT_EQ(Trim("\xE0\xFF "), "\xE0\xFF");
  EXPECT_EQ(Trim("   "), "");
}

TEST(StrToInt, StrictDecimal) {
  EXPECT_EQ(StrToInt("-5"), -5);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt64("9223372036854775807"), INT64_MAX);
  for (const char* bad : {"", " 1", "1 ", "1a", "0x10", "+", "-", "2147483648", "++1"})
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
}

TEST(Utf8Length, CountsCharactersNotBytes) {
  EXPECT_EQ(Utf8Length("abc"), 3u);
  EXPECT_EQ(Utf8Length("Привет"), 6u);
  EXPECT_EQ(Utf8Length("€"), 1u);
}

TEST(CheckRange, MessageAndBounds) {
  EXPECT_NO_THROW(CheckRange(1, 1, 100, "x"));
  EXPECT_NO_THROW(CheckRange(100, 1, 100, "x"));
  try {
    CheckRange(0, 1, 100, "Неверное значение числа повторов");
    FAIL() << "no error";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Неверное значение числа повторов, 0. Допустимые значения: 1..100");
  }
  EXPECT_THROW(CheckRange(6, 1, 5, "MaxRetryCount"), Exception);
}

TEST(Errors, DriverErrorCarriesCodeAndAbortIsSilentKind) {
  EDriverError e("Линия находится в состоянии BREAK", 1004);
  EXPECT_EQ(e.ResultCode(), 1004);
  EXPECT_STREQ(e.what(), "Линия находится в состоянии BREAK");
  try {
    RaiseAbort();
  } catch (const EAbort& a) {
    EXPECT_STREQ(a.what(), "Операция прервана");
  }
}

TEST(SplitLines, EndsLinesAtCrLfCrOrLf) {
  using testing::ElementsAre;
  using testing::IsEmpty;
  EXPECT_THAT(SplitLines(""), IsEmpty());
  EXPECT_THAT(SplitLines("a"), ElementsAre("a"));
  EXPECT_THAT(SplitLines("a\n"), ElementsAre("a"));
  EXPECT_THAT(SplitLines("a\r\n"), ElementsAre("a"));
  EXPECT_THAT(SplitLines("a\r"), ElementsAre("a"));
  EXPECT_THAT(SplitLines("\n"), ElementsAre(""));
  EXPECT_THAT(SplitLines("a\n\n"), ElementsAre("a", ""));
  EXPECT_THAT(SplitLines("a\r\rb"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitLines("a\n\rb"), ElementsAre("a", "", "b"));
  EXPECT_THAT(SplitLines("a\r\n\r\nb "), ElementsAre("a", "", "b "));
  EXPECT_THAT(SplitLines(" a \tb\r\n"), ElementsAre(" a \tb"));
}

TEST(FixedLines, PadsDropsAndJoinsTheReceiptLines) {
  using testing::ElementsAre;
  EXPECT_THAT(FixedLines("a\r\nb\rc\nd", 3), ElementsAre("a", "b", "c"));
  EXPECT_THAT(FixedLines("a\r\n", 3), ElementsAre("a", "", ""));
  std::string tenEmpty;
  for (int i = 0; i < 10; ++i) tenEmpty += "\r\n";
  EXPECT_EQ(CrLfText(FixedLines("", 10)), tenEmpty);
  EXPECT_EQ(CrLfText({"x", "", "y"}), "x\r\n\r\ny\r\n");
}
