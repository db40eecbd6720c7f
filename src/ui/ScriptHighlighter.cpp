#include "ScriptHighlighter.h"

#include <QFileInfo>
#include <QFont>
#include <QSettings>

namespace quorvel::ui {

namespace {

// The tokenizer's classes: Latin letters and "_" start a name, digits continue it.
bool IsIdentStart(QChar c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentPart(QChar c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(QChar c) { return c >= '0' && c <= '9'; }

QTextCharFormat MakeFormat(const QColor& colour, bool bold, bool italic) {
  QTextCharFormat format;
  format.setForeground(colour);
  if (bold) format.setFontWeight(QFont::Bold);
  format.setFontItalic(italic);
  return format;
}

// "colour[,bold][,italic]"; an unknown colour keeps the format as it was.
void ReadFormat(const QSettings& ini, const char* key, QTextCharFormat& format) {
  const QString value = ini.value(QStringLiteral("Highlighter/") + key).toString();
  if (value.isEmpty()) return;
  const QStringList parts = value.split(',', Qt::SkipEmptyParts);
  const QColor colour(parts.value(0).trimmed());
  if (!colour.isValid()) return;
  format =
      MakeFormat(colour, parts.contains(QStringLiteral("bold")), parts.contains(QStringLiteral("italic")));
}

}  // namespace

TScriptHighlighter::TScriptHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document),
      keyword_(MakeFormat(Qt::darkBlue, true, false)),
      string_(MakeFormat(Qt::darkRed, false, false)),
      number_(MakeFormat(Qt::darkMagenta, false, false)),
      comment_(MakeFormat(Qt::darkGreen, false, true)) {}

void TScriptHighlighter::SetKeywords(const QString& lines) {
  keywords_.clear();
  for (const QString& line : lines.split('\n', Qt::SkipEmptyParts)) {
    const QString name = line.trimmed().toUpper();
    if (!name.isEmpty()) keywords_.insert(name);
  }
  rehighlight();
}

void TScriptHighlighter::LoadStyles(const QString& iniFileName) {
  if (!QFileInfo::exists(iniFileName)) return;
  const QSettings ini(iniFileName, QSettings::IniFormat);
  ReadFormat(ini, "Keyword", keyword_);
  ReadFormat(ini, "String", string_);
  ReadFormat(ini, "Number", number_);
  ReadFormat(ini, "Comment", comment_);
  rehighlight();
}

void TScriptHighlighter::highlightBlock(const QString& text) {
  setCurrentBlockState(0);
  const int n = static_cast<int>(text.size());
  int i = 0;
  if (previousBlockState() == kInString) {
    const int close = static_cast<int>(text.indexOf('\'', 0));
    const int end = close < 0 ? n : close + 1;
    setFormat(0, end, string_);
    if (close < 0) setCurrentBlockState(kInString);
    i = end;
  }
  while (i < n) {
    const QChar c = text[i];
    if (c == '/' && i + 1 < n && text[i + 1] == '/') {
      setFormat(i, n - i, comment_);
      return;
    }
    if (c == '\'') {
      const int close = static_cast<int>(text.indexOf('\'', i + 1));
      const int end = close < 0 ? n : close + 1;
      setFormat(i, end - i, string_);
      if (close < 0) setCurrentBlockState(kInString);
      i = end;
    } else if (IsIdentStart(c)) {
      int j = i;
      while (j < n && IsIdentPart(text[j])) ++j;
      if (keywords_.contains(text.mid(i, j - i).toUpper())) setFormat(i, j - i, keyword_);
      i = j;
    } else if (IsDigit(c)) {
      int j = i;
      while (j < n && (IsDigit(text[j]) || text[j] == '.')) ++j;
      setFormat(i, j - i, number_);
      i = j;
    } else {
      ++i;
    }
  }
}

}  // namespace quorvel::ui
