#pragma once

#include "CliContext.h"

#include <string>

namespace CLI {
class App;
}

namespace quorvel::cli {

/// Adds "script" with its subcommand "check FILE" to app. When that subcommand is chosen,
/// parsing stores its work in run (which main then calls).
void AddScriptCommands(CLI::App& app, TCommandRun& run);

/// Checks the UTF-8 script file against the built-in definitions and prints one line
/// "[Error] (<line>), <message>" per error, or "Ошибок нет". Returns 0 without errors, 1 with
/// errors, 2 when the file cannot be read or is not windows-1251 text (reason on stderr).
int CheckScriptFile(const std::string& fileName);

}  // namespace quorvel::cli
