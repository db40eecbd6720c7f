#include "AppManager.h"

#include "AppManagerXml.h"
#include "Errors.h"
#include "LogFile.h"
#include "ModemDriver.h"
#include "Paths.h"
#include "RecordUrl.h"

#include <stdexcept>

namespace quorvel {

namespace {

TAppManager* registered = nullptr;

}  // namespace

TAppManager::TAppManager(TModemDriver& driver, TLogFile& log, std::string settingsFileName)
    : driver_(driver), log_(log), settingsFileName_(std::move(settingsFileName)) {
  LoadSettings();
}

TAppManager::~TAppManager() {
  if (autoSave_) TrySaveSettings();
  if (registered == this) registered = nullptr;
}

int TAppManager::PortNumber() const { return driver_.PortNumber(); }

void TAppManager::SetPortNumber(int number) { driver_.SetPortNumber(number); }

std::string TAppManager::PortName() const { return driver_.PortName(); }

void TAppManager::SetPortName(const std::string& path) { driver_.SetPortName(path); }

int TAppManager::MaxRetryCount() const { return driver_.MaxRetryCount(); }

void TAppManager::SetMaxRetryCount(int value) { driver_.SetMaxRetryCount(value); }

void TAppManager::SetRecord(const std::string& location) {
  if (UrlHasPassword(location)) throw Exception(kRecordPasswordNotStored);
  record_ = location;
}

std::string TAppManager::DefaultSettingsFileName() { return ProgramHome() + "/settings.xml"; }

std::string TAppManager::DefaultLogFileName() { return ProgramHome() + "/Quorvel.log"; }

void TAppManager::LoadSettings() {
  loadError_ = AppManagerXml().Load(*this, settingsFileName_);
  backupPending_ = !loadError_.empty();
}

void TAppManager::SaveSettings() {
  if (backupPending_) {
    backupFileName_ = MakeBackupCopy(settingsFileName_);
    backupPending_ = false;
  }
  AppManagerXml().Save(*this, settingsFileName_);
}

bool TAppManager::TrySaveSettings() noexcept {
  try {
    SaveSettings();
    return true;
  } catch (...) {
    return false;
  }
}

void RegisterAppManager(TAppManager* manager) { registered = manager; }

TAppManager& AppManager() {
  if (!registered) throw std::logic_error("AppManager: no application manager is registered");
  return *registered;
}

}  // namespace quorvel
