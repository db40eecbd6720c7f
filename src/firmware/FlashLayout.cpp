#include "FlashLayout.h"

namespace quorvel {

TFlashSector FlashSectorOf(std::uint32_t address) {
  std::uint32_t start = 0;
  int index = 0;
  for (const TFlashSectorRun& run : kLpc2378Sectors) {
    if (address < start + static_cast<std::uint32_t>(run.Count) * run.Size)
      return {index + static_cast<int>((address - start) / run.Size), address - (address - start) % run.Size,
              run.Size};
    start += static_cast<std::uint32_t>(run.Count) * run.Size;
    index += run.Count;
  }
  return {};
}

}  // namespace quorvel
