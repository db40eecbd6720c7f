#include "fmuBench.h"

#include "AppManager.h"
#include "BenchRecord.h"
#include "BenchReport.h"
#include "BenchValues.h"
#include "Errors.h"
#include "FileText.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "PageBuilder.h"
#include "Profile.h"
#include "SessionSave.h"
#include "ServiceRecord.h"
#include "UiContext.h"
#include "fmuFind.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <fmt/format.h>

#include <algorithm>
#include <utility>

namespace quorvel::ui {

namespace {

enum TColumn { kPortColumn, kFactoryColumn, kStepColumn, kProgressColumn, kResultColumn, kColumnCount };

constexpr const char* kProfileFilter = "Профиль (*.xml)|*.xml|Все файлы (*.*)|*.*";
constexpr const char* kValuesFilter = "Таблица значений (*.csv)|*.csv|Все файлы (*.*)|*.*";

// A line edit with its ".." chooser, as one row of a form.
QLineEdit* AddFileRow(QFormLayout* form, QWidget* parent, const char* name, const char* label,
                      const char* chooserName, QPushButton*& chooser) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setAccessibleName(QString::fromUtf8(label).remove(':'));
  chooser = MakeButton(parent, chooserName, QStringLiteral(".."), QStringLiteral("Выбрать файл"));
  chooser->setFixedWidth(chooser->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 12);
  auto* row = new QHBoxLayout;
  row->addWidget(edit, 1);
  row->addWidget(chooser);
  auto* caption = new QLabel(QString::fromUtf8(label), parent);
  caption->setBuddy(edit);
  form->addRow(caption, row);
  return edit;
}

// What the window gives a run; the files are read and the record opened on the run's thread.
struct TBenchInput {
  std::vector<std::string> Ports;
  std::string Profile;
  std::string Values;
  bool Verify = true;
  bool Fast = false;
  std::string RecordSetting;  // settings.xml's Record
};

TBenchPlan MakePlan(const TBenchInput& input, IServiceRecord& record) {
  TBenchPlan plan;
  plan.Ports = input.Ports;
  plan.ProfileName = input.Profile;
  plan.ProfileText = ReadFileText(plan.ProfileName);
  plan.Groups = ParseProfileGroups("");
  if (!input.Values.empty()) {
    const std::string bytes = ReadFileText(input.Values);
    plan.Values = std::make_shared<const TBenchValues>(
        TBenchValues::Parse(bytes, input.Values, TValueKey::FactoryNumber));
    plan.Pool = PoolOfValues(record, *plan.Values, bytes);
  }
  plan.Verify = input.Verify;
  plan.FastFirmware = input.Fast;
  // Starting the bench is the consent to what the profile holds, its payment system
  // included: nobody is asked per terminal.
  plan.AnswerYes = true;
  plan.Record = &record;
  plan.RunInfo = RunStartOf(plan, UserName());
  plan.RunInfo.Options = fmt::format("verify={} fast={} key=factory", plan.Verify ? "yes" : "no",
                                     plan.FastFirmware ? "yes" : "no");
  return plan;
}

}  // namespace

// What the run's thread hands the window at the end.
struct TfmBench::TRunEnd {
  std::vector<TTerminalOutcome> Outcomes;
  std::int64_t RunId = 0;
  std::string Location;
  bool Reported = false;
  std::vector<std::string> Errors;
};

TfmBench::TfmBench(TUiContext& context, QWidget* parent) : QDialog(parent), context_(context) {
  setObjectName("fmBench");
  setWindowTitle(QStringLiteral("Сервисный стенд"));
  setMinimumSize(860, 440);
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);

  auto* files = new QGroupBox(QStringLiteral("Профиль"), this);
  files->setObjectName("gbProfile");
  auto* form = new QFormLayout(files);
  edtProfile = AddFileRow(form, files, "edtProfile", "Профиль:", "btnProfile", btnProfile);
  edtValues = AddFileRow(form, files, "edtValues", "Значения терминалов:", "btnValues", btnValues);
  edtValues->setToolTip(QStringLiteral("Таблица CSV: строка на терминал, по заводскому номеру"));
  chbVerify = new QCheckBox(QStringLiteral("Проверять записанное чтением"), files);
  chbVerify->setObjectName("chbVerify");
  chbVerify->setAccessibleName(chbVerify->text());
  chbVerify->setChecked(true);
  form->addRow(chbVerify);
  chbFastFirmware = new QCheckBox(QStringLiteral("Быстрая запись ПО"), files);
  chbFastFirmware->setObjectName("chbFastFirmware");
  chbFastFirmware->setAccessibleName(chbFastFirmware->text());
  chbFastFirmware->setToolTip(QStringLiteral("Блоки по 4 КБ, строки данных без ожидания эха каждой"));
  form->addRow(chbFastFirmware);
  layout->addWidget(files);

  auto* middle = new QHBoxLayout;
  lvPorts = new QTreeWidget(this);
  lvPorts->setObjectName("lvPorts");
  lvPorts->setAccessibleName(QStringLiteral("Порты"));
  lvPorts->setHeaderLabels({QStringLiteral("Порт")});
  lvPorts->setRootIsDecorated(false);
  lvPorts->setMaximumWidth(200);
  middle->addWidget(lvPorts);
  Grid = new QTableWidget(0, kColumnCount, this);
  Grid->setObjectName("Grid");
  Grid->setAccessibleName(QStringLiteral("Терминалы"));
  Grid->setHorizontalHeaderLabels({QStringLiteral("Порт"), QStringLiteral("Заводской номер"),
                                   QStringLiteral("Шаг"), QStringLiteral("Ход выполнения"),
                                   QStringLiteral("Результат")});
  Grid->verticalHeader()->hide();
  Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  Grid->setWordWrap(false);
  QHeaderView* header = Grid->horizontalHeader();
  header->setSectionResizeMode(kPortColumn, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(kFactoryColumn, QHeaderView::ResizeToContents);
  header->resizeSection(kStepColumn, 170);
  header->resizeSection(kProgressColumn, 110);
  header->setStretchLastSection(true);
  middle->addWidget(Grid, 1);
  layout->addLayout(middle, 1);

  auto* bottom = new QHBoxLayout;
  lblSummary = new QLabel(this);
  lblSummary->setObjectName("lblSummary");
  lblSummary->setWordWrap(true);
  lblSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
  bottom->addWidget(lblSummary, 1);
  lblRun = new QLabel(this);
  lblRun->setObjectName("lblRun");
  lblRun->setAccessibleName(QStringLiteral("Прогон"));
  lblRun->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(lblRun);
  btnStart = MakeButton(this, "btnStart", QStringLiteral("Начать"),
                        QStringLiteral("Записать профиль в терминалы отмеченных портов"));
  btnStop = MakeButton(this, "btnStop", QStringLiteral("Прервать"),
                       QStringLiteral("Прервать запись после текущего пакета"));
  btnClose = MakeButton(this, "btnClose", QStringLiteral("Закрыть"), QStringLiteral("Закрыть окно"));
  btnStop->setEnabled(false);
  bottom->addWidget(btnStart);
  bottom->addWidget(btnStop);
  bottom->addWidget(btnClose);
  layout->addLayout(bottom);

  connect(btnProfile, &QPushButton::clicked, this, &TfmBench::btnProfileClick);
  connect(btnValues, &QPushButton::clicked, this, &TfmBench::btnValuesClick);
  connect(btnStart, &QPushButton::clicked, this, &TfmBench::btnStartClick);
  connect(btnStop, &QPushButton::clicked, this, &TfmBench::btnStopClick);
  connect(btnClose, &QPushButton::clicked, this, &TfmBench::reject);
  SetPorts(EnumComPorts());
}

TfmBench::~TfmBench() {
  RequestStop();
  if (worker_ && worker_->joinable()) worker_->join();
}

void TfmBench::Publish(TBenchRun* bench) {
  const std::lock_guard guard(runLock_);
  run_ = bench;
  if (run_ != nullptr && stopAsked_) run_->RequestStop();
}

void TfmBench::RequestStop() {
  const std::lock_guard guard(runLock_);
  stopAsked_ = true;
  if (run_ != nullptr) run_->RequestStop();
}

void TfmBench::SetPorts(std::vector<TComPortInfo> ports) {
  ports_ = std::move(ports);
  lvPorts->clear();
  for (const TComPortInfo& port : ports_) {
    auto* item = new QTreeWidgetItem(lvPorts, {PortCaption(port)});
    item->setCheckState(0, Qt::Checked);
  }
}

void TfmBench::btnProfileClick() {
  const QString name = context_.Messages.OpenFileName(
      this, {QString::fromUtf8(kProfileFilter), QStringLiteral("xml"), {}, edtProfile->text()});
  if (!name.isEmpty()) edtProfile->setText(name);
}

void TfmBench::btnValuesClick() {
  const QString name = context_.Messages.OpenFileName(
      this, {QString::fromUtf8(kValuesFilter), QStringLiteral("csv"), {}, edtValues->text()});
  if (!name.isEmpty()) edtValues->setText(name);
}

void TfmBench::btnStartClick() {
  if (Running()) return;
  TBenchInput input;
  std::vector<int> rows;
  for (std::size_t i = 0; i < ports_.size(); ++i)
    if (lvPorts->topLevelItem(static_cast<int>(i))->checkState(0) == Qt::Checked) {
      input.Ports.push_back(ports_[i].Path);
      rows.push_back(static_cast<int>(i));
    }
  if (edtProfile->text().isEmpty() || input.Ports.empty()) {
    context_.Messages.ShowError(this, edtProfile->text().isEmpty()
                                          ? QStringLiteral("Не выбран профиль")
                                          : QStringLiteral("Не отмечен ни один порт"));
    return;
  }
  input.Profile = S(edtProfile->text());
  input.Values = S(edtValues->text());
  input.Verify = chbVerify->isChecked();
  input.Fast = chbFastFirmware->isChecked();
  input.RecordSetting = context_.Settings.Record();
  Grid->setRowCount(0);
  Grid->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t row = 0; row < rows.size(); ++row) {
    TTerminalOutcome waiting;
    waiting.Port = ports_[static_cast<std::size_t>(rows[row])].Path;
    ShowOutcome(static_cast<int>(row), waiting);
  }
  // The program's own link would share a port of the run with its driver.
  context_.Facade.Driver().ClosePort();
  const QFileInfo profile(edtProfile->text());
  reportPath_ = profile.absolutePath() + "/" + profile.completeBaseName() + QStringLiteral("-отчет-") +
                QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  lblSummary->setText(QStringLiteral("Идет запись..."));
  lblRun->clear();
  {
    const std::lock_guard guard(runLock_);
    stopAsked_ = false;
  }
  SetRunning(true);
  const unsigned run = ++runs_;
  worker_ = std::make_unique<std::thread>([this, run, input, report = S(reportPath_)] {
    std::unique_ptr<IServiceRecord> record;
    std::unique_ptr<TBenchRun> bench;
    try {
      record = OpenServiceRecord(ServiceRecordLocation(input.RecordSetting));
      // Checks the profile and the values before any terminal is touched.
      bench = std::make_unique<TBenchRun>(MakePlan(input, *record));
    } catch (const std::exception& e) {
      QMetaObject::invokeMethod(
          this, [this, run, message = Q(e.what())] { RunRefused(run, message); }, Qt::QueuedConnection);
      return;
    }
    Publish(bench.get());
    TRunEnd end;
    end.Location = record->Location();
    // Called one at a time; the first call comes after the run got its number.
    bool shown = false;
    const auto onChange = [this, &bench, &end, &shown](int row, const TTerminalOutcome& outcome) {
      if (!shown) {
        shown = true;
        QMetaObject::invokeMethod(
            this, [this, id = bench->RunId(), location = end.Location] { ShowRunNumber(id, location); },
            Qt::QueuedConnection);
      }
      QMetaObject::invokeMethod(
          this, [this, row, outcome] { ShowOutcome(row, outcome); }, Qt::QueuedConnection);
    };
    bool ran = true;
    try {
      end.Outcomes = bench->Run(onChange);
    } catch (const std::exception& e) {
      // The record could not take the run: no terminal was touched.
      end.Errors.push_back(e.what());
      ran = false;
    }
    Publish(nullptr);
    end.RunId = bench->RunId();
    if (!bench->RecordError().empty()) end.Errors.push_back(bench->RecordError());
    if (ran) {
      try {
        if (const std::string error = WriteRunReport(report, bench->RunId(), *record, end.Outcomes); !error.empty())
          end.Errors.push_back(error);
        end.Reported = true;
      } catch (const std::exception& e) {
        end.Errors.push_back(e.what());
      }
    }
    // The end carries its run's number: it may reach the UI thread before the worker ends.
    QMetaObject::invokeMethod(
        this, [this, run, end] { RunEnded(run, end); }, Qt::QueuedConnection);
  });
}

void TfmBench::btnStopClick() {
  RequestStop();
  btnStop->setEnabled(false);
  lblSummary->setText(QStringLiteral("Запись прерывается..."));
}

void TfmBench::CloseWhenStopped() {
  if (!Running()) {
    reject();
    return;
  }
  if (closeAfterRun_) return;
  closeAfterRun_ = true;
  btnStopClick();
}

void TfmBench::ShowRunNumber(std::int64_t runId, const std::string& location) {
  if (runId == 0) return;
  lblRun->setText(QStringLiteral("Прогон %1, журнал %2").arg(runId).arg(Q(location)));
}

void TfmBench::RunRefused(unsigned run, const QString& message) {
  if (run != runs_.load()) return;
  if (worker_ && worker_->joinable()) worker_->join();
  worker_.reset();
  Grid->setRowCount(0);
  lblSummary->clear();
  SetRunning(false);
  if (std::exchange(closeAfterRun_, false)) {
    TConsoleMessages().ShowError(this, QString(message).replace("\r\n", "\n"));
    QMetaObject::invokeMethod(this, &TfmBench::reject, Qt::QueuedConnection);
    return;
  }
  context_.Messages.ShowError(this, QString(message).replace("\r\n", "\n"));
}

void TfmBench::ShowOutcome(int row, const TTerminalOutcome& outcome) {
  if (row < 0 || row >= Grid->rowCount()) return;
  const auto set = [this, row](int column, const std::string& text) {
    auto* item = Grid->item(row, column);
    if (item == nullptr) {
      item = new QTableWidgetItem;
      Grid->setItem(row, column, item);
    }
    item->setText(Q(text));
    item->setToolTip(Q(text));
  };
  set(kPortColumn, outcome.Port);
  set(kFactoryColumn, outcome.FactoryNumber);
  set(kStepColumn, outcome.Step);
  std::string result = BenchStateText(outcome.State);
  if (!outcome.Message.empty()) result += ": " + outcome.Message;
  set(kResultColumn, result);
  auto* bar = qobject_cast<QProgressBar*>(Grid->cellWidget(row, kProgressColumn));
  if (bar == nullptr) {
    bar = new QProgressBar(Grid);
    bar->setAccessibleName(QStringLiteral("Ход выполнения, ") + Q(outcome.Port));
    Grid->setCellWidget(row, kProgressColumn, bar);
  }
  bar->setRange(0, std::max(1, outcome.StepCount));
  bar->setValue(std::min(outcome.StepIndex, std::max(1, outcome.StepCount)));
}

void TfmBench::RunEnded(unsigned run, const TRunEnd& end) {
  if (run != runs_.load()) return;
  if (worker_ && worker_->joinable()) worker_->join();
  worker_.reset();
  int passed = 0;
  for (std::size_t row = 0; row < end.Outcomes.size(); ++row) {
    ShowOutcome(static_cast<int>(row), end.Outcomes[row]);
    passed += end.Outcomes[row].State == TBenchState::Passed ? 1 : 0;
  }
  const int total = static_cast<int>(end.Outcomes.size());
  QString summary = QStringLiteral("Успешно: %1 из %2.").arg(passed).arg(total);
  const bool closing = std::exchange(closeAfterRun_, false);
  if (end.Reported) summary += QStringLiteral(" Отчет: %1").arg(Q(ReportCsvPath(S(reportPath_))));
  lblSummary->setText(summary);
  ShowRunNumber(end.RunId, end.Location);
  SetRunning(false);
  if (!end.Errors.empty()) {
    QStringList errors;
    for (const std::string& error : end.Errors) errors << Q(error).replace("\r\n", "\n");
    // A program that is ending has nobody left to answer a box: the error goes to stderr.
    TConsoleMessages console;
    (closing ? static_cast<IUiMessages&>(console) : context_.Messages).ShowError(this, errors.join('\n'));
  }
  emit runEnded(passed, total);
  if (closing) QMetaObject::invokeMethod(this, &TfmBench::reject, Qt::QueuedConnection);
}

void TfmBench::SetRunning(bool running) {
  for (QWidget* control :
       std::initializer_list<QWidget*>{edtProfile, btnProfile, edtValues, btnValues, chbVerify,
                                       chbFastFirmware, lvPorts, btnStart, btnClose})
    control->setEnabled(!running);
  btnStop->setEnabled(running);
  (running ? btnStop : btnStart)->setFocus();
}

void TfmBench::closeEvent(QCloseEvent* event) {
  // The terminals' threads report to this window until the run ends.
  if (Running()) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TfmBench::reject() {
  if (Running()) return;
  QDialog::reject();
}

}  // namespace quorvel::ui
