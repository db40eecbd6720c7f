#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quorvel {
class TLogFile;
}

namespace quorvel::ui {

/// "Параметры лога": the log switch and file. OK applies them to the log file; settings.xml is
/// written when the connection settings are confirmed or the program ends.
class TfmLogParams final : public QDialog {
  Q_OBJECT

 public:
  TfmLogParams(TLogFile& log, QWidget* parent = nullptr);

  /// The path controls follow the check box.
  void chbLogEnabledClick();
  /// A file dialog starting at the current path; its choice replaces the path.
  void btnFileNameClick();
  /// The path becomes the default log file; the check box stays.
  void btnDefaultClick();
  /// SetEnabled with the check box, then SetFileName with the path.
  void Apply();

  QCheckBox* chbLogEnabled = nullptr;
  QLineEdit* edtFileName = nullptr;
  QPushButton* btnFileName = nullptr;
  QPushButton* btnDefault = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  TLogFile& log_;
};

}  // namespace quorvel::ui
