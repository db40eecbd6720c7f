#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quorvel {

/// One record of an Intel HEX file as it stands in the text.
struct THexLineRec {
  std::uint8_t ByteCount = 0;   ///< data length in bytes
  std::uint16_t Address = 0;    ///< the record's 16-bit load offset
  std::uint8_t RecordType = 0;  ///< 0 data, 1 end of file, 2..5 address records
  std::string Data;             ///< the data field as hex text (ByteCount * 2 characters)
  std::size_t LineNumber = 0;   ///< 1-based line of the file the record came from
};

/// A record owned by THexLines.
class THexLine {
 public:
  explicit THexLine(const THexLineRec& rec) : Rec(rec) {}
  THexLineRec Rec;
};

/// The records of a file in file order; owns its items.
class THexLines {
 public:
  /// A new record appended at the end.
  THexLine& Add(const THexLineRec& rec);
  void Clear() { items_.clear(); }
  std::size_t Count() const { return items_.size(); }
  /// index < Count().
  THexLine& operator[](std::size_t index) { return *items_.at(index); }
  const THexLine& operator[](std::size_t index) const { return *items_.at(index); }

 private:
  std::vector<std::unique_ptr<THexLine>> items_;
};

/// One run of contiguous flash bytes.
struct THexBlockRec {
  std::string Data;                         ///< the block's bytes
  std::int32_t StartLinearAddress = 0;      ///< type 5 value in effect when the block began, else 0
  std::int32_t StartSegmentAddress = 0;     ///< type 3 value in effect when the block began, else 0
  std::int32_t ExtendedSegmentAddress = 0;  ///< type 2 value (as written) in effect for its first byte
  std::int32_t BaseAddress = 0;             ///< the flash address of the block's first byte
};

/// A block owned by THexBlocks.
class THexBlock {
 public:
  explicit THexBlock(const THexBlockRec& rec) : Rec(rec) {}
  THexBlockRec Rec;
};

/// Blocks in ascending address order; owns its items. Users may change a block's data
/// (the writer stores the patched vector table back).
class THexBlocks {
 public:
  /// A new block appended at the end.
  THexBlock& Add(const THexBlockRec& rec);
  void Clear() { items_.clear(); }
  std::size_t Count() const { return items_.size(); }
  /// index < Count().
  THexBlock& operator[](std::size_t index) { return *items_.at(index); }
  const THexBlock& operator[](std::size_t index) const { return *items_.at(index); }

  /// Widens every block with 0xFF bytes so that it starts on a multiple of pageSize and
  /// holds whole pages; blocks that come to share a page are joined (the gap filled with
  /// 0xFF), so no page is ever written twice. pageSize > 0.
  void AlignToPages(std::uint32_t pageSize);
  /// Sum of the data lengths of all blocks.
  std::size_t TotalSize() const;

 private:
  std::vector<std::unique_ptr<THexBlock>> items_;
};

/// Flash page size of the writer, in bytes.
inline constexpr std::uint32_t kHexPageSize = 1024;

/// An Intel HEX image: its records and the memory blocks they describe. Data is placed at
/// its real address (record offset plus the base of the last type 4 or type 2 record);
/// a block is a run of contiguous addresses. The whole file is checked before anything is
/// kept: record checksums, record lengths, the end-of-file record, overlapping data.
/// Threads: one thread at a time.
class THexFile {
 public:
  THexFile();
  ~THexFile();

  /// Reads the file as lines of 8-bit text and loads them. Raises Exception naming the
  /// file when it cannot be read or holds bytes no text file holds (kHexBinaryFmt), and
  /// the errors of LoadFromLines.
  void LoadFromFile(const std::string& fileName);
  /// Clears both lists and parses every line; lines that do not begin with ':' are
  /// skipped, reading stops at the end-of-file record. Raises Exception
  /// "Неверный формат файла" when no record was found, EConvertError naming the line for a
  /// field that is not hexadecimal, and Exception naming the line for a wrong checksum, a cut or
  /// overlong record, an unknown record type, overlapping data, or when the end-of-file
  /// record is missing. After a failure the blocks are empty.
  void LoadFromLines(const std::vector<std::string>& lines);
  /// Empties both lists.
  void Clear();

  THexLines& Lines() { return *lines_; }
  const THexLines& Lines() const { return *lines_; }
  THexBlocks& Blocks() { return *blocks_; }
  const THexBlocks& Blocks() const { return *blocks_; }

 private:
  void BuildBlocks();

  std::unique_ptr<THexLines> lines_;
  std::unique_ptr<THexBlocks> blocks_;
};

/// Message of a file without any record.
inline constexpr const char* kHexFormatMessage = "Неверный формат файла";
/// Message of a binary file given as a HEX file; %s is the file name.
inline constexpr const char* kHexBinaryFmt = "Файл %s не является файлом HEX (это двоичный файл)";

}  // namespace quorvel
