#pragma once

#include "Prompt.h"
#include "RecordedWrite.h"
#include "SizeableForm.h"
#include "UiContext.h"

#include <QAbstractButton>
#include <QObject>
#include <QPointer>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace quorvel::ui {

/// Runs the terminal and file work of a button off the UI thread, so that a six-second timeout
/// never freezes the window, and answers the facade's questions on the UI thread.
///
/// While an operation runs: the buttons of its form are off (EnableControls); the busy window
/// and the window of the form (a dialog) take no mouse or key input, so neither Escape nor
/// Cancel ends a dialog; a dialog's close box is refused, and the busy window's close is left to
/// the window itself (it asks, see Stop); the cursor shows that the program is busy, and the
/// window repaints (the status line stays live). Only the stop button offered for the operation
/// takes input. At the end, on the UI thread: buttons back, then `done` after success, or the
/// error box with the error's text (the silent abort shows nothing), or `failed` instead of the
/// box when one is given; then `finished`. The end handlers belong to the form: when the form is
/// gone by then (a dialog destroyed meanwhile), they are dropped rather than run on it.
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
  /// Where writes to the terminal are recorded: setting gives, on the UI thread, the record
  /// settings.xml names (empty: the default place). Without one, writes are not recorded.
  void SetRecordSetting(std::function<std::string()> setting) { recordSetting_ = std::move(setting); }
  /// The record's setting now; nullopt when writes are not recorded. The UI thread.
  std::optional<std::string> RecordSetting() const;
  /// Run for work that writes to the terminal, kept in the service record as note says (see
  /// TRecordedWrite): on the worker the record is opened before work (its error ends the
  /// operation, nothing sent) and the outcome stored after it; a record that cannot be written
  /// fails an operation that passed. Without a record setting, Run.
  bool RunWrite(QWidget* form, TWriteNote note, TWork work, TWork done = {}, TFailure failed = {});
  /// An operation runs.
  bool Busy() const { return static_cast<bool>(worker_); }

  /// While the operation that runs now lasts, button stays on and takes input, and a click on
  /// it (or Stop) calls stop once; the button goes off at the end. stop must be callable from
  /// the UI thread while the worker runs (a flag the work checks between its steps).
  void OfferStop(QAbstractButton* button, std::function<void()> stop);
  /// Asks the running operation to stop, when it offered a way to; true when it did.
  bool Stop();
  /// The running operation offered a way to stop.
  bool CanStop() const { return worker_ && stop_; }
  /// The operation was asked to stop and has not ended yet.
  bool Stopping() const { return stopping_; }

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
  bool Blocks(QWidget* widget) const;
  void StopClicked();

  IUiMessages& messages_;
  QPointer<QWidget> busyWindow_;
  QPointer<QWidget> form_;
  // The operation was started for a form (not for the window as a whole).
  bool hasForm_ = false;
  QPointer<QAbstractButton> stopButton_;
  std::function<void()> stop_;
  bool stopping_ = false;
  TButtonSwitch plainSwitch_;
  std::unique_ptr<std::thread> worker_;
  std::exception_ptr error_;
  TWork done_;
  TFailure failed_;
  // A result that arrives for an older operation than the running one is dropped.
  unsigned generation_ = 0;
  std::function<std::string()> recordSetting_;
};

}  // namespace quorvel::ui
