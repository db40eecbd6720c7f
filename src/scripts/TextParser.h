#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvel {

/// Kind of a script token; the order is the stored value 0..5.
enum class TTokenType : std::uint8_t {
  ttNone,     ///< a one-character sign, or no token
  ttComment,  ///< "//" to the end of the line
  ttIdent,    ///< Latin letter or "_", then letters, digits, "_"
  ttString,   ///< apostrophe-quoted text, quotes included
  ttInteger,  ///< decimal digits
  ttFloat,    ///< decimal digits with one point
};

/// One token of a script. Text is UTF-8 (converted from the windows-1251 bytes read);
/// positions count characters of the windows-1251 text, 1-based.
struct TTokenRec {
  std::string Text;       ///< the characters as written; a comment keeps "//", a string its quotes
  std::int32_t Line = 1;  ///< line on which the token ends (lines end at CR)
  TTokenType Kind = TTokenType::ttNone;
  std::int32_t StartPos = 1;  ///< index of the token's first character
  std::int32_t EndPos = 1;    ///< index just after the token's last character
};

/// Cuts a script into tokens. It reads single-byte windows-1251 text, so every Cyrillic
/// letter (and every other byte that is not a Latin letter, digit, "_", apostrophe, point or
/// space) is handed out as a one-character ttNone token.
/// Thread rules: one thread at a time.
class TTextParser {
 public:
  /// Stores the UTF-8 text (as windows-1251) and rewinds: Pos, Token.Line, Token.StartPos and
  /// Token.EndPos become 1; Token.Text and Token.Kind keep their values. Raises
  /// EEncodingError (and keeps the previous text) for invalid UTF-8 or a character
  /// windows-1251 lacks.
  void SetText(std::string_view utf8);
  /// As SetText for text that already is windows-1251 bytes (any byte value is accepted).
  void SetCp1251Text(std::string_view bytes);

  /// Reads the next token into Token. Returns false only when the whole text has been read
  /// before the call. A true result may carry an empty Text (trailing spaces): callers skip
  /// such a token.
  bool NextToken();

  /// The current token.
  const TTokenRec& Token() const { return token_; }
  /// 1-based index of the next character to look at.
  std::int32_t Pos() const { return pos_; }
  /// The text being read, as windows-1251 bytes.
  const std::string& Text() const { return text_; }

 private:
  bool ReadComment();
  bool ReadIdent();
  bool ReadString();
  bool ReadNumber();

  bool AtEnd() const { return pos_ > Length(); }
  std::int32_t Length() const { return static_cast<std::int32_t>(text_.size()); }
  unsigned char Current() const { return static_cast<unsigned char>(text_[pos_ - 1]); }
  void Advance();
  void SkipSpaces();
  void StartToken(TTokenType kind);

  std::string text_;
  std::int32_t pos_ = 1;
  TTokenRec token_;
  std::string bytes_;  // the current token's text as windows-1251 bytes
};

}  // namespace quorvel
