// The service record in the desktop program: the bench window records its runs, the journal
// shows, filters and exports them, and the pages' writes outside a bench are recorded too.
#include "Bootloader.h"
#include "BootloaderFlash.h"
#include "HexImage.h"
#include "UiFixture.h"
#include "fmuBench.h"
#include "fmuJournal.h"
#include "fmuMain.h"
#include "fmuSimCard.h"
#include "fmuUpdate.h"

#include "FileText.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ServiceRecord.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>

namespace quorvel::ui::test {

namespace {

QStringList Column(const QTableWidget* grid, int column) {
  QStringList texts;
  for (int row = 0; row < grid->rowCount(); ++row)
    texts << (grid->item(row, column) != nullptr ? grid->item(row, column)->text() : QString());
  return texts;
}

void ClickNode(TfmMain& w, const QString& caption) {
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it)
    if ((*it)->text(0) == caption)
      QTest::mouseClick(w.TreeView->viewport(), Qt::LeftButton, {}, w.TreeView->visualItemRect(*it).center());
}

void ClickRow(QTableWidget* grid, int row) {
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(grid->item(row, 0)).center());
}

}  // namespace

class JournalGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { LoadQtTranslations(*QCoreApplication::instance()); }
  void init() { f_ = std::make_unique<TUiFixture>(); }
  void cleanup() { f_.reset(); }

  void aBenchRunOfTheWindowIsInTheJournalFoundByFactoryNumberAndExported() {
    sim::TTerminalSim b;
    sim::TTerminalSim c;
    b.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000002"; });
    c.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000003"; });
    b.Start();
    c.Start();
    const QString profileFile = f_->Home.filePath("shop.xml");
    {
      TProfile profile;
      profile.Groups = {TProfileGroup::Header};
      profile.Header = "Магазин «Ромашка»\r\n";
      profile.SaveToFile(S(profileFile));
    }
    const QString values = f_->Home.filePath("values.csv");
    {
      QFile csv(values);
      QVERIFY(csv.open(QIODevice::WriteOnly));
      csv.write("factory_number,serial\n354360000000002,20000002\n354360000000003,20000003\n");
    }
    f_->Messages.Files = {profileFile, values};

    TfmMain w(*f_->Context);
    w.show();
    int passed = -1;
    QString runLabel;
    QTimer::singleShot(0, [&] {
      auto* bench = qobject_cast<TfmBench*>(QApplication::activeModalWidget());
      if (bench == nullptr) return;
      bench->SetPorts({{"b", b.SlavePath(), "", 1}, {"c", c.SlavePath(), "", 2}});
      QTest::mouseClick(bench->btnProfile, Qt::LeftButton);
      QTest::mouseClick(bench->btnValues, Qt::LeftButton);
      connect(bench, &TfmBench::runEnded, bench, [&, bench](int ok, int) {
        passed = ok;
        runLabel = bench->lblRun->text();
        QTimer::singleShot(0, bench, [bench] { QTest::keyClick(bench, Qt::Key_Escape); });
      });
      QTest::mouseClick(bench->btnStart, Qt::LeftButton);
    });
    w.actBench->trigger();  // returns when the window is closed
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    QCOMPARE(passed, 2);

    // The run as the record holds it: who ran what, with the values table as its pool.
    const std::string location = (QDir(f_->Home.path()).filePath("service.db")).toStdString();
    std::int64_t runId = 0;
    {
      const std::unique_ptr<IServiceRecord> record = OpenServiceRecord(location);
      const std::vector<TRunRecord> runs = record->Runs("");
      QCOMPARE(runs.size(), std::size_t{1});
      runId = runs[0].Id;
      QCOMPARE(Q(runs[0].State), QString(kRecordPassed));
      QCOMPARE(runs[0].Terminals, 2);
      QCOMPARE(runs[0].Host, HostName());
      QCOMPARE(runs[0].Operator, UserName());
      QCOMPARE(runs[0].Profile, S(profileFile));
      QCOMPARE(runs[0].ProfileSha256, Sha256Hex(ReadFileText(S(profileFile))));
      QVERIFY(Q(runs[0].Pool).startsWith("values.csv-"));
      QCOMPARE(record->PoolRows(runs[0].Pool).size(), std::size_t{2});
    }
    QCOMPARE(runLabel, QStringLiteral("Прогон %1, журнал %2").arg(runId).arg(Q(location)));
    // The report is the record's: every row names the run.
    const QStringList reports = QDir(f_->Home.path()).entryList({"shop-отчет-*.csv"});
    QCOMPARE(reports.size(), 1);
    QFile report(f_->Home.filePath(reports[0]));
    QVERIFY(report.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(report.readAll()).contains("profile_sha256"));

    const QString exported = f_->Home.filePath("journal.csv");
    f_->Messages.Files = {exported};
    QStringList runRow;
    QStringList allFactories;
    QStringList chosenFactories;
    QStringList filteredFactories;
    QStringList filteredRuns;
    QStringList serialsAfter;
    QStringList unnamed;
    bool done = false;
    bool failedEmpty = false;
    bool passedShown = false;
    bool laterEmpty = false;
    QTimer::singleShot(0, [&] {
      auto* journal = qobject_cast<TfmJournal*>(QApplication::activeModalWidget());
      if (journal == nullptr) return;
      for (QWidget* control : journal->findChildren<QWidget*>()) {
        const bool input = qobject_cast<QAbstractButton*>(control) != nullptr ||
                           qobject_cast<QLineEdit*>(control) != nullptr ||
                           qobject_cast<QAbstractItemView*>(control) != nullptr ||
                           qobject_cast<QComboBox*>(control) != nullptr ||
                           qobject_cast<QAbstractSpinBox*>(control) != nullptr;
        // Headers, corner buttons and the edit of a date field are spoken as parts of them.
        QWidget* parent = control->parentWidget();
        const bool part = qobject_cast<QAbstractItemView*>(parent) != nullptr ||
                          qobject_cast<QAbstractItemView*>(parent->parentWidget()) != nullptr ||
                          qobject_cast<QAbstractSpinBox*>(parent) != nullptr ||
                          qobject_cast<QComboBox*>(parent) != nullptr;
        if (input && !part && control->isVisibleTo(journal) && control->accessibleName().isEmpty())
          unnamed << control->objectName();
      }
      const auto idle = [&w] { return !w.Runner().Busy(); };
      if (QTest::qWaitFor([&] { return idle() && journal->gridRuns->rowCount() > 0; }, kWaitMs)) {
        for (int column = 0; column < journal->gridRuns->columnCount(); ++column)
          runRow << journal->gridRuns->item(0, column)->text();
        allFactories = Column(journal->gridTerminals, 2);
        ClickRow(journal->gridRuns, 0);
        chosenFactories = Column(journal->gridTerminals, 2);
        serialsAfter = Column(journal->gridTerminals, 4);
        QTest::keyClicks(journal->edtFactory, "354360000000002");
        QTest::mouseClick(journal->btnFind, Qt::LeftButton);
        if (QTest::qWaitFor([&] { return idle() && journal->gridTerminals->rowCount() == 1; }, kWaitMs)) {
          filteredFactories = Column(journal->gridTerminals, 2);
          filteredRuns = Column(journal->gridRuns, 0);
          QTest::mouseClick(journal->btnExport, Qt::LeftButton);
          done = QTest::qWaitFor([&] { return idle() && QFile::exists(exported); }, kWaitMs);
          // A result the terminal did not have, then a date after the run: nothing is left.
          journal->cbResult->setCurrentIndex(journal->cbResult->findText(kRecordFailed));
          QTest::mouseClick(journal->btnFind, Qt::LeftButton);
          failedEmpty = QTest::qWaitFor(
              [&] {
                return idle() && journal->gridRuns->rowCount() == 0 &&
                       journal->gridTerminals->rowCount() == 0;
              },
              kWaitMs);
          journal->cbResult->setCurrentIndex(journal->cbResult->findText(kRecordPassed));
          QTest::mouseClick(journal->btnFind, Qt::LeftButton);
          passedShown =
              QTest::qWaitFor([&] { return idle() && journal->gridTerminals->rowCount() == 1; }, kWaitMs);
          QTest::mouseClick(journal->chbSince, Qt::LeftButton);
          journal->dtSince->setDate(QDate::currentDate().addDays(1));
          QTest::mouseClick(journal->btnFind, Qt::LeftButton);
          laterEmpty = QTest::qWaitFor([&] { return idle() && journal->gridRuns->rowCount() == 0; }, kWaitMs);
        }
      }
      QTest::mouseClick(journal->btnClose, Qt::LeftButton);
    });
    w.actJournal->trigger();
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    QVERIFY(done);
    QVERIFY(failedEmpty);
    QVERIFY(passedShown);
    QVERIFY(laterEmpty);
    QCOMPARE(unnamed, QStringList{});
    QCOMPARE(runRow.size(), 9);
    QCOMPARE(runRow[0], QString::number(runId));
    QCOMPARE(runRow[3], QString(kRecordPassed));
    QCOMPARE(runRow[4], QString("2"));
    QCOMPARE(runRow[5], QString("2"));
    QCOMPARE(runRow[6], Q(HostName()));
    QCOMPARE(runRow[7], Q(UserName()));
    QCOMPARE(runRow[8], profileFile);
    QCOMPARE(allFactories, (QStringList{"354360000000002", "354360000000003"}));
    QCOMPARE(chosenFactories, allFactories);
    QCOMPARE(serialsAfter, (QStringList{"20000002", "20000003"}));
    QCOMPARE(filteredFactories, QStringList{"354360000000002"});
    QCOMPARE(filteredRuns, QStringList{QString::number(runId)});
    QFile file(exported);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0],
             QString("run,port,factory_number,serial_before,serial_after,result,message,values,steps"));
    QVERIFY2(lines[1].startsWith(QStringLiteral("%1,%2,354360000000002,").arg(runId).arg(Q(b.SlavePath()))),
             qPrintable(lines[1]));
    QVERIFY(lines[1].contains(",20000002,успешно,"));
    b.Stop();
    c.Stop();
  }

  void aBenchWhoseRecordCannotBeOpenedSendsNothingAndSaysWhy() {
    const QString bad = f_->Home.filePath("not-a-record.db");
    {
      QFile file(bad);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("this is not a database, just text long enough to look at\n");
    }
    f_->Session->Settings().SetRecord(S(bad));
    const QString profileFile = f_->Home.filePath("shop.xml");
    {
      TProfile profile;
      profile.Groups = {TProfileGroup::Header};
      profile.Header = "Магазин\r\n";
      profile.SaveToFile(S(profileFile));
    }
    f_->Messages.Files = {profileFile};
    TfmMain w(*f_->Context);
    w.show();
    bool ended = false;
    bool rowsCleared = false;
    QTimer::singleShot(0, [&] {
      auto* bench = qobject_cast<TfmBench*>(QApplication::activeModalWidget());
      if (bench == nullptr) return;
      bench->SetPorts({{"a", f_->Sim.SlavePath(), "", 1}});
      QTest::mouseClick(bench->btnProfile, Qt::LeftButton);
      QTest::mouseClick(bench->btnStart, Qt::LeftButton);
      ended = QTest::qWaitFor([&] { return !bench->Running() && !f_->Messages.Errors.isEmpty(); }, kWaitMs);
      rowsCleared = bench->Grid->rowCount() == 0 && bench->btnStart->isEnabled();
      QTest::mouseClick(bench->btnClose, Qt::LeftButton);
    });
    w.actBench->trigger();
    QVERIFY(ended);
    QVERIFY(rowsCleared);
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY2(f_->Messages.Errors[0].contains(bad), qPrintable(f_->Messages.Errors[0]));
    QCOMPARE(f_->Sim.CommandCount(), 0u);
  }

  void aRecordThatCannotBeOpenedShowsItsErrorInTheJournal() {
    const QString bad = f_->Home.filePath("not-a-record.db");
    {
      QFile file(bad);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write("this is not a database, just text long enough to look at\n");
    }
    f_->Session->Settings().SetRecord(S(bad));
    TfmMain w(*f_->Context);
    w.show();
    bool reported = false;
    QTimer::singleShot(0, [&] {
      auto* journal = qobject_cast<TfmJournal*>(QApplication::activeModalWidget());
      if (journal == nullptr) return;
      reported =
          QTest::qWaitFor([&] { return !w.Runner().Busy() && !f_->Messages.Errors.isEmpty(); }, kWaitMs);
      QTest::mouseClick(journal->btnClose, Qt::LeftButton);
    });
    w.actJournal->trigger();
    QVERIFY(reported);
    QCOMPARE(f_->Messages.Errors.size(), 1);
    QVERIFY2(f_->Messages.Errors[0].contains(bad), qPrintable(f_->Messages.Errors[0]));
  }

  void aWriteOfThePageIsInTheRecordAndItsReadIsNot() {
    TfmMain w(*f_->Context);
    w.show();
    ClickNode(w, QStringLiteral("SIM-карта"));
    TfmSimCard& page = *w.fmSimCard;
    QVERIFY(page.isVisible());
    QSignalSpy done(&w.Runner(), &TOperationRunner::finished);
    QTest::mouseClick(page.btnRead, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    page.edtPin->setText("1234");
    page.edtApn->setText("internet.beeline.ru");
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), true);
    QCOMPARE(f_->Sim.State().Sims[0].Apn, std::string("internet.beeline.ru"));
    // A write the terminal refuses is recorded with its error.
    f_->Sim.ArmFault("SMSIMSETUP", {sim::TSimFaultKind::SmError, 3, 0, 0});
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(done.wait(kWaitMs));
    QCOMPARE(done.last().at(0).toBool(), false);
    QCOMPARE(f_->Messages.Errors.size(), 1);

    const std::unique_ptr<IServiceRecord> record =
        OpenServiceRecord(QDir(f_->Home.path()).filePath("service.db").toStdString());
    const std::vector<TOperationRecord> operations = record->Operations("");
    QCOMPARE(operations.size(), std::size_t{2});
    for (const TOperationRecord& o : operations) {
      QCOMPARE(o.Program, std::string("quorvel"));
      QCOMPARE(Q(o.Operation), QString("SIM-карта: Записать"));
      QCOMPARE(o.Port, f_->Sim.SlavePath());
      QCOMPARE(o.Host, HostName());
      QCOMPARE(o.Operator, UserName());
    }
    QCOMPARE(Q(operations[0].Result), QString(kRecordPassed));
    QCOMPARE(Q(operations[1].Result), QString(kRecordFailed));
    QCOMPARE(Q(operations[1].Message), f_->Messages.Errors[0]);
  }

  void aFirmwareUpdateTheBootloaderRefusesIsInTheRecordWithItsError() {
    sim::TBootloaderFaults faults;
    faults.WriteErrorOnCommand = 1;
    f_->Sim.SetBootloaderFactory(sim::BootloaderFactory(std::make_shared<sim::TBootloaderFlash>(), faults));
    QVERIFY(f_->Sim.EnterBootloader());
    const QString hex = f_->Home.filePath("app.hex");
    {
      QFile file(hex);
      QVERIFY(file.open(QIODevice::WriteOnly));
      file.write(IntelHex(0, HexPattern(1024)));
    }
    TfmMain w(*f_->Context);
    w.show();
    ClickNode(w, QStringLiteral("Обновление ПО"));
    TfmUpdate& page = *w.fmUpdate;
    QVERIFY(page.isVisible());
    page.edtFileName->setText(hex);
    page.chbVerifyData->setChecked(false);
    QSignalSpy ended(&page, &TfmUpdate::updateFinished);
    QTest::mouseClick(page.btnWrite, Qt::LeftButton);
    QVERIFY(ended.wait(kWaitMs));
    QCOMPARE(ended.last().at(0).toBool(), false);
    QCOMPARE(f_->Messages.Errors.size(), 1);

    const std::unique_ptr<IServiceRecord> record =
        OpenServiceRecord(QDir(f_->Home.path()).filePath("service.db").toStdString());
    const std::vector<TOperationRecord> operations = record->Operations("");
    QCOMPARE(operations.size(), std::size_t{1});
    QCOMPARE(Q(operations[0].Operation), QString("Обновление ПО: Записать"));
    QCOMPARE(Q(operations[0].Result), QString(kRecordFailed));
    QCOMPARE(Q(operations[0].Message), f_->Messages.Errors[0]);
    QCOMPARE(operations[0].Port, f_->Sim.SlavePath());
  }

 private:
  std::unique_ptr<TUiFixture> f_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::JournalGuiTest)
#include "JournalGuiTest.moc"
