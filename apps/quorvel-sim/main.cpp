// quorvel-sim: a simulated Ortena terminal on a pseudo-terminal. Prints the pty path and
// serves until SIGINT or SIGTERM.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "Bootloader.h"
#include "BootloaderFlash.h"
#include "Cp1251.h"
#include "FactoryNumber.h"
#include "TerminalSim.h"
#include "Version.h"

namespace {

// Waits for SIGINT/SIGTERM with sigwait, so no handler runs in signal context.
int WaitForStopSignal() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  int signal = 0;
  sigwait(&set, &signal);
  return signal;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Simulated Ortena terminal on a pseudo-terminal: prints the pty path and serves "
      "until stopped (SIGINT/SIGTERM)."};
  app.set_version_flag("--version", "quorvel-sim " + std::to_string(quorvel::kVersionMajor) + "." +
                                        std::to_string(quorvel::kVersionMinor) + "." +
                                        std::to_string(quorvel::kVersionPatch) + "." +
                                        std::to_string(quorvel::kVersionTweak));
  quorvel::sim::TSimOptions options;
  std::string serial;
  bool logLines = false;
  app.add_option("--baud", options.BaudRate,
                 "Pace both directions to this line rate (10 bits per byte); 0: unthrottled")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--seed", options.Seed, "Seed of the random faults, split points and noise lines");
  double faultRate = 0.0;
  app.add_option("--random-faults", faultRate, "Probability (0..1) that a command meets a random fault")
      ->check(CLI::Range(0.0, 1.0));
  app.add_flag("--debug-lines", options.DebugLines, "Send \"[debug]\" lines now and then");
  app.add_flag("--unsolicited", options.UnsolicitedLines, "Send unsolicited \"+\" lines now and then");
  app.add_option("--serial", serial, "Initial serial number of the terminal");
  // A bench finds a terminal's row by its factory number, so simulators started side by side
  // with the same options must not share one.
  std::string factoryNumber = quorvel::sim::UniqueFactoryNumber(::getpid(), std::time(nullptr));
  app.add_option("--factory-number", factoryNumber,
                 "Factory number (CGSN) the terminal reports, up to 15 digits; default: one of this process")
      ->check(CLI::Validator(
          [](std::string& value) {
            return quorvel::sim::IsFactoryNumber(value) ? std::string() : std::string("1 to 15 digits");
          },
          "DIGITS"));
  app.add_flag("--bootloader", options.StartInBootloader,
               "Start in the ISP bootloader; its jump to address 0 (G 0 A) starts the command mode");
  app.add_flag("--log-lines", logLines, "Print every line received to stderr");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // Usage errors end with 2, as in quorvel-cli, not with CLI11's own numbers.
    return app.exit(e) == 0 ? 0 : 2;
  }

  if (logLines) {
    options.OnLineReceived = [](const std::string& line) {
      std::cerr << "-> " << quorvel::Cp1251ToUtf8(line) << std::endl;
    };
  }
  // block the stop signals before any thread starts, so only sigwait sees them
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  try {
    quorvel::sim::TTerminalSim sim(options);
    sim.Update([&](quorvel::sim::TSimState& s) {
      s.FactoryNumber = factoryNumber;
      if (!serial.empty()) s.SerialNumber = serial;
    });
    // The part's flash outlives each bootloader session, as on the board.
    if (options.StartInBootloader)
      sim.SetBootloaderFactory(
          quorvel::sim::BootloaderFactory(std::make_shared<quorvel::sim::TBootloaderFlash>()));
    if (faultRate > 0) {
      quorvel::sim::TSimRandomFaults random;
      random.Seed = options.Seed;
      random.Probability = faultRate;
      sim.SetRandomFaults(random);
    }
    sim.Start();
    std::cout << sim.SlavePath() << std::endl;
    WaitForStopSignal();
    sim.Stop();
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
  return 0;
}
