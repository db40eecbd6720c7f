#pragma once

#include "ModemDriver.h"
#include "Pty.h"
#include "ScriptedTerminal.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::test {

/// A driver on the slave side of a pty, recording every status text it shows.
struct DriverOnPty {
  Pty pty;
  std::unique_ptr<TModemDriver> driver = std::make_unique<TModemDriver>();
  std::vector<std::string> texts;  // OnChange runs on the thread that runs the command: this one

  DriverOnPty() {
    driver->SetPortName(pty.SlavePath());
    driver->Status().SetOnChange([this](TDriverStatus& sender) { texts.push_back(sender.Text()); });
  }

  /// Configures the driver's command directly (for the retry loop itself).
  TCommand& Configure(const std::string& name, bool sequenced, int timeoutMs, const std::string& progress) {
    TCommand& command = driver->Command();
    command.Reset();
    command.SetName(name);
    command.SetSequenced(sequenced);
    command.SetTimeout(timeoutMs);
    command.SetProgressText(progress);
    return command;
  }
};

/// Waits (bounded) until the terminal has taken count lines: the host's last write may
/// still be in the pty when the host's call returns.
inline std::vector<TWireLine> WaitForLines(const ScriptedTerminal& terminal, std::size_t count) {
  for (int i = 0; i < 500; ++i) {
    auto lines = terminal.Lines();
    if (lines.size() >= count) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return terminal.Lines();
}

/// The terminal every test starts from: sequenced lines with a good checksum get
/// "+SMERROR: 0", plain lines OK, both after the echo.
inline std::string AcceptAll(const TWireLine& line) {
  if (line.SeqNo >= 0 && line.CrcOk) return line.Raw + "\r\n" + SmError(0);
  return line.Raw + "\r\nOK\r\n";
}

}  // namespace quorvel::test
