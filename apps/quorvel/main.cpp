// quorvel: the desktop program.
#include "AppDoc.h"
#include "AppManager.h"
#include "DemoTerminal.h"
#include "FileText.h"
#include "LogFile.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "Paths.h"
#include "Session.h"
#include "SessionSave.h"
#include "SignalQuit.h"
#include "TerminalSim.h"
#include "UiContext.h"
#include "fmuMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // A save cut short by Ctrl+C or a logout leaves no temporary file behind.
  quorvel::InstallTempFileCleanup();
  // A kill or a logout ends the program as "Выход" does, with the same save.
  quorvel::ui::TSignalQuit signalQuit;
  QApplication::setApplicationName(quorvel::ui::kAppTitle);
  QApplication::setApplicationVersion(QString::fromStdString(quorvel::FileVersionText()));
  QLocale::setDefault(QLocale::c());
  quorvel::ui::LoadQtTranslations(app);

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Quorvel: configuration tool for Ortena payment terminals."));
  parser.addHelpOption();
  parser.addVersionOption();
  const QCommandLineOption simulator(
      QStringLiteral("simulator"),
      QStringLiteral("Use the built-in terminal simulator instead of a device."));
  const QCommandLineOption home(QStringLiteral("home"),
                                QStringLiteral("The program's folder (settings.xml, Quorvel.xml)."),
                                QStringLiteral("DIR"));
  parser.addOption(simulator);
  parser.addOption(home);
  parser.process(app);
  if (parser.isSet(home)) {
    if (parser.value(home).isEmpty()) {
      std::fprintf(stderr, "--home: an empty folder name\n");
      return 2;
    }
    // Before any other thread exists.
    ::setenv("QUORVEL_HOME", parser.value(home).toLocal8Bit().constData(),
             1);  // NOLINT(concurrency-mt-unsafe)
  }

  quorvel::ui::TMessageBoxes boxes;
  std::unique_ptr<quorvel::TSession> session;
  try {
    session = std::make_unique<quorvel::TSession>(quorvel::Facade(), quorvel::LogFile(),
                                                  quorvel::ProgramHome(), quorvel::TFolderUse::AroundSaves);
  } catch (const std::exception& e) {
    boxes.ShowError(nullptr, QString::fromStdString(e.what()));
    return 1;
  }
  quorvel::RegisterAppManager(&session->Settings());
  std::unique_ptr<quorvel::sim::TTerminalSim> sim;
  const std::string savedPort = session->Settings().PortName();
  if (parser.isSet(simulator)) {
    sim = std::make_unique<quorvel::sim::TTerminalSim>(quorvel::sim::DemoTerminalOptions());
    sim->Update(quorvel::sim::SeedDemoTerminal);
    quorvel::sim::InstallDemoBootloader(*sim);
    sim->Start();
    session->Settings().SetPortName(sim->SlavePath());
  }

  int status = 0;
  {
    quorvel::ui::TUiContext context{session->Facade(), session->Doc(), session->Settings(), boxes,
                                    QString::fromStdString(session->Home() + "/Quorvel.ini")};
    context.SaveSettings = [&] { quorvel::ui::SaveSettingsAsking(*session, boxes, nullptr); };
    quorvel::ui::TfmMain window(context);
    for (const std::string& notice : session->LoadNotices())
      boxes.ShowError(nullptr, QString::fromStdString(notice).replace("\r\n", "\n"));
    QObject::connect(&signalQuit, &quorvel::ui::TSignalQuit::quitRequested, &window, [&window] {
      // Dialogs first, then the window once its operation has ended: nobody may be there to
      // answer a question.
      for (QWidget* top : QApplication::topLevelWidgets())
        if (top != &window && top->isVisible()) top->close();
      window.CloseWhenIdle();
    });
    window.show();
    status = QApplication::exec();
  }
  // The simulator's pty is not a port to remember.
  if (sim) session->Settings().SetPortName(savedPort);
  // Nobody is there to answer after a logout or a kill.
  quorvel::ui::TConsoleMessages console;
  const bool told = signalQuit.Received() != 0;
  quorvel::ui::IUiMessages& endMessages = told ? static_cast<quorvel::ui::IUiMessages&>(console) : boxes;
  const auto audience = told ? quorvel::ui::TSaveAudience::Nobody : quorvel::ui::TSaveAudience::User;
  if (!quorvel::ui::SaveSessionAtExit(*session, endMessages, nullptr, audience)) status = 1;
  session->ClosePort();
  quorvel::RegisterAppManager(nullptr);
  if (sim) sim->Stop();
  return status;
}
