// quorvel-sim: a simulated Ortena terminal on a pseudo-terminal. Prints the pty path and
// serves until SIGINT or SIGTERM; SIGUSR1 and the control FIFO replace the terminal.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "Bootloader.h"
#include "BootloaderFlash.h"
#include "Cp1251.h"
#include "Errors.h"
#include "FactoryNumber.h"
#include "SimControl.h"
#include "TerminalSim.h"
#include "Version.h"

namespace {

sigset_t HandledSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGUSR1);
  return set;
}

// The part's flash outlives each bootloader session of one terminal, as on the board; the
// next terminal has a part of its own.
void InstallBootloader(quorvel::sim::TTerminalSim& sim) {
  sim.SetBootloaderFactory(
      quorvel::sim::BootloaderFactory(std::make_shared<quorvel::sim::TBootloaderFlash>()));
}

void ReplaceTerminal(quorvel::sim::TTerminalSim& sim, bool withBootloader) {
  if (withBootloader) InstallBootloader(sim);
  sim.Replace();
}

// Serves the signals and the control lines until SIGINT or SIGTERM. A signalfd, not
// sigwait, so that one poll() sleeps on the signals and the FIFO alike and no handler runs in
// signal context; the signals are blocked in every thread before this.
void ServeControl(quorvel::sim::TTerminalSim& sim, quorvel::sim::TSimControlFifo* fifo, bool withBootloader) {
  const sigset_t set = HandledSignals();
  const int signals = signalfd(-1, &set, SFD_CLOEXEC);
  if (signals < 0) throw quorvel::Exception("quorvel-sim: signalfd failed");
  while (true) {
    pollfd fds[2] = {{signals, POLLIN, 0}, {fifo ? fifo->Fd() : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      signalfd_siginfo info{};
      if (read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo != SIGUSR1) break;
        ReplaceTerminal(sim, withBootloader);
      }
    }
    if (fifo && (fds[1].revents & POLLIN) != 0) {
      for (const std::string& line : fifo->ReadLines()) {
        const auto command = quorvel::sim::ParseSimControl(line);
        if (!command) {
          std::cerr << "quorvel-sim: unknown control line: " << line << std::endl;
        } else if (*command == quorvel::sim::TSimControlCommand::Replace) {
          ReplaceTerminal(sim, withBootloader);
        } else {
          quorvel::sim::ApplySimControl(sim, *command);
        }
      }
    }
  }
  close(signals);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Simulated Ortena terminal on a pseudo-terminal: prints the pty path and serves "
      "until stopped (SIGINT/SIGTERM). SIGUSR1 replaces the terminal with a fresh one that has the "
      "next factory number, on the same pty."};
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
  bool silent = false;
  app.add_flag("--silent", silent,
               "Start silent: read and drop every byte, answer nothing (a terminal unplugged at its end)");
  std::string controlFifo;
  app.add_option("--control-fifo", controlFifo,
                 "Create a FIFO at this path (or take an existing one) for control lines: \"replace\", "
                 "\"silent on\", \"silent off\"");
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
  options.Factory.FactoryNumber = factoryNumber;
  if (!serial.empty()) options.Factory.SerialNumber = serial;
  // blocked before any thread starts, so only the signalfd sees them
  const sigset_t set = HandledSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  try {
    std::unique_ptr<quorvel::sim::TSimControlFifo> fifo;
    if (!controlFifo.empty()) fifo = std::make_unique<quorvel::sim::TSimControlFifo>(controlFifo);
    quorvel::sim::TTerminalSim sim(options);
    if (options.StartInBootloader) InstallBootloader(sim);
    sim.SetSilent(silent);
    if (faultRate > 0) {
      quorvel::sim::TSimRandomFaults random;
      random.Seed = options.Seed;
      random.Probability = faultRate;
      sim.SetRandomFaults(random);
    }
    sim.Start();
    std::cout << sim.SlavePath() << std::endl;
    ServeControl(sim, fifo.get(), options.StartInBootloader);
    sim.Stop();
  } catch (const std::exception& e) {
    std::cerr << e.what() << std::endl;
    return 1;
  }
  return 0;
}
