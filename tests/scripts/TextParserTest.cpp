#include "TextParser.h"

#include "Errors.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

using K = TTokenType;

struct Tok {
  std::string text;
  K kind;
  int line;
  int start;
  int end;
  bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << "{'" << t.text << "' kind " << static_cast<int>(t.kind) << " line " << t.line << " pos "
            << t.start << ".." << t.end << "}";
}

// The tokens a checker would use: every true result with a non-empty text.
std::vector<Tok> Tokens(const std::string& utf8) {
  TTextParser parser;
  parser.SetText(utf8);
  std::vector<Tok> out;
  for (int guard = 0; parser.NextToken(); ++guard) {
    if (guard > 1000) {
      ADD_FAILURE() << "NextToken never returns false";
      break;
    }
    const TTokenRec& t = parser.Token();
    if (!t.Text.empty()) out.push_back({t.Text, t.Kind, t.Line, t.StartPos, t.EndPos});
  }
  return out;
}

struct Row {
  const char* name;
  std::string text;
  std::vector<Tok> tokens;
};

// Comments carry no positions of their own: they keep those of the token before (or the
// rewind's 1..1).
const Row kRows[] = {
    {"IdentWithDigitsAndUnderscore", "A1_b", {{"A1_b", K::ttIdent, 1, 1, 5}}},
    {"IntegerThenIdent", "1abc", {{"1", K::ttInteger, 1, 1, 2}, {"abc", K::ttIdent, 1, 2, 5}}},
    {"SlashesInsideString", "'a//b'", {{"'a//b'", K::ttString, 1, 1, 7}}},
    {"CommentThenNameOnNextLine",
     "// note\r\nNAME",
     {{"// note", K::ttComment, 1, 1, 1}, {"NAME", K::ttIdent, 2, 10, 14}}},
    {"CrLfLines",
     "A\r\nB\r\nC",
     {{"A", K::ttIdent, 1, 1, 2}, {"B", K::ttIdent, 2, 4, 5}, {"C", K::ttIdent, 3, 7, 8}}},
    {"LoneCrEndsALine", "A\rB", {{"A", K::ttIdent, 1, 1, 2}, {"B", K::ttIdent, 2, 3, 4}}},
    {"LoneLfDoesNotCount",
     "A\nB\nC",
     {{"A", K::ttIdent, 1, 1, 2}, {"B", K::ttIdent, 1, 3, 4}, {"C", K::ttIdent, 1, 5, 6}}},
    {"CyrillicLettersAreSigns",
     "ПРИВ",
     {{"П", K::ttNone, 1, 1, 2},
      {"Р", K::ttNone, 1, 2, 3},
      {"И", K::ttNone, 1, 3, 4},
      {"В", K::ttNone, 1, 4, 5}}},
    {"CyrillicInStringCountsCharacters",
     "'Привет' X",
     {{"'Привет'", K::ttString, 1, 1, 9}, {"X", K::ttIdent, 1, 10, 11}}},
    {"Decimal", "3.14", {{"3.14", K::ttFloat, 1, 1, 5}}},
    {"DecimalWithBlanks", "3 . 14", {{"3.14", K::ttFloat, 1, 1, 7}}},
    {"IntegerWithBlank", "1 2", {{"12", K::ttInteger, 1, 1, 4}}},
    {"TrailingPoint", "12.", {{"12.", K::ttFloat, 1, 1, 4}}},
    {"LeadingPointIsASign", ".5", {{".", K::ttNone, 1, 1, 2}, {"5", K::ttInteger, 1, 2, 3}}},
    {"SecondPointDropsTheDigitsBefore", "1.2.3", {{".", K::ttNone, 1, 4, 5}, {"3", K::ttInteger, 1, 5, 6}}},
    {"MinusIsASign", "-5", {{"-", K::ttNone, 1, 1, 2}, {"5", K::ttInteger, 1, 2, 3}}},
    // The blanks after a number belong to its range: it ends where the next sign starts.
    {"NumberEndsAtTheNextSign", "12 ;", {{"12", K::ttInteger, 1, 1, 4}, {";", K::ttNone, 1, 4, 5}}},
    {"UnclosedString", "'abc", {{"'abc", K::ttString, 1, 1, 5}}},
    {"StringOverALineEnd", "'a\r\nb' X", {{"'a\r\nb'", K::ttString, 2, 1, 7}, {"X", K::ttIdent, 2, 8, 9}}},
    {"NoEscapeInStrings", "'it''s'", {{"'it'", K::ttString, 1, 1, 5}, {"'s'", K::ttString, 1, 5, 8}}},
    {"CommentAfterCodeStopsAtLf",
     "x // c\nY",
     {{"x", K::ttIdent, 1, 1, 2}, {"// c", K::ttComment, 1, 1, 2}, {"Y", K::ttIdent, 1, 8, 9}}},
    {"SingleSlashIsASign", "/x", {{"/", K::ttNone, 1, 1, 2}, {"x", K::ttIdent, 1, 2, 3}}},
    {"Statement",
     "\tNUMBER[1]='x';",
     {{"NUMBER", K::ttIdent, 1, 2, 8},
      {"[", K::ttNone, 1, 8, 9},
      {"1", K::ttInteger, 1, 9, 10},
      {"]", K::ttNone, 1, 10, 11},
      {"=", K::ttNone, 1, 11, 12},
      {"'x'", K::ttString, 1, 12, 15},
      {";", K::ttNone, 1, 15, 16}}},
};

class TextParserRows : public ::testing::TestWithParam<Row> {};

TEST_P(TextParserRows, TokensWithLinesAndPositions) { EXPECT_EQ(Tokens(GetParam().text), GetParam().tokens); }

INSTANTIATE_TEST_SUITE_P(Tokenizer, TextParserRows, ::testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(TextParser, EmptyAndBlankTexts) {
  TTextParser parser;
  parser.SetText("");
  EXPECT_FALSE(parser.NextToken());

  // Blanks only: one true result with an empty text, then the end.
  parser.SetText(" \t\r\n ");
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Text, "");
  EXPECT_FALSE(parser.NextToken());

  // Trailing blanks after the last token give the same empty last token.
  parser.SetText("A  ");
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Text, "A");
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Text, "");
  EXPECT_FALSE(parser.NextToken());
}

TEST(TextParser, CommentAtTheEndOfTheText) {
  TTextParser parser;
  parser.SetText("A //x");
  ASSERT_TRUE(parser.NextToken());
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Text, "//x");
  EXPECT_EQ(parser.Token().Kind, TTokenType::ttComment);
  EXPECT_FALSE(parser.NextToken());
}

TEST(TextParser, SetTextRewindsButKeepsTextAndKind) {
  TTextParser parser;
  parser.SetText("A\r\n\r\n'str'");
  while (parser.NextToken()) {
  }
  EXPECT_EQ(parser.Token().Line, 3);
  parser.SetText("B");
  EXPECT_EQ(parser.Pos(), 1);
  EXPECT_EQ(parser.Token().Line, 1);
  EXPECT_EQ(parser.Token().StartPos, 1);
  EXPECT_EQ(parser.Token().EndPos, 1);
  EXPECT_EQ(parser.Token().Text, "'str'");
  EXPECT_EQ(parser.Token().Kind, TTokenType::ttString);
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Text, "B");
}

TEST(TextParser, Cp1251BytesAndUnrepresentableText) {
  TTextParser parser;
  // 0xC0 is the Cyrillic А; 0x98 has no character in windows-1251 but is still a sign.
  parser.SetCp1251Text(std::string("\xC0x\x98", 3));
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Text, "А");
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Text, "x");
  ASSERT_TRUE(parser.NextToken());
  EXPECT_EQ(parser.Token().Kind, TTokenType::ttNone);
  EXPECT_EQ(parser.Token().StartPos, 3);
  EXPECT_FALSE(parser.NextToken());

  parser.SetText("AB");
  EXPECT_THROW(parser.SetText("x 😀"), EEncodingError);
  EXPECT_THROW(parser.SetText(std::string("\xFF", 1)), EEncodingError);
  ASSERT_TRUE(parser.NextToken());  // the previous text stays
  EXPECT_EQ(parser.Token().Text, "AB");
}

}  // namespace
