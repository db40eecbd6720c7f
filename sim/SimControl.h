#pragma once

// The control channel of a quorvel-sim process: a FIFO that a bench or its tests write
// command lines into, e.g.  echo replace > /tmp/sim.ctl
//
//   replace      the cable is moved to the next terminal (TTerminalSim::Replace)
//   silent on    the terminal stops answering (TTerminalSim::SetSilent)
//   silent off   it answers again

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

class TTerminalSim;

enum class TSimControlCommand { Replace, SilentOn, SilentOff };

/// The command of one control line; spaces and tabs around and between the words do not
/// matter, case does. nullopt for any other line.
std::optional<TSimControlCommand> ParseSimControl(std::string_view line);

/// Carries out a command on sim. Raises what TTerminalSim::Replace raises.
void ApplySimControl(TTerminalSim& sim, TSimControlCommand command);

/// A FIFO for control lines, created at path (mode 0600) when absent, or an existing FIFO
/// taken over. It is kept open for writing too, so it never reads as ended while no writer
/// has it open; it is removed on destruction when this object created it.
/// Threads: one thread at a time.
class TSimControlFifo {
 public:
  /// Raises quorvel::Exception when path cannot be made a FIFO (it is something else, or
  /// its folder is missing or not writable).
  explicit TSimControlFifo(std::string path);
  ~TSimControlFifo();
  TSimControlFifo(const TSimControlFifo&) = delete;
  TSimControlFifo& operator=(const TSimControlFifo&) = delete;

  /// The non-blocking descriptor to poll for POLLIN.
  int Fd() const { return fd_; }
  /// Reads what is there without waiting and returns the lines completed by it (without the
  /// line end; empty lines left out). A line longer than kMaxLine is cut there.
  std::vector<std::string> ReadLines();

  static constexpr std::size_t kMaxLine = 256;

 private:
  std::string path_;
  int fd_ = -1;
  bool created_ = false;
  std::string partial_;
  bool overlong_ = false;
};

}  // namespace quorvel::sim
