#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace quorvel::ui {

class TOperationRunner;
struct TUiContext;

/// First words of the version line of the script definitions.
inline constexpr const char* kScriptVersionCaption = "Версия скрипта";

/// "Параметры скрипта": the version of the script definitions of the application document
/// and the update of the definitions from the support server.
/// Threads: the UI thread; the download on the runner's worker.
class TfmScriptSettings final : public QDialog {
  Q_OBJECT

 public:
  TfmScriptSettings(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);

  /// Shows "Версия скрипта: <file version>".
  void ShowVersion();
  /// Loads the definitions from the support server; the set stays as it was when that fails.
  /// The button is off meanwhile and comes back with the focus in every case.
  void btnUpdateClick();

  QPlainTextEdit* Memo = nullptr;
  QPushButton* btnUpdate = nullptr;
  QPushButton* btnClose = nullptr;

 private:
  TUiContext& context_;
  TOperationRunner& runner_;
};

}  // namespace quorvel::ui
