// What a script goes to the terminal as: a TAB between tokens is a blank, a TAB inside a
// string and every other character the frame cannot carry are refused before any packet.
#include "Cp1251.h"
#include "Errors.h"
#include "ModemDriver.h"

#include <gtest/gtest.h>

#include <string>

using namespace quorvel;

namespace {

TEST(ScriptWireText, TabsAndForbiddenCharacters) {
  const struct {
    std::string Text;
    std::string Wire;      // UTF-8 of the bytes sent, when accepted
    std::string Expected;  // the message, when refused
  } rows[] = {
      {"INPUT('Номер')\tBEEP(1)", "INPUT('Номер') BEEP(1)", ""},
      {"\tA = 1;\r\n\t\tB = 2; // \tcomment", " A = 1;  B = 2; ", ""},
      {"A = 'x' + 'y';\tB", "A = 'x' + 'y'; B", ""},
      {"INPUT('Но\tмер')", "", "Поле \"Сценарий ввода 12\" содержит недопустимый символ: TAB (код 9)"},
      {"A = 'open\tstring", "", "Поле \"Сценарий ввода 12\" содержит недопустимый символ: TAB (код 9)"},
      {"INPUT(\"Номер\")", "", "Поле \"Сценарий ввода 12\" содержит недопустимый символ: \"\"\" (код 34)"},
      {std::string("A\x01") + "B", "", "Поле \"Сценарий ввода 12\" содержит недопустимый символ: код 1"},
      {"A = '😀'", "",
       "Поле \"Сценарий ввода 12\": Символ \"😀\" (U+1F600) нельзя записать в кодировке windows-1251"},
  };
  for (const auto& row : rows) {
    std::string message;
    std::string wire;
    try {
      wire = Cp1251ToUtf8(ScriptWireText(12, row.Text));
    } catch (const Exception& e) {
      message = e.what();
    }
    EXPECT_EQ(message, row.Expected) << row.Text;
    EXPECT_EQ(wire, row.Wire) << row.Text;
  }
}

TEST(ScriptWireText, LongScriptsAreNotCutByTheValueLimit) {
  // Scripts travel in packets: only a single value has to fit one line.
  const std::string text(20000, 'x');
  EXPECT_EQ(ScriptWireText(3, text), text);
}

}  // namespace
