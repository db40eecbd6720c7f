#include "fmuJournal.h"

#include "AppManager.h"
#include "FileText.h"
#include "OperationRunner.h"
#include "PageBuilder.h"
#include "UiContext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace quorvel::ui {

namespace {

// The runs' columns shown, by their names in RunsTable, with their headings.
const std::vector<std::pair<std::string, const char*>>& RunColumns() {
  static const std::vector<std::pair<std::string, const char*>> columns = {
      {"run", "Прогон"},      {"started", "Начало"},       {"ended", "Конец"},
      {"state", "Состояние"}, {"terminals", "Терминалов"}, {"passed", "Успешно"},
      {"host", "Компьютер"},  {"operator", "Оператор"},    {"profile", "Профиль"}};
  return columns;
}

// Headings of TerminalsTable's columns, in its order.
const QStringList& TerminalHeadings() {
  static const QStringList headings = {QStringLiteral("Прогон"),
                                       QStringLiteral("Порт"),
                                       QStringLiteral("Заводской номер"),
                                       QStringLiteral("Серийный номер до"),
                                       QStringLiteral("Серийный номер после"),
                                       QStringLiteral("Результат"),
                                       QStringLiteral("Сообщение"),
                                       QStringLiteral("Значения"),
                                       QStringLiteral("Шаги")};
  return headings;
}

constexpr const char* kAnyResult = "Все";
constexpr const char* kCsvFilter = "Файл CSV (*.csv)|*.csv|Все файлы (*.*)|*.*";

QTableWidget* MakeGrid(QWidget* parent, const char* name, const QString& accessible,
                       const QStringList& headings) {
  auto* grid = new QTableWidget(0, static_cast<int>(headings.size()), parent);
  grid->setObjectName(name);
  grid->setAccessibleName(accessible);
  grid->setHorizontalHeaderLabels(headings);
  grid->verticalHeader()->hide();
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setWordWrap(false);
  grid->horizontalHeader()->setStretchLastSection(true);
  return grid;
}

void FillGrid(QTableWidget* grid, const std::vector<std::vector<std::string>>& rows) {
  grid->clearContents();
  grid->setRowCount(static_cast<int>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t c = 0; c < rows[r].size() && static_cast<int>(c) < grid->columnCount(); ++c) {
      auto* item = new QTableWidgetItem(Q(rows[r][c]));
      item->setToolTip(item->text());
      grid->setItem(static_cast<int>(r), static_cast<int>(c), item);
    }
}

bool Matches(const TTerminalRecord& t, const TJournalFilter& filter) {
  return filter.Result.empty() || t.State == filter.Result;
}

}  // namespace

TJournalView ReadJournal(const IServiceRecord& record, const TJournalFilter& filter) {
  TJournalView view;
  view.Location = record.Location();
  std::vector<TRunRecord> runs = record.Runs(filter.Since);
  std::set<std::int64_t> ids;
  for (const TRunRecord& run : runs) ids.insert(run.Id);
  TTerminalQuery query;
  query.FactoryNumber = filter.FactoryNumber;
  query.Serial = filter.Serial;
  std::set<std::int64_t> holding;
  for (TTerminalRecord& t : record.Terminals(query)) {
    if (ids.count(t.RunId) == 0 || !Matches(t, filter)) continue;
    holding.insert(t.RunId);
    view.Terminals.push_back(std::move(t));
  }
  // A filter of terminals shows the runs they were in, not every run of the dates.
  const bool byTerminal = !filter.FactoryNumber.empty() || !filter.Serial.empty() || !filter.Result.empty();
  for (TRunRecord& run : runs)
    if (!byTerminal || holding.count(run.Id) > 0) view.Runs.push_back(std::move(run));
  return view;
}

TfmJournal::TfmJournal(TUiContext& context, TOperationRunner& runner, QWidget* parent)
    : QDialog(parent), context_(context), runner_(runner) {
  setObjectName("fmJournal");
  setWindowTitle(QStringLiteral("Журнал обслуживания"));
  setMinimumSize(900, 520);
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);

  auto* filter = new QGroupBox(QStringLiteral("Отбор"), this);
  filter->setObjectName("gbFilter");
  auto* row = new QHBoxLayout(filter);
  const auto addEdit = [filter, row](const char* name, const QString& label) {
    auto* edit = new QLineEdit(filter);
    edit->setObjectName(name);
    edit->setAccessibleName(label);
    auto* caption = new QLabel(label + ":", filter);
    caption->setBuddy(edit);
    row->addWidget(caption);
    row->addWidget(edit, 1);
    return edit;
  };
  edtFactory = addEdit("edtFactory", QStringLiteral("Заводской номер"));
  edtSerial = addEdit("edtSerial", QStringLiteral("Серийный номер"));
  chbSince = new QCheckBox(QStringLiteral("С даты:"), filter);
  chbSince->setObjectName("chbSince");
  chbSince->setAccessibleName(QStringLiteral("С даты"));
  dtSince = new QDateEdit(QDate::currentDate(), filter);
  dtSince->setObjectName("dtSince");
  dtSince->setAccessibleName(QStringLiteral("Дата начала"));
  dtSince->setCalendarPopup(true);
  dtSince->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
  dtSince->setEnabled(false);
  row->addWidget(chbSince);
  row->addWidget(dtSince);
  cbResult = new QComboBox(filter);
  cbResult->setObjectName("cbResult");
  cbResult->setAccessibleName(QStringLiteral("Результат"));
  cbResult->addItem(QString::fromUtf8(kAnyResult), QString());
  for (const char* state : {kRecordPassed, kRecordFailed, kRecordStopped, kRecordRunning, kRecordWaiting})
    cbResult->addItem(QString::fromUtf8(state), QString::fromUtf8(state));
  auto* resultLabel = new QLabel(QStringLiteral("Результат:"), filter);
  resultLabel->setBuddy(cbResult);
  row->addWidget(resultLabel);
  row->addWidget(cbResult);
  btnFind = MakeButton(filter, "btnFind", QStringLiteral("Найти"), QStringLiteral("Показать отобранное"));
  btnFind->setDefault(true);
  row->addWidget(btnFind);
  layout->addWidget(filter);

  QStringList runHeadings;
  for (const auto& column : RunColumns()) runHeadings << QString::fromUtf8(column.second);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  gridRuns = MakeGrid(splitter, "gridRuns", QStringLiteral("Прогоны"), runHeadings);
  gridTerminals = MakeGrid(splitter, "gridTerminals", QStringLiteral("Терминалы"), TerminalHeadings());
  layout->addWidget(splitter, 1);

  auto* bottom = new QHBoxLayout;
  lblRecord = new QLabel(this);
  lblRecord->setObjectName("lblRecord");
  lblRecord->setTextInteractionFlags(Qt::TextSelectableByMouse);
  bottom->addWidget(lblRecord, 1);
  btnExport = MakeButton(this, "btnExport", QStringLiteral("Экспорт в CSV..."),
                         QStringLiteral("Сохранить показанные терминалы в файл CSV"));
  btnClose = MakeButton(this, "btnClose", QStringLiteral("Закрыть"), QStringLiteral("Закрыть окно"));
  bottom->addWidget(btnExport);
  bottom->addWidget(btnClose);
  layout->addLayout(bottom);

  connect(chbSince, &QCheckBox::toggled, dtSince, &QWidget::setEnabled);
  connect(btnFind, &QPushButton::clicked, this, &TfmJournal::btnFindClick);
  connect(btnExport, &QPushButton::clicked, this, &TfmJournal::btnExportClick);
  connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
  connect(gridRuns, &QTableWidget::itemSelectionChanged, this, &TfmJournal::ShowTerminals);
}

TfmJournal::~TfmJournal() = default;

void TfmJournal::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shownOnce_) return;
  shownOnce_ = true;
  btnFindClick();
}

TJournalFilter TfmJournal::Filter() const {
  TJournalFilter filter;
  filter.FactoryNumber = S(edtFactory->text().trimmed());
  filter.Serial = S(edtSerial->text().trimmed());
  // The date is the user's, the record's times are UTC.
  if (chbSince->isChecked())
    filter.Since =
        S(dtSince->date().startOfDay().toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")));
  filter.Result = S(cbResult->currentData().toString());
  return filter;
}

void TfmJournal::btnFindClick() {
  const std::string setting = context_.Settings.Record();
  auto view = std::make_shared<TJournalView>();
  runner_.Run(
      this,
      [setting, filter = Filter(), view] {
        const std::unique_ptr<IServiceRecord> record = OpenServiceRecord(ServiceRecordLocation(setting));
        *view = ReadJournal(*record, filter);
      },
      [this, view] {
        ShowView(*view);
        emit loaded(true);
      },
      [this](std::exception_ptr error) {
        runner_.ShowError(error);
        emit loaded(false);
      });
}

void TfmJournal::ShowView(const TJournalView& view) {
  view_ = view;
  lblRecord->setText(QStringLiteral("Журнал: %1").arg(Q(view_.Location)));
  const TRecordTable runs = RunsTable(view_.Runs);
  std::vector<std::size_t> picked;
  for (const auto& column : RunColumns())
    picked.push_back(static_cast<std::size_t>(
        std::find(runs.Columns.begin(), runs.Columns.end(), column.first) - runs.Columns.begin()));
  std::vector<std::vector<std::string>> rows;
  for (const auto& full : runs.Rows) {
    rows.emplace_back();
    for (std::size_t at : picked) rows.back().push_back(at < full.size() ? full[at] : std::string());
  }
  {
    const QSignalBlocker quiet(gridRuns);
    FillGrid(gridRuns, rows);
    gridRuns->resizeColumnsToContents();
  }
  ShowTerminals();
}

void TfmJournal::ShowTerminals() {
  const int row = gridRuns->currentRow();
  const bool chosen = row >= 0 && row < static_cast<int>(view_.Runs.size()) &&
                      gridRuns->item(row, 0) != nullptr && gridRuns->item(row, 0)->isSelected();
  std::vector<TTerminalRecord> terminals;
  for (const TTerminalRecord& t : view_.Terminals)
    if (!chosen || t.RunId == view_.Runs[static_cast<std::size_t>(row)].Id) terminals.push_back(t);
  shown_ = TerminalsTable(terminals);
  FillGrid(gridTerminals, shown_.Rows);
  gridTerminals->resizeColumnsToContents();
}

void TfmJournal::btnExportClick() {
  const QString file =
      context_.Messages.SaveFileName(this, {QString::fromUtf8(kCsvFilter), QStringLiteral("csv"), {}, {}});
  if (file.isEmpty()) return;
  runner_.Run(
      this,
      [text = FormatRecordTable(shown_, TViewFormat::Csv), name = S(file)] {
        WriteFileText(name, text, TWriteKind::Output);
      },
      [this] { emit exported(true); },
      [this](std::exception_ptr error) {
        runner_.ShowError(error);
        emit exported(false);
      });
}

}  // namespace quorvel::ui
