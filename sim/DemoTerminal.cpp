#include "DemoTerminal.h"

#include "Bootloader.h"
#include "BootloaderFlash.h"
#include "SimState.h"
#include "TerminalSim.h"

#include <memory>

namespace quorvel::sim {

void SeedDemoTerminal(TSimState& s) {
  s.ServerAddress = "195.19.220.13";
  s.ServerPort = 8090;
  s.ServerName = "pay.ortena.ru";
  s.RetryCount = 3;
  s.Sims[0].Present = true;
  s.Sims[0].Enabled = true;
  s.Sims[0].Priority = true;
  s.Sims[0].Apn = "internet.mts.ru";
  s.Sims[0].Login = "mts";
  s.Sims[0].Password = "mts";
  s.Header[0] = "ООО «Ортена»";
  s.Header[1] = "Спасибо за платеж!";
}

TSimOptions DemoTerminalOptions() {
  TSimOptions options;
  options.BootloaderOnSync = true;
  return options;
}

void InstallDemoBootloader(TTerminalSim& sim) {
  sim.SetBootloaderFactory(BootloaderFactory(std::make_shared<TBootloaderFlash>()));
}

}  // namespace quorvel::sim
