#include "FlashLayout.h"

#include "BootloaderFlash.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(FlashLayout, SectorsOfTheLpc2378) {
  const struct {
    std::uint32_t Address;
    int Index;
    std::uint32_t Start;
    std::uint32_t Size;
  } rows[] = {
      {0x00000, 0, 0x00000, 0x1000},
      {0x00FFF, 0, 0x00000, 0x1000},
      {0x01000, 1, 0x01000, 0x1000},
      {0x07FFF, 7, 0x07000, 0x1000},
      {0x08000, 8, 0x08000, 0x8000},
      {0x0FFFF, 8, 0x08000, 0x8000},
      {0x10000, 9, 0x10000, 0x8000},
      {0x77FFF, 21, 0x70000, 0x8000},
      {0x78000, 22, 0x78000, 0x1000},
      {0x7DFFF, 27, 0x7D000, 0x1000},
      {0x7E000, -1, 0, 0},
      {0xFFFFFFFF, -1, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Address);
    const TFlashSector s = FlashSectorOf(row.Address);
    EXPECT_EQ(s.Index, row.Index);
    EXPECT_EQ(s.Start, row.Start);
    EXPECT_EQ(s.Size, row.Size);
  }
}

// The simulated part keeps its own table; both must describe the same chip.
TEST(FlashLayout, AgreesWithTheSimulatedPart) {
  for (int i = 0; i < sim::TBootloaderFlash::kSectorCount; ++i) {
    const sim::TBootSector part = sim::TBootloaderFlash::Sector(i);
    for (std::uint32_t a : {part.Start, part.Start + part.Size - 1}) {
      const TFlashSector s = FlashSectorOf(a);
      EXPECT_EQ(s.Index, i) << a;
      EXPECT_EQ(s.Start, part.Start) << a;
      EXPECT_EQ(s.Size, part.Size) << a;
    }
  }
  EXPECT_EQ(FlashSectorOf(sim::TBootloaderFlash::kFlashSize).Index, -1);
}
