#include "HexFile.h"

#include "Errors.h"
#include "FileText.h"
#include "TextUtils.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace quorvel {

namespace {

constexpr std::size_t kMinRecordLength = 11;  // ':' count(2) address(4) type(2) checksum(2)
constexpr std::uint64_t kAddressLimit = 0x100000000ULL;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// A numeric field of a record; the conversion error shows it the way the program always
// has, with the hexadecimal prefix "$", after the line it stands on.
std::uint32_t HexField(std::string_view text, std::size_t lineNumber) {
  std::uint32_t value = 0;
  for (char c : text) {
    int d = HexDigit(c);
    if (d < 0)
      throw EConvertError(
          fmt::sprintf("Строка %d: '$%s' - неверное целое значение", lineNumber, std::string(text)));
    value = value * 16 + static_cast<std::uint32_t>(d);
  }
  return value;
}

// Bytes no text file holds: NUL and the control characters other than the line and page
// layout ones (Ctrl-Z ends old DOS text). Any of them means a binary file (an ELF, a .bin
// image picked by mistake), which is better named as such than by its first odd field.
bool LooksBinary(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 32 || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0x1A) continue;
    return true;
  }
  return false;
}

std::string DecodeData(std::string_view hex, std::size_t lineNumber) {
  std::string bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]);
    int lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0)
      throw Exception(fmt::sprintf("Строка %d: данные записи не шестнадцатеричные", lineNumber));
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return bytes;
}

// The data length each address record type must have.
int RequiredByteCount(int type) {
  switch (type) {
    case 1:
      return 0;
    case 2:
    case 4:
      return 2;
    case 3:
    case 5:
      return 4;
    default:
      return -1;
  }
}

// Returns false for a line that is not a record. Everything that makes a record
// untrustworthy is refused here, so a damaged file never gets as far as the flash.
bool ParseLine(const std::string& raw, std::size_t lineNumber, THexLineRec& rec) {
  std::string line = Trim(raw);
  if (line.empty() || line[0] != ':') return false;
  if (line.size() < kMinRecordLength) throw Exception(fmt::sprintf("Строка %d: запись обрезана", lineNumber));
  std::string_view text(line);
  rec.ByteCount = static_cast<std::uint8_t>(HexField(text.substr(1, 2), lineNumber));
  rec.Address = static_cast<std::uint16_t>(HexField(text.substr(3, 4), lineNumber));
  rec.RecordType = static_cast<std::uint8_t>(HexField(text.substr(7, 2), lineNumber));
  rec.LineNumber = lineNumber;
  std::size_t expected = kMinRecordLength + 2u * rec.ByteCount;
  if (line.size() < expected) throw Exception(fmt::sprintf("Строка %d: запись обрезана", lineNumber));
  if (line.size() > expected)
    throw Exception(fmt::sprintf("Строка %d: лишние символы в конце записи", lineNumber));
  rec.Data = line.substr(9, 2u * rec.ByteCount);
  std::string bytes = DecodeData(rec.Data, lineNumber);
  std::uint32_t checksum = HexField(text.substr(expected - 2, 2), lineNumber);
  unsigned sum = rec.ByteCount + (rec.Address >> 8) + (rec.Address & 0xFF) + rec.RecordType;
  for (char b : bytes) sum += static_cast<unsigned char>(b);
  unsigned want = (0x100 - (sum & 0xFF)) & 0xFF;
  if (checksum != want)
    throw Exception(fmt::sprintf("Строка %d: неверная контрольная сумма записи (%02X, должна быть %02X)",
                                 lineNumber, checksum, want));
  if (rec.RecordType > 5)
    throw Exception(fmt::sprintf("Строка %d: неизвестный тип записи %d", lineNumber, rec.RecordType));
  if (rec.RecordType != 0 && RequiredByteCount(rec.RecordType) != rec.ByteCount)
    throw Exception(fmt::sprintf("Строка %d: неверная длина записи типа %d", lineNumber, rec.RecordType));
  return true;
}

struct TChunk {
  std::uint64_t Address = 0;
  std::string Bytes;
  std::size_t LineNumber = 0;
  THexBlockRec Context;  // start addresses and segment in effect; Data unused
};

std::vector<TChunk> CollectChunks(const THexLines& lines) {
  std::vector<TChunk> chunks;
  std::uint64_t base = 0;
  THexBlockRec context;
  for (std::size_t i = 0; i < lines.Count(); ++i) {
    const THexLineRec& rec = lines[i].Rec;
    std::uint32_t value = rec.RecordType == 0 ? 0 : HexField(rec.Data, rec.LineNumber);
    switch (rec.RecordType) {
      case 0: {
        if (rec.ByteCount == 0) break;
        TChunk chunk{base + rec.Address, DecodeData(rec.Data, rec.LineNumber), rec.LineNumber, context};
        if (chunk.Address + chunk.Bytes.size() > kAddressLimit)
          throw Exception(
              fmt::sprintf("Строка %d: данные выходят за пределы адресного пространства", rec.LineNumber));
        chunks.push_back(std::move(chunk));
        break;
      }
      case 2:
        base = static_cast<std::uint64_t>(value) << 4;
        context.ExtendedSegmentAddress = static_cast<std::int32_t>(value);
        break;
      case 3:
        context.StartSegmentAddress = static_cast<std::int32_t>(value);
        break;
      case 4:
        base = static_cast<std::uint64_t>(value) << 16;
        context.ExtendedSegmentAddress = 0;
        break;
      case 5:
        context.StartLinearAddress = static_cast<std::int32_t>(value);
        break;
      default:
        break;
    }
  }
  return chunks;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace

THexLine& THexLines::Add(const THexLineRec& rec) {
  items_.push_back(std::make_unique<THexLine>(rec));
  return *items_.back();
}

THexBlock& THexBlocks::Add(const THexBlockRec& rec) {
  items_.push_back(std::make_unique<THexBlock>(rec));
  return *items_.back();
}

std::size_t THexBlocks::TotalSize() const {
  std::size_t total = 0;
  for (const auto& b : items_) total += b->Rec.Data.size();
  return total;
}

void THexBlocks::AlignToPages(std::uint32_t pageSize) {
  std::vector<std::unique_ptr<THexBlock>> aligned;
  std::uint64_t alignedEnd = 0;
  for (auto& item : items_) {
    THexBlockRec& rec = item->Rec;
    if (rec.Data.empty()) continue;
    std::uint64_t address = static_cast<std::uint32_t>(rec.BaseAddress);
    std::uint64_t start = address - address % pageSize;
    std::uint64_t end = address + rec.Data.size();
    end = (end + pageSize - 1) / pageSize * pageSize;
    if (!aligned.empty() && alignedEnd > start) {
      // Shares a page with the block before: one block, so that page is written once.
      std::string& data = aligned.back()->Rec.Data;
      std::uint64_t from = static_cast<std::uint32_t>(aligned.back()->Rec.BaseAddress);
      data.resize(address - from, '\xFF');
      data += rec.Data;
      data.resize(std::max(end, alignedEnd) - from, '\xFF');
    } else {
      THexBlockRec copy = rec;
      copy.BaseAddress = static_cast<std::int32_t>(static_cast<std::uint32_t>(start));
      copy.Data = std::string(address - start, '\xFF') + rec.Data;
      copy.Data.resize(end - start, '\xFF');
      aligned.push_back(std::make_unique<THexBlock>(copy));
    }
    alignedEnd = std::max(alignedEnd, end);
  }
  items_ = std::move(aligned);
}

THexFile::THexFile() : lines_(std::make_unique<THexLines>()), blocks_(std::make_unique<THexBlocks>()) {}

THexFile::~THexFile() = default;

void THexFile::Clear() {
  lines_->Clear();
  blocks_->Clear();
}

void THexFile::LoadFromFile(const std::string& fileName) {
  const std::string text = ReadFileBytes(fileName);
  if (LooksBinary(text)) {
    Clear();
    throw Exception(fmt::sprintf(kHexBinaryFmt, fileName));
  }
  LoadFromLines(SplitLines(text));
}

void THexFile::LoadFromLines(const std::vector<std::string>& lines) {
  Clear();
  bool endOfFile = false;
  for (std::size_t i = 0; i < lines.size() && !endOfFile; ++i) {
    THexLineRec rec;
    if (!ParseLine(lines[i], i + 1, rec)) continue;
    lines_->Add(rec);
    endOfFile = rec.RecordType == 1;
  }
  if (lines_->Count() == 0) throw Exception(kHexFormatMessage);
  if (!endOfFile) throw Exception("Нет записи конца файла: файл неполный");
  BuildBlocks();
}

void THexFile::BuildBlocks() {
  std::vector<TChunk> chunks = CollectChunks(*lines_);
  std::stable_sort(chunks.begin(), chunks.end(),
                   [](const TChunk& a, const TChunk& b) { return a.Address < b.Address; });
  for (std::size_t i = 1; i < chunks.size(); ++i) {
    const TChunk& prev = chunks[i - 1];
    if (chunks[i].Address < prev.Address + prev.Bytes.size()) {
      std::size_t first = std::min(prev.LineNumber, chunks[i].LineNumber);
      std::size_t second = std::max(prev.LineNumber, chunks[i].LineNumber);
      throw Exception(fmt::sprintf("Строка %d: данные по адресу 0x%.8X перекрывают данные строки %d", second,
                                   static_cast<unsigned>(chunks[i].Address), first));
    }
  }
  THexBlock* current = nullptr;
  std::uint64_t currentEnd = 0;
  for (TChunk& chunk : chunks) {
    if (current == nullptr || chunk.Address != currentEnd) {
      THexBlockRec rec = chunk.Context;
      rec.BaseAddress = static_cast<std::int32_t>(static_cast<std::uint32_t>(chunk.Address));
      current = &blocks_->Add(rec);
    }
    current->Rec.Data += chunk.Bytes;
    currentEnd = chunk.Address + chunk.Bytes.size();
  }
}

}  // namespace quorvel
