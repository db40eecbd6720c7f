#include "TextParser.h"

#include "Cp1251.h"

namespace quorvel {

namespace {

constexpr unsigned char kCR = 13;
constexpr unsigned char kLF = 10;
constexpr unsigned char kQuote = 39;  // apostrophe, the only string delimiter
constexpr unsigned char kPoint = 46;

bool IsSpace(unsigned char c) { return c < 33; }
bool IsIdentStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsIdentPart(unsigned char c) { return IsIdentStart(c) || IsDigit(c); }

}  // namespace

void TTextParser::SetText(std::string_view utf8) { SetCp1251Text(Utf8ToCp1251(utf8)); }

void TTextParser::SetCp1251Text(std::string_view bytes) {
  text_.assign(bytes);
  pos_ = 1;
  token_.Line = 1;
  token_.StartPos = 1;
  token_.EndPos = 1;
}

void TTextParser::Advance() {
  if (!AtEnd() && Current() == kCR) ++token_.Line;
  ++pos_;
}

void TTextParser::SkipSpaces() {
  while (!AtEnd() && IsSpace(Current())) Advance();
}

void TTextParser::StartToken(TTokenType kind) {
  bytes_.clear();
  token_.Kind = kind;
}

bool TTextParser::NextToken() {
  if (AtEnd()) return false;
  const bool read = ReadComment() || ReadIdent() || ReadString() || ReadNumber();
  if (!read) {
    // No lexeme starts here: the character is a sign of its own (ReadNumber may have left
    // the digits of a broken decimal such as 1.2.3 behind; they are dropped).
    bytes_.clear();
    if (!AtEnd() && !IsSpace(Current())) {
      bytes_.push_back(static_cast<char>(Current()));
      token_.Kind = TTokenType::ttNone;
      token_.StartPos = pos_;
      token_.EndPos = pos_ + 1;
      Advance();
    }
  }
  token_.Text = Cp1251ToUtf8(bytes_);
  return true;
}

bool TTextParser::ReadComment() {
  StartToken(TTokenType::ttComment);
  SkipSpaces();
  if (AtEnd()) return false;
  if (pos_ + 1 > Length() || text_[pos_ - 1] != '/' || text_[pos_] != '/') return false;
  // The line break stays for the next token so that the line count stays with the reader.
  while (!AtEnd() && Current() != kCR && Current() != kLF) {
    bytes_.push_back(static_cast<char>(Current()));
    Advance();
  }
  return true;
}

bool TTextParser::ReadIdent() {
  StartToken(TTokenType::ttIdent);
  SkipSpaces();
  if (AtEnd() || !IsIdentStart(Current())) return false;
  token_.StartPos = pos_;
  while (!AtEnd() && IsIdentPart(Current())) {
    bytes_.push_back(static_cast<char>(Current()));
    Advance();
  }
  token_.EndPos = pos_;
  return true;
}

bool TTextParser::ReadString() {
  StartToken(TTokenType::ttNone);
  SkipSpaces();
  if (AtEnd() || Current() != kQuote) return false;
  token_.StartPos = pos_;
  bytes_.push_back(static_cast<char>(kQuote));
  Advance();
  token_.Kind = TTokenType::ttString;
  while (!AtEnd()) {
    const unsigned char c = Current();
    bytes_.push_back(static_cast<char>(c));
    Advance();
    if (c == kQuote) {
      token_.EndPos = pos_;
      return true;
    }
  }
  // An unclosed string runs to the end of the text and is still a string.
  token_.EndPos = Length() + 1;
  return true;
}

bool TTextParser::ReadNumber() {
  StartToken(TTokenType::ttInteger);
  bool result = false;
  int points = 0;
  while (!AtEnd()) {
    const unsigned char c = Current();
    if (IsSpace(c)) {
      Advance();  // blanks inside a number are skipped: "1 2" reads as 12
    } else if (c == kPoint) {
      if (bytes_.empty() || points > 0) return false;
      Advance();
      token_.Kind = TTokenType::ttFloat;
      bytes_.push_back(static_cast<char>(c));
      ++points;
    } else if (IsDigit(c)) {
      if (bytes_.empty()) token_.StartPos = pos_;
      result = true;
      Advance();
      bytes_.push_back(static_cast<char>(c));
    } else {
      token_.EndPos = pos_;
      return result;
    }
  }
  token_.EndPos = Length() + 1;
  return result;
}

}  // namespace quorvel
