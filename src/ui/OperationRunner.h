#pragma once

#include "Prompt.h"
#include "SizeableForm.h"
#include "UiContext.h"

#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>
#include <memory>
#include <thread>

namespace quorvel::ui {

/// Runs the terminal and file work of a button off the UI thread, so that a six-second timeout
/// never freezes the window, and answers the facade's questions on the UI thread.
///
/// While an operation runs: the buttons of its form are off (EnableControls), the busy window
/// takes no mouse or key input and cannot be closed, the cursor shows that the program is busy,
/// and the window repaints (the status line stays live). At the end, on the UI thread: buttons
/// back, then `done` after success, or the error box with the error's text (the silent abort
/// shows nothing), or `failed` instead of the box when one is given; then `finished`.
///
/// Threads: Run, Busy and destruction on the UI thread; work runs on a worker thread; Confirm
/// may be called from either and always asks on the UI thread.
class TOperationRunner final : public QObject, public IPrompt {
  Q_OBJECT

 public:
  using TWork = std::function<void()>;
  using TFailure = std::function<void(std::exception_ptr)>;

  explicit TOperationRunner(IUiMessages& messages, QObject* parent = nullptr);
  /// Waits for a running worker (its result is dropped).
  ~TOperationRunner() override;

  /// The window whose input is blocked while an operation runs (the main window); null: none.
  void SetBusyWindow(QWidget* window);
  QWidget* BusyWindow() const { return busyWindow_; }

  /// Starts work for form (null: no buttons to switch). Returns false, starting nothing, when
  /// another operation still runs.
  bool Run(QWidget* form, TWork work, TWork done = {}, TFailure failed = {});
  /// An operation runs.
  bool Busy() const { return static_cast<bool>(worker_); }

  /// The error box for an error of an operation: nothing for the silent abort, the message of
  /// any other exception.
  void ShowError(std::exception_ptr error);

  /// IPrompt: the question in a message box on the UI thread; the worker waits for the answer.
  bool Confirm(const std::string& question) override;

 signals:
  /// After the end handlers of an operation ran; ok is false when it raised.
  void finished(bool ok);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Finish(unsigned generation);
  void SwitchButtons(bool enabled);

  IUiMessages& messages_;
  QPointer<QWidget> busyWindow_;
  QPointer<QWidget> form_;
  TButtonSwitch plainSwitch_;
  std::unique_ptr<std::thread> worker_;
  std::exception_ptr error_;
  TWork done_;
  TFailure failed_;
  // A result that arrives for an older operation than the running one is dropped.
  unsigned generation_ = 0;
};

}  // namespace quorvel::ui
