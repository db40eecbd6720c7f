// Firmware write through the ISP bootloader: a 256 KiB image written and read back into the
// simulated part paced at 115200 baud. The time is set against the bare line's time for the
// bytes that actually crossed it (counted on the host: every command, UU-encoded data line
// and checksum line sent, every echo, reply and data line received; 10 bits per byte), and
// against Debian's lpc21isp writing the same image into the same simulator, with and without
// verification. The writer runs in both modes: pages of 1 KiB with an echo wait per line,
// and the fast mode (blocks of 4 KiB, each group of lines sent in one write).
#include "BootloaderPty.h"
#include "ComPort.h"
#include "ISPWriter.h"
#include "SerialPort.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

using namespace quorvel;

namespace {

constexpr int kBaud = 115200;
constexpr std::size_t kImageSize = 256 * 1024;
using Clock = std::chrono::steady_clock;

double LineSeconds(std::uint64_t bytes) { return static_cast<double>(bytes) * 10.0 / kBaud; }

// Counts the bytes the writer sends; everything else is passed on.
class TCountingPort : public ISerialPort {
 public:
  explicit TCountingPort(ISerialPort& port) : port_(port) {}
  void Purge() override { port_.Purge(); }
  void Open() override { port_.Open(); }
  void Close() override { port_.Close(); }
  void Write(std::string_view data) override {
    sent += data.size();
    port_.Write(data);
  }
  int GetBaudRate() const override { return port_.GetBaudRate(); }
  void SetBaudRate(int baudRate) override { port_.SetBaudRate(baudRate); }
  void SetRTS(bool on) override { port_.SetRTS(on); }
  TDataEvent GetOnData() const override { return port_.GetOnData(); }
  void SetOnData(TDataEvent handler) override { port_.SetOnData(std::move(handler)); }

  std::atomic<std::uint64_t> sent{0};

 private:
  ISerialPort& port_;
};

std::string Image() {
  std::string s(kImageSize, '\0');
  std::uint32_t x = 2463534242u;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return s;
}

// A HEX file of the image at address 0, made by objcopy in a fresh temporary folder.
std::string MakeHexFile(const std::string& image) {
  char pattern[] = "/tmp/quorvel-fwbench-XXXXXX";
  const char* folder = ::mkdtemp(pattern);
  if (folder == nullptr) return {};
  const std::string bin = std::string(folder) + "/image.bin";
  const std::string hex = std::string(folder) + "/image.hex";
  std::ofstream(bin, std::ios::binary) << image;
  if (std::system(("objcopy -I binary -O ihex " + bin + " " + hex).c_str()) != 0) return {};
  return hex;
}

bool FlashHolds(sim::TBootloaderFlash& memory, const std::string& image) {
  // The vector checksum word at 0x14 is patched by every writer.
  const std::string flash = memory.Flash();
  return flash.compare(0, 0x14, image, 0, 0x14) == 0 &&
         flash.compare(0x18, image.size() - 0x18, image, 0x18) == 0;
}

void BM_Writer256K(benchmark::State& state, bool verify, bool fast) {
  const std::string image = Image();
  const std::string hex = MakeHexFile(image);
  if (hex.empty()) {
    state.SkipWithError("objcopy could not make the HEX file");
    return;
  }
  for (auto _ : state) {
    auto memory = std::make_shared<sim::TBootloaderFlash>();
    sim::TBootloaderPty part(memory, kBaud);
    part.Start();
    TComm comm;
    comm.SetPortName(part.SlavePath());
    TSerialPorts ports(comm);
    ports.AddPort();
    TSerialPort& client = ports.AddPort();
    std::atomic<std::uint64_t> received{0};
    ports.AddPort().SetOnData([&](ISerialPort&, const std::string& data) { received += data.size(); });
    comm.Open();
    TCountingPort counting(client);
    TUpdateStatus status;
    TISPWriter writer(counting, status);
    const auto t0 = Clock::now();
    writer.Write({hex, kBaud, 12000, verify, fast});
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    comm.Close();
    const TUpdateStatus::TSnapshot s = status.Snapshot();
    if (s.Failed || !FlashHolds(*memory, image)) {
      state.SkipWithError(("the write failed: " + s.Text).c_str());
      return;
    }
    const std::uint64_t sent = counting.sent, got = received;
    // The line is full duplex and the echo comes back while the host sends, so the bare line
    // needs the time of its busier direction; the sum of both is printed for reference.
    const double line = LineSeconds(std::max(sent, got));
    state.counters["seconds"] = seconds;
    state.counters["line_s"] = line;
    state.counters["ratio"] = seconds / line;
    std::printf(
        "Quorvel writer%s: %zu bytes written%s at %d baud in %.2f s\n"
        "  crossed the line: %llu bytes host->part (commands, UU data and checksum lines), %llu bytes "
        "part->host (echo, replies, UU data read back)\n"
        "  bare line for the busier direction: %.2f s -> %.2f x; both directions one after the other: "
        "%.2f s -> %.2f x; status rate %lld bytes/s\n",
        fast ? " (fast)" : "", image.size(), verify ? " and read back" : " (no verification)", kBaud, seconds,
        static_cast<unsigned long long>(sent), static_cast<unsigned long long>(got), line, seconds / line,
        LineSeconds(sent + got), seconds / LineSeconds(sent + got), static_cast<long long>(s.Rate));
    std::fflush(stdout);
  }
}

// lpc21isp writes, with its own verification (-verify) or without, through the same
// simulated part.
void BM_Lpc21ispSameImage(benchmark::State& state, bool verify) {
  if (std::system("command -v lpc21isp >/dev/null 2>&1") != 0) {
    std::printf("lpc21isp is not installed: no comparison\n");
    state.SkipWithError("lpc21isp is not installed");
    return;
  }
  const std::string image = Image();
  const std::string hex = MakeHexFile(image);
  if (hex.empty()) {
    state.SkipWithError("objcopy could not make the HEX file");
    return;
  }
  for (auto _ : state) {
    auto memory = std::make_shared<sim::TBootloaderFlash>();
    sim::TBootloaderPty part(memory, kBaud);
    part.Start();
    const std::string command = std::string("timeout 600 lpc21isp ") + (verify ? "-verify " : "") + "-hex " +
                                hex + " " + part.SlavePath() + " " + std::to_string(kBaud) +
                                " 12000 >/dev/null 2>&1 </dev/null";
    const auto t0 = Clock::now();
    const int rc = std::system(command.c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    part.Stop();
    // Its exit status says little; the flash says whether the image arrived.
    const bool ok = FlashHolds(*memory, image);
    // What its verification was made of, from the lines the part received.
    int reads = 0, compares = 0, echoOff = 0;
    for (const std::string& line : part.ReceivedLines()) {
      reads += line.rfind("R ", 0) == 0;
      compares += line.rfind("M ", 0) == 0;
      echoOff += line == "A 0";
    }
    state.counters["seconds"] = seconds;
    std::printf(
        "lpc21isp%s: %zu bytes at %d baud in %.2f s (exit status %d, flash %s; %d read commands, "
        "%d compare commands, echo switched off: %s)\n",
        verify ? " -verify" : " (no verification)", image.size(), kBaud, seconds, rc,
        ok ? "holds the image" : "does NOT hold the image", reads, compares, echoOff > 0 ? "yes" : "no");
    std::fflush(stdout);
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_Writer256K, verify, true, false)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Writer256K, no_verify, false, false)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Writer256K, fast_verify, true, true)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Writer256K, fast_no_verify, false, true)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Lpc21ispSameImage, verify, true)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_Lpc21ispSameImage, no_verify, false)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

BENCHMARK_MAIN();
