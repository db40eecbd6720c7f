// libFuzzer target for the Intel HEX reader (THexFile::LoadFromLines). The input is the file
// text. Invariants: no crash or sanitizer report; a refused file leaves no blocks; an accepted
// one has non-empty blocks in ascending order that neither overlap nor touch, holding exactly
// the data bytes of its records; after AlignToPages every block covers whole pages, starts on
// a page boundary, keeps every byte it had and shares no page with another block.
#include "Errors.h"
#include "HexFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace quorvel;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::map<std::uint64_t, char> Bytes(const THexBlocks& blocks) {
  std::map<std::uint64_t, char> bytes;
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    std::uint64_t base = static_cast<std::uint32_t>(blocks[i].Rec.BaseAddress);
    for (std::size_t k = 0; k < blocks[i].Rec.Data.size(); ++k) bytes[base + k] = blocks[i].Rec.Data[k];
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  THexFile hex;
  try {
    hex.LoadFromLines(SplitLines(std::string(reinterpret_cast<const char*>(data), size)));
  } catch (const Exception&) {
    Check(hex.Blocks().Count() == 0);
    return 0;
  }
  THexBlocks& blocks = hex.Blocks();
  std::size_t recordBytes = 0;
  for (std::size_t i = 0; i < hex.Lines().Count(); ++i)
    if (hex.Lines()[i].Rec.RecordType == 0) recordBytes += hex.Lines()[i].Rec.ByteCount;
  Check(blocks.TotalSize() == recordBytes);
  std::uint64_t end = 0;
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    std::uint64_t base = static_cast<std::uint32_t>(blocks[i].Rec.BaseAddress);
    Check(!blocks[i].Rec.Data.empty());
    Check(i == 0 || base > end);
    end = base + blocks[i].Rec.Data.size();
  }
  std::map<std::uint64_t, char> before = Bytes(blocks);
  blocks.AlignToPages(kHexPageSize);
  std::map<std::uint64_t, char> after = Bytes(blocks);
  for (const auto& [address, byte] : before) Check(after.count(address) == 1 && after[address] == byte);
  end = 0;
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    std::uint64_t base = static_cast<std::uint32_t>(blocks[i].Rec.BaseAddress);
    Check(base % kHexPageSize == 0 && blocks[i].Rec.Data.size() % kHexPageSize == 0);
    Check(i == 0 || base >= end);
    end = base + blocks[i].Rec.Data.size();
  }
  return 0;
}
