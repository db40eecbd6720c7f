#include "ErrorOf.h"
#include "Errors.h"
#include "TextUtils.h"
#include "WireText.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace quorvel;
using quorvel::test::ErrorOf;

namespace {

struct TextRow {
  std::string Value;
  std::size_t Max;
  std::string Expected;  // empty: accepted
};

TEST(WireText, QuotedValuesRefuseWhatTheFrameCannotCarry) {
  const TextRow rows[] = {
      {"ООО Ромашка, касса 1", kMaxWireValueLength, ""},
      {"", kMaxWireValueLength, ""},
      {"1.2.3.4\",9999,\"x", kMaxWireValueLength,
       "Поле \"Логин\" содержит недопустимый символ: \"\"\" (код 34)"},
      {"user\r\nAT+SMSN=1", kMaxWireValueLength, "Поле \"Логин\" содержит недопустимый символ: CR (код 13)"},
      {"a\nb", kMaxWireValueLength, "Поле \"Логин\" содержит недопустимый символ: LF (код 10)"},
      {"a\tb", kMaxWireValueLength, "Поле \"Логин\" содержит недопустимый символ: TAB (код 9)"},
      {std::string("a\0b", 3), kMaxWireValueLength, "Поле \"Логин\" содержит недопустимый символ: код 0"},
      {"ж€", kMaxWireValueLength, ""},
      {"смайл 😀", kMaxWireValueLength,
       "Поле \"Логин\": Символ \"😀\" (U+1F600) нельзя записать в кодировке windows-1251"},
      {std::string(29, 'l'), 29, ""},
      {"пароль-пароль-пароль-пароль-п", 29, ""},  // 29 characters, 57 bytes
      {std::string(30, 'l'), 29, "Поле \"Логин\": слишком длинное значение, 30 символов (не более 29)"},
      {std::string(kMaxWireValueLength + 1, 'x'), 100000,
       "Поле \"Логин\": слишком длинное значение, 4001 символов (не более 4000)"},
  };
  for (const TextRow& row : rows)
    EXPECT_EQ(ErrorOf([&] { CheckWireText(row.Value, "Логин", row.Max); }), row.Expected) << row.Value;
}

// Every control code is refused wherever it stands in the value and named in the message;
// the printable neighbours of the range, the blank and the tilde, pass.
TEST(WireText, EveryControlCodeIsRefusedAndNamed) {
  struct Row {
    unsigned char Code;
    std::string Name;  // empty: accepted
  };
  std::vector<Row> rows = {{9, "TAB (код 9)"},     {10, "LF (код 10)"}, {13, "CR (код 13)"},
                           {127, "DEL (код 127)"}, {' ', ""},           {'~', ""}};
  for (unsigned char code = 0; code < 32; ++code)
    if (code != 9 && code != 10 && code != 13) rows.push_back({code, "код " + std::to_string(code)});
  ASSERT_EQ(rows.size(), 32u + 1u + 2u);
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.Code));
    const std::string code(1, static_cast<char>(row.Code));
    for (const std::string& value : {code, "ООО" + code, code + "касса", "a" + code + "b"}) {
      const std::string error = ErrorOf([&] { CheckWireChars(value, "Логин"); });
      EXPECT_EQ(error, row.Name.empty() ? "" : "Поле \"Логин\" содержит недопустимый символ: " + row.Name);
    }
  }
}

TEST(WireText, DigitFields) {
  const struct {
    std::string Value;
    std::size_t Max;
    bool AllowEmpty;
    std::string Expected;
  } rows[] = {
      {"0123456789", 0, false, ""},
      {"", 0, true, ""},
      {"", 0, false, "Поле \"Код дилера\" должно содержать только цифры: \"\""},
      {"1,2", 0, false, "Поле \"Код дилера\" должно содержать только цифры: \"1,2\""},
      {"-1", 0, false, "Поле \"Код дилера\" должно содержать только цифры: \"-1\""},
      {" 1", 0, false, "Поле \"Код дилера\" должно содержать только цифры: \" 1\""},
      {"١", 0, false, "Поле \"Код дилера\" должно содержать только цифры: \"١\""},  // not an ASCII digit
      {std::string(19, '7'), 19, false, ""},
      {std::string(20, '7'), 19, false,
       "Поле \"Код дилера\": слишком длинное значение, 20 символов (не более 19)"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(ErrorOf([&] { CheckWireDigits(row.Value, "Код дилера", row.Max, row.AllowEmpty); }),
              row.Expected)
        << row.Value;
}

TEST(WireText, MessagesQuoteAtMostSixtyCharacters) {
  const std::string sixty(60, 'a');
  EXPECT_EQ(QuotedValue(sixty), "\"" + sixty + "\"");
  EXPECT_EQ(QuotedValue(sixty + "b"), "\"" + sixty + "…\"");
  std::string cyr;
  for (int i = 0; i < 70; ++i) cyr += "щ";
  const std::string cut = QuotedValue(cyr);
  EXPECT_EQ(Utf8Length(cut), 60u + 3u);               // two quotes and the ellipsis
  EXPECT_EQ(cut.substr(1, 120), cyr.substr(0, 120));  // cut at a character boundary

  // Existing messages that quote a user's value are shortened the same way.
  const std::string huge(100000, '9');
  EXPECT_EQ(ErrorOf([&] { StrToInt(huge + "x"); }),
            "'" + std::string(60, '9') + "…' - неверное целое значение");
  EXPECT_EQ(ErrorOf([&] { StrToInt("12x"); }), "'12x' - неверное целое значение");
  const std::string digits = "1,2" + std::string(100, '3');
  EXPECT_EQ(ErrorOf([&] { CheckWireDigits(digits, "Код точки"); }),
            "Поле \"Код точки\" должно содержать только цифры: \"" + digits.substr(0, 60) + "…\"");
}

}  // namespace
