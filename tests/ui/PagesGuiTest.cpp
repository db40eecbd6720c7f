// The status, serial-number and debug pages, and the worker every page button runs on.
#include "UiFixture.h"
#include "fmuDebug.h"
#include "fmuMain.h"
#include "fmuModemSerial.h"
#include "fmuStatus.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <atomic>
#include <memory>

namespace quorvel::ui::test {

class PagesGuiTest : public QObject {
  Q_OBJECT

 private slots:
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
    QVERIFY(done.wait(10000));
    QVERIFY(page.btnRead->isEnabled());
    const QString report = page.Memo->toPlainText();
    QVERIFY2(report.contains(" Серийный номер      : 00012345\n"), qPrintable(report));
    QVERIFY(report.contains(" IP адрес сервера    : 195.19.220.13\n"));
    QVERIFY(report.contains(" SIM-карта 2         : не используется"));
    QVERIFY(!report.contains("  APN                : \n"));
    QCOMPARE(f_->Facade.DriverStatus().Text(), std::string());
  }

  void aTimeoutReachesTheErrorBoxAndTheButtonsComeBack() {
    TfmStatus& page = *w_->fmStatus;
    page.Memo->setPlainText("прежний отчет");
    f_->Facade.SetMaxRetryCount(1);
    f_->Sim.ArmFault("*", {sim::TSimFaultKind::Silence, 0, 100});
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnRead, Qt::LeftButton);
    QVERIFY(done.wait(30000));
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
    QVERIFY(done.wait(10000));
    QCOMPARE(f_->Sim.State().SerialNumber, std::string("12345678"));

    page.edtSerial->clear();
    QTest::mouseClick(page.btnRead, Qt::LeftButton);
    QVERIFY(done.wait(10000));
    QCOMPARE(page.edtSerial->text(), QString("12345678"));
    QSettings ini(f_->Context->IniFileName, QSettings::IniFormat);
    QCOMPARE(ini.value("ModemForm/Serial").toString(), QString("12345678"));
  }

  void aShortSerialIsRefusedWithNothingSent() {
    TfmModemSerial& page = *w_->fmModemSerial;
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    page.edtSerial->setText("1234567");
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(10000));
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
    QVERIFY(!w_->Runner().Run(nullptr, [] {})) ;
    // A click on another node is swallowed while busy.
    QTreeWidgetItem* debugNode = w_->TreeView->topLevelItem(2);
    const QRect r = w_->TreeView->visualItemRect(debugNode);
    QTest::mouseClick(w_->TreeView->viewport(), Qt::LeftButton, {}, r.center());
    QVERIFY(w_->TreeView->currentItem() != debugNode);
    release = true;
    QVERIFY(done.wait(10000));
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
    QVERIFY(done.wait(10000));
    QCOMPARE(answers, (std::vector<bool>{true, false}));
    QCOMPARE(f_->Messages.Questions.first(), QString("Сейчас активна платежная система Мастерпорт.\nСделать?"));
    QVERIFY(!f_->Messages.OffUiThread);
  }

  void theSilentAbortShowsNothing() {
    QSignalSpy done(&w_->Runner(), &TOperationRunner::finished);
    w_->Runner().Run(nullptr, [] { RaiseAbort(); });
    QVERIFY(done.wait(10000));
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
    QVERIFY(done.wait(10000));
    QTRY_VERIFY_WITH_TIMEOUT(page.Memo->toPlainText().contains("+SMSN: 00012345"), 5000);

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

 private:
  std::unique_ptr<TUiFixture> f_;
  std::unique_ptr<TfmMain> w_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::PagesGuiTest)
#include "PagesGuiTest.moc"
