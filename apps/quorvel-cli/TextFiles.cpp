#include "TextFiles.h"

#include "Errors.h"
#include "FileText.h"
#include "TextUtils.h"

#include <cstdio>
#include <string_view>

namespace quorvel::cli {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";


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
  for (const std::string& line : SplitLines(bytes)) {
    out.append(line);
    out += "\r\n";
  }
  return out;
}

std::string FirstLines(const std::string& crLfText, int count, int* dropped) {
  std::string out;
  int lines = 0;
  for (const std::string& line : SplitLines(crLfText)) {
    if (lines++ >= count) continue;
    out.append(line);
    out += "\r\n";
  }
  if (dropped != nullptr) *dropped = lines > count ? lines - count : 0;
  return out;
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
    WriteFileText(fileName, bytes);
    return;
  }
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size())
    throw Exception("Ошибка записи в стандартный вывод");
  std::fflush(stdout);
}

}  // namespace quorvel::cli
