#pragma once

#include "AppPage.h"

#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QFrame;

namespace quorvel::ui {

/// What differs between the receipt header page and the advertisement page: the texts, the
/// document's field and the terminal and file operations of those lines.
struct TReceiptLinesDef {
  const char* ObjectName;
  const char* Caption;
  const char* GroupCaption;
  const char* LoadHint;
  const char* SaveHint;
  std::string TAppDoc::*Text;  ///< the document's lines, each ended by CR LF
  std::string (TOrtena::*Read)();
  void (TOrtena::*Write)(const std::string&);
  std::string (*Load)(const std::string& fileName);
  void (*Save)(const std::string& text, const std::string& fileName);
};

/// A page of the ten receipt lines in a grid: row numbers 1..10 and the lines, always editable,
/// with the length of the line being edited shown live (nothing limits it: the terminal takes
/// what it takes and says so). Reads and writes the terminal, loads and saves xml files.
/// Threads: the UI thread.
class TfmReceiptLines : public TAppPage {
  Q_OBJECT

 public:
  /// Number of lines and grid rows.
  static constexpr int kLineCount = 10;

  TfmReceiptLines(TUiContext& context, TOperationRunner& runner, const TReceiptLinesDef& def,
                  QWidget* parent = nullptr);
  QIcon GetImage() const override;
  /// The document's lines to the grid.
  void UpdatePage() override;
  /// The grid to the document's lines.
  void UpdateObject() override;

  /// The grid's ten lines, each followed by CR LF (empty ones included).
  std::string LinesText() const;
  /// Row i takes line i of text (CR LF, CR or LF end a line), or nothing; the rest dropped.
  void SetLinesText(const std::string& text);
  /// The editor of line row (0-based).
  QLineEdit* Line(int row) const { return lines_.at(static_cast<std::size_t>(row)); }

  /// Reads the lines from the terminal into the grid; the status line is cleared at the end.
  void btnReadClick();
  /// Writes the grid's lines to the terminal; the status line is cleared at the end.
  void btnWriteClick();
  /// Loads an xml file into the document's lines and shows them.
  void btnLoadClick();
  /// Saves the grid's lines (through the document) to an xml file.
  void btnSaveClick();

  QFrame* Grid = nullptr;
  QLabel* lblCount = nullptr;
  QPushButton* btnLoad = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnRead = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildGrid();
  void ShowCount(const QString& text);

  const TReceiptLinesDef& def_;
  std::vector<QLineEdit*> lines_;
  int editedRow_ = 0;  // the line whose length the counter shows
};

/// "Клише": the lines printed at the top of every receipt.
class TfmHeader final : public TfmReceiptLines {
  Q_OBJECT

 public:
  TfmHeader(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

/// "Рекламный текст": the lines printed at the bottom of every receipt.
class TfmTrailer final : public TfmReceiptLines {
  Q_OBJECT

 public:
  TfmTrailer(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
};

}  // namespace quorvel::ui
