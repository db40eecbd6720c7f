#pragma once

#include "AppDoc.h"
#include "AppManager.h"
#include "DemoTerminal.h"
#include "Errors.h"
#include "LogFile.h"
#include "OperationRunner.h"
#include "Ortenas.h"
#include "Session.h"
#include "TerminalSim.h"
#include "UiContext.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <deque>
#include <memory>
#include <vector>

namespace quorvel::ui::test {

/// How long a test waits for an operation or a search to end before calling it hung. Only a
/// ceiling: under the sanitizers on a busy machine a run is many times slower than usual.
inline constexpr int kWaitMs = 60000;

/// Records what would have gone to message boxes and answers questions from a script (No
/// beyond it); notes whether each call came on the UI thread.
class TRecordedMessages final : public IUiMessages {
 public:
  void ShowError(QWidget*, const QString& text) override {
    Note();
    Errors << text;
  }
  bool Ask(QWidget*, const QString& question) override {
    Note();
    Questions << question;
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  void ShowInfo(QWidget*, const QString& text) override {
    Note();
    Infos << text;
  }

  /// Answers the file dialogs from Files (cancel beyond it) and keeps each dialog asked for.
  QString OpenFileName(QWidget*, const TFileDialogDef& dialog) override { return NextFile(dialog); }
  QString SaveFileName(QWidget*, const TFileDialogDef& dialog) override { return NextFile(dialog); }

  QStringList Errors;
  QStringList Questions;
  QStringList Infos;
  std::deque<bool> Answers;
  std::deque<QString> Files;
  std::vector<TFileDialogDef> FileDialogs;
  bool OffUiThread = false;

 private:
  QString NextFile(const TFileDialogDef& dialog) {
    Note();
    FileDialogs.push_back(dialog);
    if (Files.empty()) return {};
    QString file = Files.front();
    Files.pop_front();
    return file;
  }
  void Note() {
    OffUiThread = OffUiThread || QThread::currentThread() != QCoreApplication::instance()->thread();
  }
};

/// A fresh program around a running simulator that looks like a terminal in service: its own
/// facade, log and folder (settings.xml, Quorvel.xml and Quorvel.ini in a temporary folder).
struct TUiFixture {
  QTemporaryDir Home{QDir::tempPath() + "/quorvel-gui-XXXXXX"};
  sim::TTerminalSim Sim;
  TOrtena Facade;
  TLogFile Log;
  std::unique_ptr<TSession> Session;
  TRecordedMessages Messages;
  std::unique_ptr<TUiContext> Context;

  TUiFixture() {
    // Default paths (the log, settings) must land in the test's folder, never the user's.
    qputenv("QUORVEL_HOME", Home.path().toLocal8Bit());
    Sim.Update(sim::SeedDemoTerminal);
    Sim.Start();
    // Like the desktop program: the folder stays open to command-line runs between saves.
    Session = std::make_unique<TSession>(Facade, Log, Home.path().toStdString(), TFolderUse::AroundSaves);
    Session->Settings().SetPortName(Sim.SlavePath());
    Context = std::make_unique<TUiContext>(
        TUiContext{Facade, Session->Doc(), Session->Settings(), Messages, Home.filePath("Quorvel.ini")});
  }
  ~TUiFixture() {
    Session->ClosePort();
    Sim.Stop();
  }
};

}  // namespace quorvel::ui::test
