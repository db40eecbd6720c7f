#pragma once

#include "CliContext.h"

#include <string>

namespace CLI {
class App;
}

namespace quorvel::cli {

/// Adds "firmware" with "write FILE [--baud N] [--no-verify]" and "info FILE". The chosen
/// subcommand's work goes into run; options are read when it runs (they must outlive run).
void AddFirmwareCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options);

/// Prints the blocks of the HEX file (number, first address, size) and the total. Returns 0,
/// or 1 with the reason on stderr when the file cannot be read or is damaged.
int ShowFirmwareInfo(const std::string& fileName);

/// What "firmware write" does.
struct TFirmwareWriteArgs {
  std::string FileName;
  int BaudRate = 115200;
  bool Verify = true;
  bool Fast = false;  ///< the writer's fast mode (TISPParams::Fast)
};

/// Checks the file, asks for the terminal's restart (unless options.Yes; options.No and the
/// lack of a terminal on stdin answer no), writes the image with a progress line on stderr and prints the
/// result. The writer's steps go to the log of settings.xml, or of --log (a --log file that
/// cannot be opened is a failure). Returns 0 on success, 1 on any failure or refusal (the
/// reason on stderr). Ctrl+C (the first SIGINT) during the write stops it before its next
/// page and returns kExitInterrupted; the terminal then needs a whole write again.
int WriteFirmware(const TFirmwareWriteArgs& args, const TGlobalOptions& options);

}  // namespace quorvel::cli
