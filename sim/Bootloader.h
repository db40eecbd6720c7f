#pragma once

#include "BootloaderFlash.h"
#include "SimPortHandler.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

/// Part identification of the simulated part (LPC2368: 512 KiB flash, 28 sectors).
inline constexpr std::uint32_t kBootPartId = 0x1600F925;

/// Faults a test can arm on the bootloader.
struct TBootloaderFaults {
  bool NoAnswer = false;         ///< the part swallows everything (dead line)
  int ResendOnBlock = 0;         ///< the n-th checksum line of "W" data (1-based, this session) gets RESEND,
  int ResendTimes = 1;           ///< and so do the next ResendTimes - 1 ones (the block sent again)
  int WrongEchoOnLine = 0;       ///< the echo of the n-th command line (1-based) carries a wrong byte
  int EraseDelayMs = 0;          ///< "E" answers this late
  int CorruptDataLine = 0;       ///< the n-th "W" data line (1-based, this session) arrives with one
                                 ///< character changed, as noise leaves it: echoed so, its checksum fails
  int BadReadSumOnBlock = 0;     ///< the n-th data block sent for "R" (1-based) carries a wrong checksum
  std::int64_t WeakByteAt = -1;  ///< "R" reads this flash address with its lowest bit flipped
  int WriteErrorOnCommand = 0;   ///< the n-th "W" command (1-based, this session) is answered with
  int WriteErrorCode = kIspParamError;  ///< this code; the part stays in command mode, no data taken
  /// TBootloaderPty only: the line goes dead (the pty is closed, as when the cable is pulled)
  /// as soon as a received line starts with this text, before it is echoed. Empty: never.
  std::string HangUpOnLine;
};

/// UU codec of the bootloader side (written apart from the host's on purpose).
std::string BootUUEncode(std::string_view bytes);
std::string BootUUDecode(std::string_view line);

/// The ISP command handler of an LPC2000 part as a byte-in, bytes-out state machine:
/// autobaud on "?", the "Synchronized" and crystal handshake, then commands with echo of
/// every byte received, UU-encoded data with a checksum line after every 20 lines or the
/// last one, RESEND, and the part's rules and return codes (see TBootloaderFlash).
/// "G" to the flash-readout routine in RAM switches the mapping and returns; a jump
/// anywhere else ends the session (the wire leaves the bootloader, nothing more is answered).
/// Threads: Feed runs on the server's thread; SetFaults and the getters may run on any.
class TBootloader : public ISimPortHandler {
 public:
  /// The memory is shared with whoever inspects it; a new session starts waiting for "?".
  explicit TBootloader(std::shared_ptr<TBootloaderFlash> memory, bool synchronized = false);

  void Feed(std::string_view bytes, ISimWire& wire) override;

  void SetFaults(const TBootloaderFaults& faults);
  /// The session was ended by a jump into the user program.
  bool Ended() const;
  TBootloaderFlash& Memory() { return *memory_; }

 private:
  enum class TState { Autobaud, SyncWord, Crystal, Command, WriteData, WriteSum, ReadAck, Ended };

  void Emit(std::string_view bytes) { pending_ += bytes; }
  void Flush(ISimWire& wire);
  void HandleLine(const std::string& line, ISimWire& wire);
  void HandleCommand(const std::string& line, ISimWire& wire);
  void HandleErase(const std::vector<std::uint32_t>& p, ISimWire& wire);
  void HandleBlankCheck(const std::vector<std::uint32_t>& p);
  void HandleCompare(const std::vector<std::uint32_t>& p);
  void HandleWriteCommand(const std::vector<std::uint32_t>& p);
  void HandleReadCommand(const std::vector<std::uint32_t>& p);
  void HandleGo(const std::vector<std::string>& words, ISimWire& wire);
  void HandleDataLine(const std::string& line);
  void HandleWriteSum(const std::string& line);
  void HandleReadAck(const std::string& line, ISimWire& wire);
  void SendReadBlock();
  void Reply(int code) { Emit(std::to_string(code) + "\r\n"); }

  std::shared_ptr<TBootloaderFlash> memory_;
  mutable std::mutex faultsLock_;
  TBootloaderFaults faults_;
  bool ended_ = false;  // under faultsLock_

  TState state_ = TState::Autobaud;
  std::string line_;
  std::string pending_;
  bool echo_ = true;
  bool unlocked_ = false;
  int commandLines_ = 0;
  int writeBlocks_ = 0;
  int writeCommands_ = 0;
  int readBlocks_ = 0;
  int dataLines_ = 0;
  // "W" in progress: where the next block goes, bytes still expected, the block so far.
  std::uint32_t writeAddress_ = 0;
  std::uint32_t writeLeft_ = 0;
  std::string writeBlock_;
  int writeBlockLines_ = 0;
  // "R" in progress: the data, where the current block starts and ends.
  std::string readData_;
  std::size_t readBlockStart_ = 0;
  std::size_t readBlockEnd_ = 0;
};

/// What TTerminalSim::SetBootloaderFactory takes: each entry into the bootloader is a new
/// session of a part just reset (boot block mapped, sectors protected), waiting for "?",
/// on the same memory and with these faults.
std::function<std::unique_ptr<ISimPortHandler>()> BootloaderFactory(std::shared_ptr<TBootloaderFlash> memory,
                                                                    const TBootloaderFaults& faults = {});

}  // namespace quorvel::sim
