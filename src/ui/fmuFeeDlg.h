#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvel {
class TFee;
}

namespace quorvel::ui {

class IUiMessages;

/// "Ставка комиссии": edits one rate, modal, centred on its owner. OK stores the fields through
/// the rate's own rules and closes only when they pass; a field that is not a number or a
/// broken rule shows its message in the error box and keeps the dialog open with the rate as
/// it was. "Отмена" leaves the rate untouched.
/// Threads: the UI thread.
class TfmFeeDlg final : public QDialog {
  Q_OBJECT

 public:
  /// Number fields take at most this many characters.
  static constexpr int kFieldLength = 14;

  TfmFeeDlg(TFee& fee, IUiMessages& messages, QWidget* parent = nullptr);

  /// Parses both fields and stores them with SetValues; accepts on success.
  void btnOKClick();

  QLineEdit* edtSum = nullptr;
  QLineEdit* edtValue = nullptr;
  QRadioButton* rbPercent = nullptr;
  QRadioButton* rbFixed = nullptr;
  QPushButton* btnOK = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  TFee& fee_;
  IUiMessages& messages_;
};

}  // namespace quorvel::ui
