// quorvel-cli: the command-line face of Quorvel.
#include "Errors.h"
#include "FirmwareCommands.h"
#include "ScriptCommands.h"
#include "Version.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
  CLI::App app{"Quorvel: configuration tool for Ortena payment terminals"};
  app.set_version_flag("--version",
                       fmt::format("quorvel-cli {}.{}.{}.{}", quorvel::kVersionMajor, quorvel::kVersionMinor,
                                   quorvel::kVersionPatch, quorvel::kVersionTweak));
  app.require_subcommand(0, 1);
  quorvel::cli::TCommandRun run;
  quorvel::cli::TGlobalOptions options;
  quorvel::cli::AddGlobalOptions(app, options);
  quorvel::cli::AddScriptCommands(app, run);
  quorvel::cli::AddFirmwareCommands(app, run, options);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  try {
    if (run) return run();
    std::puts(app.help().c_str());
    return 0;
  } catch (const quorvel::EAbort&) {
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
