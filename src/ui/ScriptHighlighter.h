#pragma once

#include <QSet>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>

namespace quorvel::ui {

/// Colours the script editor's text the way the script tokenizer reads it: the names of the
/// script definitions (any letter case), quoted strings (which may run over line ends),
/// numbers and "//" comments. Styles come from the section "Highlighter" of an INI file
/// (keys Keyword, String, Number, Comment: a colour name or #rrggbb, optionally followed by
/// ",bold" or ",italic"); a missing file or key keeps the built-in style.
/// Threads: the UI thread.
class TScriptHighlighter final : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit TScriptHighlighter(QTextDocument* document);

  /// The names to mark, one a line (CR LF or LF), as TScriptDef::GetKeywords gives them.
  void SetKeywords(const QString& lines);
  /// Reads the styles from iniFileName (nothing changes for a missing file).
  void LoadStyles(const QString& iniFileName);

  const QTextCharFormat& KeywordFormat() const { return keyword_; }

 protected:
  void highlightBlock(const QString& text) override;

 private:
  // Block state: inside a string that began on an earlier line.
  static constexpr int kInString = 1;

  QSet<QString> keywords_;  // upper case
  QTextCharFormat keyword_;
  QTextCharFormat string_;
  QTextCharFormat number_;
  QTextCharFormat comment_;
};

}  // namespace quorvel::ui
