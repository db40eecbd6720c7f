// The main window: the page tree, the payment-system update, selection, status line, closing,
// profiles.
#include "UiFixture.h"
#include "fmuDebug.h"
#include "fmuFees.h"
#include "fmuMain.h"
#include "fmuModemSerial.h"
#include "fmuReceiptLines.h"
#include "fmuSimCard.h"
#include "fmuStatus.h"
#include "fmuUpdate.h"

#include "Profile.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <atomic>
#include <memory>
#include <thread>

namespace quorvel::ui::test {

namespace {

QStringList TopCaptions(const TfmMain& w) {
  QStringList captions;
  for (int i = 0; i < w.TreeView->topLevelItemCount(); ++i) captions << w.TreeView->topLevelItem(i)->text(0);
  return captions;
}

QTreeWidgetItem* NodeOf(const TfmMain& w, const QObject* page) {
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it)
    if ((*it)->data(0, Qt::UserRole).value<QObject*>() == page) return *it;
  return nullptr;
}

// The node's position in the tree's whole order, as PageIndex counts it; -1: not in the tree.
int NodeIndex(const TfmMain& w, const QObject* page) {
  int index = 0;
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it, ++index)
    if ((*it)->data(0, Qt::UserRole).value<QObject*>() == page) return index;
  return -1;
}

// Every node of the tree in its whole order.
QList<QTreeWidgetItem*> Nodes(const TfmMain& w) {
  QList<QTreeWidgetItem*> nodes;
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it) nodes << *it;
  return nodes;
}

bool IsControl(QWidget* w) {
  // The edit inside a spin box or a combo box is spoken as part of its owner.
  if (qobject_cast<QAbstractSpinBox*>(w->parentWidget()) || qobject_cast<QComboBox*>(w->parentWidget()))
    return false;
  return qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
         qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QTreeWidget*>(w);
}

// What a screen reader says for the control: its accessible name, else a button's text or
// the text of the action behind a tool button.
QString SpokenName(QWidget* w) {
  if (!w->accessibleName().isEmpty()) return w->accessibleName();
  if (auto* tool = qobject_cast<QToolButton*>(w); tool && tool->defaultAction())
    return tool->defaultAction()->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text();
  return {};
}

// A click on the page's node, as the user makes it; true when the page came on screen.
bool ClickNode(const TfmMain& w, const QObject* page) {
  QTreeWidgetItem* node = NodeOf(w, page);
  if (node == nullptr) return false;
  w.TreeView->scrollToItem(node);
  QTest::mouseClick(w.TreeView->viewport(), Qt::LeftButton, {}, w.TreeView->visualItemRect(node).center());
  return w.Pages.Current() == page && static_cast<const QWidget*>(w.Pages.Current())->isVisible();
}

// What the user types replaces what the line held. Key by key with the text each key makes:
// keyClicks takes Latin letters only.
void TypeLine(QLineEdit* line, const QString& text) {
  line->setFocus();
  line->selectAll();
  for (QChar key : text)
    QTest::sendKeyEvent(QTest::Click, line, Qt::Key_unknown, QString(key), Qt::NoModifier);
}

// A page that cannot be left while it works.
class TBusyPage final : public TAppPage {
 public:
  using TAppPage::TAppPage;
  void CheckClose() override {
    if (Busy) throw Exception("Идет обновление ПО");
  }
  bool Busy = true;
};

// A page whose values cannot be taken (a retry count out of range, say).
class TStubbornPage final : public TAppPage {
 public:
  using TAppPage::TAppPage;
  void UpdateObject() override { throw Exception("Число повторов, 0. Допустимые значения: 1..100"); }
};

}  // namespace

class MainWindowGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { f_ = std::make_unique<TUiFixture>(); }
  void cleanup() { f_.reset(); }

  void firstShowBuildsCodeZeroWithoutTalkingToTheTerminal() {
    TfmMain w(*f_->Context);
    w.show();
    QCOMPARE(w.CurrentSystemID, 0);
    QCOMPARE(TopCaptions(w),
             (QStringList{"Состояние", "SIM-карта", "Клише", "Рекламный текст", "Ставки комиссии",
                          "MasterPort", "Параметры", "Обновление ПО", "Отладка"}));
    QCOMPARE(f_->Sim.CommandCount(), 0u);
    QVERIFY(w.windowTitle().startsWith("Quorvel "));
    // Every control a user can reach has a name a screen reader can say, on every page.
    QList<QWidget*> forms{&w};
    for (int i = 0; i < w.Pages.Count(); ++i) forms << w.Pages.Page(i);
    for (QWidget* page : forms)
      for (QWidget* child : page->findChildren<QWidget*>())
        if (IsControl(child) && child->isVisibleTo(page))
          QVERIFY2(!SpokenName(child).isEmpty(), qPrintable(child->objectName()));
  }

  void codeTwoShowsTheEPortSubtreeAndTheSameFixedPages() {
    TfmMain w(*f_->Context);
    w.show();
    w.SetPaymentSystem(2);
    QCOMPARE(w.CurrentSystemID, 2);
    QCOMPARE(TopCaptions(w),
             (QStringList{"Состояние", "SIM-карта", "Клише", "Рекламный текст", "Ставки комиссии", "EPort",
                          "Параметры", "Обновление ПО", "Отладка"}));
    QCOMPARE(w.Pages.Count(), 14);
    QStringList children;
    const QTreeWidgetItem* system = w.TreeView->topLevelItem(5);
    for (int i = 0; i < system->childCount(); ++i) children << system->child(i)->text(0);
    QCOMPARE(children,
             (QStringList{"Сервер", "Провайдеры", "База номеров", "Скрипты ввода", "Закрытый ключ"}));
    QCOMPARE(f_->Sim.CommandCount(), 0u);
  }

  void everyNodeOfEverySystemShowsAPageThatFillsThePanel() {
    TfmMain w(*f_->Context);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (int system = 0; system < w.cbPaymentSystem->count(); ++system) {
      w.ChooseSystem(system);
      for (QTreeWidgetItem* node : Nodes(w)) {
        // As a click on the node does.
        w.TreeView->setCurrentItem(node);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QString where = w.cbPaymentSystem->itemText(system) + " / " + node->text(0);
        TAppPage* page = w.Pages.Current();
        QVERIFY2(page != nullptr && page->isVisible(), qPrintable(where));
        QVERIFY2(page == node->data(0, Qt::UserRole).value<QObject*>(), qPrintable(where));
        QVERIFY2(page->parentWidget() == w.DataPanel, qPrintable(where));
        QVERIFY2(page->geometry() == w.DataPanel->contentsRect(),
                 qPrintable(where + QStringLiteral(": %1x%2").arg(page->width()).arg(page->height())));
        for (QAbstractButton* button : page->findChildren<QAbstractButton*>()) {
          if (!button->isVisibleTo(page)) continue;
          const QRect onPanel(button->mapTo(w.DataPanel, QPoint(0, 0)), button->size());
          const QString name = where + " / " + SpokenName(button);
          QVERIFY2(button->width() >= 16 && button->height() >= 16, qPrintable(name));
          QVERIFY2(w.DataPanel->rect().contains(onPanel), qPrintable(name));
        }
      }
    }
  }

  void aPageThatCannotBeLeftStaysOnScreen() {
    TfmMain w(*f_->Context);
    TStubbornPage page(*f_->Context, w.Runner(), "Сервер");
    w.show();
    QTreeWidgetItem* node = w.AddPage(nullptr, &page);
    w.TreeView->setCurrentItem(node);
    QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(&page));
    w.TreeView->setCurrentItem(w.TreeView->topLevelItem(0));
    QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(&page));
    QCOMPARE(w.TreeView->currentItem(), node);
    QVERIFY(page.isVisible());
    QVERIFY(!w.fmStatus->isVisible());
    QCOMPARE(f_->Messages.Errors, QStringList{"Число повторов, 0. Допустимые значения: 1..100"});
  }

  void aPageIndexOutOfRangeShowsTheStatusPageWithNothingSelected() {
    f_->Session->Doc().PageIndex = 99;
    TfmMain w(*f_->Context);
    w.show();
    QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(w.fmStatus));
    QVERIFY(w.TreeView->currentItem() == nullptr);
    QVERIFY(w.fmStatus->isVisible());
  }

  void theSelectionIsRestoredAndSavedAtClose() {
    // Absolute node indexes, counted as the tree shows them whatever pages it holds.
    int debugIndex = -1;
    int serialIndex = -1;
    {
      TfmMain probe(*f_->Context);
      probe.show();
      debugIndex = NodeIndex(probe, probe.fmDebug);
      serialIndex = NodeIndex(probe, probe.fmModemSerial);
    }
    QVERIFY(debugIndex > serialIndex && serialIndex > 0);
    f_->Session->Doc().PageIndex = debugIndex;
    TfmMain w(*f_->Context);
    w.show();
    QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(w.fmDebug));
    w.TreeView->setCurrentItem(NodeOf(w, w.fmModemSerial));
    QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(w.fmModemSerial));
    QVERIFY(w.close());
    QCOMPARE(f_->Session->Doc().PageIndex, serialIndex);
    QSettings ini(f_->Context->IniFileName, QSettings::IniFormat);
    QCOMPARE(ini.value("fmMain/Width").toInt(), w.width());
  }

  void theUpdateButtonFollowsTheTerminalAndFallsBackSilently() {
    f_->Sim.Update([](sim::TSimState& s) { s.ActiveSystem = 4; });
    TfmMain w(*f_->Context);
    w.show();
    QSignalSpy built(&w, &TfmMain::treeBuilt);
    QSignalSpy done(&w.Runner(), &TOperationRunner::finished);
    w.actUpdateSystem->trigger();
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(w.CurrentSystemID, 4);
    QCOMPARE(built.count(), 1);

    // The same code again: one command, no rebuild.
    const auto before = f_->Sim.CommandCount();
    QTreeWidgetItem* first = w.TreeView->topLevelItem(0);
    w.actUpdateSystem->trigger();
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Sim.CommandCount(), before + 1);
    QCOMPARE(built.count(), 1);
    QCOMPARE(w.TreeView->topLevelItem(0), first);

    // Terminal switched off: back to code 0, and no message.
    f_->Facade.SetMaxRetryCount(1);
    f_->Sim.Stop();
    w.actUpdateSystem->trigger();
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(w.CurrentSystemID, 0);
    QCOMPARE(built.count(), 2);
    QVERIFY(f_->Messages.Errors.isEmpty());
  }

  void aCodeWithoutPagesIsRefused() {
    TfmMain w(*f_->Context);
    w.show();
    try {
      w.AddPaymentSystem(nullptr, 11);
      QFAIL("code 11 accepted");
    } catch (const Exception& e) {
      QCOMPARE(QString::fromStdString(e.what()), QString("Неверный номер платежной системы, 11"));
    }
  }

  void statusTextFromAWorkerThreadReachesTheStatusLine() {
    TfmMain w(*f_->Context);
    w.show();
    std::thread worker([&] { f_->Facade.DriverStatus().SetText("Чтение серийного номера"); });
    worker.join();
    QTRY_COMPARE_WITH_TIMEOUT(w.StatusPanel->text(), QString(" Чтение серийного номера"), kWaitMs);
  }

  void theWindowClosesOnlyWhenItsOperationHasEnded() {
    TfmMain w(*f_->Context);
    w.show();
    std::atomic<bool> release{false};
    QVERIFY(w.Runner().Run(w.fmModemSerial, [&] {
      while (!release.load()) QThread::msleep(5);
    }));
    f_->Facade.DriverStatus().SetText("Чтение серийного номера");
    f_->Messages.Answers = {false};
    QVERIFY(!w.close());
    QVERIFY(w.isVisible());
    QCOMPARE(f_->Messages.Questions,
             QStringList{
                 "Выполняется операция: Чтение серийного номера.\nЗакрыть программу, когда она закончится?"});
    release = true;
    QTRY_VERIFY_WITH_TIMEOUT(!w.Runner().Busy(), kWaitMs);
    QVERIFY(w.isVisible());
    QVERIFY(w.close());

    // Yes to an operation that can stop: it is asked to, and the window closes when it ends.
    TfmMain again(*f_->Context);
    again.show();
    std::atomic<bool> stop{false};
    QVERIFY(again.Runner().Run(again.fmModemSerial, [&] {
      while (!stop.load()) QThread::msleep(5);
      RaiseAbort();
    }));
    again.Runner().OfferStop(nullptr, [&stop] { stop = true; });
    f_->Messages.Answers = {true};
    QVERIFY(!again.close());
    QVERIFY(f_->Messages.Questions.last().endsWith("Прервать ее и закрыть программу?"));
    QTRY_VERIFY_WITH_TIMEOUT(!again.isVisible(), kWaitMs);
    QVERIFY(stop.load());
    QCOMPARE(f_->Messages.Errors, QStringList{});

    // A logout asks nothing: the operation is stopped and the window closes at its end.
    TfmMain third(*f_->Context);
    third.show();
    stop = false;
    QVERIFY(third.Runner().Run(third.fmModemSerial, [&] {
      while (!stop.load()) QThread::msleep(5);
      RaiseAbort();
    }));
    third.Runner().OfferStop(nullptr, [&stop] { stop = true; });
    const qsizetype questions = f_->Messages.Questions.size();
    third.CloseWhenIdle();
    QTRY_VERIFY_WITH_TIMEOUT(!third.isVisible(), kWaitMs);
    QCOMPARE(f_->Messages.Questions.size(), questions);
  }

  void aPlacementOffEveryScreenComesBackOntoOne() {
    {
      QSettings ini(f_->Context->IniFileName, QSettings::IniFormat);
      ini.setValue("fmMain/Left", -40000);
      ini.setValue("fmMain/Top", 90000);
      ini.setValue("fmMain/Width", 100000);
      ini.setValue("fmMain/Height", 3);
    }
    TfmMain w(*f_->Context);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY2(screen.contains(QRect(w.pos(), w.size())),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(w.x()).arg(w.y()).arg(w.width()).arg(w.height())));
    QCOMPARE(w.width(), screen.width());
    QVERIFY(w.height() >= 240);
    // A second screen to the right holds a window placed there; the overlap decides.
    const QRect right(screen.right() + 1, 0, 800, 600);
    QCOMPARE(PlaceOnScreen(QRect(right.x() + 700, 100, 400, 300), {screen, right}),
             QRect(right.x() + 400, 100, 400, 300));
    QCOMPARE(PlaceOnScreen(QRect(right.x() + 10, 10, 50, 50), {screen, right}),
             QRect(right.x() + 10, 10, 320, 240));
  }

  void hintsLastSevenSecondsRowsAreEighteenPixelsAndTheFocusComesBack() {
    {
      TfmMain w(*f_->Context);
      w.show();
      w.ChooseSystem(2);
      for (QTreeWidgetItem* node : Nodes(w)) {
        QCOMPARE(w.TreeView->visualItemRect(node).height(), 18);
        auto* page = qobject_cast<TAppPage*>(node->data(0, Qt::UserRole).value<QObject*>());
        for (QWidget* control : page->findChildren<QWidget*>())
          if (!control->toolTip().isEmpty()) QCOMPARE(control->toolTipDuration(), 7000);
      }
      // The tree the next start builds: the one of code 0.
      w.ChooseSystem(0);
      w.TreeView->setCurrentItem(NodeOf(w, w.fmModemSerial));
      QApplication::setActiveWindow(&w);
      w.fmModemSerial->edtSerial->setFocus();
      QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.fmModemSerial->edtSerial));
      QVERIFY(w.close());
    }
    TfmMain w(*f_->Context);
    w.show();
    QApplication::setActiveWindow(&w);
    QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(w.fmModemSerial));
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.fmModemSerial->edtSerial));
  }

  void aSavedProfileComesBackOntoThePageItsSystemAndTheDocument() {
    TfmMain w(*f_->Context);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QMenu* fileMenu = w.menuBar()->actions().at(0)->menu();
    const QList<QAction*> items = fileMenu->actions();
    QCOMPARE(items.mid(items.indexOf(w.actBench) + 1, 2),
             (QList<QAction*>{w.actSaveProfile, w.actOpenProfile}));

    w.ChooseSystem(1);  // Cyberplat, from the toolbar
    QVERIFY(ClickNode(w, w.fmHeader));
    // Typed and not yet taken by the document: the page is still on screen.
    TypeLine(w.fmHeader->Line(0), "Кафе «Берёза»");
    const QString profileFile = f_->Home.filePath("cafe.xml");
    f_->Messages.Files = {profileFile};
    QSignalSpy ended(&w.Runner(), &TOperationRunner::finished);
    w.actSaveProfile->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, kWaitMs);
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    TProfile saved;
    saved.LoadFromFile(S(profileFile));
    QCOMPARE(saved.ActiveSystem(), 1);
    QVERIFY2(Q(saved.Header).startsWith("Кафе «Берёза»\r\n"), saved.Header.c_str());

    w.ChooseSystem(0);
    QVERIFY(ClickNode(w, w.fmHeader));
    TypeLine(w.fmHeader->Line(0), "Столовая");
    f_->Messages.Files = {profileFile};
    w.actOpenProfile->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 2, kWaitMs);
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    QCOMPARE(w.CurrentSystemID, 1);
    QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(w.fmHeader));
    QCOMPARE(w.fmHeader->Line(0)->text(), QString("Кафе «Берёза»"));
    QVERIFY2(Q(f_->Session->Doc().Header).startsWith("Кафе «Берёза»\r\n"), f_->Session->Doc().Header.c_str());
  }

  void aBrokenProfileShowsItsErrorAndChangesNothing() {
    // Its header is read before the firmware, which is no Base64, stops the reading.
    const QString broken = f_->Home.filePath("broken.xml");
    {
      TProfile profile;
      profile.Groups = {TProfileGroup::Header};
      profile.Header = "Чужое клише\r\n";
      std::string text = profile.SaveToText();
      text.insert(text.rfind("</settings>"), "<Firmware>abc</Firmware>");
      QFile file(broken);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(text.data(), static_cast<qint64>(text.size()));
    }
    TfmMain w(*f_->Context);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(ClickNode(w, w.fmHeader));
    TypeLine(w.fmHeader->Line(0), "Кафе");
    f_->Messages.Files = {broken};
    QSignalSpy ended(&w.Runner(), &TOperationRunner::finished);
    w.actOpenProfile->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, kWaitMs);
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY2(f_->Messages.Errors[0].startsWith("Профиль " + broken + ": "),
             qPrintable(f_->Messages.Errors[0]));
    QCOMPARE(w.fmHeader->Line(0)->text(), QString("Кафе"));
    QVERIFY(!Q(f_->Session->Doc().Header).contains("Чужое"));
  }

  void aPageThatRefusesToCloseKeepsTheWindowOpen() {
    TfmMain w(*f_->Context);
    TBusyPage page(*f_->Context, w.Runner(), "Обновление ПО");
    w.show();
    w.AddPage(nullptr, &page);
    QVERIFY(!w.close());
    QCOMPARE(f_->Messages.Errors, QStringList{"Идет обновление ПО"});
    QVERIFY(w.isVisible());
    page.Busy = false;
    QVERIFY(w.close());
  }

 private:
  std::unique_ptr<TUiFixture> f_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::MainWindowGuiTest)
#include "MainWindowGuiTest.moc"
