#pragma once

#include "DataBuffer.h"
#include "Errors.h"
#include "FlashLayout.h"
#include "SerialPortInterface.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

/// Return codes of this side of the bootloader dialogue (0..19 are the bootloader's own).
inline constexpr int kIspResendExceeded = 100;  // RESEND answered to every attempt
inline constexpr int kIspNoLink = -1;           // no byte within the byte timeout
inline constexpr int kIspBadEcho = -2;          // echo differs from the sent line
inline constexpr int kIspBadReply = -3;         // reply is not a return code

/// The text of a return code ("Sector is not blank." for 8, "Unknown error" for codes
/// nobody defined).
std::string ReturnCodeMessage(int code);
/// "<code>, <text>", e.g. "8, Sector is not blank.".
std::string ReturnCodeText(int code);
/// The log title of a command line, by its first character; empty for lines without one
/// (data lines, numbers).
std::string IspCommandTitle(std::string_view line);

/// A failure of the bootloader dialogue; the message is ReturnCodeText(code).
class EISPProgrammerException : public Exception {
 public:
  explicit EISPProgrammerException(int code);
  int ReturnCode() const noexcept { return code_; }

 private:
  int code_;
};

/// The host side of the NXP LPC2000 in-system-programming dialogue over a port client.
/// Every operation returns the return code (0 success); nothing here raises for a code,
/// callers pass results to RaiseOnError. Lines sent and received are logged by the port;
/// command titles and failures go to the log here.
/// Threads: the received bytes arrive on the port's receiving thread and are queued; all
/// other calls run on one thread (the writer's worker).
class TISPInterface {
 public:
  /// Longest wait for one received byte, in ms.
  static constexpr int kByteTimeoutMs = 3000;
  /// RAM addresses the pages pass through on their way to flash.
  static constexpr std::uint32_t kRamBuffer = 0x40000200;
  static constexpr std::uint32_t kRamBuffer2 = 0x40000400;
  /// Largest block of WriteRam and ReadMemory (20 UU lines of 45 bytes).
  static constexpr std::size_t kMaxBlock = 900;
  /// Bytes of one flash page written by WritePage.
  static constexpr std::size_t kPageSize = 1024;
  /// Largest block of the fast mode: one RAM write, one copy to flash.
  static constexpr std::size_t kFastBlock = 4096;
  /// End of the RAM the bootloader leaves to the host on the LPC2378: it keeps the top 32
  /// bytes for the flash routines and up to 256 bytes of stack below them.
  static constexpr std::uint32_t kIspRamEnd = 0x40008000 - 32 - 256;

  /// Installs the data handler on the port; the port must outlive this object.
  explicit TISPInterface(ISerialPort& port);
  /// Detaches the data handler.
  ~TISPInterface();
  TISPInterface(const TISPInterface&) = delete;
  TISPInterface& operator=(const TISPInterface&) = delete;

  int ByteTimeout() const { return byteTimeoutMs_; }
  /// Longest wait for one byte in ms (tests shorten it).
  void SetByteTimeout(int timeoutMs) { byteTimeoutMs_ = timeoutMs; }
  /// The line is gone: a wait for a byte in progress ends now, later ones at once (-1).
  /// May run on any thread.
  void Interrupt() { buffer_.Interrupt(); }

  // Low level.
  /// One byte within the byte timeout: 0, or -1 (logged) when none came.
  int ReceiveByte(unsigned char& byte);
  /// One non-empty line without control characters: 0 or -1.
  int ReadLine(std::string& line);
  /// Reads a line and compares it with sent: 0, -1 or -2 (logged with both texts in hex).
  int ExpectEcho(std::string_view sent);
  /// Writes text and CR LF.
  void SendLine(std::string_view text);
  /// Sends a command and reads its echo and reply line, up to attempts times.
  int SendCommand(std::string_view command, std::string& reply, int attempts);
  /// A command whose reply is a return code: that code, -1, -2 or -3.
  int RunCommand(std::string_view command);
  /// As RunCommand, the reply "OK" counting as 0.
  int ExecuteSyncLine(std::string_view line);
  /// Raises EISPProgrammerException for a code other than 0.
  static void RaiseOnError(int code);
  /// Sum of the byte values.
  static std::uint32_t ByteSum(std::string_view bytes);

  // Protocol operations; each returns the return code.
  /// "?", then the handshake lines "Synchronized" and the crystal frequency (kHz).
  int Synchronize(int crystalKHz);
  int UnlockCommands();
  /// The part identification number as the bootloader writes it.
  int ReadPartId(std::string& id);
  int PrepareSectors(int first, int last);
  int EraseSectors(int first, int last);
  /// Writes at most 900 bytes (padded with zeros to a multiple of 4) to RAM. On RESEND the
  /// data lines and checksum go again (what the part waits for); 100 when the third
  /// attempt is answered with RESEND too, and then nothing may be copied from that RAM.
  /// encoded receives the UU lines sent. Raises Exception for more than 900 bytes.
  int WriteRam(std::uint32_t address, std::string_view bytes, std::string& encoded);
  /// As WriteRam for up to kFastBlock bytes, but each group of 20 lines goes out with its
  /// checksum line in one write, and the echoes and the reply are checked after the group.
  /// A group answered RESEND goes again (three times in all, then 100). A wrong echo ends
  /// with -2 once the part has taken the group (OK); one that the part refused (RESEND) is
  /// sent again. Raises Exception for more than kFastBlock bytes.
  int WriteRamFast(std::uint32_t address, std::string_view bytes);
  /// Reads count (<= 900) bytes; text receives the UU lines, bytes the decoded data.
  /// A checksum mismatch asks for the block again (RESEND); after three mismatches the last
  /// data comes back with 0 and the caller's comparison decides.
  /// Raises Exception for more than 900 bytes, EConvertError for a checksum line that is
  /// not a number.
  int ReadMemory(std::uint32_t address, std::size_t count, std::string& text, std::string& bytes);
  int CopyRamToFlash(std::uint32_t flashAddress, std::uint32_t ramAddress, std::size_t count);
  /// mode 0 Thumb ("T"), 1 ARM ("A").
  int GoToAddress(std::uint32_t address, int mode);
  /// Programs one page of at most 1024 bytes at flashAddress through RAM; a shorter page is
  /// completed with 0xFF so no stale RAM content reaches the flash. Raises on any failure
  /// (EISPProgrammerException) and Exception for more than 1024 bytes.
  void WritePage(std::uint32_t flashAddress, std::string_view bytes);
  /// Programs a block of whole KiB, at most kFastBlock, at flashAddress (a KiB boundary)
  /// through one WriteRamFast: a block of kFastBlock bytes in one copy, a shorter one in
  /// copies of 1 KiB; only the block's sector is prepared. Raises on any failure
  /// (EISPProgrammerException), Exception for a block that is not whole KiB, is larger than
  /// kFastBlock or does not lie inside one sector.
  void WriteFastBlock(std::uint32_t flashAddress, std::string_view bytes);
  /// Runs a small routine in RAM that maps the user flash over the boot block, so reading
  /// from address 0 gives the flash itself.
  int EnableFlashReadout();
  /// Stores at offset 20 the word that makes the eight exception vectors sum to zero (data
  /// of at least 24 bytes; words beyond the data count as 0).
  static void PatchVectorChecksum(std::string& data);

 private:
  int ReadSyncLine(std::string& line);
  int SendDataBlock(const std::vector<std::string>& lines, std::uint32_t sum);
  int SendDataGroup(const std::vector<std::string>& lines, std::uint32_t sum);
  int ReadDataBlock(std::size_t count, std::string& text, std::string& bytes, bool& matched);

  ISerialPort& port_;
  TDataBuffer buffer_;
  int byteTimeoutMs_ = kByteTimeoutMs;
};

static_assert(TISPInterface::kRamBuffer + TISPInterface::kFastBlock <= TISPInterface::kIspRamEnd,
              "a fast block must fit the RAM the bootloader leaves free");

/// The bytes of the routine EnableFlashReadout runs: it stores 1 (user flash mode) into the
/// memory mapping control register 0xE01FC040 and returns to the bootloader.
std::string FlashReadoutRoutine();

}  // namespace quorvel
