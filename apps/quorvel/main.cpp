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
#include <QCoreApplication>
#include <QLocale>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

struct TOptions {
  QCommandLineOption Simulator{QStringLiteral("simulator"),
                               QStringLiteral("Use the built-in terminal simulator instead of a device.")};
  QCommandLineOption Home{QStringLiteral("home"), QStringLiteral("The program's folder (settings.xml, Quorvel.xml)."),
                          QStringLiteral("DIR")};
};

void Describe(QCommandLineParser& parser, const TOptions& options) {
  QCoreApplication::setApplicationName(quorvel::ui::kAppTitle);
  QCoreApplication::setApplicationVersion(QString::fromStdString(quorvel::FileVersionText()));
  parser.setApplicationDescription(
      QStringLiteral("Quorvel: configuration tool for Ortena payment terminals."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption(options.Simulator);
  parser.addOption(options.Home);
}

// Help and version are text: they must answer over ssh or in a package check, where a window
// cannot open.
bool AsksForText(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg == "-h" || arg == "-?" || arg == "--help" || arg == "--help-all" || arg == "-v" ||
        arg == "--version")
      return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions options;
  if (AsksForText(argc, argv)) {
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    Describe(parser, options);
    parser.process(core);  // prints and exits, or ends a bad command line with its message
    return 0;
  }
  QApplication app(argc, argv);
  // A save cut short by Ctrl+C or a logout leaves no temporary file behind.
  quorvel::InstallTempFileCleanup();
  // A kill or a logout ends the program as "Выход" does, with the same save.
  quorvel::ui::TSignalQuit signalQuit;
  QLocale::setDefault(QLocale::c());
  quorvel::ui::LoadQtTranslations(app);

  QCommandLineParser parser;
  Describe(parser, options);
  parser.process(app);
  if (parser.isSet(options.Home)) {
    if (parser.value(options.Home).isEmpty()) {
      std::fprintf(stderr, "--home: an empty folder name\n");
      return 2;
    }
    // Before any other thread exists.
    ::setenv("QUORVEL_HOME", parser.value(options.Home).toLocal8Bit().constData(),
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
  if (parser.isSet(options.Simulator)) {
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
    QObject::connect(&signalQuit, &quorvel::ui::TSignalQuit::quitRequested, &window,
                     &quorvel::ui::TfmMain::CloseWhenIdle);
    window.show();
    status = QApplication::exec();
  }
  // The simulator's pty is not a port to remember.
  if (sim) session->Settings().SetPortName(savedPort);
  // Nobody is there to answer after a logout or a kill, even one that comes during a question.
  quorvel::ui::TConsoleMessages console;
  if (!quorvel::ui::SaveSessionAtExit(*session, boxes, nullptr, signalQuit, console)) status = 1;
  session->ClosePort();
  quorvel::RegisterAppManager(nullptr);
  if (sim) sim->Stop();
  return status;
}
