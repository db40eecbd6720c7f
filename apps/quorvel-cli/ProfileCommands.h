#pragma once

#include "CliContext.h"

namespace CLI {
class App;
}

namespace quorvel::cli {

/// profile read FILE [--groups ...] and profile write FILE ... (the service bench).
void AddProfileCommands(CLI::App& app, TCommandRun& run, TGlobalOptions& options);

}  // namespace quorvel::cli
