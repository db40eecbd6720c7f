#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

/// The Cyberplat point codes: dealer (SD), point (AP) and operator (OP), strings of digits.
/// Used from the user-interface thread only.
class TCyberplatPoint {
 public:
  std::string SD;
  std::string AP;
  std::string OP;
};

/// KeyType of a secret key (marker "NM" in the block's first line).
inline constexpr int kCyberplatSecretKey = 1;
/// KeyType of a public key (marker "NS").
inline constexpr int kCyberplatPublicKey = 2;

/// Text of the error for a key file without any key block; followed by ", " and the file name.
inline constexpr const char* kNoKeysInFileMessage = "В файле ключи не найдены";
/// Text of the error for a key of another type than the one asked for.
inline constexpr const char* kWrongKeyTypeMessage = "Файл содержит ключ другого типа";

/// One key of a Cyberplat key file. The file is windows-1251 text; the fields hold it as UTF-8
/// (the conversion is lossless both ways), and character positions count characters.
/// Used from the user-interface thread only.
class TCyberplatKey {
 public:
  std::string Key;      ///< key body: the lines between its begin and end lines, joined
  std::string Sig;      ///< signature body, likewise
  std::string KeyNum;   ///< second line from character 21, trailing blanks removed
  std::string SigNum;   ///< third line from character 21, trailing blanks removed
  std::string KeyName;  ///< second line's first 20 characters, trailing blanks removed
  std::string SigName;  ///< third line's first 20 characters, trailing blanks removed
  int KeyType = 0;      ///< kCyberplatSecretKey, kCyberplatPublicKey or 0

  /// Copies all seven fields from source.
  void Assign(const TCyberplatKey& source);

  /// Clears all fields, then parses one key block starting at lines[index] and moves index
  /// past it. Returns false, consuming nothing, when fewer than four lines remain. Line 0 of
  /// the block gives KeyType (characters 11-12: "NM" 1, "NS" 2), lines 1 and 2 the names and
  /// numbers; later lines switch modes ("BEGIN SIGNATURE" -> signature, other "BEGIN" -> key,
  /// "END" -> none) or are appended to Key or Sig; a plain line in mode none is left for the
  /// next block. A block always consumes at least three lines.
  bool ParseBlock(const std::vector<std::string>& lines, std::size_t& index);

  /// Reads the key file and takes its last key. Raises Exception "<kNoKeysInFileMessage>,
  /// <fileName>" when the file holds no block, kWrongKeyTypeMessage when the last key's
  /// KeyType differs from wantedType, and the file error when it cannot be read; this key is
  /// unchanged in every failure.
  void LoadFromFile(const std::string& fileName, int wantedType);
};

/// The keys of one Cyberplat key file, in file order; owns them.
/// Used from the user-interface thread only.
class TCyberplatKeys {
 public:
  /// Appends a new empty key and returns it.
  TCyberplatKey& Add();
  /// Frees every key.
  void Clear() { items_.clear(); }
  std::size_t Count() const { return items_.size(); }
  /// The key at index (0 <= index < Count()).
  const TCyberplatKey& operator[](std::size_t index) const { return *items_.at(index); }

  /// Replaces the keys with those of the windows-1251 text, one per block (see ParseBlock).
  void LoadFromText(std::string_view bytes);

  /// Reads the file and replaces the keys with its blocks. Raises the file error (and keeps
  /// the keys) when it cannot be read; an empty file gives no keys.
  void LoadFromFile(const std::string& fileName);

 private:
  std::vector<std::unique_ptr<TCyberplatKey>> items_;
};

}  // namespace quorvel
