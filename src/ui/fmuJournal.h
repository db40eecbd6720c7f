#pragma once

#include "RecordViews.h"
#include "ServiceRecord.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quorvel::ui {

class TOperationRunner;
struct TUiContext;

/// What the journal shows: the runs and the terminals that match.
struct TJournalFilter {
  std::string FactoryNumber;  ///< empty: any
  std::string Serial;         ///< before or after; empty: any
  std::string Since;          ///< record time (UTC) runs start at or after; empty: all
  std::string Result;         ///< a terminal's state (kRecordPassed, ...); empty: any
};

/// The part of the record a filter selects.
struct TJournalView {
  std::string Location;          ///< the record's
  std::vector<TRunRecord> Runs;  ///< started since, and when a terminal is filtered, holding one that matches
  std::vector<TTerminalRecord> Terminals;  ///< of those runs, matching the filter, with their steps
};

/// Reads the view of filter from record. Raises the record's errors.
/// Threads: any; not the UI thread (it waits on the database).
TJournalView ReadJournal(const IServiceRecord& record, const TJournalFilter& filter);

/// "Журнал обслуживания": the runs of the service record the program writes into (settings.xml's
/// Record, else service.db in the program's folder) and the terminals of the run chosen, or
/// of every run shown when none is; a filter by factory number, serial number, date and
/// result. "Экспорт в CSV..." saves the terminals shown. The record is read on the runner, a
/// record that cannot be opened shows the error box with its message.
/// Threads: the UI thread.
class TfmJournal final : public QDialog {
  Q_OBJECT

 public:
  TfmJournal(TUiContext& context, TOperationRunner& runner, QWidget* parent = nullptr);
  ~TfmJournal() override;

  /// Reads the record anew with the filter as the controls give it.
  void btnFindClick();
  /// Asks for a file and writes the terminals shown into it as CSV.
  void btnExportClick();

  /// The terminals shown, as they are exported.
  const TRecordTable& ShownTerminals() const { return shown_; }

  QLineEdit* edtFactory = nullptr;
  QLineEdit* edtSerial = nullptr;
  QCheckBox* chbSince = nullptr;
  QDateEdit* dtSince = nullptr;
  QComboBox* cbResult = nullptr;
  QPushButton* btnFind = nullptr;
  QTableWidget* gridRuns = nullptr;
  QTableWidget* gridTerminals = nullptr;
  QLabel* lblRecord = nullptr;
  QPushButton* btnExport = nullptr;
  QPushButton* btnClose = nullptr;

 signals:
  /// The record was read and the tables filled (ok) or its error shown.
  void loaded(bool ok);
  /// An export ended (ok: the file is written).
  void exported(bool ok);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TJournalFilter Filter() const;
  void ShowView(const TJournalView& view);
  void ShowTerminals();

  TUiContext& context_;
  TOperationRunner& runner_;
  TJournalView view_;
  TRecordTable shown_;
  bool shownOnce_ = false;
};

}  // namespace quorvel::ui
