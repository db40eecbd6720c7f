#include "DemoTerminal.h"

#include "SimState.h"

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

}  // namespace quorvel::sim
