#pragma once

#include "CliContext.h"

namespace CLI {
class App;
}

namespace quorvel::cli {

/// Adds the commands that move files and lists: fees import/export (to the "fees" command
/// AddTerminalCommands made), xmldata, phonebase, scripts, gprs update, defs update.
void AddFileCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options);

}  // namespace quorvel::cli
