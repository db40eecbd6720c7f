#pragma once

namespace quorvel::sim {

struct TSimOptions;
struct TSimState;
class TTerminalSim;

/// Makes the simulated terminal look like one in service (server, SIM card, receipt header), so
/// that a first look at either program against the built-in simulator shows a full report.
void SeedDemoTerminal(TSimState& state);

/// The options of the built-in demo terminal: its bootloader takes the synchronisation of a
/// firmware update at any time, as if the user had restarted the terminal when asked.
TSimOptions DemoTerminalOptions();
/// Gives the simulated terminal its ISP bootloader over a flash of its own, so that a firmware
/// update can be tried against the built-in simulator like the rest of the program.
void InstallDemoBootloader(TTerminalSim& sim);

}  // namespace quorvel::sim
