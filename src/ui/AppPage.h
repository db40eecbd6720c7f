#pragma once

#include "OperationRunner.h"
#include "SizeableForm.h"
#include "UiContext.h"

#include <QIcon>

#include <optional>
#include <vector>

namespace quorvel::ui {

class TAppPages;

/// Base of every page of the main window. A page owns nothing of the model: it copies the
/// model into its controls when shown (UpdatePage) and back when left (UpdateObject), and runs
/// one core operation per button through the runner.
/// Threads: the UI thread.
class TAppPage : public TSizeableForm {
  Q_OBJECT

 public:
  /// caption: the page's node text in the tree (also its window title).
  TAppPage(TUiContext& context, TOperationRunner& runner, const QString& caption, QWidget* parent = nullptr);
  ~TAppPage() override;

  /// Raises when the page must not be left because the program closes (a running update).
  virtual void CheckClose() {}
  /// Copies the model into the controls; called when the page is shown.
  virtual void UpdatePage() {}
  /// Copies the controls into the model; called when the page is left. Raising keeps the page.
  virtual void UpdateObject() {}
  /// The page's icon in the tree; null: the icon of the page added before it.
  virtual QIcon GetImage() const { return {}; }

  QString Caption() const { return windowTitle(); }
  /// The list the page is registered in, or null.
  TAppPages* Pages() const { return pages_; }

 protected:
  /// Runs work for this page (buttons off meanwhile); done runs on the UI thread after success.
  /// Started by a click on a button that writes to the terminal ("btnWrite", "btnRestore"),
  /// the work is recorded in the service record (TOperationRunner::RunWrite), named by the
  /// page's caption and the button's text.
  bool RunOperation(TOperationRunner::TWork work, TOperationRunner::TWork done = {});
  /// RunOperation for work that moves packets: stop stays on while it runs, and a click on it
  /// (or the main window's close) asks the terminal driver to stop before its next packet.
  /// Packets sent stay sent, a read brings nothing. A stopped run calls Stopped instead of an
  /// error box; any other failure reaches the error box.
  /// A write is recorded as RunOperation records it.
  bool RunStoppable(QAbstractButton* stop, TOperationRunner::TWork work, TOperationRunner::TWork done = {});
  /// After a run that was stopped: the main window's status line says so.
  virtual void Stopped();
  /// The write the click under way asks for, when the button clicked writes to the terminal.
  std::optional<TWriteNote> WriteNote() const;

  TUiContext& context_;
  TOperationRunner& runner_;

 private:
  friend class TAppPages;
  TAppPages* pages_ = nullptr;
};

/// The registered pages (not owned) and the one on screen.
/// Threads: the UI thread.
class TAppPages {
 public:
  ~TAppPages();
  void Add(TAppPage* page);
  void Remove(TAppPage* page);
  int Count() const { return static_cast<int>(pages_.size()); }
  TAppPage* Page(int index) const { return pages_.at(static_cast<std::size_t>(index)); }
  /// Empties the list; the pages stay alive, the current one stays on screen.
  void Clear();
  TAppPage* Current() const { return current_; }
  /// Nothing when page is the current one. Otherwise the current page's UpdateObject (which
  /// may raise: then nothing changes) and hide it; then show page (null: none) and run its
  /// UpdatePage; it becomes the current page.
  void ShowPage(TAppPage* page);
  /// CheckClose of every page in registration order; the first that raises stops it.
  void CheckCloseAll();

 private:
  std::vector<TAppPage*> pages_;
  TAppPage* current_ = nullptr;
};

}  // namespace quorvel::ui
