#pragma once

#include "CliContext.h"

namespace CLI {
class App;
}

namespace quorvel::cli {

/// Adds the commands of the terminal's own parameters: status, ports, find, serial, active,
/// backup, sim, header, trailer, fees (read/write), server. Options are read when the chosen
/// command runs (they must outlive run).
void AddTerminalCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options);

}  // namespace quorvel::cli
