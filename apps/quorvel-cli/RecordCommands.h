#pragma once

#include "CliContext.h"

namespace CLI {
class App;
}

namespace quorvel::cli {

/// record init | runs | show, pool import | status | release: the service record, read and
/// kept without a terminal and without taking the program's folder.
void AddRecordCommands(CLI::App& app, TCommandRun& run, TGlobalOptions& options);

}  // namespace quorvel::cli
