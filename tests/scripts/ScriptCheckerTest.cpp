#include "ScriptChecker.h"
#include "ScriptDef.h"

#include "Errors.h"

#include <gtest/gtest.h>

#include <string>

using namespace quorvel;

namespace {

struct Row {
  const char* name;
  std::string script;
  std::string message;  // empty: the script passes
  std::string token;
};

const Row kRows[] = {
    {"Call", "WINDOW(1);", "", ""},
    {"NamesIgnoreCase", "window(1);", "", ""},
    {"StringForInteger", "WINDOW('1');", "неверный тип", "'1'"},
    {"DecimalForInteger", "WINDOW(1.0);", "неверный тип", "1.0"},
    {"TooManyArguments", "WINDOW(1,2);", "слишком много параметров", "2"},
    {"TooFewArguments", "WINDOW();", "недостаточное количество параметров", ")"},
    {"NoParamsWithoutParentheses", "TESTNUMBER;", "", ""},
    {"NoParamsWithParentheses", "TESTNUMBER();", "", ""},
    {"ParamsButNoParentheses", "GOTO;", "нет параметров", ";"},
    {"RepeatedLastParameter", "LIST(1,2,3,4,'a','b','c');", "", ""},
    {"RepeatedParameterStillRequired", "LIST(1,2,3,4);", "недостаточное количество параметров", ")"},
    {"RepeatedParameterKeepsItsType", "LIST(1,2,3,4,'a',5);", "неверный тип", "5"},
    {"SelectNeedsOneString", "SELECT();", "недостаточное количество параметров", ")"},
    {"DecimalParameters", "SUMEDIT(0,0,10,10,1.5,2.5,1);", "", ""},
    {"IntegerForDecimalParameter", "SUMEDIT(0,0,10,10,1,2.5,1);", "неверный тип", "1"},
    {"AssignMethodResult", "NUMBER = MASKEDIT(0,0,100,20,'999',1);", "", ""},
    {"AssignIntegerToString", "NUMBER = 5;", "неверный тип", "5"},
    {"AssignDecimalToString", "AMOUNT = 1.5;", "неверный тип", "1.5"},
    {"AssignVariable", "NUMBER = ACCOUNT;", "", ""},
    {"AssignMethodWithoutResult", "NUMBER = TESTNUMBER;", "неверный тип", "TESTNUMBER"},
    {"AssignMethodNeedingArguments", "NUMBER = MASKEDIT;", "нет параметров", ";"},
    {"AssignString", "COMMENT = 'Привет';", "", ""},
    {"IndexedAssignment", "COMMENT[2] = 'x';", "", ""},
    {"StringIndex", "COMMENT['a'] = 'x';", "индекс должен иметь целое значение", "'a'"},
    {"UnclosedIndex", "COMMENT[2 = 'x';", "ошибка синтаксиса", "="},
    {"UnknownName", "FOO(1);", "FOO, неизвестный идентификатор", "FOO"},
    {"UnknownArgumentName", "WINDOW(x);", "x, неизвестный идентификатор", "x"},
    {"VariableAsArgument", "WINDOW(NUMBER);", "ошибка синтаксиса", "NUMBER"},
    {"SecondLiteral", "NUMBER = 'a' 'b';", "ожидается ; но найдено 'b'", "'b'"},
    {"NameAfterCall", "WINDOW(1) WINDOW(2);", "ожидается ; но найдено WINDOW", "WINDOW"},
    {"SignAfterCall", "WINDOW(1)(", "ожидается ; но найдено (", "("},
    {"IndexOnValueVariable", "NUMBER = ACCOUNT[1];", "ожидается ; но найдено [", "["},
    {"SemicolonInsteadOfEquals", "NUMBER;", "ошибка синтаксиса", ";"},
    {"UnaryMinus", "WINDOW(-1);", "ошибка синтаксиса", "-"},
    {"LiteralStatement", "5;", "ошибка синтаксиса", "5"},
    {"ArgumentWithoutParentheses", "WINDOW 1;", "ошибка синтаксиса", "1"},
    {"CyrillicName", "ОКНО(1);", "ошибка синтаксиса", "О"},
    {"LastStatementWithoutSemicolon", "WINDOW(1)", "", ""},
    {"UnclosedStringAtTheEnd", "COMMENT = 'abc", "", ""},
    {"EmptyStatements", ";;;", "", ""},
    {"Comments", "// WINDOW('a');\r\nWINDOW(1); // GOTO;", "", ""},
    {"BlanksInsideANumber", "WINDOW(1 2);", "", ""},
    {"TrailingComma", "WINDOW(1,);", "", ""},
};

class CheckerRows : public ::testing::TestWithParam<Row> {};

TEST_P(CheckerRows, MessageAndToken) {
  const Row& row = GetParam();
  TScriptDef def;
  const bool ok = def.Check(row.script);
  if (row.message.empty()) {
    EXPECT_TRUE(ok);
    EXPECT_EQ(def.Errors().Count(), 0);
    if (def.Errors().Count() > 0) ADD_FAILURE() << def.Errors().Items(0)->Message;
    return;
  }
  EXPECT_FALSE(ok);
  ASSERT_EQ(def.Errors().Count(), 1);
  EXPECT_EQ(def.Errors().Items(0)->Message, row.message);
  EXPECT_EQ(def.Errors().Items(0)->Token, row.token);
}

INSTANTIATE_TEST_SUITE_P(Checker, CheckerRows, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(ScriptChecker, EveryVariableTakesAStringAndNothingElse) {
  TScriptDef def;
  for (int i = 0; i < def.Variables().Count(); ++i) {
    const std::string name = def.Variables().Items(i)->Name;
    SCOPED_TRACE(name);
    EXPECT_TRUE(def.Check(name + " = 'a'; " + name + "[0] = 'b';"));
    EXPECT_FALSE(def.Check(name + " = 7;"));
  }
}

TEST(ScriptChecker, AnErrorAtASemicolonSkipsTheNextStatement) {
  TScriptDef def;
  EXPECT_FALSE(def.Check("GOTO; WINDOW(x);"));
  ASSERT_EQ(def.Errors().Count(), 1);
  EXPECT_EQ(def.Errors().Items(0)->Message, kScriptNoParams);

  // An error inside a statement skips only to its own ";".
  EXPECT_FALSE(def.Check("WINDOW('a'); WINDOW(1); GOTO('x'); NUMBER;"));
  ASSERT_EQ(def.Errors().Count(), 3);
  EXPECT_EQ(def.Errors().Items(0)->Token, "'a'");
  EXPECT_EQ(def.Errors().Items(1)->Token, "'x'");
  EXPECT_EQ(def.Errors().Items(2)->Message, kScriptSyntaxError);
}

TEST(ScriptChecker, ErrorsCarryLineAndPositionsOfTheirToken) {
  TScriptDef def;
  EXPECT_FALSE(def.Check("WINDOW(1);\r\nGOTO;\r\nWINDOW(2);\r\n  FOO;\r\nNUMBER = 'Ж' 5;"));
  ASSERT_EQ(def.Errors().Count(), 3);
  const TScriptError* e = def.Errors().Items(0);
  EXPECT_EQ(e->Message, "нет параметров");
  EXPECT_EQ(e->Line, 2);
  EXPECT_EQ(e->StartPos, 17);
  EXPECT_EQ(e->EndPos, 18);
  e = def.Errors().Items(1);
  EXPECT_EQ(e->Message, "FOO, неизвестный идентификатор");
  EXPECT_EQ(e->Line, 4);
  EXPECT_EQ(e->StartPos, 34);
  EXPECT_EQ(e->EndPos, 37);
  // Positions count characters: the Cyrillic letter before is one, not two bytes.
  e = def.Errors().Items(2);
  EXPECT_EQ(e->Message, "ожидается ; но найдено 5");
  EXPECT_EQ(e->Line, 5);
  EXPECT_EQ(e->StartPos, 53);
  EXPECT_EQ(e->EndPos, 54);
}

TEST(ScriptChecker, ACheckStartsAfresh) {
  TScriptDef def;
  EXPECT_TRUE(def.Check("WINDOW(1"));    // not reported: no ";" ...
  EXPECT_TRUE(def.Check("WINDOW(1);"));  // ... and the next check does not continue it
  EXPECT_FALSE(def.Check("FOO;"));
  EXPECT_TRUE(def.Check("TESTNUMBER;"));
  EXPECT_EQ(def.Errors().Count(), 0);
}

TEST(ScriptChecker, UsesTheDefinitionItHas) {
  TScriptDef def;
  def.Methods().Clear();
  def.Methods().Add("Beep", kScriptTypeNone)->Params.Add("ms", kScriptTypeInteger);
  EXPECT_TRUE(def.Check("BEEP(100);"));
  EXPECT_FALSE(def.Check("WINDOW(1);"));
  EXPECT_EQ(def.Errors().Items(0)->Message, "WINDOW, неизвестный идентификатор");
  def.SetDefaults();
  EXPECT_TRUE(def.Check("WINDOW(1);"));
}

TEST(ScriptChecker, TextWindows1251CannotHoldIsRefused) {
  TScriptDef def;
  EXPECT_FALSE(def.Check("FOO;"));
  EXPECT_THROW(def.Check("COMMENT = '😀';"), EEncodingError);
  EXPECT_EQ(def.Errors().Count(), 0);
}

}  // namespace
