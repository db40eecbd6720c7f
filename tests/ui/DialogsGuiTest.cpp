// The connection settings, device search, log settings and about dialogs.
#include "Pty.h"
#include "UiFixture.h"
#include "fmuAbout.h"
#include "fmuFind.h"
#include "fmuLogParams.h"
#include "fmuSettings.h"

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
#include <QTreeWidget>
#include <QUrl>

#include <memory>

namespace quorvel::ui::test {

// Catches the addresses the program asks the desktop to open.
class TUrlCatcher : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) { Urls << url; }

 public:
  QList<QUrl> Urls;
};

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
    QVERIFY(ended.wait(kWaitMs));
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
