#pragma once

#include "CliContext.h"

namespace CLI {
class App;
}

namespace quorvel::cli {

/// The page's own checks of "sim write", before anything is sent: an empty PIN raises
/// "Необходимо ввести PIN-код SIM-карты 1.", a PIN that is not four characters the facade's
/// four-digits message, an empty access point "Не введено имя точки доступа SIM-карты 1.".
void CheckSimPageFields(const std::string& pin, const std::string& apn);

/// Adds the commands of the terminal's own parameters: status, ports, find, serial, active,
/// backup, sim, header, trailer, fees (read/write), server. Options are read when the chosen
/// command runs (they must outlive run).
void AddTerminalCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options);

}  // namespace quorvel::cli
