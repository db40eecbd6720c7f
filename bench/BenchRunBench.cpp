// The service bench against simulated terminals paced at 115200 baud, each on its own
// pseudo-terminal: one profile (SIM card, receipt header and advertisement, fees, server, OSMP
// credentials, three input scripts and a 64 KiB provider file), written and read back, into
// one terminal alone and then into eight at once; and a firmware image through the bootloader
// into one terminal and then four at once. The line is the limit: many terminals should take
// little more than one. Reports the wall time of each run, their ratio and the host CPU time
// per terminal.
#include "BenchProfile.h"
#include "BenchRun.h"
#include "BenchValues.h"
#include "Bootloader.h"
#include "DemoTerminal.h"
#include "ModemDriver.h"
#include "OSMP.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ProfileTransfer.h"
#include "Scripts.h"
#include "TerminalSim.h"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

constexpr int kBaud = 115200;

struct TRunFigures {
  double Seconds = 0;
  double CpuPerTerminal = 0;
  int Passed = 0;
  std::string Failure;  // the first terminal's message when it failed
};

// An Intel HEX image of size bytes at address 0, 16 bytes a record.
std::string HexImage(std::size_t size) {
  std::string text;
  for (std::size_t offset = 0; offset < size; offset += 16) {
    const std::size_t n = std::min<std::size_t>(16, size - offset);
    unsigned sum = static_cast<unsigned>(n + (offset >> 8) + (offset & 0xFF));
    std::string record = fmt::format(":{:02X}{:04X}00", n, offset);
    for (std::size_t i = 0; i < n; ++i) {
      const auto byte = static_cast<unsigned>((offset + i) * 37 % 251);
      record += fmt::format("{:02X}", byte);
      sum += byte;
    }
    text += record + fmt::format("{:02X}\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
  }
  return text + ":00000001FF\r\n";
}

std::string FirmwareProfile(std::size_t size) {
  TProfile profile;
  profile.Firmware = HexImage(size);
  profile.Groups = {TProfileGroup::Firmware};
  return profile.SaveToText();
}

TRunFigures RunBench(const std::string& profile, int terminals, bool bootloader = false) {
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
    options.StartInBootloader = bootloader;
    sims.push_back(std::make_unique<sim::TTerminalSim>(options));
    sims.back()->SetBootloaderFactory(sim::BootloaderFactory(std::make_shared<sim::TBootloaderFlash>()));
    // Each terminal of a bench reports a factory number of its own.
    sims.back()->Update([i](sim::TSimState& s) { s.FactoryNumber = std::to_string(354360000200000 + i); });
    sims.back()->Start();
    plan.Ports.push_back(sims.back()->SlavePath());
  }
  // A terminal never gives its SIM card's PIN back: each gets its own, as on a real bench.
  if (!bootloader) {
    std::string values = "port,sim_pin,terminal_id\n";
    int id = 1000;
    for (const std::string& port : plan.Ports) values += port + ",1234," + std::to_string(++id) + "\n";
    plan.Values =
        std::make_shared<const TBenchValues>(TBenchValues::Parse(values, "bench.csv", TValueKey::Port));
  }
  // The bench's mode: the firmware in blocks of 4 KiB, verified.
  plan.FastFirmware = true;
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

// Runs the profile into one terminal, then into many at once, and reports both and their ratio.
void OneAgainstMany(benchmark::State& state, const std::string& profile, int many, bool bootloader,
                    const char* what) {
  TRunFigures one, all;
  for (auto _ : state) {
    one = RunBench(profile, 1, bootloader);
    all = RunBench(profile, many, bootloader);
  }
  if (one.Passed != 1 || all.Passed != many) {
    std::fprintf(stderr, "passed: %d of 1, %d of %d: %s\n", one.Passed, all.Passed, many,
                 one.Failure.c_str());
    state.SkipWithError("a terminal did not pass");
    return;
  }
  state.counters["one_s"] = one.Seconds;
  state.counters["many_s"] = all.Seconds;
  state.counters["ratio"] = all.Seconds / one.Seconds;
  state.counters["cpu_per_terminal_s"] = all.CpuPerTerminal;
  std::printf(
      "%s at %d baud, written and read back: one terminal %.2f s, %d at once %.2f s (%.2f x one); "
      "host CPU %.3f s per terminal\n",
      what, kBaud, one.Seconds, many, all.Seconds, all.Seconds / one.Seconds, all.CpuPerTerminal);
  std::fflush(stdout);
}

void BM_EightTerminalsAgainstOne(benchmark::State& state) {
  const std::string profile = MakeProfile();
  const std::string what = "profile of " + std::to_string(profile.size()) + " bytes";
  OneAgainstMany(state, profile, 8, false, what.c_str());
}

void BM_FourBootloadersAgainstOne(benchmark::State& state) {
  OneAgainstMany(state, FirmwareProfile(64 * 1024), 4, true, "firmware of 64 KiB, fast mode");
}

}  // namespace

BENCHMARK(BM_FourBootloadersAgainstOne)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_EightTerminalsAgainstOne)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
