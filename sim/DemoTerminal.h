#pragma once

namespace quorvel::sim {

struct TSimState;

/// Makes the simulated terminal look like one in service (server, SIM card, receipt header), so
/// that a first look at either program against the built-in simulator shows a full report.
void SeedDemoTerminal(TSimState& state);

}  // namespace quorvel::sim
