#pragma once

#include <QSyntaxHighlighter>
#include <QTextCharFormat>

class QTextDocument;

namespace quorvel::ui {

/// Colours XML in a text editor: tag names with their brackets, attribute names, attribute
/// values in quotes, comments (also across lines) and entity references. It only paints:
/// the text is never changed, so a file that is not well-formed XML shows as it is.
/// Threads: the UI thread.
class TXmlHighlighter final : public QSyntaxHighlighter {
  Q_OBJECT

 public:
  explicit TXmlHighlighter(QTextDocument* document);

  /// The formats, public so that a test can tell which one a character got.
  QTextCharFormat TagFormat;
  QTextCharFormat AttributeFormat;
  QTextCharFormat ValueFormat;
  QTextCharFormat CommentFormat;
  QTextCharFormat EntityFormat;

 protected:
  void highlightBlock(const QString& text) override;

 private:
  // Block states: inside nothing, inside a comment, inside a tag (attributes may span lines).
  enum TState { kText = 0, kComment = 1, kTag = 2 };
  int Comment(const QString& text, int from);
  int Tag(const QString& text, int from);
};

}  // namespace quorvel::ui
