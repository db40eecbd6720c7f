#include "TextFiles.h"

#include "Errors.h"
#include "FileText.h"
#include "TextUtils.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fmt/printf.h>
#include <string_view>

namespace quorvel::cli {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr const char* kNotUtf8Message = "Файл %s не является текстом UTF-8 (строка %d)";

// Length of the well-formed UTF-8 sequence at text[i] (no overlong forms, surrogates or
// code points past U+10FFFF), or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t len = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF)
    len = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    len = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    len = 4;
  else
    return 0;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (i + len > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < len; ++k)
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  return len;
}

}  // namespace

void CheckUtf8Text(std::string_view bytes, const std::string& fileName) {
  int line = 1;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t len = Utf8SequenceAt(bytes, i);
    if (len == 0) throw Exception(fmt::sprintf(kNotUtf8Message, fileName, line));
    // CR LF, CR and LF each end one line.
    if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) ++line;
    if (bytes[i] == '\r') ++line;
    i += len;
  }
}

std::string ReadUtf8TextFile(const std::string& fileName) {
  std::string bytes = ReadTextFile(fileName);
  CheckUtf8Text(bytes, fileName);
  return bytes;
}

std::string ReadTextFile(const std::string& fileName) {
  try {
    return ReadFileText(fileName);
  } catch (const Exception& e) {
    if (std::string_view(e.what()) == kEmptyFileMessage) return {};
    throw;
  }
}

std::string FileToCrLfText(std::string bytes) {
  if (bytes.starts_with(kUtf8Bom)) bytes.erase(0, kUtf8Bom.size());
  std::string out;
  for (const std::string& line : SplitLines(bytes)) {
    out.append(line);
    out += "\r\n";
  }
  return out;
}

std::string FirstLines(const std::string& crLfText, int count, int* dropped) {
  std::vector<std::string> lines = SplitLines(crLfText);
  const std::size_t kept = static_cast<std::size_t>(std::max(count, 0));
  if (dropped != nullptr) *dropped = lines.size() > kept ? static_cast<int>(lines.size() - kept) : 0;
  if (lines.size() > kept) lines.resize(kept);
  return CrLfText(lines);
}

std::string CrLfToFileText(const std::string& text) {
  std::string out;
  for (const std::string& line : SplitLines(text)) {
    out.append(line);
    out += '\n';
  }
  return out;
}

void WriteOutput(const std::string& fileName, const std::string& bytes) {
  if (!fileName.empty()) {
    WriteFileText(fileName, bytes, TWriteKind::Output);
    return;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    throw Exception("Ошибка записи в стандартный вывод");
  std::fflush(stdout);
}

}  // namespace quorvel::cli
