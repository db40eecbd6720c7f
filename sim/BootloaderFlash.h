#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>

namespace quorvel::sim {

/// Return codes of the LPC2000 ISP command handler, as the part sends them.
enum TIspCode : int {
  kIspSuccess = 0,
  kIspInvalidCommand = 1,
  kIspSrcAddrError = 2,  // source not on a word boundary
  kIspDstAddrError = 3,  // destination not on a correct boundary
  kIspSrcAddrNotMapped = 4,
  kIspDstAddrNotMapped = 5,
  kIspCountError = 6,
  kIspInvalidSector = 7,
  kIspSectorNotBlank = 8,
  kIspSectorNotPrepared = 9,
  kIspCompareError = 10,
  kIspParamError = 12,
  kIspAddrError = 13,  // not on a word boundary
  kIspAddrNotMapped = 14,
  kIspCmdLocked = 15,
  kIspInvalidCode = 16,
};

/// One flash sector: first address and size in bytes.
struct TBootSector {
  std::uint32_t Start = 0;
  std::uint32_t Size = 0;
};

/// The memory of the simulated 512 KiB LPC23xx part behind its bootloader: 504 KiB of user
/// flash in 28 sectors (0..7 of 4 KiB, 8..21 of 32 KiB, 22..27 of 4 KiB), the 8 KiB boot
/// block above it, 32 KiB of RAM at 0x40000000, the prepare (write-enable) flag of each
/// sector and the memory mapping (boot block or user flash at addresses 0..63).
/// Flash programs as the real cell does: bits only go from 1 to 0, an erase sets them to 1.
/// The memory outlives bootloader sessions, as a chip's does across restarts.
/// Threads: every call is thread-safe (the server thread works on it while a test reads).
class TBootloaderFlash {
 public:
  static constexpr std::uint32_t kFlashSize = 0x7E000;     // user flash
  static constexpr std::uint32_t kBootBlockEnd = 0x80000;  // boot block follows the user flash
  static constexpr std::uint32_t kMappedVectors = 64;      // bytes the mapping switches
  static constexpr int kSectorCount = 28;
  static constexpr std::uint32_t kRamStart = 0x40000000;
  static constexpr std::uint32_t kRamSize = 0x8000;
  static constexpr std::uint32_t kIspRamStart = 0x40000200;  // below this the ISP keeps its data

  /// Erased flash, zeroed RAM, boot block mapped, no sector prepared.
  TBootloaderFlash();

  /// Sector layout; index < kSectorCount.
  static TBootSector Sector(int index);
  /// The sector holding a user-flash address, -1 outside.
  static int SectorOf(std::uint32_t address);
  /// The bytes the boot block shows at its start (and at 0..63 while it is mapped there).
  static std::string BootVectors();

  /// A copy of the whole user flash.
  std::string Flash() const;
  /// Puts bytes into flash directly (a test's preset content); must fit the user flash.
  void LoadFlash(std::uint32_t address, const std::string& bytes);
  /// A copy of RAM bytes; the range must lie in RAM.
  std::string Ram(std::uint32_t address, std::uint32_t count) const;
  bool UserFlashMapped() const;
  /// What a part reset does: boot block mapped, every sector protected, RAM kept.
  void Reset();

  // ISP operations: each returns a TIspCode.
  int Prepare(std::uint32_t first, std::uint32_t last);
  int Erase(std::uint32_t first, std::uint32_t last);
  /// Blank check; offset and content of the first non-blank word when 8.
  int BlankCheck(std::uint32_t first, std::uint32_t last, std::uint32_t& offset,
                 std::uint32_t& content) const;
  /// Checks of "W": address and count.
  int CheckRamWrite(std::uint32_t address, std::uint32_t count) const;
  /// Stores bytes already checked by CheckRamWrite.
  void WriteRam(std::uint32_t address, const std::string& bytes);
  int Copy(std::uint32_t flashAddress, std::uint32_t ramAddress, std::uint32_t count);
  int Read(std::uint32_t address, std::uint32_t count, std::string& out) const;
  /// "M": 0, or 10 with the offset of the first difference.
  int Compare(std::uint32_t a, std::uint32_t b, std::uint32_t count, std::uint32_t& offset) const;
  /// The routine at address makes the part map its user flash at 0 when run.
  bool IsFlashReadoutRoutine(std::uint32_t address) const;
  /// Switches addresses 0..63 to the user flash.
  void MapUserFlash();

 private:
  static bool ValidSectors(std::uint32_t first, std::uint32_t last);
  bool ReadLocked(std::uint32_t address, std::uint32_t count, std::string& out) const;

  mutable std::mutex lock_;
  std::string flash_;
  std::string ram_;
  std::array<bool, kSectorCount> prepared_{};
  bool userFlashMapped_ = false;
};

}  // namespace quorvel::sim
