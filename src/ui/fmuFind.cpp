#include "fmuFind.h"

#include "PageBuilder.h"
#include "UiContext.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace quorvel::ui {

QString PortCaption(const TComPortInfo& port) {
  return port.Description.empty() ? Q(port.Path) : Q(port.Path + " (" + port.Description + ")");
}

TfmFind::TfmFind(std::vector<TComPortInfo> ports, std::string chosenPath, QWidget* parent)
    : QDialog(parent),
      ports_(std::move(ports)),
      chosenPath_(std::move(chosenPath)),
      found_(ports_.size(), false) {
  setObjectName("fmFind");
  setWindowTitle(QStringLiteral("Поиск устройства"));
  setMinimumSize(455, 216);
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  ListView = new QTreeWidget(this);
  ListView->setObjectName("ListView");
  ListView->setAccessibleName(QStringLiteral("Порты"));
  ListView->setHeaderLabels({QStringLiteral("Порт"), QStringLiteral("Название")});
  ListView->setRootIsDecorated(false);
  ListView->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  for (const TComPortInfo& port : ports_) {
    auto* item = new QTreeWidgetItem(ListView, {PortCaption(port), QString()});
    item->setCheckState(0, Qt::Checked);
  }
  layout->addWidget(ListView, 1);
  auto* buttons = new QHBoxLayout;
  btnCheckPorts = MakeToolButton(this, "btnCheckPorts", QStringLiteral("Выбрать все порты"),
                                 QStyle::SP_DialogApplyButton);
  btnClearPorts = MakeToolButton(this, "btnClearPorts", QStringLiteral("Сбросить все порты"),
                                 QStyle::SP_DialogResetButton);
  Animate = new QLabel(QStringLiteral("Поиск..."), this);
  Animate->setObjectName("Animate");
  Animate->setVisible(false);
  btnStart =
      MakeButton(this, "btnStart", QStringLiteral("Начать поиск"), QStringLiteral("Начать поиск устройств"));
  btnStop = MakeButton(this, "btnStop", QStringLiteral("Прервать"), QStringLiteral("Прервать поиск"));
  btnClose = MakeButton(this, "btnClose", QStringLiteral("Закрыть"), QStringLiteral("Закрыть окно"));
  btnStop->setEnabled(false);
  buttons->addWidget(btnCheckPorts);
  buttons->addWidget(btnClearPorts);
  buttons->addWidget(Animate);
  buttons->addStretch(1);
  buttons->addWidget(btnStart);
  buttons->addWidget(btnStop);
  buttons->addWidget(btnClose);
  layout->addLayout(buttons);

  connect(btnStart, &QPushButton::clicked, this, &TfmFind::btnStartClick);
  connect(btnStop, &QPushButton::clicked, this, &TfmFind::btnStopClick);
  connect(btnClose, &QPushButton::clicked, this, &TfmFind::btnCloseClick);
  connect(btnCheckPorts, &QToolButton::clicked, this, &TfmFind::btnCheckPortsClick);
  connect(btnClearPorts, &QToolButton::clicked, this, &TfmFind::btnClearPortsClick);
  connect(ListView, &QTreeWidget::itemDoubleClicked, this, &TfmFind::ListViewDblClick);

  // The search reports on its own thread; the list is touched only here, on the UI thread.
  search_.SetEvents({[this](int row) {
                       QMetaObject::invokeMethod(this, [this, row] {
                         if (QTreeWidgetItem* item = ListView->topLevelItem(row)) {
                           ListView->setCurrentItem(item);
                           item->setText(1, Q(kSearchingText));
                         }
                       });
                     },
                     [this](int row, const std::string& text, bool found) {
                       QMetaObject::invokeMethod(this, [this, row, text = Q(text), found] {
                         if (QTreeWidgetItem* item = ListView->topLevelItem(row)) {
                           // A message of several lines reads on one line in a cell; the whole
                           // text stays in the tip.
                           item->setText(1, QString(text).replace("\r\n", " ").replace('\n', ' '));
                           item->setToolTip(1, QString(text).replace("\r\n", "\n"));
                         }
                         found_.at(static_cast<std::size_t>(row)) = found;
                       });
                     }});
  // The end is posted before the worker counts as finished, so it carries the number of its
  // search instead of asking whether one still runs.
  search_.SetOnEnd([this] {
    const unsigned search = searches_.load();
    QMetaObject::invokeMethod(
        this, [this, search] { SearchEnded(search); }, Qt::QueuedConnection);
  });
}

TfmFind::~TfmFind() { search_.Stop(); }

void TfmFind::btnStartClick() {
  StopSearch();
  std::vector<TSearchPort> rows;
  for (std::size_t i = 0; i < ports_.size(); ++i) {
    QTreeWidgetItem* item = ListView->topLevelItem(static_cast<int>(i));
    item->setText(1, QString());
    found_[i] = false;
    rows.push_back({ports_[i].Path, ports_[i].Name, item->checkState(0) == Qt::Checked});
  }
  btnStart->setEnabled(false);
  btnStop->setEnabled(true);
  btnStop->setFocus();
  Animate->setVisible(true);
  ++searches_;
  search_.Start(std::move(rows));
}

void TfmFind::SearchEnded(unsigned search) {
  if (search != searches_.load()) return;  // a newer search has started meanwhile
  Animate->setVisible(false);
  btnStop->setEnabled(false);
  btnStart->setEnabled(true);
  btnStart->setFocus();
  emit searchEnded();
}

void TfmFind::StopSearch() {
  btnStop->setEnabled(false);
  search_.Stop();
}

void TfmFind::btnStopClick() { StopSearch(); }

void TfmFind::btnCloseClick() {
  StopSearch();
  accept();
}

void TfmFind::btnCheckPortsClick() {
  for (int i = 0; i < ListView->topLevelItemCount(); ++i)
    ListView->topLevelItem(i)->setCheckState(0, Qt::Checked);
}

void TfmFind::btnClearPortsClick() {
  for (int i = 0; i < ListView->topLevelItemCount(); ++i)
    ListView->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
}

void TfmFind::ListViewDblClick(QTreeWidgetItem* item) {
  StopSearch();
  const int row = item == nullptr ? -1 : ListView->indexOfTopLevelItem(item);
  if (row >= 0 && found_.at(static_cast<std::size_t>(row)))
    chosenPath_ = ports_.at(static_cast<std::size_t>(row)).Path;
  accept();
}

void TfmFind::closeEvent(QCloseEvent* event) {
  StopSearch();
  QDialog::closeEvent(event);
}

void TfmFind::reject() {
  StopSearch();
  QDialog::reject();
}

}  // namespace quorvel::ui
