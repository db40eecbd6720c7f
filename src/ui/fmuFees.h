#pragma once

#include "AppPage.h"

#include <functional>

class QAction;
class QComboBox;
class QPushButton;
class QTreeWidget;

namespace quorvel {
class TFee;
class TFees;
class TFeeTable;
}  // namespace quorvel

namespace quorvel::ui {

/// "Ставки комиссии": the ten fee tables of the document, edited in place (the page keeps no
/// copy, so leaving it stores nothing). One table at a time: its scheme, stored as soon as it
/// is chosen, and its rates in a list; the rates are edited in the rate dialog. Reads and
/// writes all ten tables from and to the terminal and xml files.
/// Threads: the UI thread.
class TfmFees final : public TAppPage {
  Q_OBJECT

 public:
  TfmFees(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
  QIcon GetImage() const override;
  /// The current table, its scheme and rates to the controls; selects the rates' ItemIndex.
  void UpdatePage() override;

  /// Runs the rate dialog on a rate; true when it was closed with OK. Tests replace it.
  std::function<bool(TFee&)> RunFeeDialog;

  /// The table the page shows (the tables' ItemIndex; an index out of range shows table 1).
  TFeeTable& CurrentTable();
  TFees& CurrentFees();

  void btnAddClick();
  void btnEditClick();
  void btnDeleteClick();
  void btnClearClick();
  void btnClearAllClick();
  void btnLoadClick();
  void btnSaveClick();
  void btnWriteClick();
  void btnReadClick();

  QComboBox* cbTable = nullptr;
  QComboBox* cbScheme = nullptr;
  QTreeWidget* lvFees = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnEdit = nullptr;
  QPushButton* btnDelete = nullptr;
  QPushButton* btnClear = nullptr;
  QPushButton* btnClearAll = nullptr;
  QPushButton* btnLoad = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnRead = nullptr;
  QAction* actAdd = nullptr;
  QAction* actEdit = nullptr;
  QAction* actDelete = nullptr;
  QAction* actClear = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildList(QWidget* group);
  void FillList();
  void UpdateButtons();
  void FocusAdd();
  void TableChosen(int index);
  void SchemeChosen(int index);
  int SelectedRow() const;

  bool updating_ = false;
};

}  // namespace quorvel::ui
