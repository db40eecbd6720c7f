#include "ScriptDef.h"
#include "ScriptText.h"

#include <gtest/gtest.h>

#include <string>

using namespace quorvel;

namespace {

// The characters [Start, End) of the LF text, counted as the editor counts them.
std::u32string Selected(const std::string& lfText, const TScriptSelection& s) {
  std::u32string chars;
  for (std::size_t i = 0; i < lfText.size();) {
    const auto c = static_cast<unsigned char>(lfText[i]);
    const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(lfText[i + k]) & 0x3F);
    chars.push_back(cp);
    i += n;
  }
  return chars.substr(static_cast<std::size_t>(s.Start), static_cast<std::size_t>(s.End - s.Start));
}

}  // namespace

TEST(ScriptTextTest, LineEndsMoveBetweenTheTwoForms) {
  EXPECT_EQ(ScriptTextToCrLf("A;\nB;\r\nC;\n"), "A;\r\nB;\r\nC;\r\n");
  EXPECT_EQ(ScriptTextToCrLf("\n"), "\r\n");
  EXPECT_EQ(ScriptTextToLf("A;\r\nB;\rC;\n"), "A;\nB;\nC;\n");
  const std::string crlf = "// а\r\nWINDOW(1);\r\n\r\nGOTO(2);";
  EXPECT_EQ(ScriptTextToCrLf(ScriptTextToLf(crlf)), crlf);
}

TEST(ScriptTextTest, AnErrorIsFoundAtTheSamePlaceInBothForms) {
  const std::string lf = "WINDOW(1);\n// комментарий\nTESTNUMBER;\nFOO(2);";
  const std::string crlf = ScriptTextToCrLf(lf);
  TScriptDef def;
  ASSERT_FALSE(def.Check(crlf));
  ASSERT_EQ(def.Errors().Count(), 1);
  const TScriptError& error = *def.Errors().Items(0);
  EXPECT_EQ(error.Line, 4);
  const TScriptSelection s = ScriptErrorSelection(crlf, error);
  // Three lines of LF before FOO: the CR LF form has three characters more.
  EXPECT_EQ(s.Start, error.StartPos - 1 - 3);
  EXPECT_EQ(Selected(lf, s), U"FOO");
  // The LF form as given to the editor maps onto itself.
  EXPECT_EQ(ScriptTextToLf(crlf), lf);
}

TEST(ScriptTextTest, CyrillicBeforeTheErrorCountsAsCharacters) {
  const std::string crlf = "COMMENT = 'Привет, мир';\r\nNUMBER = 5;";
  TScriptDef def;
  ASSERT_FALSE(def.Check(crlf));
  const TScriptError& error = *def.Errors().Items(0);
  ASSERT_EQ(error.Token, "5");
  const TScriptSelection s = ScriptErrorSelection(crlf, error);
  // 24 characters on the first line, its line end, then "NUMBER = ".
  EXPECT_EQ(s.Start, 24 + 1 + 9);
  EXPECT_EQ(s.End, s.Start + 1);
  EXPECT_EQ(Selected(ScriptTextToLf(crlf), s), U"5");
}

TEST(ScriptTextTest, AnErrorInsideACyrillicStringSelectsThatString) {
  const std::string lf = "ОК;\nNUMBER = 'ёлка' 'пальма';";
  const std::string crlf = ScriptTextToCrLf(lf);
  TScriptDef def;
  ASSERT_FALSE(def.Check(crlf));
  ASSERT_EQ(def.Errors().Count(), 2);
  EXPECT_EQ(Selected(lf, ScriptErrorSelection(crlf, *def.Errors().Items(0))), U"О");
  EXPECT_EQ(Selected(lf, ScriptErrorSelection(crlf, *def.Errors().Items(1))), U"'пальма'");
}

TEST(ScriptTextTest, PositionsOutsideTheTextStayInIt) {
  const std::string crlf = "A;\r\nB";
  EXPECT_EQ(ScriptEditorOffset(crlf, 0), 0);
  EXPECT_EQ(ScriptEditorOffset(crlf, 1), 0);
  EXPECT_EQ(ScriptEditorOffset(crlf, 6), 4);
  EXPECT_EQ(ScriptEditorOffset(crlf, 100), 4);
}
