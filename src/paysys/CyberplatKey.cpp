#include "CyberplatKey.h"

#include "Base64.h"
#include "Cp1251.h"
#include "Errors.h"
#include "FileText.h"
#include "TextUtils.h"

#include <fmt/format.h>

namespace quorvel {

namespace {

constexpr std::size_t kMinBlockLines = 4;  // type line, key name line, sig name line, body
constexpr std::size_t kTypeColumn = 10;    // characters 11 and 12, counting from 1
constexpr std::size_t kNameWidth = 20;     // name in characters 1..20, number from 21
constexpr std::string_view kSecretMarker = "NM";
constexpr std::string_view kPublicMarker = "NS";

// Byte offset of the character at position `chars` of a UTF-8 text (or its size). Works on
// any bytes: a character starts at every byte that is not a continuation byte.
std::size_t CharOffset(std::string_view text, std::size_t chars) {
  std::size_t i = 0;
  while (i < text.size() && chars > 0) {
    ++i;
    while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) ++i;
    --chars;
  }
  return i;
}

std::string TrimRight(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
  return std::string(text.substr(0, end));
}

// Characters `from` (0-based) .. from + count - 1; shorter when the text ends first.
std::string_view CharRange(std::string_view text, std::size_t from, std::size_t count) {
  const std::size_t begin = CharOffset(text, from);
  const std::size_t end = begin + CharOffset(text.substr(begin), count);
  return text.substr(begin, end - begin);
}

int TypeOf(std::string_view firstLine) {
  const std::string_view marker = CharRange(firstLine, kTypeColumn, 2);
  if (marker == kSecretMarker) return kCyberplatSecretKey;
  if (marker == kPublicMarker) return kCyberplatPublicKey;
  return 0;
}

void SplitName(std::string_view line, std::string& name, std::string& number) {
  const std::size_t cut = CharOffset(line, kNameWidth);
  name = TrimRight(line.substr(0, cut));
  number = TrimRight(line.substr(cut));
}

enum class Mode { None, Key, Signature };

}  // namespace

void TCyberplatKey::Assign(const TCyberplatKey& source) {
  Key = source.Key;
  Sig = source.Sig;
  KeyNum = source.KeyNum;
  SigNum = source.SigNum;
  KeyName = source.KeyName;
  SigName = source.SigName;
  KeyType = source.KeyType;
}

bool TCyberplatKey::ParseBlock(const std::vector<std::string>& lines, std::size_t& index) {
  Assign(TCyberplatKey());
  if (index > lines.size() || lines.size() - index < kMinBlockLines) return false;
  KeyType = TypeOf(lines[index++]);
  SplitName(lines[index++], KeyName, KeyNum);
  SplitName(lines[index++], SigName, SigNum);
  Mode mode = Mode::None;
  while (index < lines.size()) {
    const std::string& line = lines[index++];
    if (line.find("BEGIN SIGNATURE") != std::string::npos) {
      mode = Mode::Signature;
    } else if (line.find("BEGIN") != std::string::npos) {
      mode = Mode::Key;
    } else if (line.find("END") != std::string::npos) {
      mode = Mode::None;
    } else if (mode == Mode::Key) {
      Key += line;
    } else if (mode == Mode::Signature) {
      Sig += line;
    } else {
      --index;  // the first line of the next block
      break;
    }
  }
  return true;
}

void TCyberplatKey::LoadFromFile(const std::string& fileName, int wantedType) {
  TCyberplatKeys keys;
  keys.LoadFromFile(fileName);
  if (keys.Count() == 0) {
    throw Exception(fmt::format("{}, {}", kNoKeysInFileMessage, fileName));
  }
  const TCyberplatKey& last = keys[keys.Count() - 1];
  if (last.KeyType != wantedType) throw Exception(kWrongKeyTypeMessage);
  Assign(last);
}

TCyberplatKey& TCyberplatKeys::Add() {
  items_.push_back(std::make_unique<TCyberplatKey>());
  return *items_.back();
}

void TCyberplatKeys::LoadFromText(std::string_view bytes) {
  const std::vector<std::string> lines = SplitLines(Cp1251ToUtf8(bytes));
  Clear();
  TCyberplatKey block;
  std::size_t index = 0;
  while (block.ParseBlock(lines, index)) Add().Assign(block);
}

void TCyberplatKeys::LoadFromFile(const std::string& fileName) {
  // an empty key file is a file without keys, not a read failure
  LoadFromText(ReadFileBytes(fileName));
}

}  // namespace quorvel
