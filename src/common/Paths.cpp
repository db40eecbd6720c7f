#include "Paths.h"

#include "Errors.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

#include <fmt/format.h>

namespace quorvel {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
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

}  // namespace quorvel
