// Arbitrary bytes as a windows-1251 script: the tokenizer must end, keep its positions and
// lines inside the text and hand out exactly the characters it read; the checker must record
// at most one error per statement and give the same result for the UTF-8 form of the text.
#include "Cp1251.h"
#include "ScriptDef.h"
#include "TextParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using quorvel::TTokenType;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "ScriptFuzz: %s\n", what);
  std::abort();
}

std::string WithoutBlanks(std::string_view s) {
  std::string out;
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 33) out.push_back(c);
  return out;
}

void CheckToken(const quorvel::TTokenRec& t, const std::string& text) {
  const std::string bytes = quorvel::Utf8ToCp1251(t.Text);
  if (t.Kind == TTokenType::ttComment) {
    Require(bytes.rfind("//", 0) == 0, "a comment without its slashes");
    Require(bytes.find_first_of("\r\n") == std::string::npos, "a comment over a line end");
    return;
  }
  const auto length = static_cast<std::int32_t>(text.size());
  Require(t.StartPos >= 1 && t.StartPos < t.EndPos && t.EndPos <= length + 1,
          "token positions outside the text");
  const std::string_view range = std::string_view(text).substr(
      static_cast<std::size_t>(t.StartPos - 1), static_cast<std::size_t>(t.EndPos - t.StartPos));
  if (t.Kind == TTokenType::ttInteger || t.Kind == TTokenType::ttFloat)
    Require(WithoutBlanks(range) == bytes, "a number is not the digits of its range");
  else
    Require(range == bytes, "a token is not the text of its range");
}

void FuzzTokenizer(const std::string& text) {
  quorvel::TTextParser parser;
  parser.SetCp1251Text(text);
  const auto lines = 1 + std::count(text.begin(), text.end(), '\r');
  std::int32_t lastLine = 1;
  std::int32_t lastPos = parser.Pos();
  while (parser.NextToken()) {
    Require(parser.Pos() > lastPos, "NextToken did not advance");
    lastPos = parser.Pos();
    const quorvel::TTokenRec& t = parser.Token();
    Require(t.Line >= lastLine && t.Line <= lines, "line count out of order");
    lastLine = t.Line;
    if (!t.Text.empty()) CheckToken(t, text);
  }
}

void FuzzChecker(const std::string& text) {
  quorvel::TScriptDef def;
  const bool ok = def.CheckCp1251(text);
  Require(ok == (def.Errors().Count() == 0), "result and error list disagree");
  const auto statements = 1 + std::count(text.begin(), text.end(), ';');
  Require(def.Errors().Count() <= statements, "more than one error in a statement");
  for (int i = 0; i < def.Errors().Count(); ++i) {
    const quorvel::TScriptError* e = def.Errors().Items(i);
    Require(!e->Message.empty() && !e->Token.empty(), "an error without message or token");
  }
  const int count = def.Errors().Count();
  std::string firstMessage = count > 0 ? def.Errors().Items(0)->Message : "";
  Require(def.Check(quorvel::Cp1251ToUtf8(text)) == ok, "the UTF-8 form checks differently");
  Require(def.Errors().Count() == count, "the UTF-8 form has other errors");
  if (count > 0) Require(def.Errors().Items(0)->Message == firstMessage, "another first error");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  FuzzTokenizer(text);
  FuzzChecker(text);
  return 0;
}
