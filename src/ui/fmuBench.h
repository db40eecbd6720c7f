#pragma once

#include "BenchRun.h"
#include "ComEnum.h"

#include <QDialog>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTreeWidget;

namespace quorvel::ui {

struct TUiContext;

/// "Сервисный стенд": one profile written into the terminals of every checked port at once,
/// each port on its own thread with its own driver, optionally with per-terminal values from a
/// table; every written group read back and compared. A row per port shows its factory number,
/// step, progress and result; the run is recorded in the service record (settings.xml's
/// Record, else service.db in the program's folder), a values table becoming a pool of it, and
/// the report (CSV and JSON) is saved beside the profile from what the record holds.
/// Threads: the UI thread; the files are read, the record opened and the run made on a thread
/// of its own, its terminals report from theirs, and every change is passed to the UI thread.
/// The dialog cannot be closed while a run goes: "Прервать" stops it before the terminals' next
/// packet or step.
class TfmBench final : public QDialog {
  Q_OBJECT

 public:
  /// The ports listed are those of EnumComPorts, every one checked.
  explicit TfmBench(TUiContext& context, QWidget* parent = nullptr);
  /// Stops a run and waits for it.
  ~TfmBench() override;

  /// The ports of the list; tests give their own instead of the system's.
  void SetPorts(std::vector<TComPortInfo> ports);

  void btnProfileClick();
  void btnValuesClick();
  /// Starts the run on the checked ports: on the run's thread the record is opened, the profile
  /// and the values are read and checked (an error box, nothing sent, when any of them fails),
  /// then the terminals are written.
  void btnStartClick();
  void btnStopClick();
  /// Ends the dialog for a logout or a kill: a run is stopped as "Прервать" stops it, its
  /// report written as after any run (an error then goes to stderr: nobody may be there to
  /// read a box), and the dialog closes once it has ended; without a run it closes at once.
  void CloseWhenStopped();

  /// A run goes.
  bool Running() const { return static_cast<bool>(worker_); }
  /// The report of the last run without its extension ("<profile>-отчет-<date>-<time>").
  const QString& ReportPath() const { return reportPath_; }

  QTreeWidget* lvPorts = nullptr;
  QLineEdit* edtProfile = nullptr;
  QPushButton* btnProfile = nullptr;
  QLineEdit* edtValues = nullptr;
  QPushButton* btnValues = nullptr;
  QCheckBox* chbVerify = nullptr;
  /// The firmware of the profile in the writer's fast mode (TBenchPlan::FastFirmware).
  QCheckBox* chbFastFirmware = nullptr;
  QTableWidget* Grid = nullptr;
  QLabel* lblSummary = nullptr;
  /// "Прогон <n>, журнал <record>": where the run is recorded.
  QLabel* lblRun = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnStop = nullptr;
  QPushButton* btnClose = nullptr;

 signals:
  /// A run ended, its rows and report done (on the UI thread).
  void runEnded(int passed, int total);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  struct TRunEnd;
  void ShowOutcome(int row, const TTerminalOutcome& outcome);
  void ShowRunNumber(std::int64_t runId, const std::string& location);
  void RunRefused(unsigned run, const QString& message);
  void RunEnded(unsigned run, const TRunEnd& end);
  void SetRunning(bool running);
  // The run the worker made, or nullptr; a stop asked for before it exists reaches it then.
  void Publish(TBenchRun* bench);
  void RequestStop();

  TUiContext& context_;
  std::vector<TComPortInfo> ports_;
  std::mutex runLock_;
  TBenchRun* run_ = nullptr;  // under runLock_; owned by the worker
  bool stopAsked_ = false;    // under runLock_
  std::unique_ptr<std::thread> worker_;
  // Runs started in this dialog: the end of a run carries its number.
  std::atomic<unsigned> runs_{0};
  QString reportPath_;
  // CloseWhenStopped came while a run went: the dialog closes at the run's end.
  bool closeAfterRun_ = false;
};

}  // namespace quorvel::ui
