#include "AppManagerXml.h"

#include "AppManager.h"
#include "LogFile.h"
#include "Paths.h"
#include "XmlItem.h"
#include "xmlParser.h"

#include <sys/stat.h>
#include <exception>
#include <filesystem>

namespace quorvel {

namespace {

// Only a regular file can hold settings; anything else in its place (a folder) is left for
// the save to report.
bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The optional elements added after the four of the original layout: a file written
// before them has to keep loading, so their absence is not an error.
std::string OptionalText(TXmlItem& driver, const char* name) {
  TXmlItem* item = driver.Find(name);
  return item ? item->Text() : std::string();
}

// Applies the values in file order; the first one that fails raises and leaves the later
// ones alone.
void Apply(TAppManager& manager, TXmlItem& driver) {
  manager.SetPortNumber(driver.GetInt(kSettingsPortNumber));
  // Setting the number clears any device path, so the path comes after it.
  manager.SetPortName(OptionalText(driver, kSettingsPortName));
  manager.SetMaxRetryCount(driver.GetInt(kSettingsMaxRetryCount));
  manager.Log().SetEnabled(driver.GetBool(kSettingsLogEnabled));
  manager.Log().SetFileName(driver.GetText(kSettingsLogFileName));
  const std::string server = OptionalText(driver, kSettingsSupportServer);
  if (!server.empty()) manager.SetSupportServer(server);
  manager.SetRecord(OptionalText(driver, kSettingsRecord));
}

void Build(TXmlParser& parser, TAppManager& manager) {
  parser.SetRootName(kSettingsRootElement);
  TXmlItem* driver = parser.Root()->Add(kSettingsDriverElement);
  driver->AddInt(kSettingsPortNumber, manager.PortNumber());
  driver->AddText(kSettingsPortName, manager.PortName());
  driver->AddInt(kSettingsMaxRetryCount, manager.MaxRetryCount());
  driver->AddBool(kSettingsLogEnabled, manager.Log().Enabled());
  driver->AddText(kSettingsLogFileName, manager.Log().FileName());
  driver->AddText(kSettingsSupportServer, manager.SupportServer());
  if (!manager.Record().empty()) driver->AddText(kSettingsRecord, manager.Record());
}

}  // namespace

std::string TAppManagerXml::Load(TAppManager& manager, const std::string& path) const {
  if (path.empty() || !FileExists(path)) return {};
  // A damaged settings file must never keep the program from starting: what was applied
  // stays, the rest keeps its defaults, and the caller learns why (to keep a copy).
  try {
    TXmlParser parser;
    parser.LoadFromFile(path);
    TXmlItem* driver = parser.Root()->Find(kSettingsDriverElement);
    if (!driver) return std::string(kXmlElementNotFound) + ", " + kSettingsDriverElement;
    Apply(manager, *driver);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

void TAppManagerXml::Save(TAppManager& manager, const std::string& path) const {
  if (path.empty()) return;
  TXmlParser parser;
  Build(parser, manager);
  // The program's folder does not exist before the first run that saves anything.
  const std::string folder = std::filesystem::path(path).parent_path().string();
  if (!folder.empty()) EnsureDirectory(folder);
  // The old file is replaced in one step, never deleted first: a failed write keeps it.
  parser.SaveToFile(path);
}

std::string TAppManagerXml::Text(TAppManager& manager) const {
  TXmlParser parser;
  Build(parser, manager);
  return parser.SaveToText();
}

TAppManagerXml& AppManagerXml() {
  static TAppManagerXml instance;
  return instance;
}

}  // namespace quorvel
