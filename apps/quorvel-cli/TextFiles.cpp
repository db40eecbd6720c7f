#include "TextFiles.h"

#include "Errors.h"
#include "FileText.h"

#include <cstdio>
#include <string_view>

namespace quorvel::cli {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Splits at CR LF, CR or LF; a final line break adds no empty line.
template <class Emit>
void ForEachLine(std::string_view text, Emit emit) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    emit(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) emit(text.substr(start));
}

}  // namespace

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
  ForEachLine(bytes, [&out](std::string_view line) {
    out.append(line);
    out += "\r\n";
  });
  return out;
}

std::string FirstLines(const std::string& crLfText, int count, int* dropped) {
  std::string out;
  int lines = 0;
  ForEachLine(crLfText, [&](std::string_view line) {
    if (lines++ >= count) return;
    out.append(line);
    out += "\r\n";
  });
  if (dropped != nullptr) *dropped = lines > count ? lines - count : 0;
  return out;
}

std::string CrLfToFileText(const std::string& text) {
  std::string out;
  ForEachLine(text, [&out](std::string_view line) {
    out.append(line);
    out += '\n';
  });
  return out;
}

void WriteOutput(const std::string& fileName, const std::string& bytes) {
  if (!fileName.empty()) {
    WriteFileText(fileName, bytes);
    return;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    throw Exception("Ошибка записи в стандартный вывод");
  std::fflush(stdout);
}

}  // namespace quorvel::cli
