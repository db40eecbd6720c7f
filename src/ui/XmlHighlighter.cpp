#include "XmlHighlighter.h"

#include <QRegularExpression>

namespace quorvel::ui {

namespace {

const QString kCommentOpen = QStringLiteral("<!--");
const QString kCommentClose = QStringLiteral("-->");

bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == '_' || c == ':' || c == '-' || c == '.'; }

}  // namespace

TXmlHighlighter::TXmlHighlighter(QTextDocument* document) : QSyntaxHighlighter(document) {
  TagFormat.setForeground(QColor(0x00, 0x00, 0x80));
  TagFormat.setFontWeight(QFont::Bold);
  AttributeFormat.setForeground(QColor(0x80, 0x00, 0x00));
  ValueFormat.setForeground(QColor(0x00, 0x00, 0xFF));
  CommentFormat.setForeground(QColor(0x00, 0x80, 0x00));
  CommentFormat.setFontItalic(true);
  EntityFormat.setForeground(QColor(0x80, 0x00, 0x80));
}

void TXmlHighlighter::highlightBlock(const QString& text) {
  setCurrentBlockState(kText);
  int i = 0;
  if (previousBlockState() == kComment)
    i = Comment(text, 0);
  else if (previousBlockState() == kTag)
    i = Tag(text, 0);
  while (i < text.size()) {
    if (currentBlockState() != kText) return;
    if (text.mid(i, kCommentOpen.size()) == kCommentOpen) {
      i = Comment(text, i);
    } else if (text[i] == '<') {
      int end = i + 1;
      while (end < text.size() && (text[end] == '/' || text[end] == '?' || text[end] == '!')) ++end;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      setFormat(i, end - i, TagFormat);
      i = Tag(text, end);
    } else if (text[i] == '&') {
      static const QRegularExpression entity(
          QStringLiteral("\\G&(#[0-9]+|#x[0-9A-Fa-f]+|[A-Za-z_][\\w.-]*);"));
      const QRegularExpressionMatch m = entity.match(text, i);
      const int length = m.hasMatch() ? static_cast<int>(m.capturedLength()) : 1;
      if (m.hasMatch()) setFormat(i, length, EntityFormat);
      i += length;
    } else {
      ++i;
    }
  }
}

// From inside a comment at from: paints up to its end and returns the position after it;
// a comment not closed on this line carries over.
int TXmlHighlighter::Comment(const QString& text, int from) {
  const int close = static_cast<int>(text.indexOf(kCommentClose, from));
  if (close < 0) {
    setFormat(from, static_cast<int>(text.size()) - from, CommentFormat);
    setCurrentBlockState(kComment);
    return static_cast<int>(text.size());
  }
  const int end = close + static_cast<int>(kCommentClose.size());
  setFormat(from, end - from, CommentFormat);
  setCurrentBlockState(kText);
  return end;
}

// From inside a tag, after its name: attribute names, quoted values, entities in values, up
// to the closing bracket; a tag not closed on this line carries over.
int TXmlHighlighter::Tag(const QString& text, int from) {
  int i = from;
  const auto size = static_cast<int>(text.size());
  while (i < size) {
    const QChar c = text[i];
    if (c == '>' || ((c == '/' || c == '?') && i + 1 < size && text[i + 1] == '>')) {
      const int length = c == '>' ? 1 : 2;
      setFormat(i, length, TagFormat);
      setCurrentBlockState(kText);
      return i + length;
    }
    if (c == '"' || c == '\'') {
      int close = static_cast<int>(text.indexOf(c, i + 1));
      const int end = close < 0 ? size : close + 1;
      setFormat(i, end - i, ValueFormat);
      for (int k = i; k < end; ++k) {
        if (text[k] != '&') continue;
        const int semi = static_cast<int>(text.indexOf(';', k));
        if (semi > k && semi < end) setFormat(k, semi - k + 1, EntityFormat);
      }
      i = end;
    } else if (IsNameChar(c)) {
      int end = i;
      while (end < size && IsNameChar(text[end])) ++end;
      setFormat(i, end - i, AttributeFormat);
      i = end;
    } else {
      ++i;
    }
  }
  setCurrentBlockState(kTag);
  return size;
}

}  // namespace quorvel::ui
