// quorvel-cli script check, run as the real program.
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>

namespace {

using quorvel::test::RunCommand;

class ScriptCheckCli : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef QUORVEL_CLI_PATH
    GTEST_SKIP() << "quorvel-cli is not built in this configuration";
#endif
  }

  // Runs "script check" on a file holding bytes; stderr is folded into the output when asked.
  std::string Check(const std::string& bytes, int* status, bool withStderr = false) {
    const std::string file = dir_.File("script.txt");
    std::ofstream(file, std::ios::binary) << bytes;
    return CheckFile(file, status, withStderr);
  }
  std::string CheckFile(const std::string& file, int* status, bool withStderr = false) {
#ifdef QUORVEL_CLI_PATH
    const std::string redirect = withStderr ? " 2>&1" : " 2>/dev/null";
    return RunCommand(std::string("'") + QUORVEL_CLI_PATH + "' script check '" + file + "'" + redirect,
                      status);
#else
    (void)file;
    (void)withStderr;
    *status = -1;
    return {};
#endif
  }

  quorvel::test::TempDir dir_;
};

TEST_F(ScriptCheckCli, AGoodScriptHasNoErrors) {
  int status = -1;
  EXPECT_EQ(Check("// ввод номера\nNUMBER = MASKEDIT(0,0,100,20,'999',1);\nWINDOW(1);\n", &status),
            "Ошибок нет\n");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Check("", &status), "Ошибок нет\n");  // an empty script is a valid script
  EXPECT_EQ(status, 0);
}

TEST_F(ScriptCheckCli, ErrorsArePrintedWithTheirLinesWhateverTheLineEnds) {
  const std::string expected =
      "[Error] (2), нет параметров\n"
      "[Error] (4), FOO, неизвестный идентификатор\n"
      "[Error] (5), ожидается ; но найдено 'b'\n";
  for (const char* eol : {"\n", "\r\n", "\r"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(eol)));
    const std::string e(eol);
    int status = -1;
    const std::string out = Check(
        "WINDOW(1);" + e + "GOTO;" + e + "WINDOW(x);" + e + "FOO(1);" + e + "NUMBER = 'a' 'b';" + e, &status);
    EXPECT_EQ(out, expected);
    EXPECT_EQ(status, 1);
  }
  int status = -1;
  EXPECT_EQ(Check("\xEF\xBB\xBFWINDOW('1');", &status), "[Error] (1), неверный тип\n");
  EXPECT_EQ(status, 1);
}

// Status 1, as an unreadable file is for every other command.
TEST_F(ScriptCheckCli, AFileThatCannotBeReadIsStatusOne) {
  int status = -1;
  EXPECT_EQ(CheckFile(dir_.File("missing.txt"), &status), "");
  EXPECT_EQ(status, 1);
  EXPECT_NE(CheckFile(dir_.File("missing.txt"), &status, true).find("missing.txt"), std::string::npos);

  EXPECT_EQ(CheckFile(dir_.Path(), &status), "");  // a directory
  EXPECT_EQ(status, 1);

  // A character windows-1251 lacks, and bytes that are not UTF-8 (named with their line).
  const std::pair<std::string, std::string> cases[] = {
      {"COMMENT = '😀';", "script.txt: Символ \"😀\" (U+1F600) нельзя записать в кодировке windows-1251\n"},
      {"WINDOW(1);\r\nGOTO;\n\xFF", "script.txt не является текстом UTF-8 (строка 3)\n"}};
  for (const auto& [bytes, message] : cases) {
    EXPECT_EQ(Check(bytes, &status), "");
    EXPECT_EQ(status, 1);
    const std::string out = Check(bytes, &status, true);
    EXPECT_TRUE(out.ends_with(message)) << out;
  }
}

TEST_F(ScriptCheckCli, UsageErrors) {
#ifdef QUORVEL_CLI_PATH
  int status = 0;
  RunCommand(std::string("'") + QUORVEL_CLI_PATH + "' script check 2>/dev/null", &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(status, 1);  // not to be mistaken for "the script has errors"
  RunCommand(std::string("'") + QUORVEL_CLI_PATH + "' script 2>/dev/null", &status);
  EXPECT_NE(status, 0);
#endif
}

}  // namespace
