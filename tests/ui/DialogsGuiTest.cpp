// The connection settings, device search, log settings and about dialogs.
#include "LoopbackHttp.h"
#include "Pty.h"
#include "UiFixture.h"
#include "fmuAbout.h"
#include "fmuFind.h"
#include "fmuGprsProvider.h"
#include "fmuLogParams.h"
#include "fmuScriptSettings.h"
#include "fmuSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace quorvel::ui::test {

// Catches the addresses the program asks the desktop to open.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { Urls << url; }

 public:
  QList<QUrl> Urls;
};

// What a user's attempts to leave a modal dialog did while its operation ran.
struct TLeaveAttempts {
  bool Started = false;
  bool OpenAfterEscape = false;
  bool OpenAfterCloseBox = false;
  bool OpenAfterCancel = false;
};

// Opens a modal dialog through open (which returns when the dialog is gone, as the program
// runs it), starts its operation with start, tries Escape, the close box and the Cancel or
// Close button while it runs, then lets it end through release and closes the dialog with
// Escape.
TLeaveAttempts LeaveWhileBusy(TOperationRunner& runner, const std::function<void()>& open,
                              const std::function<void(QDialog&)>& start,
                              const std::function<void()>& release, const char* cancelName) {
  TLeaveAttempts seen;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (dialog == nullptr) return;
    start(*dialog);
    seen.Started = runner.Busy();
    QTest::keyClick(dialog, Qt::Key_Escape);
    seen.OpenAfterEscape = dialog->isVisible();
    dialog->close();
    seen.OpenAfterCloseBox = dialog->isVisible();
    if (auto* cancel = dialog->findChild<QPushButton*>(cancelName)) QTest::mouseClick(cancel, Qt::LeftButton);
    seen.OpenAfterCancel = dialog->isVisible();
    release();
    auto* poll = new QTimer(dialog);
    QObject::connect(poll, &QTimer::timeout, dialog, [&runner, dialog] {
      if (!runner.Busy()) QTest::keyClick(dialog, Qt::Key_Escape);
    });
    poll->start(20);
  });
  open();
  return seen;
}

class DialogsGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    f_ = std::make_unique<TUiFixture>();
    runner_ = std::make_unique<TOperationRunner>(f_->Messages);
  }
  void cleanup() {
    runner_.reset();
    f_.reset();
  }

  void theLinkTestWritesTwoLinesOrTheError() {
    TfmSettings dialog(*f_->Context, *runner_);
    dialog.SetPorts({});
    QCOMPARE(dialog.cbPorts->currentData().toString(), QString::fromStdString(f_->Sim.SlavePath()));
    QVERIFY(!dialog.btnScripts->isVisible());
    QSignalSpy done(runner_.get(), &TOperationRunner::finished);
    QTest::mouseClick(dialog.btnConnect, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(dialog.edtResult->toPlainText(),
             QString("Версия оборудования  : HW 2.1\nСерийный номер       : 00012345"));
    QVERIFY(QFile::exists(f_->Home.filePath("settings.xml")));

    // A port that is gone: the lines give way to the message.
    f_->Facade.SetMaxRetryCount(1);
    f_->Sim.Stop();
    QTest::mouseClick(dialog.btnConnect, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QVERIFY(!dialog.edtResult->toPlainText().contains("Серийный номер"));
    QVERIFY(!dialog.edtResult->toPlainText().isEmpty());
    QVERIFY(f_->Messages.Errors.isEmpty());
    QVERIFY(dialog.btnConnect->isEnabled());
  }

  void noDialogThatRunsWorkClosesBeforeTheWorkEnds() {
    // The link test on a port that never answers.
    f_->Facade.SetMaxRetryCount(1);
    f_->Sim.ArmFault("*", {sim::TSimFaultKind::Silence, 0, 100});
    QWidget owner;
    TLeaveAttempts seen = LeaveWhileBusy(
        *runner_,
        [&] {
          TfmSettings dialog(*f_->Context, *runner_, &owner);
          dialog.SetPorts({});
          dialog.exec();
        },
        [](QDialog& d) { QTest::mouseClick(qobject_cast<TfmSettings*>(&d)->btnConnect, Qt::LeftButton); },
        [] {}, "btnCancel");
    QVERIFY(seen.Started);
    QVERIFY(seen.OpenAfterEscape);
    QVERIFY(seen.OpenAfterCloseBox);
    QVERIFY(seen.OpenAfterCancel);
    QVERIFY(!runner_->Busy());

    // The script definitions and the GPRS operators, updated from a server that never answers.
    for (const char* which : {"scripts", "operators"}) {
      // A server that takes the connection and never answers, until Close resets it.
      quorvel::test::LoopbackSocket server(true);
      const std::string url = "http://127.0.0.1:" + std::to_string(server.Port());
      f_->Facade.SetSupportServer(url);
      f_->Session->Doc().PaymentSystems().SupportServer = url;
      seen = LeaveWhileBusy(
          *runner_,
          [&] {
            if (QByteArray(which) == "scripts") {
              TfmScriptSettings dialog(*f_->Context, *runner_, &owner);
              dialog.exec();
            } else {
              TfmGprsProvider dialog(*f_->Context, *runner_, &owner);
              dialog.exec();
            }
          },
          [](QDialog& d) {
            if (auto* scripts = qobject_cast<TfmScriptSettings*>(&d))
              QTest::mouseClick(scripts->btnUpdate, Qt::LeftButton);
            else
              QTest::mouseClick(qobject_cast<TfmGprsProvider*>(&d)->btnUpdate, Qt::LeftButton);
          },
          [&server] { server.Close(); }, QByteArray(which) == "scripts" ? "btnClose" : "btnCancel");
      QVERIFY2(seen.Started, which);
      QVERIFY2(seen.OpenAfterEscape, which);
      QVERIFY2(seen.OpenAfterCloseBox, which);
      QVERIFY2(seen.OpenAfterCancel, which);
      QVERIFY(!runner_->Busy());
    }
  }

  void theEndOfAnOperationWhoseDialogIsGoneRunsNothingOnIt() {
    std::atomic<bool> release{false};
    QSignalSpy done(runner_.get(), &TOperationRunner::finished);
    bool ranOnDialog = false;
    {
      TfmSettings dialog(*f_->Context, *runner_);
      QVERIFY(runner_->Run(
          &dialog,
          [&] {
            while (!release.load()) QThread::msleep(5);
          },
          [&] { ranOnDialog = true; }, [&](std::exception_ptr) { ranOnDialog = true; }));
    }
    release = true;
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, kWaitMs);
    QVERIFY(!ranOnDialog);
    QVERIFY(f_->Messages.Errors.isEmpty());
  }

  void aSearchFindsTheTerminalAndADoubleClickChoosesIt() {
    const std::string simPath = f_->Sim.SlavePath();
    const std::string missing = f_->Home.filePath("ttyUSB9").toStdString();
    f_->Session->ClosePort();
    TfmFind find({{"ttyUSB9", missing, "", 1}, {"sim", simPath, "", 2}}, "/dev/ttyS0");
    QSignalSpy ended(&find, &TfmFind::searchEnded);
    QTest::mouseClick(find.btnStart, Qt::LeftButton);
    QVERIFY(ended.wait(kWaitMs));
    QVERIFY(find.btnStart->isEnabled());
    QVERIFY(!find.btnStop->isEnabled());
    QCOMPARE(find.ListView->topLevelItem(1)->text(1), QString("Устройство найдено: 00012345"));
    QVERIFY(find.ListView->topLevelItem(0)->text(1).contains("недоступен"));

    // The row where nothing answered is no choice; the terminal's row is.
    find.ListViewDblClick(find.ListView->topLevelItem(0));
    QCOMPARE(find.ChosenPath(), std::string("/dev/ttyS0"));
    find.ListViewDblClick(find.ListView->topLevelItem(1));
    QCOMPARE(find.ChosenPath(), simPath);
    QVERIFY(find.HasRun());
  }

  void aSearchTellsATerminalFromOneWithoutSerialAndFromSilence() {
    sim::TTerminalSim second;
    second.Start();
    second.ArmFault("SMSN", {sim::TSimFaultKind::Error, 0, 0});
    quorvel::test::Pty silent;
    f_->Session->ClosePort();
    TfmFind find({{"sim", f_->Sim.SlavePath(), "", 1},
                  {"second", second.SlavePath(), "", 2},
                  {"silent", silent.SlavePath(), "", 3}},
                 "/dev/ttyS0");
    QSignalSpy ended(&find, &TfmFind::searchEnded);
    find.btnStartClick();
    QVERIFY(ended.wait(kWaitMs));
    QCOMPARE(find.ListView->topLevelItem(0)->text(1), QString("Устройство найдено: 00012345"));
    QCOMPARE(find.ListView->topLevelItem(1)->text(1), QString("Устройство найдено"));
    QVERIFY(find.ListView->topLevelItem(2)->text(1).startsWith("Нет связи"));
    // A terminal that refuses the serial number is still one to choose.
    find.ListViewDblClick(find.ListView->topLevelItem(1));
    QCOMPARE(find.ChosenPath(), second.SlavePath());
    second.Stop();
  }

  void stopLetsTheRunningProbeEndAndProbesNoMore() {
    quorvel::test::Pty silent;
    f_->Session->ClosePort();
    TfmFind find({{"silent", silent.SlavePath(), "", 1}, {"sim", f_->Sim.SlavePath(), "", 2}}, "/dev/ttyS0");
    QSignalSpy ended(&find, &TfmFind::searchEnded);
    find.btnStartClick();
    QTRY_COMPARE_WITH_TIMEOUT(find.ListView->topLevelItem(0)->text(1), QString("идет поиск..."), kWaitMs);
    find.btnStopClick();
    QVERIFY(!find.Searching());
    QVERIFY(ended.wait(kWaitMs));
    QVERIFY(find.ListView->topLevelItem(0)->text(1).startsWith("Нет связи"));
    QCOMPARE(find.ListView->topLevelItem(1)->text(1), QString());
    QCOMPARE(f_->Sim.CommandCount(), 0u);
  }

  void aSearchWithNoRowCheckedChangesNothing() {
    TfmFind find({{"sim", f_->Sim.SlavePath(), "", 1}}, "/dev/ttyS0");
    find.btnClearPortsClick();
    QSignalSpy ended(&find, &TfmFind::searchEnded);
    find.btnStartClick();
    // However the worker's end and the UI thread interleave, the end arrives once.
    QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, kWaitMs);
    QVERIFY(find.btnStart->isEnabled());
    QVERIFY(!find.btnStop->isEnabled());
    QVERIFY(!find.Animate->isVisible());
    QCOMPARE(find.ListView->topLevelItem(0)->text(1), QString());
    QCOMPARE(f_->Sim.CommandCount(), 0u);
  }

  void theLogDialogAppliesOnOkOnly() {
    TLogFile& log = f_->Session->Settings().Log();
    log.SetEnabled(false);
    {
      TfmLogParams dialog(log);
      QVERIFY(!dialog.edtFileName->isEnabled());
      dialog.chbLogEnabled->setChecked(true);
      QVERIFY(dialog.edtFileName->isEnabled());
      dialog.edtFileName->setText(f_->Home.filePath("x.log"));
      dialog.reject();
    }
    QVERIFY(!log.Enabled());
    TfmLogParams dialog(log);
    dialog.chbLogEnabled->setChecked(true);
    dialog.btnDefaultClick();
    QCOMPARE(dialog.edtFileName->text().toStdString(), TAppManager::DefaultLogFileName());
    dialog.accept();
    QVERIFY(log.Enabled());
    QCOMPARE(log.FileName(), TAppManager::DefaultLogFileName());
  }

  void theAboutBoxLinksOpenTheSiteAndTheMail() {
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler("mailto", &catcher, "open");
    QDesktopServices::setUrlHandler("http", &catcher, "open");
    TfmAbout about;
    QVERIFY(about.lbVersion->item(0)->text().startsWith("Версия программы: "));
    emit about.lblMail->linkActivated(SupportMailUrl());
    emit about.lblURL->linkActivated("http://www.ortena.ru");
    QDesktopServices::unsetUrlHandler("mailto");
    QDesktopServices::unsetUrlHandler("http");
    QCOMPARE(catcher.Urls.size(), 2);
    QCOMPARE(catcher.Urls[0].scheme(), QString("mailto"));
    QVERIFY(catcher.Urls[0].toString().contains("subject=Quorvel"));
    QCOMPARE(catcher.Urls[1].host(), QString("www.ortena.ru"));
  }

 private:
  std::unique_ptr<TUiFixture> f_;
  std::unique_ptr<TOperationRunner> runner_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::DialogsGuiTest)
#include "DialogsGuiTest.moc"
