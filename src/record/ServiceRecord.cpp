#include "ServiceRecord.h"

#include "Errors.h"
#include "Paths.h"
#include "PgRecord.h"
#include "RecordUrl.h"
#include "SqliteRecord.h"

#include <fmt/format.h>
#include <openssl/evp.h>

#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace quorvel {

std::string ServiceRecordLocation(const std::string& configured) {
  if (!configured.empty()) return configured;
  EnsureDirectory(ProgramHome());
  return (std::filesystem::path(ProgramHome()) / kServiceRecordFileName).string();
}

std::unique_ptr<IServiceRecord> OpenServiceRecord(const std::string& location) {
  if (IsPostgresUrl(location)) return std::make_unique<TPgRecord>(location);
  return std::make_unique<TSqliteRecord>(location);
}

std::string InitServiceRecord(const std::string& location) {
  int found = 0;
  std::string shown = location;
  if (IsPostgresUrl(location)) {
    found = TPgRecord::InitSchema(location);
    shown = UrlWithoutPassword(location);
  } else {
    found = TSqliteRecord(location).FoundVersion();
  }
  if (found == 0)
    return fmt::format("Журнал обслуживания {}: схема версии {} создана", shown, kRecordSchemaVersion);
  if (found == kRecordSchemaVersion)
    return fmt::format("Журнал обслуживания {}: схема уже версии {}", shown, kRecordSchemaVersion);
  return fmt::format("Журнал обслуживания {}: схема обновлена с версии {} до {}", shown, found,
                     kRecordSchemaVersion);
}

std::string RecordTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::array<char, 32> text{};
  std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text.data();
}

std::string RecordTimeLocal(const std::string& utc) {
  std::tm parts{};
  const char* end = strptime(utc.c_str(), "%Y-%m-%dT%H:%M:%SZ", &parts);
  if (end == nullptr || *end != '\0') return utc;
  const std::time_t time = timegm(&parts);
  std::tm local{};
  localtime_r(&time, &local);
  std::array<char, 32> text{};
  std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &local);
  return text.data();
}

std::string Sha256Hex(const std::string& bytes) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1)
    throw Exception("SHA-256 не вычислен");
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) hex += fmt::format("{:02x}", digest[i]);
  return hex;
}

std::string HostName() {
  std::array<char, 256> name{};
  if (gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

std::string UserName() {
  if (const passwd* pw = getpwuid(getuid())) return pw->pw_name;
  if (const char* user = std::getenv("USER")) return user;
  return std::to_string(getuid());
}

}  // namespace quorvel
