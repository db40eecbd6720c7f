// The service bench against simulated terminals paced at 115200 baud: one profile (SIM card,
// receipt header and advertisement, fees, server, three input scripts and a 64 KiB provider
// file), written and read back, into one terminal alone and then into eight at once, each on
// its own pseudo-terminal. The line is the limit: eight terminals should take little more
// than one. Reports the wall time of each run, their ratio and the host CPU time per terminal.
#include "BenchRun.h"
#include "BenchValues.h"
#include "DemoTerminal.h"
#include "ModemDriver.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ProfileTransfer.h"
#include "Scripts.h"
#include "TerminalSim.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

constexpr int kBaud = 115200;

double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string ProviderFile(std::size_t size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<providers>\r\n";
  for (int i = 0; text.size() < size; ++i)
    text += "  <provider id=\"" + std::to_string(i) + "\" name=\"\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0 " +
            std::to_string(i) + "\"/>\r\n";
  text.resize(size);
  return text;
}

// The profile as a bench would take it: read from a terminal in service, three scripts added.
std::string MakeProfile() {
  sim::TTerminalSim source;
  source.Update([](sim::TSimState& s) {
    sim::SeedDemoTerminal(s);
    s.Trailer[0] = "Спасибо за покупку";
    s.XmlData = ProviderFile(64 * 1024);
  });
  source.Start();
  TOrtena facade;
  facade.Driver().SetPortName(source.SlavePath());
  TProfile profile;
  for (TProfileGroup group : {TProfileGroup::Paysys, TProfileGroup::Sim, TProfileGroup::Header,
                              TProfileGroup::Trailer, TProfileGroup::Fees, TProfileGroup::XmlData})
    ReadProfileGroup(facade, profile, group);
  for (int number = 10; number < 13; ++number) {
    TScript& script = profile.System().Scripts().AddNew();
    script.SetNumber(number);
    script.SetName("Ввод " + std::to_string(number));
    std::string text;
    while (text.size() < 900) text += "ACCOUNT = MASKEDIT(0,0,120,20,'9999999999',1);\r\n";
    script.SetText(text);
  }
  profile.Groups.insert(TProfileGroup::Scripts);
  facade.Driver().ClosePort();
  source.Stop();
  return profile.SaveToText();
}

struct TRunFigures {
  double Seconds = 0;
  double CpuPerTerminal = 0;
  int Passed = 0;
  std::string Failure;  // the first terminal's message when it failed
};

TRunFigures RunBench(const std::string& profile, int terminals) {
  std::vector<std::unique_ptr<sim::TTerminalSim>> sims;
  TBenchPlan plan;
  plan.ProfileText = profile;
  plan.ProfileName = "bench.xml";
  plan.Groups = ParseProfileGroups("");
  plan.Verify = true;
  plan.AnswerYes = true;
  for (int i = 0; i < terminals; ++i) {
    sim::TSimOptions options;
    options.BaudRate = kBaud;
    sims.push_back(std::make_unique<sim::TTerminalSim>(options));
    sims.back()->Start();
    plan.Ports.push_back(sims.back()->SlavePath());
  }
  // A terminal never gives its SIM card's PIN back: each gets its own, as on a real bench.
  std::string values = "port,sim_pin\n";
  for (const std::string& port : plan.Ports) values += port + ",1234\n";
  plan.Values =
      std::make_shared<const TBenchValues>(TBenchValues::Parse(values, "bench.csv", TValueKey::Port));
  TBenchRun run(std::move(plan));
  const double cpu0 = CpuSeconds();
  const auto t0 = std::chrono::steady_clock::now();
  const std::vector<TTerminalOutcome> outcomes = run.Run([](int, const TTerminalOutcome&) {});
  TRunFigures figures;
  figures.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  figures.CpuPerTerminal = (CpuSeconds() - cpu0) / terminals;
  for (const TTerminalOutcome& outcome : outcomes) {
    figures.Passed += outcome.State == TBenchState::Passed ? 1 : 0;
    if (figures.Failure.empty() && outcome.State != TBenchState::Passed)
      figures.Failure = outcome.Step + ": " + outcome.Message;
  }
  for (auto& terminal : sims) terminal->Stop();
  return figures;
}

void BM_EightTerminalsAgainstOne(benchmark::State& state) {
  const std::string profile = MakeProfile();
  TRunFigures one, eight;
  for (auto _ : state) {
    one = RunBench(profile, 1);
    eight = RunBench(profile, 8);
  }
  if (one.Passed != 1 || eight.Passed != 8) {
    std::fprintf(stderr, "passed: %d of 1, %d of 8: %s\n", one.Passed, eight.Passed, one.Failure.c_str());
    state.SkipWithError("a terminal did not pass");
    return;
  }
  state.counters["one_s"] = one.Seconds;
  state.counters["eight_s"] = eight.Seconds;
  state.counters["ratio"] = eight.Seconds / one.Seconds;
  state.counters["cpu_per_terminal_s"] = eight.CpuPerTerminal;
  std::printf(
      "profile of %zu bytes at %d baud, written and read back: one terminal %.2f s, eight at once %.2f s "
      "(%.2f x one); host CPU %.3f s per terminal\n",
      profile.size(), kBaud, one.Seconds, eight.Seconds, eight.Seconds / one.Seconds, eight.CpuPerTerminal);
  std::fflush(stdout);
}

}  // namespace

BENCHMARK(BM_EightTerminalsAgainstOne)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
