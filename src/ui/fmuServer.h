#pragma once

#include "AppPage.h"

class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quorvel {
class TPaymentSystem;
}

namespace quorvel::ui {

/// "Сервер": the payment server parameters of the one payment system the page is bound to
/// (a page per system subtree).
class TfmServer final : public TAppPage {
  Q_OBJECT

 public:
  /// system must outlive the page.
  TfmServer(TUiContext& context, TOperationRunner& runner, TPaymentSystem& system, QWidget* parent = nullptr);
  QIcon GetImage() const override;
  /// The fields take the system's address, port, retry count and server name.
  void UpdatePage() override;
  /// Address and server name from their fields; the port as a whole number (0 when the text is
  /// not one); the retry count through SetRetryCount: a text that is not a whole number raises
  /// EConvertError, a number outside 1..100 the range message (the page cannot be left then).
  void UpdateObject() override;

  /// ReadServerParams of the system, then UpdatePage.
  void btnReadClick();
  /// UpdateObject (a refusal sends nothing), then WriteServerParams.
  void btnWriteClick();
  /// A file chosen in the open dialog read into the system (LoadServerFile), then UpdatePage.
  void btnLoadClick();
  /// A file chosen in the save dialog: UpdateObject, then SaveServerParams.
  void btnSaveClick();

  TPaymentSystem& System() const { return system_; }

  QLineEdit* edtAddress = nullptr;
  QLineEdit* edtPort = nullptr;
  /// The retry count; arrows step within 1..100, typing may leave the range (refused when the
  /// page is left or written).
  QSpinBox* seRetryCount = nullptr;
  QLineEdit* edtServerName = nullptr;
  QPushButton* btnLoad = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnRead = nullptr;

 private:
  // UpdateObject with a refusal shown in the error box; false then.
  bool TryUpdateObject();

  TPaymentSystem& system_;
};

}  // namespace quorvel::ui
