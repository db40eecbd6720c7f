#pragma once

#include <array>
#include <cstdint>

namespace quorvel {

/// One flash sector of the part: its number for "P", "E" and "C", first address and size.
struct TFlashSector {
  int Index = -1;  ///< -1: the address lies beyond the user flash
  std::uint32_t Start = 0;
  std::uint32_t Size = 0;
};

/// A run of equal sectors in the flash sector table.
struct TFlashSectorRun {
  int Count;
  std::uint32_t Size;
};

/// The user flash of the terminal's LPC2378 (NXP UM10211, table "Sectors in a LPC23xx
/// device", 512 KiB part): 8 sectors of 4 KiB, 14 of 32 KiB, 6 of 4 KiB; the boot block
/// above them is not writable.
inline constexpr std::array<TFlashSectorRun, 3> kLpc2378Sectors = {{{8, 0x1000}, {14, 0x8000}, {6, 0x1000}}};

/// The sector that holds address (Index -1 beyond the user flash).
TFlashSector FlashSectorOf(std::uint32_t address);

}  // namespace quorvel
