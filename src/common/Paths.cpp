#include "Paths.h"

#include "Errors.h"
#include "FileText.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pwd.h>
#include <unistd.h>

#include <fmt/format.h>

namespace quorvel {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

// The file's bytes, an empty file included (ReadFileText refuses that one).
std::string ReadBytes(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw Exception(std::strerror(errno ? errno : ENOENT));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Exception(std::strerror(errno ? errno : EIO));
  return bytes;
}

}  // namespace

std::string ProgramHome() {
  if (auto home = Env("QUORVEL_HOME"); !home.empty()) return home;
  if (auto xdg = Env("XDG_CONFIG_HOME"); !xdg.empty()) return xdg + "/quorvel";
  std::string home = Env("HOME");
  if (home.empty()) {
    if (const passwd* pw = getpwuid(getuid())) home = pw->pw_dir;
  }
  return home + "/.config/quorvel";
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  // Without a current folder (deleted under the process) the path stays as it was given.
  if (ec) return path;
  return absolute.lexically_normal().string();
}

void EnsureDirectory(const std::string& path) {
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) throw Exception(fmt::format("Не удалось создать папку \"{}\": {}", path, ec.message()));
}

std::string FreeBackupName(const std::string& fileName) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = fileName + "." + stamp;
  std::string name = base + ".bak";
  std::error_code ec;  // a folder that cannot be looked at makes the write fail with its reason
  for (int n = 2; std::filesystem::exists(name, ec) && n < 10000; ++n)
    name = base + "-" + std::to_string(n) + ".bak";
  return name;
}

std::string MakeBackupCopy(const std::string& fileName) {
  std::error_code ec;
  if (std::filesystem::status(fileName, ec).type() == std::filesystem::file_type::not_found) return {};
  const std::string name = FreeBackupName(fileName);
  try {
    // A copy of the document holds the same keys and passwords: owner-only, like it.
    WriteFileText(name, ReadBytes(fileName), TWriteKind::Document, TFileAccess::Secret);
  } catch (const Exception& e) {
    throw Exception(fmt::format("{} {}: {}", kBackupCopyErrorMessage, name, e.what()));
  }
  return name;
}

}  // namespace quorvel
