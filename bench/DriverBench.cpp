// Data-file transfers through the terminal driver against the simulator paced at 115200
// baud: a 64 KiB XML data file and a 64 KiB phone base, each written and read back. Each
// figure is set against the time the bare line needs to carry the same data bytes in that
// direction (10 bits per byte), which no packet protocol can beat.
#include "ModemDriver.h"
#include "TerminalSim.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

using namespace quorvel;

namespace {

constexpr int kBaud = 115200;
constexpr std::size_t kFileSize = 64 * 1024;

double LineSeconds(std::size_t bytes) { return static_cast<double>(bytes) * 10.0 / kBaud; }

std::string XmlText(std::size_t size) {
  std::string text = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<providers>\r\n";
  for (int i = 0; text.size() < size; ++i)
    text += "  <provider id=\"" + std::to_string(i) + "\" name=\"\xCE\xEF\xE5\xF0\xE0\xF2\xEE\xF0 " +
            std::to_string(i) + "\" min=\"10.00\" max=\"15000.00\"/>\r\n";
  text.resize(size);
  return text;
}

std::string PhoneBase(std::size_t size) {
  std::string text;
  for (long n = 9030000000; text.size() < size; n += 7) text += std::to_string(n) + ";" + std::to_string(n % 97) + "\r\n";
  text.resize(size);
  return text;
}

void RoundTrip(benchmark::State& state, TDataFile file, const char* label) {
  const std::string data = file == TDataFile::Xml ? XmlText(kFileSize) : PhoneBase(kFileSize);
  sim::TSimOptions options;
  options.BaudRate = kBaud;
  sim::TTerminalSim terminal(options);
  terminal.Start();
  TModemDriver driver;
  driver.SetPortName(terminal.SlavePath());
  double writeSeconds = 0, readSeconds = 0;
  for (auto _ : state) {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    driver.WriteDataFile(file, data);
    const auto t1 = Clock::now();
    const std::string back = driver.ReadDataFile(file);
    const auto t2 = Clock::now();
    if (back != data) {
      state.SkipWithError("data read back differs from data written");
      return;
    }
    writeSeconds = std::chrono::duration<double>(t1 - t0).count();
    readSeconds = std::chrono::duration<double>(t2 - t1).count();
  }
  const double line = LineSeconds(data.size());
  state.counters["write_s"] = writeSeconds;
  state.counters["read_s"] = readSeconds;
  state.counters["line_s"] = line;
  state.counters["write_ratio"] = writeSeconds / line;
  state.counters["read_ratio"] = readSeconds / line;
  std::printf("%-10s %zu bytes at %d baud: write %.2f s (%.2f x line %.2f s), read %.2f s (%.2f x line %.2f s), "
              "total %.2f s (%.2f x line)\n",
              label, data.size(), kBaud, writeSeconds, writeSeconds / line, line, readSeconds, readSeconds / line,
              line, writeSeconds + readSeconds, (writeSeconds + readSeconds) / (2 * line));
  std::fflush(stdout);
}

void BM_XmlDataFile(benchmark::State& state) { RoundTrip(state, TDataFile::Xml, "XML"); }
void BM_PhoneBase(benchmark::State& state) { RoundTrip(state, TDataFile::PhoneBase, "phone base"); }

}  // namespace

BENCHMARK(BM_XmlDataFile)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_PhoneBase)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

BENCHMARK_MAIN();
