#pragma once

#include "CliContext.h"

namespace CLI {
class App;
}

namespace quorvel::cli {

/// Adds "paysys write SYSTEM [options]" (each system takes only its own options; another
/// system's option is a usage error), "paysys read SYSTEM" (absolutplat, eurofon, ubspay) and
/// "rsa write PEMFILE".
void AddPaysysCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options);

}  // namespace quorvel::cli
