#pragma once

#include "ScriptDef.h"

#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;

namespace quorvel {
class TScript;
}

namespace quorvel::ui {

class TScriptHighlighter;
struct TUiContext;

/// Line of the error list for a script without errors.
inline constexpr const char* kScriptNoErrors = "Ошибок нет";

/// "Скрипты ввода": the modal editor of one script: its number, its name, its text with
/// highlighting, and the checker's errors under it. OK stores the values into the script; the
/// checker's errors do not stop it, a text the terminal cannot hold does. Placement, splitter
/// and font live in section "Script" of ScriptEditor.ini next to Quorvel.ini, and so do the
/// highlighter's styles (TScriptHighlighter).
/// Threads: the UI thread.
class TfmScript final : public QDialog {
  Q_OBJECT

 public:
  explicit TfmScript(TUiContext& context, QWidget* parent = nullptr);
  ~TfmScript() override;

  /// Shows script (number, name, text with LF line ends) to be checked against def, marks the
  /// names of def, and runs the check once. Both must outlive the dialog's use of them.
  void Open(TScript& script, TScriptDef& def);
  /// Open, then the modal run; true when OK stored the values.
  bool Execute(TScript& script, TScriptDef& def);

  /// Lists the errors of the editor's text (or kScriptNoErrors).
  void btnCheckClick();
  /// Selects the token of the error on row in the editor (nothing for a row without one).
  void SelectError(int row);
  /// Stores number, name and text into the script, in this order, and closes with OK; an
  /// error goes to the error box and keeps the dialog open.
  void btnOKClick();

  /// The ini file of the editor (ScriptEditor.ini in the folder of Quorvel.ini).
  QString IniFileName() const;

  QSpinBox* edtID = nullptr;
  QLineEdit* edtText = nullptr;
  QPlainTextEdit* SynEdit = nullptr;
  QListWidget* lbErrors = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnCheck = nullptr;
  TScriptHighlighter* Highlighter = nullptr;

 protected:
  void done(int result) override;

 private:
  void RestorePlacement();
  void SavePlacement() const;

  TUiContext& context_;
  TScript* script_ = nullptr;
  TScriptDef* def_ = nullptr;
  QSplitter* splitter_ = nullptr;
  // The text the listed errors were found in (CR LF form) and those errors.
  std::string checkedText_;
  std::vector<TScriptError> errors_;
};

}  // namespace quorvel::ui
