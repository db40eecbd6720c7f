#pragma once

#include <QDialog>

class QListWidget;
class QPushButton;

namespace quorvel::ui {

class TOperationRunner;
struct TUiContext;

/// "Выбор GPRS провайдера": the document's GPRS operators by name. OK (also a double click or
/// Enter in the list) stores the chosen row in the list's ItemIndex; "Обновить" replaces the
/// operators by the support server's list on a worker thread.
/// Threads: the UI thread.
class TfmGprsProvider final : public QDialog {
  Q_OBJECT

 public:
  /// Fills the list and selects the row at the operators' ItemIndex when it is valid.
  TfmGprsProvider(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);

  /// The operators' names in list order; the row at ItemIndex selected when valid.
  void FillList();
  /// UpdateGprsProviders of the document with the dialog's buttons off, then FillList; the
  /// list stays as it was when the server cannot give it (the error box tells why).
  void btnUpdateClick();
  /// ItemIndex becomes the selected row (-1: none), then the dialog ends with OK. Ignored while
  /// the list is being updated, as is reject: the update's end refills this dialog.
  void accept() override;
  void reject() override;

  QListWidget* lbProviders = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;
  QPushButton* btnUpdate = nullptr;

 private:
  TUiContext& context_;
  TOperationRunner& runner_;
};

}  // namespace quorvel::ui
