#pragma once

#include "AppPage.h"

class QLineEdit;
class QPushButton;

namespace quorvel::ui {

/// "Параметры": the terminal's serial number (eight digits), remembered in section
/// "ModemForm" of Quorvel.ini.
class TfmModemSerial final : public TAppPage {
  Q_OBJECT

 public:
  TfmModemSerial(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
  QIcon GetImage() const override;
  /// Remembers the field's text.
  void UpdateObject() override;

  /// ReadSerialNumber into the field.
  void btnReadClick();
  /// WriteSerialNumber with the field's text.
  void btnWriteClick();

  QLineEdit* edtSerial = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnRead = nullptr;

 private:
  void Remember();
};

}  // namespace quorvel::ui
