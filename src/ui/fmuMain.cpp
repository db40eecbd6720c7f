#include "fmuMain.h"

#include "AppDoc.h"
#include "AppManager.h"
#include "Errors.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "fmuAbout.h"
#include "fmuBench.h"
#include "fmuDebug.h"
#include "fmuFees.h"
#include "fmuJournal.h"
#include "fmuModemSerial.h"
#include "fmuReceiptLines.h"
#include "fmuScripts.h"
#include "fmuServer.h"
#include "fmuSettings.h"
#include "fmuSimCard.h"
#include "fmuStatus.h"
#include "fmuUpdate.h"
#include "fmuXmlData.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include <fmt/printf.h>

namespace quorvel::ui {

namespace {

constexpr const char* kPlacementSection = "fmMain";
constexpr const char* kBadSystemCode = "Неверный номер платежной системы, %d";
constexpr int kDefaultWidth = 672;
constexpr int kDefaultHeight = 555;
constexpr int kMinWidth = 320;
constexpr int kMinHeight = 240;
// How long a hint stays on screen.
constexpr int kHintMs = 7000;
constexpr int kNodeHeight = 18;

// The codes the terminal uses for payment systems; 11 has none.
bool IsSystemCode(int code) { return (code >= 0 && code <= 10) || code == 12; }

void SetHintDuration(QWidget* root) {
  root->setToolTipDuration(kHintMs);
  for (QWidget* child : root->findChildren<QWidget*>()) child->setToolTipDuration(kHintMs);
}

}  // namespace

TfmMain::TfmMain(TUiContext& context, QWidget* parent)
    : QMainWindow(parent), context_(context), runner_(context.Messages) {
  setObjectName("fmMain");
  setWindowTitle(QStringLiteral("%1 %2").arg(kAppTitle, Q(FileVersionText())));
  runner_.SetBusyWindow(this);
  // The pages' writes go into the record the bench writes into.
  runner_.SetRecordSetting([this] { return context_.Settings.Record(); });
  context_.Facade.SetPrompt(&runner_);

  splitter_ = new QSplitter(this);
  TreeView = new QTreeWidget(splitter_);
  TreeView->setObjectName("TreeView");
  TreeView->setAccessibleName(QStringLiteral("Страницы"));
  TreeView->setHeaderHidden(true);
  TreeView->setIndentation(23);
  TreeView->setSelectionBehavior(QAbstractItemView::SelectRows);
  TreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DataPanel = new QWidget(splitter_);
  DataPanel->setObjectName("DataPanel");
  auto* panelLayout = new QVBoxLayout(DataPanel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({190, kDefaultWidth - 190});
  setCentralWidget(splitter_);
  StatusPanel = new QLabel(this);
  StatusPanel->setObjectName("StatusPanel");
  StatusPanel->setMinimumWidth(300);
  statusBar()->addWidget(StatusPanel);
  CreateActions();

  fmStatus = new TfmStatus(context_, runner_, DataPanel);
  fmSimCard = new TfmSimCard(context_, runner_, DataPanel);
  fmModemSerial = new TfmModemSerial(context_, runner_, DataPanel);
  fmDebug = new TfmDebug(context_, runner_, DataPanel);
  for (TAppPage* page : std::initializer_list<TAppPage*>{fmStatus, fmSimCard, fmModemSerial, fmDebug}) {
    page->hide();
    panelLayout->addWidget(page);
  }
  fmHeader = new TfmHeader(context_, runner_, DataPanel);
  fmTrailer = new TfmTrailer(context_, runner_, DataPanel);
  fmFees = new TfmFees(context_, runner_, DataPanel);
  for (TAppPage* page : std::initializer_list<TAppPage*>{fmHeader, fmTrailer, fmFees}) {
    page->hide();
    panelLayout->addWidget(page);
  }
  CreatePaymentSystems(panelLayout);
  fmUpdate = new TfmUpdate(context_, runner_, DataPanel);
  fmUpdate->hide();
  panelLayout->addWidget(fmUpdate);

  RunSettingsDialog = [](TfmMain& self) {
    TfmSettings dialog(self.context_, self.runner_, &self);
    dialog.exec();
  };
  RunBenchDialog = [](TfmMain& self) {
    TfmBench dialog(self.context_, &self);
    dialog.exec();
  };
  RunJournalDialog = [](TfmMain& self) {
    TfmJournal dialog(self.context_, self.runner_, &self);
    dialog.exec();
  };
  RunAboutDialog = [](TfmMain& self) {
    TfmAbout dialog(&self);
    dialog.exec();
  };
  connect(TreeView, &QTreeWidget::currentItemChanged, this, &TfmMain::NodeSelected);
  connect(&runner_, &TOperationRunner::finished, this, [this] {
    if (!closeAfterRun_) return;
    closeAfterRun_ = false;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
  });
  context_.Facade.DriverStatus().SetOnChange([this](TDriverStatus& status) { StatusChanged(status.Text()); });
  SetHintDuration(this);
  RestorePlacement();
}

TfmMain::~TfmMain() {
  context_.Facade.DriverStatus().SetOnChange({});
  if (context_.Facade.Prompt() == &runner_) context_.Facade.SetPrompt(nullptr);
  Pages.Clear();
}

void TfmMain::CreateActions() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
  actSettings = file->addAction(QStringLiteral("Параметры связи..."), this, &TfmMain::SettingsClick);
  actSettings->setObjectName("actSettings");
  actSettings->setToolTip(QStringLiteral("Параметры связи"));
  actSettings->setIcon(style()->standardIcon(QStyle::SP_DriveNetIcon));
  actBench = file->addAction(QStringLiteral("Сервисный стенд..."), this, &TfmMain::BenchClick);
  actBench->setObjectName("actBench");
  actBench->setToolTip(QStringLiteral("Записать профиль в несколько терминалов сразу"));
  actSaveProfile = file->addAction(QStringLiteral("Сохранить профиль..."), this, &TfmMain::SaveProfileClick);
  actSaveProfile->setObjectName("actSaveProfile");
  actSaveProfile->setToolTip(QStringLiteral("Сохранить текущие настройки в файл профиля"));
  actOpenProfile = file->addAction(QStringLiteral("Открыть профиль..."), this, &TfmMain::OpenProfileClick);
  actOpenProfile->setObjectName("actOpenProfile");
  actOpenProfile->setToolTip(QStringLiteral("Взять настройки из файла профиля"));
  actJournal = file->addAction(QStringLiteral("Журнал обслуживания..."), this, &TfmMain::JournalClick);
  actJournal->setObjectName("actJournal");
  actJournal->setToolTip(QStringLiteral("Прогоны стенда и записанные терминалы"));
  file->addSeparator();
  actExit = file->addAction(QStringLiteral("  Выход"), this, &QWidget::close);
  actExit->setObjectName("actExit");
  QMenu* help = menuBar()->addMenu(QStringLiteral("Справка"));
  actAbout = help->addAction(QStringLiteral("О программе..."), this, &TfmMain::AboutClick);
  actAbout->setObjectName("actAbout");
  actAbout->setToolTip(QStringLiteral("О программе"));
  actAbout->setIcon(style()->standardIcon(QStyle::SP_MessageBoxQuestion));
  actMail = help->addAction(QStringLiteral("Написать разработчикам..."), this, &TfmMain::MailClick);
  actMail->setObjectName("actMail");
  actUpdateSystem = new QAction(style()->standardIcon(QStyle::SP_BrowserReload),
                                QStringLiteral("Обновить платежную систему"), this);
  actUpdateSystem->setObjectName("actUpdateSystem");
  actUpdateSystem->setToolTip(QStringLiteral("Обновить платежную систему"));
  connect(actUpdateSystem, &QAction::triggered, this, &TfmMain::UpdateSystemClick);
  QToolBar* bar = addToolBar(QStringLiteral("Панель"));
  bar->setObjectName("ToolBar");
  bar->setMovable(false);
  bar->addAction(actSettings);
  bar->addAction(actAbout);
  bar->addAction(actUpdateSystem);
}

QTreeWidgetItem* TfmMain::AddPage(QTreeWidgetItem* parent, TAppPage* page) {
  const QIcon icon = page->GetImage();
  if (!icon.isNull()) lastIcon_ = icon;
  Pages.Add(page);
  // Whoever made the page, it fills the data panel: a page created with the panel as its
  // parent is a child of the panel without being in the panel's layout.
  if (DataPanel->layout()->indexOf(page) < 0) {
    if (page->parentWidget() != DataPanel) page->setParent(DataPanel);
    DataPanel->layout()->addWidget(page);
  }
  page->hide();
  // A page larger than the panel widens the window rather than being cut.
  const QSize need = page->minimumSizeHint() - DataPanel->size();
  if (isVisible() && (need.width() > 0 || need.height() > 0))
    resize(width() + std::max(0, need.width()), height() + std::max(0, need.height()));
  auto* node = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(TreeView);
  node->setText(0, page->Caption());
  node->setSizeHint(0, QSize(0, kNodeHeight));
  SetHintDuration(page);
  node->setIcon(0, lastIcon_);
  node->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<QObject*>(page)));
  return node;
}

QTreeWidgetItem* TfmMain::AddSystemPages(QTreeWidgetItem* parent, TAppPage* page, TPaymentSystem& system) {
  QTreeWidgetItem* node = AddPage(parent, page);
  // Pages made anew for every build; the ones of an earlier build stay alive (see systemPages_).
  systemPages_.push_back(std::make_unique<TfmServer>(context_, runner_, system));
  AddPage(node, systemPages_.back().get());
  for (const TXmlDataKind* kind : {&kXmlDataKind, &kPhonesKind}) {
    systemPages_.push_back(std::make_unique<TfmXmlData>(context_, runner_, *kind));
    AddPage(node, systemPages_.back().get());
  }
  systemPages_.push_back(std::make_unique<TfmScripts>(context_, runner_, system, DataPanel));
  AddPage(node, systemPages_.back().get());
  node->setExpanded(true);
  return node;
}

void TfmMain::AddPaymentSystem(QTreeWidgetItem* parent, int code) {
  if (!IsSystemCode(code)) throw Exception(fmt::sprintf(kBadSystemCode, code));
  const auto has = [code](const TSystemRow& row) { return row.Number == code; };
  auto row = std::find_if(systemRows_.begin(), systemRows_.end(), has);
  const auto shown = std::find_if(systemRows_.begin(), systemRows_.end(),
                                  [this](const TSystemRow& r) { return r.System == shownSystem_; });
  if (shown != systemRows_.end() && shown->Number == code) row = shown;
  if (row == systemRows_.end()) throw Exception(fmt::sprintf(kBadSystemCode, code));
  AddPaymentSystem(parent, *row->System);
}

void TfmMain::BuildTree(int code) {
  selecting_ = true;
  TreeView->clear();
  Pages.Clear();
  lastIcon_ = QIcon();
  selecting_ = false;
  AddPage(nullptr, fmStatus);
  AddPage(nullptr, fmSimCard);
  AddPage(nullptr, fmHeader);
  AddPage(nullptr, fmTrailer);
  AddPage(nullptr, fmFees);
  AddPaymentSystem(nullptr, code);
  AddPage(nullptr, fmModemSerial);
  AddPage(nullptr, fmUpdate);
  AddPage(nullptr, fmDebug);
  // The page on screen keeps its node selected when it is still in the tree.
  for (QTreeWidgetItem* node : Nodes()) {
    if (node->data(0, Qt::UserRole).value<QObject*>() != Pages.Current()) continue;
    selecting_ = true;
    TreeView->setCurrentItem(node);
    selecting_ = false;
  }
  emit treeBuilt(code);
}

void TfmMain::SetPaymentSystem(int code) {
  if (code == CurrentSystemID) return;
  CurrentSystemID = code;
  BuildTree(code);
}

std::vector<QTreeWidgetItem*> TfmMain::Nodes() const {
  std::vector<QTreeWidgetItem*> nodes;
  for (QTreeWidgetItemIterator it(TreeView); *it != nullptr; ++it) nodes.push_back(*it);
  return nodes;
}

void TfmMain::RestoreSelection() {
  const std::vector<QTreeWidgetItem*> nodes = Nodes();
  const int index = context_.Doc.PageIndex;
  if (index >= 0 && index < static_cast<int>(nodes.size())) {
    TreeView->setCurrentItem(nodes[static_cast<std::size_t>(index)]);
    TreeView->setFocus();
    return;
  }
  TreeView->setCurrentItem(nullptr);
  if (Pages.Count() > 0) Pages.ShowPage(Pages.Page(0));
}

void TfmMain::SaveSelection() {
  const std::vector<QTreeWidgetItem*> nodes = Nodes();
  for (std::size_t i = 0; i < nodes.size(); ++i)
    if (nodes[i] == TreeView->currentItem()) context_.Doc.PageIndex = static_cast<std::int32_t>(i);
}

void TfmMain::NodeSelected(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
  if (selecting_ || current == nullptr) return;
  auto* page = qobject_cast<TAppPage*>(current->data(0, Qt::UserRole).value<QObject*>());
  try {
    Pages.ShowPage(page);
  } catch (...) {
    // The page on screen refused to be left: it stays, and so does its node.
    selecting_ = true;
    TreeView->setCurrentItem(previous);
    selecting_ = false;
    runner_.ShowError(std::current_exception());
  }
}

void TfmMain::StatusChanged(const std::string& text) {
  const QString line = QStringLiteral(" ") + Q(text);
  if (QThread::currentThread() != thread()) {
    QMetaObject::invokeMethod(
        this, [this, line] { StatusChanged(S(line.mid(1))); }, Qt::QueuedConnection);
    return;
  }
  StatusPanel->setText(line);
  StatusPanel->repaint();
}

void TfmMain::UpdateSystemClick() {
  auto code = std::make_shared<std::int32_t>(0);
  TOrtena& facade = context_.Facade;
  const auto fallback = [this] {
    try {
      SetPaymentSystem(0);
    } catch (...) {
    }
  };
  runner_.Run(
      nullptr, [&facade, code] { *code = facade.ReadActiveSystem(); },
      [this, code, fallback] {
        try {
          SetPaymentSystem(*code);
        } catch (...) {
          fallback();
        }
        if (Pages.Current() == nullptr || Pages.Current()->Pages() != &Pages) RestoreSelection();
      },
      [fallback](std::exception_ptr) { fallback(); });
}

void TfmMain::CloseWhenIdle() {
  bool benchRuns = false;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top == this || !top->isVisible()) continue;
    auto* bench = qobject_cast<TfmBench*>(top);
    if (bench == nullptr) {
      top->close();
      continue;
    }
    // Its terminals' threads report to it until the run ends, and the report is written then.
    benchRuns = benchRuns || bench->Running();
    if (!closeAfterBench_ && bench->Running())
      connect(bench, &QDialog::finished, this, &TfmMain::CloseWhenIdle, Qt::QueuedConnection);
    bench->CloseWhenStopped();
  }
  closeAfterBench_ = benchRuns;
  if (benchRuns) return;
  if (!runner_.Busy()) {
    close();
    return;
  }
  closeAfterRun_ = true;
  runner_.Stop();
}

void TfmMain::SettingsClick() { RunSettingsDialog(*this); }

void TfmMain::BenchClick() { RunBenchDialog(*this); }

void TfmMain::JournalClick() { RunJournalDialog(*this); }

void TfmMain::AboutClick() { RunAboutDialog(*this); }

void TfmMain::MailClick() { QDesktopServices::openUrl(QUrl(SupportMailUrl())); }

void TfmMain::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  SetPaymentSystem(0);
  RestoreSelection();
  RestoreActiveControl();
}

void TfmMain::RestoreActiveControl() {
  if (activeControl_.isEmpty()) return;
  // Pages share control names: the one on screen is meant.
  for (QWidget* control : findChildren<QWidget*>(activeControl_)) {
    if (!control->isVisible() || !control->isEnabled() || control->focusPolicy() == Qt::NoFocus) continue;
    control->setFocus();
    return;
  }
}

void TfmMain::closeEvent(QCloseEvent* event) {
  try {
    Pages.CheckCloseAll();
  } catch (...) {
    event->ignore();
    runner_.ShowError(std::current_exception());
    return;
  }
  if (runner_.Busy()) {
    // The operation's end handlers work on this window: it closes after them.
    event->ignore();
    if (closeAfterRun_) return;
    const QString running = StatusPanel->text().trimmed();
    QString question = running.isEmpty() ? QStringLiteral("Выполняется операция.")
                                         : QStringLiteral("Выполняется операция: %1.").arg(running);
    question += runner_.CanStop() ? QStringLiteral("\nПрервать ее и закрыть программу?")
                                  : QStringLiteral("\nЗакрыть программу, когда она закончится?");
    if (!context_.Messages.Ask(this, question)) return;
    closeAfterRun_ = true;
    runner_.Stop();
    return;
  }
  SaveSelection();
  SavePlacement();
  event->accept();
}

QRect PlaceOnScreen(const QRect& wanted, const QList<QRect>& screens) {
  if (screens.isEmpty()) return wanted;
  // The screen that shows most of the window, else the first (the primary one).
  QRect screen = screens.first();
  qint64 best = 0;
  for (const QRect& candidate : screens) {
    const QRect common = candidate.intersected(wanted);
    const qint64 area = common.isEmpty() ? 0 : qint64{common.width()} * common.height();
    if (area > best) {
      best = area;
      screen = candidate;
    }
  }
  const int width = std::clamp(wanted.width(), std::min(kMinWidth, screen.width()), screen.width());
  const int height = std::clamp(wanted.height(), std::min(kMinHeight, screen.height()), screen.height());
  const int left = std::clamp(wanted.x(), screen.left(), screen.left() + screen.width() - width);
  const int top = std::clamp(wanted.y(), screen.top(), screen.top() + screen.height() - height);
  return {left, top, width, height};
}

void TfmMain::RestorePlacement() {
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  ini.beginGroup(kPlacementSection);
  QList<QRect> screens;
  if (QScreen* primary = QGuiApplication::primaryScreen()) screens << primary->availableGeometry();
  for (QScreen* screen : QGuiApplication::screens())
    if (screen != QGuiApplication::primaryScreen()) screens << screen->availableGeometry();
  const QRect home = screens.isEmpty() ? QRect(0, 0, 1024, 768) : screens.first();
  const int w = ini.value("Width", kDefaultWidth).toInt();
  const int h = ini.value("Height", kDefaultHeight).toInt();
  const QPoint centre = home.center() - QPoint(w / 2, h / 2);
  // A file from another display (or edited by hand) must not put the window where no screen
  // shows it.
  const QRect placed = PlaceOnScreen(
      QRect(ini.value("Left", centre.x()).toInt(), ini.value("Top", centre.y()).toInt(), w, h), screens);
  resize(placed.size());
  move(placed.topLeft());
  if (ini.value("State").toString() == "Maximized") setWindowState(Qt::WindowMaximized);
  activeControl_ = ini.value("ActiveControl").toString();
}

void TfmMain::SavePlacement() {
  QSettings ini(context_.IniFileName, QSettings::IniFormat);
  ini.beginGroup(kPlacementSection);
  const bool maximized = isMaximized();
  ini.setValue("State", maximized ? "Maximized" : "Normal");
  const QRect r = maximized ? normalGeometry() : geometry();
  ini.setValue("Left", r.x());
  ini.setValue("Top", r.y());
  ini.setValue("Width", r.width());
  ini.setValue("Height", r.height());
  QWidget* focus = QApplication::focusWidget();
  ini.setValue("ActiveControl", focus != nullptr ? focus->objectName() : QString());
}

}  // namespace quorvel::ui
