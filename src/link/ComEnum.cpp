#include "ComEnum.h"

#include "TextUtils.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>

namespace quorvel {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLegacyPrefix = "ttyS";  // the ports old settings call COM1, COM2, ...
constexpr const char* kPortTypeUnknown = "0";  // serial-core PORT_UNKNOWN: no UART found

std::optional<std::string> ReadSmallFile(const fs::path& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return Trim(text.str());
}

// The trailing decimal number of a name, if any: "ttyUSB10" -> ("ttyUSB", 10).
std::pair<std::string, std::optional<long>> SplitNumber(const std::string& name) {
  std::size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  if (digits == name.size() || name.size() - digits > 9) return {name, std::nullopt};
  return {name.substr(0, digits), std::stol(name.substr(digits))};
}

std::optional<int> LegacyNumber(const std::string& name) {
  const auto [stem, number] = SplitNumber(name);
  if (stem != kLegacyPrefix || !number) return std::nullopt;
  return static_cast<int>(*number) + 1;
}

bool NaturalLess(const std::string& a, const std::string& b) {
  const auto [stemA, numA] = SplitNumber(a);
  const auto [stemB, numB] = SplitNumber(b);
  return std::tie(stemA, numA, a) < std::tie(stemB, numB, b);
}

bool IsSerialDevice(const fs::path& entry) {
  std::error_code ec;
  if (!fs::exists(entry / "device", ec)) return false;
  const std::optional<std::string> type = ReadSmallFile(entry / "type");
  return !type || *type != kPortTypeUnknown;
}

// Node name -> the first by-id link name (in name order) that points at it.
std::map<std::string, std::string> ReadableNames(const fs::path& byId) {
  std::map<std::string, std::string> names;
  std::vector<fs::path> links;
  std::error_code ec;
  for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
    links.push_back(it->path());
  }
  std::sort(links.begin(), links.end());
  for (const fs::path& link : links) {
    const fs::path target = fs::read_symlink(link, ec);
    if (ec) continue;
    names.emplace(target.filename().string(), link.filename().string());
  }
  return names;
}

}  // namespace

std::vector<TComPortInfo> EnumComPorts(const std::string& sysClassTty, const std::string& devRoot) {
  std::vector<TComPortInfo> ports;
  std::error_code ec;
  for (fs::directory_iterator it(sysClassTty, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const std::string path = devRoot + "/" + name;
    if (!IsSerialDevice(it->path()) || !fs::exists(path, ec)) continue;
    ports.push_back({name, path, {}, 0});
  }
  const std::map<std::string, std::string> names = ReadableNames(fs::path(devRoot) / "serial" / "by-id");
  int highestLegacy = 0;
  for (TComPortInfo& port : ports) {
    if (const auto found = names.find(port.Name); found != names.end()) port.Description = found->second;
    if (const std::optional<int> number = LegacyNumber(port.Name)) {
      port.Number = *number;
      highestLegacy = std::max(highestLegacy, *number);
    }
  }
  std::sort(ports.begin(), ports.end(), [](const TComPortInfo& a, const TComPortInfo& b) {
    const bool legacyA = a.Number != 0;
    const bool legacyB = b.Number != 0;
    if (legacyA != legacyB) return legacyA;
    if (legacyA) return a.Number < b.Number;
    return NaturalLess(a.Name, b.Name);
  });
  int next = highestLegacy;
  for (TComPortInfo& port : ports) {
    if (port.Number == 0) port.Number = ++next;
  }
  return ports;
}

std::vector<TComPortInfo> EnumComPorts() { return EnumComPorts("/sys/class/tty", "/dev"); }

}  // namespace quorvel
