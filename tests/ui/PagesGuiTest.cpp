// The status, serial-number and debug pages, and the worker every page button runs on.
#include "UiFixture.h"
#include "fmuDebug.h"
#include "fmuMain.h"
#include "fmuModemSerial.h"
#include "fmuStatus.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <atomic>
#include <memory>

namespace quorvel::ui::test {

class PagesGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { LoadQtTranslations(*QCoreApplication::instance()); }

  void init() {
    f_ = std::make_unique<TUiFixture>();
    w_ = std::make_unique<TfmMain>(*f_->Context);
    w_->show();
  }
  void cleanup() {
    w_.reset();
    f_.reset();
  }

  void theStatusReportShowsTheTerminalAndAFreeSlotTwo() {
    TfmStatus& page = *w_->fmStatus;
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnRead, Qt::LeftButton);
    QVERIFY(!page.btnRead->isEnabled());
    QVERIFY(done.wait(kWaitMs));
    QVERIFY(page.btnRead->isEnabled());
    const QString report = page.Memo->toPlainText();
    QVERIFY2(report.contains(" Серийный номер      : 00012345\n"), qPrintable(report));
    QVERIFY(report.contains(" IP адрес сервера    : 195.19.220.13\n"));
    QVERIFY(report.contains(" SIM-карта 2         : не используется"));
    QVERIFY(!report.contains("  APN                : \n"));
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());
  }

  void theStatusPageShowsExactlyTheReportOfTheCommandLine() {
    f_->Sim.Update([](sim::TSimState& s) { s.Clock = "26/12/09,12:00:00"; });
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(w_->fmStatus->btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    f_->Session->ClosePort();
    QTemporaryDir cliHome;
    QProcess cli;
    cli.start(QUORVEL_CLI_PATH,
              {"--home", cliHome.path(), "--port", QString::fromStdString(f_->Sim.SlavePath()), "status"});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    const QString printed = QString::fromUtf8(cli.readAllStandardOutput());
    QVERIFY(printed.contains("Дата и время        : 26/12/09,12:00:00"));
    QCOMPARE(w_->fmStatus->Memo->toPlainText().trimmed(), printed.trimmed());
  }

  void aQuestionAnsweredNoInItsMessageBoxAbortsSilently() {
    TMessageBoxes boxes;
    TUiContext context{f_->Facade, f_->Session->Doc(), f_->Session->Settings(), boxes,
                       f_->Context->IniFileName};
    TOperationRunner runner(boxes);
    f_->Facade.SetPrompt(&runner);
    QStringList seen;
    QTimer answer;
    QList<QPointer<QMessageBox>> handled;
    connect(&answer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || handled.contains(box)) return;
      handled << box;
      seen << box->text();
      QAbstractButton* no = box->button(QMessageBox::No);
      if (no == nullptr) {
        box->close();
        return;
      }
      seen << no->text();
      no->click();
    });
    answer.start(20);
    QSignalSpy done(&runner, &TOperationRunner::finished);
    TOrtena& facade = f_->Facade;
    TPaymentSystem& osmp = f_->Session->Doc().OSMP();
    runner.Run(nullptr, [&facade, &osmp] { facade.EnsureActiveSystem(osmp); });
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(seen.size(), 2);  // the question and its No button; no error box after it
    QVERIFY(seen[0].contains("Сделать активной платежную систему"));
    QCOMPARE(seen[1].remove('&'), QString("Нет"));
    QCOMPARE(f_->Sim.State().ActiveSystem, 0);
    f_->Facade.SetPrompt(nullptr);
  }

  void aTimeoutReachesTheErrorBoxAndTheButtonsComeBack() {
    TfmStatus& page = *w_->fmStatus;
    page.Memo->setPlainText("прежний отчет");
    f_->Facade.SetMaxRetryCount(1);
    f_->Sim.ArmFault("*", {sim::TSimFaultKind::Silence, 0, 100});
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY(page.btnRead->isEnabled());
    QCOMPARE(page.Memo->toPlainText(), QString("прежний отчет"));
    QVERIFY(!f_->Messages.OffUiThread);
  }

  void theSerialPageWritesReadsAndRemembersEightDigits() {
    TfmModemSerial& page = *w_->fmModemSerial;
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    page.edtSerial->clear();
    QTest::keyClicks(page.edtSerial, "12ab345678x9");
    QCOMPARE(page.edtSerial->text(), QString("12345678"));
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Sim.State().SerialNumber, std::string("12345678"));

    page.edtSerial->clear();
    QTest::mouseClick(page.btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(page.edtSerial->text(), QString("12345678"));
    QSettings ini(f_->Context->IniFileName, QSettings::IniFormat);
    QCOMPARE(ini.value("ModemForm/Serial").toString(), QString("12345678"));
  }

  void theWindowStaysLiveWhileTheTerminalNeverAnswers() {
    f_->Facade.SetMaxRetryCount(2);
    f_->Sim.ArmFault("*", {sim::TSimFaultKind::Silence, 0, 100});
    QStringList statusLines;
    QTimer tick;
    int ticks = 0;
    connect(&tick, &QTimer::timeout, [&] {
      ++ticks;
      const QString line = w_->StatusPanel->text();
      if (!line.trimmed().isEmpty() && (statusLines.isEmpty() || statusLines.last() != line))
        statusLines << line;
    });
    tick.start(50);
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(w_->fmModemSerial->btnRead, Qt::LeftButton);
    QVERIFY(w_->Runner().Busy());
    // A second click cannot start a second operation: the button is off and the runner busy.
    QTest::mouseClick(w_->fmModemSerial->btnRead, Qt::LeftButton);
    QVERIFY(!w_->Runner().Run(nullptr, [] {}));
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.count(), 1);
    // The event loop ran all through the two attempts of about six seconds each.
    QVERIFY2(ticks > 20, qPrintable(QString::number(ticks)));
    QVERIFY2(statusLines.size() >= 2, qPrintable(statusLines.join(" | ")));
    QVERIFY(statusLines.join("|").contains(", retry 2..."));
    QCOMPARE(f_->Messages.Errors.size(), 1);
  }

  void aShortSerialIsRefusedWithNothingSent() {
    TfmModemSerial& page = *w_->fmModemSerial;
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    page.edtSerial->setText("1234567");
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(f_->Messages.Errors, QStringList{QString::fromStdString(kSerialNumberLengthMessage)});
    QCOMPARE(f_->Sim.CommandCount(), 0u);
    QCOMPARE(f_->Sim.State().SerialNumber, std::string("00012345"));
  }

  void theWindowTakesNoInputWhileAnOperationRuns() {
    std::atomic<bool> release{false};
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QVERIFY(w_->Runner().Run(w_->fmModemSerial, [&] {
      while (!release.load()) QThread::msleep(5);
    }));
    QVERIFY(!w_->fmModemSerial->btnWrite->isEnabled());
    QVERIFY(!w_->Runner().Run(nullptr, [] {}));
    // A click on another node is swallowed while busy.
    QTreeWidgetItem* debugNode = w_->TreeView->topLevelItem(2);
    const QRect r = w_->TreeView->visualItemRect(debugNode);
    QTest::mouseClick(w_->TreeView->viewport(), Qt::LeftButton, {}, r.center());
    QVERIFY(w_->TreeView->currentItem() != debugNode);
    release = true;
    QVERIFY(done.wait(kWaitMs));
    QVERIFY(w_->fmModemSerial->btnWrite->isEnabled());
  }

  void aQuestionFromTheWorkerIsAskedOnTheUiThread() {
    f_->Messages.Answers = {true, false};
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    std::vector<bool> answers;
    w_->Runner().Run(nullptr, [&] {
      answers.push_back(w_->Runner().Confirm("Сейчас активна платежная система Мастерпорт.\r\nСделать?"));
      answers.push_back(w_->Runner().Confirm("Еще?"));
    });
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(answers, (std::vector<bool>{true, false}));
    QCOMPARE(f_->Messages.Questions.first(),
             QString("Сейчас активна платежная система Мастерпорт.\nСделать?"));
    QVERIFY(!f_->Messages.OffUiThread);
  }

  void theSilentAbortShowsNothing() {
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    w_->Runner().Run(nullptr, [] { RaiseAbort(); });
    QVERIFY(done.wait(kWaitMs));
    QVERIFY(f_->Messages.Errors.isEmpty());
  }

  void theDebugPageShowsWhatTheTerminalSends() {
    TfmDebug& page = *w_->fmDebug;
    w_->TreeView->setCurrentItem(w_->TreeView->topLevelItem(2));
    QVERIFY(page.btnPortOpen->isEnabled());
    QTest::mouseClick(page.btnPortOpen, Qt::LeftButton);
    QVERIFY(page.btnPortClose->isEnabled());
    QVERIFY(!page.btnPortOpen->isEnabled());
    // A command of the facade goes through the same port; its reply shows in the view.
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(w_->fmModemSerial->btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(page.Memo->toPlainText().contains("+SMSN: 00012345"), kWaitMs);

    page.ClearLogClick();
    page.Buffer().Append("\r");
    page.Timer1Timer();
    QVERIFY(page.Memo->toPlainText().isEmpty());
    page.Buffer().Append("\xC0\xE1\xE2");  // windows-1251 "Абв"
    page.Timer1Timer();
    QVERIFY(page.Memo->toPlainText().endsWith("Абв"));
    QTest::mouseClick(page.btnPortClose, Qt::LeftButton);
    QVERIFY(page.btnPortOpen->isEnabled());
  }

  void theDebugPageKeepsItsFontAndTheControlThatHadTheFocus() {
    TfmDebug& page = *w_->fmDebug;
    QApplication::setActiveWindow(w_.get());
    w_->TreeView->setCurrentItem(w_->TreeView->topLevelItem(w_->TreeView->topLevelItemCount() - 1));
    QCOMPARE(w_->Pages.Current(), static_cast<TAppPage*>(&page));
    QFont font = page.Memo->font();
    font.setPointSize(font.pointSize() + 3);
    page.Memo->setFont(font);
    page.Memo->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(page.Memo));
    // A click on another node: the tree takes the focus before the page is left.
    const QRect first = w_->TreeView->visualItemRect(w_->TreeView->topLevelItem(0));
    QTest::mouseClick(w_->TreeView->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(w_->Pages.Current(), static_cast<TAppPage*>(w_->fmStatus));
    QSettings ini(f_->Context->IniFileName, QSettings::IniFormat);
    QCOMPARE(ini.value("DebugForm/ActiveControl").toString(), QString("Memo"));
    QCOMPARE(ini.value("DebugForm/State").toString(), QString("Normal"));

    // A new window: the page comes back with its font, and the view takes the focus again.
    w_ = std::make_unique<TfmMain>(*f_->Context);
    w_->show();
    QApplication::setActiveWindow(w_.get());
    w_->TreeView->setCurrentItem(w_->TreeView->topLevelItem(w_->TreeView->topLevelItemCount() - 1));
    QCOMPARE(w_->fmDebug->Memo->font().pointSize(), font.pointSize());
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w_->fmDebug->Memo));
  }

 private:
  std::unique_ptr<TUiFixture> f_;
  std::unique_ptr<TfmMain> w_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::PagesGuiTest)
#include "PagesGuiTest.moc"
