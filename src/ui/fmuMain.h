#pragma once

#include "AppPage.h"
#include "OperationRunner.h"
#include "UiContext.h"

#include <QList>
#include <QMainWindow>
#include <QRect>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLayout;
class QSplitter;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvel {
class TPaymentSystem;
}

namespace quorvel::ui {

class TfmDebug;
class TfmFees;
class TfmHeader;
class TfmModemSerial;
class TfmSimCard;
class TfmStatus;
class TfmTrailer;
class TfmAbsolutplat;
class TfmBercut;
class TfmCyberPlat;
class TfmEPort;
class TfmEPortPrivateKey;
class TfmEasyPay;
class TfmEurofon;
class TfmKrasplat;
class TfmMasterPort;
class TfmOSMP;
class TfmPegasMP;
class TfmPegasOSMP;
class TfmUbsPay;
class TfmXPlat;
class TfmUpdate;

/// wanted moved and shrunk as little as needed to lie on one of screens (available areas, the
/// primary first): the one it overlaps most, else the primary; never smaller than 320 x 240
/// unless the screen is.
QRect PlaceOnScreen(const QRect& wanted, const QList<QRect>& screens);

/// The main window: the page tree on the left, the selected page on the right, the status line
/// of the running terminal operation, the menu and the toolbar. Window placement lives in
/// section "fmMain" of Quorvel.ini.
/// Threads: the UI thread; StatusChanged may be called from any thread.
class TfmMain final : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfmMain(TUiContext& context, QWidget* parent = nullptr);
  ~TfmMain() override;

  /// The registered pages and the one on screen.
  TAppPages Pages;
  /// The payment-system code whose pages the tree shows; -1 until the first build.
  int CurrentSystemID = -1;

  /// Appends a node for page under parent (null: a root node) and registers the page; the page
  /// joins the data panel hidden. A page without an icon shows the icon of the one before it.
  QTreeWidgetItem* AddPage(QTreeWidgetItem* parent, TAppPage* page);
  /// The system's page with the pages that belong under it (created for this build), then
  /// "Провайдеры" and "База номеров".
  QTreeWidgetItem* AddSystemPages(QTreeWidgetItem* parent, TAppPage* page, TPaymentSystem& system);
  /// The subtree of the payment system with this code; Exception "Неверный номер платежной
  /// системы, <code>" for a code without one.
  void AddPaymentSystem(QTreeWidgetItem* parent, int code);
  /// The subtree of one payment system: its page, the pages under it and, for EPort, the
  /// private key page as the last child.
  QTreeWidgetItem* AddPaymentSystem(QTreeWidgetItem* parent, TPaymentSystem& system);
  /// Shows the subtree of the system at index of the toolbar's list, without any terminal
  /// command; CurrentSystemID becomes its number.
  void ChooseSystem(int index);
  /// Rebuilds the tree and the page list for the code.
  void BuildTree(int code);
  /// BuildTree when code differs from CurrentSystemID.
  void SetPaymentSystem(int code);
  /// Selects the node at the document's PageIndex, or shows the first page with none selected.
  void RestoreSelection();
  /// The selected node's absolute index into the document's PageIndex.
  void SaveSelection();
  /// Shows text in the status line at once (from any thread: passed to the UI thread).
  void StatusChanged(const std::string& text);

  /// Reads the terminal's active payment system and shows its pages; code 0 silently when the
  /// terminal cannot tell.
  void UpdateSystemClick();
  /// Closes the window as "Выход" does, without a question (a logout, a kill): nobody may be
  /// there to answer, so every dialog standing is closed first; a running service bench stops
  /// its run as its "Прервать" does and closes once its report is written, a running operation
  /// is asked to stop, and the window closes when both have ended. Calling it again changes
  /// nothing.
  void CloseWhenIdle();
  /// The connection settings dialog.
  void SettingsClick();
  /// The service bench (TfmBench).
  void BenchClick();
  /// The service record (TfmJournal).
  void JournalClick();
  /// "Сохранить профиль...": the page on screen gives its values to the document, then every
  /// group the document holds, of the payment system the tree shows, goes into the profile
  /// file chosen in the save dialog (on the runner). The document's active system becomes the
  /// shown one. Errors in the error box.
  void SaveProfileClick();
  /// "Открыть профиль...": the profile file chosen in the open dialog is read on the runner,
  /// then its groups go into the document, the tree shows its payment system and the page on
  /// screen its values. A file that cannot be read shows its error and changes nothing.
  void OpenProfileClick();
  void AboutClick();
  /// Opens the mail program with a letter to the maker's support.
  void MailClick();

  /// Runs page dialogs that tests replace (default: the modal dialog).
  std::function<void(TfmMain&)> RunSettingsDialog;
  std::function<void(TfmMain&)> RunAboutDialog;
  std::function<void(TfmMain&)> RunBenchDialog;
  std::function<void(TfmMain&)> RunJournalDialog;

  TOperationRunner& Runner() { return runner_; }
  TUiContext& Context() { return context_; }
  QTreeWidget* TreeView = nullptr;
  QWidget* DataPanel = nullptr;
  QLabel* StatusPanel = nullptr;
  QAction* actSettings = nullptr;
  /// "Сервисный стенд...": one profile into many terminals at once.
  QAction* actBench = nullptr;
  /// "Журнал обслуживания...": the runs of the bench and their terminals.
  QAction* actJournal = nullptr;
  QAction* actSaveProfile = nullptr;
  QAction* actOpenProfile = nullptr;
  QAction* actExit = nullptr;
  QAction* actAbout = nullptr;
  QAction* actMail = nullptr;
  QAction* actUpdateSystem = nullptr;
  TfmStatus* fmStatus = nullptr;
  TfmSimCard* fmSimCard = nullptr;
  TfmHeader* fmHeader = nullptr;
  TfmTrailer* fmTrailer = nullptr;
  TfmFees* fmFees = nullptr;
  TfmModemSerial* fmModemSerial = nullptr;
  TfmDebug* fmDebug = nullptr;
  TfmMasterPort* fmMasterPort = nullptr;
  TfmCyberPlat* fmCyberPlat = nullptr;
  TfmEPort* fmEPort = nullptr;
  TfmEPortPrivateKey* fmEPortPrivateKey = nullptr;
  TfmXPlat* fmXPlat = nullptr;
  TfmOSMP* fmOSMP = nullptr;
  TfmPegasOSMP* fmPegasOSMP = nullptr;
  TfmEasyPay* fmEasyPay = nullptr;
  TfmKrasplat* fmKrasplat = nullptr;
  TfmBercut* fmBercut = nullptr;
  TfmAbsolutplat* fmAbsolutplat = nullptr;
  TfmEurofon* fmEurofon = nullptr;
  TfmPegasMP* fmPegasMP = nullptr;
  TfmUbsPay* fmUbsPay = nullptr;
  /// "Платежная система" in the toolbar: the thirteen systems; the one the tree shows.
  QComboBox* cbPaymentSystem = nullptr;
  TfmUpdate* fmUpdate = nullptr;

 signals:
  /// The tree was rebuilt for a code.
  void treeBuilt(int code);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateActions();
  void NodeSelected(QTreeWidgetItem* current, QTreeWidgetItem* previous);
  void RestorePlacement();
  void RestoreActiveControl();
  void SavePlacement();
  std::vector<QTreeWidgetItem*> Nodes() const;
  void CreatePaymentSystems(QLayout* panel);
  // Rebuilds the tree for the document's system of code unless it shows that one already.
  void ShowSystem(std::int32_t code);
  // The page on screen copies its controls into the document; a refusal is shown, false then.
  bool TakePageValues();

  /// A row of the payment-system table: the number that shows it, its object and its page.
  struct TSystemRow {
    int Number;
    TPaymentSystem* System;
    TAppPage* Page;
  };
  std::vector<TSystemRow> systemRows_;
  // The system the tree shows. Two systems share a number (OSMP and PegasOSMP both work
  // under code 4): the tree is keyed by this object, and a number names the table's first
  // system for it unless the one on screen already has that number.
  TPaymentSystem* shownSystem_ = nullptr;

  TUiContext& context_;
  TOperationRunner runner_;
  QSplitter* splitter_ = nullptr;
  QIcon lastIcon_;
  bool shown_ = false;
  bool selecting_ = false;
  // The control that had the focus when the window was last closed, by object name.
  QString activeControl_;
  // The user chose to close while an operation ran: the window closes when it ends.
  bool closeAfterRun_ = false;
  // CloseWhenIdle waits for a service bench to end its run: it is called again when it has.
  bool closeAfterBench_ = false;
  // Pages made for one build of a payment system's subtree live until the program ends.
  std::vector<std::unique_ptr<TAppPage>> systemPages_;
};

}  // namespace quorvel::ui
