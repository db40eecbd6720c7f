#pragma once

// A simulated Ortena terminal behind a pseudo-terminal, run in-process.
//
//   quorvel::sim::TTerminalSim sim;
//   sim.Update([](quorvel::sim::TSimState& s) { s.SerialNumber = "12345678"; });
//   sim.Start();                                  // opens the pty, serves on its own thread
//   OpenMyPort(sim.SlavePath());                  // the host opens /dev/pts/N as its port
//   sim.ArmFault("SMHEADER", {quorvel::sim::TSimFaultKind::BadChecksum});
//   ... run host commands ...
//   EXPECT_EQ(sim.State().Header[0], "Магазин");  // what the host wrote, read back
//   auto lines = sim.ReceivedLines();             // windows-1251 bytes, as received
//   sim.Stop();                                   // also done by the destructor
//
// The terminal answers every command of the PC-link protocol: the echo of the line, data
// lines ("+NAME: fields,checksum" in the sequenced form), OK, ERROR and "+SMERROR: code,
// checksum"; code 8 for data it does not have; code 1 for a sequenced line whose checksum
// is wrong or that is malformed in any way (nothing is changed then). It checks the host's
// lines on its own, never with the host's frame code.
//
// Reply forms (after the echo; every successful command ends with OK):
//   CGMI, CGMM, CGMR, CGSN       a bare line with the value
//   WHWV, WDWL?, WDOP, CCLK?     +NAME: "value"
//   GLOBALOP?, SMTRYCOUNT?       +NAME: number
//   SMSN, SMSNTERM               +NAME: value,sum
//   SMSTATE                      +SMSTATE: state,signal,queued,free[,voltage tenths],sum
//   SMSERV                       +SMSERV: "address",port,sum
//   SMSERVERNAME 1               +SMSERVERNAME: "name",sum
//   SMSIMSETUP slot              +SMSIMSETUP: slot,enabled,"apn","login","password",priority,sum
//   SMHEADER/SMREKLAM n          +NAME: n,"text",sum      (an empty line is absent: code 8)
//   SMFEE 0,t,s                  +SMFEE: t,s,max sum,type,value,sum
//   SMFEESCHEME t                +SMFEESCHEME: t,scheme,sum
//   SMSCRIPT 2,n,p               +SMSCRIPT: "packet",sum   (p one past the last: "")
//   LOADXML/LOADPHONEBASE b      +NAME: b,count,total size,"HEX",sum   (b past the end: code 8)
//   SMABSOLUTPLAT/SMEUROFON/SMSPB 4|5   +NAME: "id",sum
// Packets of a transfer must come in order (script and file parts from 1, data packets
// from 0, each data packet but the last full); a packet out of turn is code 1.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SimFaults.h"
#include "SimPortHandler.h"
#include "SimState.h"

namespace quorvel::sim {

class TSimServer;

/// Start-up options of a simulator.
struct TSimOptions {
  /// Line rate the simulator paces both directions to (10 bits per byte); 0: unthrottled.
  int BaudRate = 0;
  /// "[debug]" lines now and then around replies (off: replies are deterministic).
  bool DebugLines = false;
  /// Unsolicited "+" lines now and then, around replies and when idle.
  bool UnsolicitedLines = false;
  /// Seed of the generator behind the noise lines, split points and random faults.
  std::uint32_t Seed = 1;
  /// Start in the ISP bootloader instead of the command mode (needs a bootloader factory).
  bool StartInBootloader = false;
  /// A "?" line in the command mode enters the bootloader as one right after a restart does:
  /// the demo terminal's stand-in for the user who restarts it when the program asks.
  bool BootloaderOnSync = false;
  /// Called on the server thread, with the simulator's lock held, for every line received
  /// (raw bytes, no line end); it must not call the simulator.
  std::function<void(const std::string&)> OnLineReceived;
  /// What a terminal straight from the factory holds: the simulator starts with it, and
  /// Replace gives it to each terminal that follows (with a factory number of its own).
  TSimState Factory;
};

/// Creates the bootloader handler when the terminal enters its bootloader.
using TSimBootloaderFactory = std::function<std::unique_ptr<ISimPortHandler>()>;

/// The simulated terminal. Start() opens a pty master (raw mode) and serves it on a thread
/// of its own that sleeps in poll() while idle; the host opens SlavePath() as its port and
/// may close and reopen it at any time. The simulator keeps the slave open itself, so the
/// master never sees a hang-up while no host is attached.
/// Threads: every public call is thread-safe; state reads and writes are atomic with
/// respect to command handling (a command sees the state before or after an Update).
class TTerminalSim {
 public:
  explicit TTerminalSim(TSimOptions options = {});
  /// Stops the server when running.
  ~TTerminalSim();
  TTerminalSim(const TTerminalSim&) = delete;
  TTerminalSim& operator=(const TTerminalSim&) = delete;

  /// Opens a fresh pty and starts serving; raises quorvel::Exception when no pty can be
  /// had. The state is kept across Stop/Start (a terminal switched off and on); a started
  /// simulator is left as it is.
  void Start();
  /// Stops serving and closes the pty (the host sees a hang-up). Safe in the middle of a
  /// command and when not running; returns when the server thread has ended.
  void Stop();
  bool Running() const;
  /// Path of the pty slave (e.g. /dev/pts/4) of the current run; empty when not started.
  std::string SlavePath() const;

  /// A copy of the state.
  TSimState State() const;
  /// Replaces the state.
  void SetState(const TSimState& state);
  /// Changes the state in place under the simulator's lock (do not call the simulator
  /// from inside change).
  void Update(const std::function<void(TSimState&)>& change);
  /// The copy SMBACKLOAD restores (settings only: identity, versions, device state and
  /// clock stay); nullopt: SMBACKLOAD answers code 8.
  void SetBackup(const std::optional<TSimState>& backup);

  /// Line rate in baud for the bytes from now on; 0: unthrottled.
  void SetBaudRate(int baudRate);
  void SetDebugLines(bool on);
  void SetUnsolicitedLines(bool on);

  /// Arms a fault for a command name without "AT+" as it stands on the wire (SMHEADER,
  /// CCLK?, GLOBALOP), or "*" for any command. See TSimFault.
  void ArmFault(const std::string& command, const TSimFault& fault);
  /// Random faults (nullopt: off).
  void SetRandomFaults(const std::optional<TSimRandomFaults>& random);
  /// Disarms every fault.
  void ClearFaults();

  /// Every line received so far, in order: raw wire bytes (windows-1251) without CR/LF,
  /// also lines that were refused, faulted or lost to a Silence fault.
  std::vector<std::string> ReceivedLines() const;
  void ClearReceivedLines();
  /// Command lines handled in the command mode so far (each received line counts once,
  /// answered, refused or silenced alike).
  std::uint64_t CommandCount() const;

  /// The terminal reboots: transfers in progress are dropped, unanswered input and output
  /// are discarded, the command mode is resumed, and when the first line after this is "?"
  /// the terminal enters its bootloader.
  void Restart();
  /// Installs the bootloader; without one a "?" after a restart is an unknown command.
  void SetBootloaderFactory(TSimBootloaderFactory factory);
  /// Enters the bootloader now (as when started in that mode); false without a factory.
  bool EnterBootloader();
  bool InBootloader() const;

  /// The cable is moved to another terminal on the same port: the state becomes the
  /// options' Factory with the factory number after the current one (NextFactoryNumber), the
  /// backup and the armed faults are gone, transfers, unanswered input (a line half received
  /// too) and unsent output are dropped, and the terminal starts as a fresh one does (in its
  /// bootloader when the options say so, with the factory installed then). The pty, the
  /// line's settings (rate, noise lines, random faults), silence and the received lines stay.
  /// Raises quorvel::Exception, changing nothing, when the current factory number is not one.
  void Replace();
  /// A silent terminal (the cable pulled out at its end, the port still there) reads and
  /// drops every byte and sends nothing: no reply, no noise line, nothing received or
  /// counted. Switching it on also drops the line half received and the output not yet sent;
  /// the state and the transfers in progress stay. May be called before Start.
  void SetSilent(bool on);
  bool Silent() const;

 private:
  std::unique_ptr<TSimServer> server_;
};

}  // namespace quorvel::sim
