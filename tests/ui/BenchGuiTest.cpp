// The service bench window: one profile into two simulated terminals at once, reached from
// the main window's menu.
#include "HexImage.h"
#include "SignalQuit.h"
#include "UiFixture.h"
#include "fmuBench.h"
#include "fmuMain.h"

#include "Bootloader.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "Profile.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <regex>

namespace quorvel::ui::test {

class BenchGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { LoadQtTranslations(*QCoreApplication::instance()); }
  void init() { f_ = std::make_unique<TUiFixture>(); }
  void cleanup() { f_.reset(); }

  void aRunOverThreeSimulatorsOneOfThemTheWindowsShowsPassedRowsAndSavesTheReport() {
    sim::TTerminalSim b;
    sim::TTerminalSim c;
    b.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000002"; });
    c.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000003"; });
    b.Start();
    c.Start();
    const QString profileFile = f_->Home.filePath("shop.xml");
    {
      TProfile profile;
      profile.Groups = {TProfileGroup::Header, TProfileGroup::Trailer};
      profile.Header = "Магазин «Ромашка»\r\n";
      profile.Trailer = "Спасибо за покупку\r\n";
      profile.SaveToFile(S(profileFile));
    }
    const QString values = f_->Home.filePath("values.csv");
    {
      QFile csv(values);
      QVERIFY(csv.open(QIODevice::WriteOnly));
      csv.write("factory_number,serial\n354360000000002,20000002\n354360000000003,20000003\n" +
                QByteArray::fromStdString(f_->Sim.State().FactoryNumber) + ",20000001\n");
    }
    f_->Messages.Files = {profileFile, values};

    TfmMain w(*f_->Context);
    w.show();
    f_->Facade.QuerySerialNumber();
    QVERIFY(f_->Facade.Driver().Comm().Connected());
    int passed = -1;
    bool openWhileRunning = false;
    QStringList results;
    QStringList unnamed;
    QString summary;
    QTimer::singleShot(0, [&] {
      auto* bench = qobject_cast<TfmBench*>(QApplication::activeModalWidget());
      if (bench == nullptr) return;
      // The fixture's terminal is also the one the window talks to, its port open.
      bench->SetPorts(
          {{"b", b.SlavePath(), "", 1}, {"c", c.SlavePath(), "", 2}, {"a", f_->Sim.SlavePath(), "", 3}});
      for (QWidget* control : bench->findChildren<QWidget*>()) {
        auto* button = qobject_cast<QAbstractButton*>(control);
        const bool named =
            !control->accessibleName().isEmpty() || (button != nullptr && !button->text().isEmpty());
        const bool control_ = button != nullptr || qobject_cast<QLineEdit*>(control) != nullptr ||
                              qobject_cast<QAbstractItemView*>(control) != nullptr;
        // Headers and corner buttons of a list are spoken as parts of it.
        const bool part =
            qobject_cast<QAbstractItemView*>(control->parentWidget()) != nullptr ||
            qobject_cast<QAbstractItemView*>(control->parentWidget()->parentWidget()) != nullptr;
        if (control_ && !part && control->isVisibleTo(bench) && !named) unnamed << control->objectName();
      }
      QTest::mouseClick(bench->btnProfile, Qt::LeftButton);
      QTest::mouseClick(bench->btnValues, Qt::LeftButton);
      connect(bench, &TfmBench::runEnded, bench, [&, bench](int ok, int) {
        passed = ok;
        for (int row = 0; row < bench->Grid->rowCount(); ++row) results << bench->Grid->item(row, 4)->text();
        summary = bench->lblSummary->text();
        QTimer::singleShot(0, bench, [bench] { QTest::keyClick(bench, Qt::Key_Escape); });
      });
      QTest::mouseClick(bench->btnStart, Qt::LeftButton);
      // The terminals' threads report to the window: it stays until they end.
      QTest::keyClick(bench, Qt::Key_Escape);
      openWhileRunning = bench->isVisible() && bench->Running();
    });
    w.actBench->trigger();  // returns when the window is closed

    QVERIFY(openWhileRunning);
    QCOMPARE(unnamed, QStringList{});
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    QCOMPARE(passed, 3);
    QCOMPARE(results, (QStringList{"успешно", "успешно", "успешно"}));
    QCOMPARE(f_->Sim.State().SerialNumber, std::string("20000001"));
    for (sim::TTerminalSim* terminal : {&b, &c}) {
      QCOMPARE(Q(terminal->State().Header[0]), QString("Магазин «Ромашка»"));
      QCOMPARE(Q(terminal->State().Trailer[0]), QString("Спасибо за покупку"));
    }
    QCOMPARE(b.State().SerialNumber, std::string("20000002"));
    QCOMPARE(c.State().SerialNumber, std::string("20000003"));
    // The report beside the profile, one row per terminal.
    const QStringList reports = QDir(f_->Home.path()).entryList({"shop-отчет-*.csv"});
    QCOMPARE(reports.size(), 1);
    QVERIFY(summary.startsWith("Успешно: 3 из 3. Отчет: "));
    QFile report(f_->Home.filePath(reports[0]));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(report.readAll());
    QVERIFY(text.contains(Q(b.SlavePath())) && text.contains(Q(c.SlavePath())));
    QVERIFY(QFile::exists(f_->Home.filePath(reports[0]).replace(".csv", ".json")));
    b.Stop();
    c.Stop();
  }

  // The box decides how the firmware reaches the bootloader: blocks of 4 KiB in one RAM write
  // each when checked, halves of 1 KiB pages otherwise. One terminal waits in its bootloader
  // per run.
  void theFastFirmwareBoxWritesTheProfilesFirmwareInBlocksOf4KiB() {
    const QString profileFile = f_->Home.filePath("firmware.xml");
    {
      TProfile profile;
      profile.Firmware = IntelHex(0, HexPattern(9 * 1024)).toStdString();
      profile.Groups = {TProfileGroup::Firmware};
      profile.SaveToFile(S(profileFile));
    }
    sim::TSimOptions options;
    options.StartInBootloader = true;
    sim::TTerminalSim slow(options);
    sim::TTerminalSim fast(options);
    for (sim::TTerminalSim* board : {&slow, &fast}) {
      board->SetBootloaderFactory(sim::BootloaderFactory(std::make_shared<sim::TBootloaderFlash>()));
      board->Start();
    }
    f_->Messages.Files = {profileFile};

    TfmMain w(*f_->Context);
    w.show();
    QStringList results;
    QTimer::singleShot(0, [&] {
      auto* bench = qobject_cast<TfmBench*>(QApplication::activeModalWidget());
      if (bench == nullptr) return;
      const auto runOn = [&](sim::TTerminalSim& board, bool checked) {
        bench->SetPorts({{"board", board.SlavePath(), "", 1}});
        // On the box itself: the row is wider than the box and its text.
        QCheckBox* box = bench->chbFastFirmware;
        if (box->isChecked() != checked)
          QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
        QCOMPARE(bench->chbFastFirmware->isChecked(), checked);
        QTest::mouseClick(bench->btnStart, Qt::LeftButton);
        QVERIFY(bench->Running());
        QTRY_VERIFY_WITH_TIMEOUT(!bench->Running(), kWaitMs);
        results << bench->Grid->item(0, 4)->text();
      };
      QTest::mouseClick(bench->btnProfile, Qt::LeftButton);
      runOn(slow, false);
      runOn(fast, true);
      QTest::keyClick(bench, Qt::Key_Escape);
    });
    w.actBench->trigger();  // returns when the window is closed

    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    QCOMPARE(results, (QStringList{"успешно", "успешно"}));
    // The RAM writes each bootloader was asked for, by their sizes.
    const auto sizes = [](const sim::TTerminalSim& board) {
      QStringList out;
      static const std::regex write("W [0-9]+ ([0-9]+)");
      std::smatch match;
      for (const std::string& line : board.ReceivedLines())
        if (std::regex_match(line, match, write)) out << QString::fromStdString(match[1].str());
      out.removeDuplicates();
      out.sort();
      return out;
    };
    // The flash readout routine goes in one small write in either mode.
    QStringList slowSizes = sizes(slow);
    QStringList fastSizes = sizes(fast);
    QVERIFY2(slowSizes.contains("512") && !slowSizes.contains("4096"), qPrintable(slowSizes.join(",")));
    QVERIFY2(fastSizes.contains("4096") && !fastSizes.contains("512"), qPrintable(fastSizes.join(",")));
    for (sim::TTerminalSim* board : {&slow, &fast}) {
      QVERIFY(!board->InBootloader());
      board->Stop();
    }
  }

  void signalToEndWhileTheBenchRunsStopsEveryTerminalKeepsTheReportAndClosesTheWindow_data() {
    QTest::addColumn<int>("sig");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void signalToEndWhileTheBenchRunsStopsEveryTerminalKeepsTheReportAndClosesTheWindow() {
    QFETCH(int, sig);
    // At the pace of a real line the provider file takes many seconds: the signal comes while
    // both terminals are at work.
    sim::TSimOptions paced;
    paced.BaudRate = 9600;
    sim::TTerminalSim b(paced);
    sim::TTerminalSim c(paced);
    b.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000002"; });
    c.Update([](sim::TSimState& s) { s.FactoryNumber = "354360000000003"; });
    b.Start();
    c.Start();
    const QString profileFile = f_->Home.filePath("shop.xml");
    {
      TProfile profile;
      profile.Groups = {TProfileGroup::XmlData};
      for (int i = 0; profile.XmlData.size() < 16 * 1024; ++i)
        profile.XmlData += "<provider id=\"" + std::to_string(i) + "\" name=\"Оператор\"/>\r\n";
      profile.SaveToFile(S(profileFile));
    }
    f_->Messages.Files = {profileFile};

    TfmMain w(*f_->Context);
    TSignalQuit quit;
    connect(&quit, &TSignalQuit::quitRequested, &w, &TfmMain::CloseWhenIdle);
    w.show();
    bool running = false;
    int ended = 0;
    bool closedItself = false;
    QStringList results;
    QTimer::singleShot(0, [&] {
      QPointer<TfmBench> bench = qobject_cast<TfmBench*>(QApplication::activeModalWidget());
      if (bench == nullptr) return;
      bench->SetPorts({{"b", b.SlavePath(), "", 1}, {"c", c.SlavePath(), "", 2}});
      QTest::mouseClick(bench->btnProfile, Qt::LeftButton);
      connect(bench, &TfmBench::runEnded, &w, [&, bench] {
        ++ended;
        for (int row = 0; row < bench->Grid->rowCount(); ++row) results << bench->Grid->item(row, 4)->text();
        // Posted twice, so it runs after whatever the run's end posted itself: a dialog that
        // stays open is closed here, so the test ends either way.
        QMetaObject::invokeMethod(
            &w,
            [&, bench] {
              QMetaObject::invokeMethod(
                  &w,
                  [&, bench] {
                    closedItself = bench.isNull() || !bench->isVisible();
                    if (!closedItself) QTest::keyClick(bench, Qt::Key_Escape);
                  },
                  Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
      });
      QTest::mouseClick(bench->btnStart, Qt::LeftButton);
      running = QTest::qWaitFor(
          [bench] {
            if (bench.isNull() || bench->Grid->rowCount() != 2) return false;
            for (int row = 0; row < 2; ++row) {
              const QTableWidgetItem* result = bench->Grid->item(row, 4);
              if (result == nullptr ||
                  !result->text().startsWith(QString::fromStdString(BenchStateText(TBenchState::Running))))
                return false;
            }
            return true;
          },
          kWaitMs);
      ::raise(sig);
    });
    w.actBench->trigger();  // returns when the bench window is closed

    QVERIFY(running);
    QCOMPARE(quit.Received(), sig);
    QCOMPARE(ended, 1);
    QVERIFY2(f_->Messages.Errors.isEmpty(), qPrintable(f_->Messages.Errors.join("|")));
    QCOMPARE(results.size(), 2);
    for (const QString& result : results) QVERIFY2(result.startsWith("остановлен"), qPrintable(result));
    QTRY_VERIFY_WITH_TIMEOUT(closedItself, kWaitMs);
    // Then the window ends, as "Выход" ends it.
    QTRY_VERIFY_WITH_TIMEOUT(!w.isVisible(), kWaitMs);
    const QStringList reports = QDir(f_->Home.path()).entryList({"shop-отчет-*.csv"});
    QCOMPARE(reports.size(), 1);
    QFile report(f_->Home.filePath(reports[0]));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(report.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    for (const sim::TTerminalSim* terminal : {&b, &c}) {
      const QStringList line = lines.filter(Q(terminal->SlavePath()) + ",");
      QCOMPARE(line.size(), 1);
      QVERIFY2(line[0].contains(",остановлен,"), qPrintable(line[0]));
    }
    QVERIFY(QFile::exists(f_->Home.filePath(reports[0]).replace(".csv", ".json")));
    b.Stop();
    c.Stop();
  }

 private:
  std::unique_ptr<TUiFixture> f_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::BenchGuiTest)
#include "BenchGuiTest.moc"
