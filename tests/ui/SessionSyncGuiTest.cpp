// The desktop program and the command line on one folder: what one saved is not silently undone
// by the other, and a desktop program told to end saves as "Выход" does.
#include "AppDoc.h"
#include "SessionSave.h"
#include "SignalQuit.h"
#include "UiFixture.h"
#include "fmuDebug.h"
#include "fmuMain.h"
#include "fmuSettings.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <csignal>
#include <memory>

namespace quorvel::ui::test {

namespace {

// The dated copy a note names, checked to lie beside file.
QString CopyNamed(const QString& note, const QString& file) {
  const QRegularExpression dated(QRegularExpression::escape(file) + R"(\.\d{8}-\d{6}(-\d+)?\.bak)");
  const QRegularExpressionMatch m = dated.match(note);
  return m.hasMatch() ? m.captured() : QString();
}

// The receipt header a document file holds, without the line end the document adds.
QString HeaderIn(const QString& file) {
  TAppDoc doc(file.toStdString());
  doc.SaveOnDestroy = false;
  QString header = Q(doc.Header);
  if (header.endsWith("\r\n")) header.chop(2);
  return header;
}

QByteArray ReadAll(const QString& file) {
  QFile f(file);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The dated copies in a folder.
QStringList CopiesIn(const QString& folder) { return QDir(folder).entryList({"*.bak"}, QDir::Files); }

// A click on the page's node in the window's tree, as the user makes it.
void ClickNode(const TfmMain& w, const QObject* page) {
  for (QTreeWidgetItemIterator it(w.TreeView); *it != nullptr; ++it) {
    if ((*it)->data(0, Qt::UserRole).value<QObject*>() != page) continue;
    w.TreeView->scrollToItem(*it);
    QTest::mouseClick(w.TreeView->viewport(), Qt::LeftButton, {}, w.TreeView->visualItemRect(*it).center());
  }
}

// The message boxes the end of the program shows, as they come: the first has its text kept
// and a signal raised while it is open; any later one is kept too and closed, so that a box
// nobody closes ends the test instead of hanging it.
class TBoxWatch : public QObject {
 public:
  explicit TBoxWatch(int signal) : signal_(signal) {
    connect(&timer_, &QTimer::timeout, this, &TBoxWatch::Look);
    timer_.start(20);
  }

  QStringList Texts;
  // The first box was closed by the signal, not by this watch.
  bool ClosedBySignal = false;

 private:
  void Look() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || box == last_) return;
    last_ = box;
    Texts << box->text();
    if (Texts.size() > 1) {
      box->close();
      return;
    }
    timer_.stop();
    ::raise(signal_);
    ClosedBySignal = QTest::qWaitFor([box] { return !box->isVisible(); }, kWaitMs);
    if (!ClosedBySignal) box->close();
    timer_.start(20);
  }

  int signal_;
  QTimer timer_;
  // Null again once that box is gone: the next one may be made at the same address.
  QPointer<QMessageBox> last_;
};

}  // namespace

class SessionSyncGuiTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
#ifndef QUORVEL_CLI_PATH
    QSKIP("quorvel-cli is not built in this configuration");
#endif
    f_ = std::make_unique<TUiFixture>();
    // The folder as an earlier run of the window left it.
    f_->Session->Save();
  }
  void cleanup() { f_.reset(); }

  void fileChangedByTheCommandLineWhileTheWindowIsOpenIsAskedAbout_data() {
    QTest::addColumn<bool>("takeTheirs");
    QTest::newRow("Да: файл другой программы") << true;
    QTest::newRow("Нет: значения окна") << false;
  }
  void fileChangedByTheCommandLineWhileTheWindowIsOpenIsAskedAbout() {
    QFETCH(bool, takeTheirs);
    const QString docFile = f_->Home.filePath(kAppDocFileName);
    {
      TfmMain w(*f_->Context);
      w.show();
      // The window's values as its pages left them.
      f_->Session->Doc().Header = "Окно";
      RunCli({"--simulator", "header", "write", WriteText("cli.txt", "Командная строка\n")});
      QVERIFY(HeaderIn(docFile).startsWith("Командная строка"));
      w.actExit->trigger();
      QVERIFY(!w.isVisible());
    }
    f_->Messages.Answers = {takeTheirs};
    QVERIFY(SaveSessionAtExit(*f_->Session, f_->Messages, nullptr, TSaveAudience::User));

    QCOMPARE(f_->Messages.Questions, QStringList{QString::fromUtf8(kTakeTheirFileQuestion).arg(docFile)});
    QCOMPARE(f_->Messages.Errors, QStringList());
    QCOMPARE(f_->Messages.Infos.size(), 1);
    const QString copy = CopyNamed(f_->Messages.Infos[0], docFile);
    QVERIFY2(!copy.isEmpty(), qPrintable(f_->Messages.Infos[0]));
    QCOMPARE(HeaderIn(docFile).startsWith("Командная строка"), takeTheirs);
    QCOMPARE(HeaderIn(docFile) == "Окно", !takeTheirs);
    QCOMPARE(HeaderIn(copy).startsWith("Командная строка"), !takeTheirs);
    QCOMPARE(HeaderIn(copy) == "Окно", takeTheirs);
  }

  void windowWithNothingChangedElsewhereSavesWithoutAQuestion() {
    const QString docFile = f_->Home.filePath(kAppDocFileName);
    {
      TfmMain w(*f_->Context);
      w.show();
      f_->Session->Doc().Header = "Окно";
      // A run that reads and saves the same values again changes nothing.
      RunCli({"--simulator", "status"});
      w.actExit->trigger();
    }
    QVERIFY(SaveSessionAtExit(*f_->Session, f_->Messages, nullptr, TSaveAudience::User));
    QCOMPARE(f_->Messages.Questions, QStringList());
    QCOMPARE(f_->Messages.Infos, QStringList());
    QCOMPARE(HeaderIn(docFile), QString("Окно"));
  }

  void connectionDialogAsksAboutSettingsTheCommandLineChangedAndNotAboutItsOwn() {
    const QString settingsFile = f_->Home.filePath("settings.xml");
    f_->Context->SaveSettings = [this] { SaveSettingsAsking(*f_->Session, f_->Messages, nullptr); };
    const int ownRetries = f_->Session->Settings().MaxRetryCount();
    QVERIFY(ownRetries != 5);
    RunCli({"--simulator", "--retries", "5", "--save-settings", "status"});
    TOperationRunner runner(f_->Messages);
    TfmSettings dialog(*f_->Context, runner);
    // The window's own change: another port.
    dialog.SetPorts({{"ttyUSB7", "/dev/ttyUSB7", "", 7}});
    dialog.cbPorts->setCurrentIndex(dialog.cbPorts->findData(QString("/dev/ttyUSB7")));
    f_->Messages.Answers = {false};
    QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
    QCOMPARE(f_->Messages.Questions,
             QStringList{QString::fromUtf8(kTakeTheirFileQuestion).arg(settingsFile)});
    QCOMPARE(f_->Messages.Errors, QStringList());
    QCOMPARE(f_->Messages.Infos.size(), 1);
    const QString copy = CopyNamed(f_->Messages.Infos[0], settingsFile);
    QVERIFY2(!copy.isEmpty(), qPrintable(f_->Messages.Infos[0]));
    TOrtena reader;
    TLogFile log;
    QCOMPARE(TAppManager(reader.Driver(), log, copy.toStdString()).MaxRetryCount(), 5);
    QCOMPARE(TAppManager(reader.Driver(), log, settingsFile.toStdString()).MaxRetryCount(), ownRetries);
    QCOMPARE(TAppManager(reader.Driver(), log, settingsFile.toStdString()).PortName(),
             std::string("/dev/ttyUSB7"));

    // What the window wrote itself is no other program's change, now or at the end.
    QTest::mouseClick(dialog.btnOk, Qt::LeftButton);
    QVERIFY(SaveSessionAtExit(*f_->Session, f_->Messages, nullptr, TSaveAudience::User));
    QCOMPARE(f_->Messages.Questions.size(), 1);
    QCOMPARE(f_->Messages.Infos.size(), 1);
  }

  void fileTheWindowChangedNothingInIsTakenWithoutAQuestion_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("cli");
    QTest::newRow("Quorvel.xml") << QString(kAppDocFileName)
                                 << QStringList{"--simulator", "header", "write", "cli.txt"};
    QTest::newRow("settings.xml") << QString("settings.xml")
                                  << QStringList{"--simulator", "--retries", "5", "--save-settings",
                                                 "status"};
  }
  void fileTheWindowChangedNothingInIsTakenWithoutAQuestion() {
    QFETCH(QString, file);
    QFETCH(QStringList, cli);
    for (QString& arg : cli)
      if (arg == "cli.txt") arg = WriteText("cli.txt", "Командная строка\n");
    const QString path = f_->Home.filePath(file);
    {
      TfmMain w(*f_->Context);
      w.show();
      // Where the tree stands is no value of the document.
      ClickNode(w, w.fmDebug);
      QCOMPARE(w.Pages.Current(), static_cast<TAppPage*>(w.fmDebug));
      RunCli(cli);
      w.actExit->trigger();
      QVERIFY(!w.isVisible());
    }
    const QByteArray theirs = ReadAll(path);
    QVERIFY(SaveSessionAtExit(*f_->Session, f_->Messages, nullptr, TSaveAudience::User));
    QCOMPARE(f_->Messages.Questions, QStringList());
    QCOMPARE(f_->Messages.Infos, QStringList());
    QCOMPARE(f_->Messages.Errors, QStringList());
    QCOMPARE(ReadAll(path), theirs);
    QCOMPARE(CopiesIn(f_->Home.path()), QStringList());
    // The window now holds what the other program wrote.
    if (file == kAppDocFileName)
      QVERIFY(Q(f_->Session->Doc().Header).startsWith("Командная строка"));
    else
      QCOMPARE(f_->Session->Settings().MaxRetryCount(), 5);
  }

  void signalDuringTheExitQuestionKeepsTheOtherProgramsFilesAndCopiesTheWindowsValues_data() {
    QTest::addColumn<int>("sig");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void signalDuringTheExitQuestionKeepsTheOtherProgramsFilesAndCopiesTheWindowsValues() {
    QFETCH(int, sig);
    const QString docFile = f_->Home.filePath(kAppDocFileName);
    const QString settingsFile = f_->Home.filePath("settings.xml");
    TSignalQuit quit;
    {
      TfmMain w(*f_->Context);
      connect(&quit, &TSignalQuit::quitRequested, &w, &TfmMain::CloseWhenIdle);
      w.show();
      // The window's values as its pages left them.
      f_->Session->Doc().Header = "Окно";
      f_->Session->Settings().SetMaxRetryCount(2);
      RunCli({"--simulator", "--retries", "5", "--save-settings", "header", "write",
              WriteText("cli.txt", "Командная строка\n")});
      w.actExit->trigger();
      QVERIFY(!w.isVisible());
    }
    const QByteArray theirDoc = ReadAll(docFile);
    const QByteArray theirSettings = ReadAll(settingsFile);
    TMessageBoxes boxes;
    bool saved = false;
    {
      TBoxWatch watch(sig);
      saved = SaveSessionAtExit(*f_->Session, boxes, nullptr, quit, f_->Messages);
      // Only the question about the first file came; the signal answered for both.
      QCOMPARE(watch.Texts, QStringList{QString::fromUtf8(kTakeTheirFileQuestion).arg(docFile)});
      QVERIFY(watch.ClosedBySignal);
    }
    QVERIFY(saved);
    QCOMPARE(quit.Received(), sig);
    QCOMPARE(f_->Messages.Questions, QStringList());
    QCOMPARE(f_->Messages.Errors, QStringList());
    QCOMPARE(ReadAll(docFile), theirDoc);
    QCOMPARE(ReadAll(settingsFile), theirSettings);
    // The copies are named where someone may still read them.
    QCOMPARE(f_->Messages.Infos.size(), 2);
    const QString docCopy = CopyNamed(f_->Messages.Infos[0], docFile);
    QVERIFY2(!docCopy.isEmpty(), qPrintable(f_->Messages.Infos[0]));
    QCOMPARE(HeaderIn(docCopy), QString("Окно"));
    const QString settingsCopy = CopyNamed(f_->Messages.Infos[1], settingsFile);
    QVERIFY2(!settingsCopy.isEmpty(), qPrintable(f_->Messages.Infos[1]));
    TOrtena reader;
    TLogFile log;
    QCOMPARE(TAppManager(reader.Driver(), log, settingsCopy.toStdString()).MaxRetryCount(), 2);
  }

  void signalToEndArrivesThroughTheEventLoop() {
    TSignalQuit quit;
    QSignalSpy spy(&quit, &TSignalQuit::quitRequested);
    QCOMPARE(quit.Received(), 0);
    ::raise(SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, kWaitMs);
    QCOMPARE(spy.at(0).at(0).toInt(), SIGHUP);
    QCOMPARE(quit.Received(), SIGHUP);
  }

  void desktopProgramEndedBySigtermSavesAsExitDoes() {
#ifndef QUORVEL_APP_PATH
    QSKIP("quorvel is not built in this configuration");
#else
    const QString home = f_->Home.path();
    RunCli({"--simulator", "header", "write", WriteText("before.txt", "До окна\n")});
    QProcess app;
    app.start(QUORVEL_APP_PATH, {"--simulator", "--home", home});
    QVERIFY(app.waitForStarted(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(HasSimulatorRunning(app), kWaitMs);
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    QTRY_COMPARE_WITH_TIMEOUT(app.state(), QProcess::NotRunning, kWaitMs);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    QSettings ini(home + "/Quorvel.ini", QSettings::IniFormat);
    QVERIFY(ini.contains("fmMain/Width"));
    QVERIFY(HeaderIn(home + "/" + kAppDocFileName).startsWith("До окна"));
    for (const QString& name : QDir(home).entryList(QDir::Files | QDir::Hidden))
      QVERIFY2(!name.contains(".xml.") && !name.contains(".ini."), qPrintable(name));
#endif
  }

  void desktopProgramEndedBySighupTakesWhatTheCommandLineWroteMeanwhile() {
#ifndef QUORVEL_APP_PATH
    QSKIP("quorvel is not built in this configuration");
#else
    const QString home = f_->Home.path();
    const QString docFile = home + "/" + kAppDocFileName;
    RunCli({"--simulator", "header", "write", WriteText("before.txt", "До окна\n")});
    QProcess app;
    app.start(QUORVEL_APP_PATH, {"--simulator", "--home", home});
    QVERIFY(app.waitForStarted(kWaitMs));
    QTRY_VERIFY_WITH_TIMEOUT(HasSimulatorRunning(app), kWaitMs);
    RunCli({"--simulator", "header", "write", WriteText("cli.txt", "Командная строка\n")});
    const QByteArray cli = ReadAll(docFile);
    ::kill(static_cast<pid_t>(app.processId()), SIGHUP);
    QTRY_COMPARE_WITH_TIMEOUT(app.state(), QProcess::NotRunning, kWaitMs);
    QCOMPARE(app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(app.exitCode(), 0);
    // The command line's file stays; the window changed nothing in it, so nothing is copied.
    QCOMPARE(ReadAll(docFile), cli);
    const QString err = QString::fromUtf8(app.readAllStandardError());
    QVERIFY2(CopyNamed(err, docFile).isEmpty(), qPrintable(err));
    QCOMPARE(CopiesIn(home), QStringList());
#endif
  }

 private:
  void RunCli(const QStringList& args) {
#ifdef QUORVEL_CLI_PATH
    QProcess cli;
    cli.start(QUORVEL_CLI_PATH, QStringList{"--home", f_->Home.path()} + args);
    QVERIFY(cli.waitForFinished(kWaitMs));
    QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
#endif
  }

  QString WriteText(const QString& name, const QByteArray& text) {
    const QString path = f_->Home.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(text);
    return path;
  }

  // The program starts its simulator after its signal handlers and its load, just before the
  // window: with the simulator's pseudo-terminal open, a signal reaches the window's loop.
  static bool HasSimulatorRunning(const QProcess& app) {
    const QDir fds(QString("/proc/%1/fd").arg(app.processId()));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
      if (fd.symLinkTarget().endsWith("ptmx")) return true;
    return false;
  }

  std::unique_ptr<TUiFixture> f_;
};

}  // namespace quorvel::ui::test

QTEST_MAIN(quorvel::ui::test::SessionSyncGuiTest)
#include "SessionSyncGuiTest.moc"
