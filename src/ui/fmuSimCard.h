#pragma once

#include "AppPage.h"

#include <functional>

class QLineEdit;
class QPushButton;

namespace quorvel {
struct TSimEntry;
}

namespace quorvel::ui {

class TfmGprsProvider;

/// "SIM-карта": slot 1 of the document's SIM cards (slot 2 is only ever switched off here).
/// The access point, user name and password are remembered in section "SimCardForm" of
/// Quorvel.ini; the PIN is never stored.
class TfmSimCard final : public TAppPage {
  Q_OBJECT

 public:
  TfmSimCard(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
  QIcon GetImage() const override;
  /// The access fields take slot 1's values; the PIN field keeps its text.
  void UpdatePage() override;
  /// Remembers the access fields, then slot 1 takes the four fields (in use, preferred) and
  /// slot 2 is switched off.
  void UpdateObject() override;

  /// ReadSimCards into the document, then UpdatePage.
  void btnReadClick();
  /// The entry's checks (a refused field is selected and focused, nothing is sent), then
  /// UpdateObject and WriteSimCards.
  void btnWriteClick();
  /// The operator dialog; with OK and a valid row the access fields take that operator's.
  void btnProviderClick();

  /// Runs the operator dialog and tells whether it ended with OK; tests replace it (default:
  /// the modal dialog).
  std::function<bool(TfmGprsProvider&)> RunProviderDialog;

  QLineEdit* edtPin = nullptr;
  QLineEdit* edtApn = nullptr;
  QLineEdit* edtLogin = nullptr;
  QLineEdit* edtPassword = nullptr;
  QPushButton* btnProvider = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnRead = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TSimEntry Entry() const;
  void Remember();
  bool Restore();

  bool restored_ = false;
};

}  // namespace quorvel::ui
