#pragma once

#include "AppPage.h"
#include "ISPWriter.h"

#include <QElapsedTimer>

#include <memory>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace quorvel::ui {

/// "Обновление ПО": writes a HEX file into the terminal's flash through its bootloader. The
/// image is loaded and checked (TISPWriter::CheckImage) before the user is asked to restart
/// the terminal, so a file that would leave it unable to start costs nothing. The run goes on
/// a worker of its own (TISPUpdate) while a 100 ms timer shows the shared status; the page's
/// buttons and the main window's controls stay off until it ends, the result comes in a
/// message box, and the program cannot be closed meanwhile (CheckClose). The file name lives
/// in the application document (HexFileName).
/// Threads: the UI thread; the worker reports its end through a queued call.
class TfmUpdate final : public TAppPage {
  Q_OBJECT

 public:
  TfmUpdate(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
  /// Waits for a run in progress.
  ~TfmUpdate() override;
  QIcon GetImage() const override;

  /// The document's HexFileName into the edit.
  void UpdatePage() override;
  /// The edit into HexFileName.
  void UpdateObject() override;
  /// Raises "Идет обновление ПО" while a run is in progress.
  void CheckClose() override;

  /// The open dialog, starting at the current file name.
  void btnFileNameClick();
  /// Loads and checks the image (off the UI thread; a refused file ends in the error box),
  /// lowers RTS, asks for the restart and starts the run.
  void btnWriteClick();
  /// Asks the run to stop before its next page ("Прервать", on while a run goes).
  void btnStopClick();
  /// "Записать" is enabled exactly when a file is named.
  void edtFileNameChange();
  /// Shows the status; the first tick that finds it not running stops the timer and turns
  /// the controls back on.
  void TimerTimer();

  /// What the run reports (read by the timer).
  const TUpdateStatus& Status() const { return status_; }

  QLineEdit* edtFileName = nullptr;
  QPushButton* btnFileName = nullptr;
  QComboBox* cbBaudRate = nullptr;
  QCheckBox* chbVerifyData = nullptr;
  /// "Быстрая запись": the writer's fast mode (TISPParams::Fast), off by default.
  QCheckBox* chbFastWrite = nullptr;
  QLineEdit* edtStatus = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QLineEdit* edtDataRate = nullptr;
  QLineEdit* edtTimeLeft = nullptr;
  QPushButton* btnWrite = nullptr;
  QPushButton* btnStop = nullptr;
  QTimer* Timer = nullptr;

 signals:
  /// A run ended and its result box was shown; ok is false when it failed.
  void updateFinished(bool ok);

 private:
  void BuildStatusBox(QFormLayout* form);
  void StartUpdate(const TISPImage& image);
  void WorkerEnded();
  void SetBusy(bool busy);
  // On the update's worker, as it ends: the update's outcome into the service record.
  void RecordUpdate();

  TUpdateStatus status_;
  std::unique_ptr<TISPUpdate> update_;
  // The update under way in the service record: set on the UI thread before the update's
  // worker starts, finished by that worker; recordError_ is read after it ended.
  std::unique_ptr<TRecordedWrite> written_;
  std::string recordError_;
  QElapsedTimer started_;
  bool busy_ = false;
};

}  // namespace quorvel::ui
