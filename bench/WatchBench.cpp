// The continuous bench against simulated terminals paced at 115200 baud: four ports, each
// terminal replaced by the next the moment its port says it is done (an operator who takes no
// time). The line's bound is ports x 3600 / the time of one terminal alone; the watch should
// reach most of it, the rest being the wait for the next question to a port. Also the time
// from a terminal's first answer (its port turns to "идет") to its first write.
#include "BenchProfile.h"
#include "BenchRun.h"
#include "BenchValues.h"
#include "BenchWatch.h"
#include "TerminalSim.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

constexpr int kBaud = 115200;
constexpr int kPorts = 4;
constexpr int kPerPort = 3;

using TClock = std::chrono::steady_clock;

std::shared_ptr<const TBenchValues> Values(int rows) {
  std::string table = "sim_pin,terminal_id\n";
  for (int i = 0; i < rows; ++i) table += fmt::format("1234,{}\n", 2000 + i);
  return std::make_shared<const TBenchValues>(TBenchValues::Parse(table, "bench.csv", TValueKey::None));
}

std::unique_ptr<sim::TTerminalSim> Terminal(std::int64_t factory) {
  sim::TSimOptions options;
  options.BaudRate = kBaud;
  auto terminal = std::make_unique<sim::TTerminalSim>(options);
  terminal->Update([factory](sim::TSimState& s) { s.FactoryNumber = std::to_string(factory); });
  terminal->Start();
  return terminal;
}

TBenchPlan Plan(const std::string& profile, int rows) {
  TBenchPlan plan;
  plan.ProfileText = profile;
  plan.ProfileName = "bench.xml";
  plan.Groups = ParseProfileGroups("");
  plan.AnswerYes = true;
  plan.Values = Values(rows);
  return plan;
}

double OneTerminalSeconds(const std::string& profile) {
  auto terminal = Terminal(354360000300000);
  TBenchPlan plan = Plan(profile, 1);
  plan.Ports = {terminal->SlavePath()};
  TBenchRun run(std::move(plan));
  const auto t0 = TClock::now();
  const std::vector<TTerminalOutcome> outcomes = run.Run([](int, const TTerminalOutcome&) {});
  const double seconds = std::chrono::duration<double>(TClock::now() - t0).count();
  terminal->Stop();
  return outcomes.front().State == TBenchState::Passed ? seconds : -1;
}

void BM_WatchAgainstTheLine(benchmark::State& state) {
  const std::string profile = MakeProfile();
  double one = 0;
  double watchSeconds = 0;
  std::vector<double> toFirstWrite;
  int done = 0;
  int failed = 0;
  for (auto _ : state) {
    one = OneTerminalSeconds(profile);
    std::vector<std::unique_ptr<sim::TTerminalSim>> terminals;
    TWatchPlan plan;
    plan.Bench = Plan(profile, kPorts * kPerPort);
    for (int i = 0; i < kPorts; ++i) {
      terminals.push_back(Terminal(354360000400000 + i * 100));
      plan.Bench.Ports.push_back(terminals.back()->SlavePath());
    }
    plan.Count = kPorts * kPerPort;
    TBenchWatch watch(std::move(plan));
    std::mutex lock;
    // Per port: when its terminal turned to running, and whether its first write was seen.
    struct TPortTimes {
      TWatchState State = TWatchState::Waiting;
      TClock::time_point Answered;
      bool Written = false;
      int Replaced = 0;
    };
    std::map<int, TPortTimes> ports;
    const auto t0 = TClock::now();
    watch.Run([&](const TWatchPort& port, const TWatchSummary&) {
      std::lock_guard guard(lock);
      TPortTimes& p = ports[port.Index];
      if (port.State == TWatchState::Running && p.State != TWatchState::Running) {
        p.Answered = TClock::now();
        p.Written = false;
      }
      if (port.State == TWatchState::Running && !p.Written && port.Terminal.Step.rfind("запись", 0) == 0) {
        p.Written = true;
        toFirstWrite.push_back(std::chrono::duration<double>(TClock::now() - p.Answered).count());
      }
      if (port.State == TWatchState::Done && p.State != TWatchState::Done && p.Replaced < kPerPort - 1) {
        ++p.Replaced;
        terminals[static_cast<std::size_t>(port.Index)]->Replace();
      }
      p.State = port.State;
    });
    watchSeconds = std::chrono::duration<double>(TClock::now() - t0).count();
    done = watch.Summary().Done;
    failed = watch.Summary().Failed;
    for (auto& terminal : terminals) terminal->Stop();
  }
  if (one <= 0 || done != kPorts * kPerPort) {
    std::fprintf(stderr, "one terminal: %.2f s; watch: %d done, %d failed\n", one, done, failed);
    state.SkipWithError("a terminal did not pass");
    return;
  }
  const double bound = kPorts * 3600.0 / one;
  const double perHour = done * 3600.0 / watchSeconds;
  const double worst = toFirstWrite.empty() ? 0 : *std::max_element(toFirstWrite.begin(), toFirstWrite.end());
  double mean = 0;
  for (double s : toFirstWrite) mean += s / static_cast<double>(toFirstWrite.size());
  state.counters["one_terminal_s"] = one;
  state.counters["per_hour"] = perHour;
  state.counters["of_bound"] = perHour / bound;
  state.counters["first_write_max_s"] = worst;
  std::printf(
      "watch on %d ports at %d baud, %d terminals: %.0f per hour against the line's %.0f (%.2f of it, goal "
      "0.95); "
      "one terminal alone %.2f s; first answer to first write: mean %.3f s, worst %.3f s (goal under 1 s)\n",
      kPorts, kBaud, done, perHour, bound, perHour / bound, one, mean, worst);
  std::fflush(stdout);
}

}  // namespace

BENCHMARK(BM_WatchAgainstTheLine)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
