#include "BootloaderFlash.h"

#include <algorithm>
#include <stdexcept>

namespace quorvel::sim {

namespace {

constexpr std::uint32_t kSmallSector = 0x1000;
constexpr std::uint32_t kLargeSector = 0x8000;
constexpr int kFirstLarge = 8;
constexpr int kFirstTopSmall = 22;

// ldr r0,[pc,#12]; mov r1,#1; str r1,[r0]; orr lr,r1,lr; bx lr; .word 0xE01FC040 (MEMMAP)
constexpr unsigned char kReadoutRoutine[] = {0x0c, 0x00, 0x9f, 0xe5, 0x01, 0x10, 0xa0, 0xe3,
                                             0x00, 0x10, 0x80, 0xe5, 0x0e, 0xe0, 0x81, 0xe1,
                                             0x1e, 0xff, 0x2f, 0xe1, 0x40, 0xc0, 0x1f, 0xe0};

bool InRam(std::uint64_t address, std::uint64_t count) {
  return address >= TBootloaderFlash::kRamStart &&
         address + count <= std::uint64_t{TBootloaderFlash::kRamStart} + TBootloaderFlash::kRamSize;
}

bool InFlash(std::uint64_t address, std::uint64_t count) {
  return address + count <= TBootloaderFlash::kFlashSize;
}

}  // namespace

TBootloaderFlash::TBootloaderFlash() : flash_(kFlashSize, '\xFF'), ram_(kRamSize, '\0') {}

TBootSector TBootloaderFlash::Sector(int index) {
  if (index < kFirstLarge) return {static_cast<std::uint32_t>(index) * kSmallSector, kSmallSector};
  if (index < kFirstTopSmall)
    return {kFirstLarge * kSmallSector + static_cast<std::uint32_t>(index - kFirstLarge) * kLargeSector,
            kLargeSector};
  return {kFirstLarge * kSmallSector + (kFirstTopSmall - kFirstLarge) * kLargeSector +
              static_cast<std::uint32_t>(index - kFirstTopSmall) * kSmallSector,
          kSmallSector};
}

int TBootloaderFlash::SectorOf(std::uint32_t address) {
  for (int i = 0; i < kSectorCount; ++i) {
    TBootSector s = Sector(i);
    if (address >= s.Start && address < s.Start + s.Size) return i;
  }
  return -1;
}

std::string TBootloaderFlash::BootVectors() {
  // ldr pc,[pc,#24] eight times, then the handler addresses inside the boot block.
  std::string v;
  for (std::uint32_t i = 0; i < 16; ++i) {
    std::uint32_t word = i < 8 ? 0xE59FF018u : 0x7FFFE040u + 4 * i;
    for (int b = 0; b < 4; ++b) v += static_cast<char>(word >> (8 * b) & 0xFF);
  }
  return v;
}

bool TBootloaderFlash::ValidSectors(std::uint32_t first, std::uint32_t last) {
  return first <= last && last < kSectorCount;
}

std::string TBootloaderFlash::Flash() const {
  std::lock_guard<std::mutex> guard(lock_);
  return flash_;
}

void TBootloaderFlash::LoadFlash(std::uint32_t address, const std::string& bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!InFlash(address, bytes.size())) throw std::out_of_range("outside the user flash");
  flash_.replace(address, bytes.size(), bytes);
}

std::string TBootloaderFlash::Ram(std::uint32_t address, std::uint32_t count) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (!InRam(address, count)) throw std::out_of_range("outside RAM");
  return ram_.substr(address - kRamStart, count);
}

bool TBootloaderFlash::UserFlashMapped() const {
  std::lock_guard<std::mutex> guard(lock_);
  return userFlashMapped_;
}

void TBootloaderFlash::Reset() {
  std::lock_guard<std::mutex> guard(lock_);
  userFlashMapped_ = false;
  prepared_.fill(false);
}

int TBootloaderFlash::Prepare(std::uint32_t first, std::uint32_t last) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!ValidSectors(first, last)) return kIspInvalidSector;
  for (std::uint32_t i = first; i <= last; ++i) prepared_[i] = true;
  return kIspSuccess;
}

int TBootloaderFlash::Erase(std::uint32_t first, std::uint32_t last) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!ValidSectors(first, last)) return kIspInvalidSector;
  for (std::uint32_t i = first; i <= last; ++i)
    if (!prepared_[i]) return kIspSectorNotPrepared;
  // A finished erase protects its sectors again, as on the part.
  for (std::uint32_t i = first; i <= last; ++i) {
    TBootSector s = Sector(static_cast<int>(i));
    std::fill_n(flash_.begin() + s.Start, s.Size, '\xFF');
    prepared_[i] = false;
  }
  return kIspSuccess;
}

int TBootloaderFlash::BlankCheck(std::uint32_t first, std::uint32_t last, std::uint32_t& offset,
                                 std::uint32_t& content) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (!ValidSectors(first, last)) return kIspInvalidSector;
  std::uint32_t from = Sector(static_cast<int>(first)).Start;
  TBootSector end = Sector(static_cast<int>(last));
  for (std::uint32_t a = from; a < end.Start + end.Size; a += 4) {
    if (flash_.compare(a, 4, "\xFF\xFF\xFF\xFF") == 0) continue;
    offset = a;
    content = 0;
    for (int b = 3; b >= 0; --b) content = content << 8 | static_cast<unsigned char>(flash_[a + b]);
    return kIspSectorNotBlank;
  }
  return kIspSuccess;
}

int TBootloaderFlash::CheckRamWrite(std::uint32_t address, std::uint32_t count) const {
  if (address % 4 != 0) return kIspAddrError;
  if (count % 4 != 0) return kIspCountError;
  if (address < kIspRamStart || !InRam(address, count)) return kIspAddrNotMapped;
  return kIspSuccess;
}

void TBootloaderFlash::WriteRam(std::uint32_t address, const std::string& bytes) {
  std::lock_guard<std::mutex> guard(lock_);
  if (!InRam(address, bytes.size())) throw std::out_of_range("outside RAM");
  ram_.replace(address - kRamStart, bytes.size(), bytes);
}

int TBootloaderFlash::Copy(std::uint32_t flashAddress, std::uint32_t ramAddress, std::uint32_t count) {
  std::lock_guard<std::mutex> guard(lock_);
  if (flashAddress % 256 != 0) return kIspDstAddrError;
  if (ramAddress % 4 != 0) return kIspSrcAddrError;
  if (count != 256 && count != 512 && count != 1024 && count != 4096) return kIspCountError;
  if (!InRam(ramAddress, count)) return kIspSrcAddrNotMapped;
  if (!InFlash(flashAddress, count)) return kIspDstAddrNotMapped;
  int first = SectorOf(flashAddress);
  int last = SectorOf(flashAddress + count - 1);
  for (int i = first; i <= last; ++i)
    if (!prepared_[i]) return kIspSectorNotPrepared;
  for (int i = first; i <= last; ++i) prepared_[i] = false;
  // Programming clears bits only; the part's own compare then finds what did not take.
  const std::string source = ram_.substr(ramAddress - kRamStart, count);
  for (std::uint32_t i = 0; i < count; ++i)
    flash_[flashAddress + i] = static_cast<char>(flash_[flashAddress + i] & source[i]);
  return flash_.compare(flashAddress, count, source) == 0 ? kIspSuccess : kIspCompareError;
}

bool TBootloaderFlash::ReadLocked(std::uint32_t address, std::uint32_t count, std::string& out) const {
  out.clear();
  if (InRam(address, count)) {
    out = ram_.substr(address - kRamStart, count);
    return true;
  }
  if (std::uint64_t{address} + count > kBootBlockEnd) return false;
  static const std::string vectors = BootVectors();
  for (std::uint32_t a = address; a < address + count; ++a) {
    if (a < kMappedVectors && !userFlashMapped_)
      out += vectors[a];
    else if (a < kFlashSize)
      out += flash_[a];
    else
      out += vectors[(a - kFlashSize) % vectors.size()];
  }
  return true;
}

int TBootloaderFlash::Read(std::uint32_t address, std::uint32_t count, std::string& out) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (address % 4 != 0) return kIspAddrError;
  if (count % 4 != 0) return kIspCountError;
  return ReadLocked(address, count, out) ? kIspSuccess : kIspAddrNotMapped;
}

int TBootloaderFlash::Compare(std::uint32_t a, std::uint32_t b, std::uint32_t count,
                              std::uint32_t& offset) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (a % 4 != 0 || b % 4 != 0) return kIspAddrError;
  if (count % 4 != 0) return kIspCountError;
  std::string x, y;
  if (!ReadLocked(a, count, x) || !ReadLocked(b, count, y)) return kIspAddrNotMapped;
  auto diff = std::mismatch(x.begin(), x.end(), y.begin());
  if (diff.first == x.end()) return kIspSuccess;
  offset = static_cast<std::uint32_t>(diff.first - x.begin());
  return kIspCompareError;
}

bool TBootloaderFlash::IsFlashReadoutRoutine(std::uint32_t address) const {
  std::lock_guard<std::mutex> guard(lock_);
  if (!InRam(address, sizeof kReadoutRoutine)) return false;
  return ram_.compare(address - kRamStart, sizeof kReadoutRoutine,
                      reinterpret_cast<const char*>(kReadoutRoutine), sizeof kReadoutRoutine) == 0;
}

void TBootloaderFlash::MapUserFlash() {
  std::lock_guard<std::mutex> guard(lock_);
  userFlashMapped_ = true;
}

}  // namespace quorvel::sim
