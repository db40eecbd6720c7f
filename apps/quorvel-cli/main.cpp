// quorvel-cli: the command-line face of Quorvel.
#include "CliContext.h"
#include "Errors.h"
#include "FileCommands.h"
#include "FileText.h"
#include "FirmwareCommands.h"
#include "PaysysCommands.h"
#include "ProfileCommands.h"
#include "RecordCommands.h"
#include "ScriptCommands.h"
#include "TerminalCommands.h"
#include "Version.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
  namespace cli = quorvel::cli;
  CLI::App app{
      "Quorvel: configuration tool for Ortena payment terminals.\n"
      "Exit status: 0 success, 1 error, 2 usage, 3 a question answered No, 130 stopped by Ctrl+C."};
  app.set_version_flag("--version",
                       fmt::format("quorvel-cli {}.{}.{}.{}", quorvel::kVersionMajor, quorvel::kVersionMinor,
                                   quorvel::kVersionPatch, quorvel::kVersionTweak));
  // Global options may also follow the command ("status --simulator"); a command's own option
  // of the same name (server write --port) takes precedence there.
  app.fallthrough();
  app.require_subcommand(0, 1);
  cli::TCommandRun run;
  cli::TGlobalOptions options;
  cli::AddGlobalOptions(app, options);
  cli::AddTerminalCommands(app, run, options);
  cli::AddFileCommands(app, run, options);
  cli::AddPaysysCommands(app, run, options);
  cli::AddScriptCommands(app, run);
  cli::AddFirmwareCommands(app, run, options);
  cli::AddProfileCommands(app, run, options);
  cli::AddRecordCommands(app, run, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? cli::kExitOk : cli::kExitUsage;
  }
  cli::ApplyHome(options);
  // Ctrl+C or a kill in the middle of a save leaves no temporary file beside the document.
  quorvel::InstallTempFileCleanup();
  try {
    if (run) return run();
    std::puts(app.help().c_str());
    return cli::kExitOk;
  } catch (const quorvel::EAbort&) {
    return cli::kExitAborted;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return cli::kExitError;
  }
}
