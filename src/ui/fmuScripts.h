#pragma once

#include "AppPage.h"

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvel {
class TPaymentSystem;
class TScript;
class TScripts;
}  // namespace quorvel

namespace quorvel::ui {

class TfmScript;

/// "Скрипты ввода": the input scripts of one payment system, with the two built-in scripts
/// that cannot be changed. Scripts are added and edited in the script editor, renumbered in
/// place (F2), loaded from and saved to XML files, fetched from the support server, and
/// written to or read from the terminal. The page keeps no state but the list's selected
/// index.
/// Threads: the UI thread; file, server and terminal work on the runner's worker.
class TfmScripts final : public TAppPage {
  Q_OBJECT

 public:
  TfmScripts(TUiContext& context, TOperationRunner& runner, TPaymentSystem& system,
             QWidget* parent = nullptr);
  ~TfmScripts() override;
  QIcon GetImage() const override;
  /// Rebuilds the rows from the list and selects the row at its selected index.
  void UpdatePage() override;

  /// Adds a script through the editor; a cancelled or failed edit leaves the list as it was.
  void btnAddClick();
  /// Opens the editor on the selected script when it is editable.
  void btnEditClick();
  /// Removes the selected script when it is editable (no question).
  void btnDeleteClick();
  /// Removes every user script; the built-in ones stay.
  void btnClearClick();
  void btnLoadClick();
  void btnSaveClick();
  void btnUpdateClick();
  void btnWriteClick();
  void btnReadClick();

  TPaymentSystem& System() const { return system_; }
  /// The editor the page opens (made on first use, then reused).
  TfmScript& Editor();
  /// Runs the editor on a script; tests may replace it (default: Editor().Execute).
  std::function<bool(TScript&)> RunEditor;

  QTreeWidget* ListView = nullptr;
  QPushButton* btnAdd = nullptr;
  QPushButton* btnEdit = nullptr;
  QPushButton* btnDelete = nullptr;
  QPushButton* btnClear = nullptr;
  QPushButton* btnLoad = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnUpdate = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnRead = nullptr;
  /// "Прервать": on while scripts travel.
  QPushButton* btnStop = nullptr;
  QMenu* PopupMenu = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TScripts& Scripts() const;
  void UpdateButtons();
  void RowChanged();
  void RowEdited(QTreeWidgetItem* item, int column);
  void EditSelected();
  void DeleteSelected();
  /// Runs action with the page's buttons off, the error box for what it raises.
  void Guarded(const std::function<void()>& action);
  void BuildMenu();
  void ConnectHandlers();

  TPaymentSystem& system_;
  std::unique_ptr<TfmScript> editor_;
  QAction* actAdd_ = nullptr;
  QAction* actEdit_ = nullptr;
  QAction* actDelete_ = nullptr;
  QAction* actClear_ = nullptr;
  bool filling_ = false;
};

}  // namespace quorvel::ui
