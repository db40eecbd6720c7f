#include "Session.h"

#include "AppDoc.h"
#include "AppManager.h"
#include "Ortenas.h"
#include "Paths.h"

#include <fmt/printf.h>

#include <exception>

namespace quorvel {

namespace {
constexpr const char* kLoadErrorFormat = "Файл %s прочитан не полностью: %s";
constexpr const char* kBackupNote = "Копия прежнего файла: %s";
}  // namespace

TSession::TSession(TOrtena& facade, TLogFile& log, const std::string& home) : facade_(facade), home_(home) {
  EnsureDirectory(home_);
  settings_ = std::make_unique<TAppManager>(facade_.Driver(), log, home_ + "/settings.xml");
  // The front end decides when to save (after its run, with its own one-off values put back).
  settings_->SetAutoSave(false);
  doc_ = std::make_unique<TAppDoc>(home_ + "/" + kAppDocFileName);
  doc_->SaveOnDestroy = false;
  doc_->PaymentSystems().SupportServer = settings_->SupportServer();
  facade_.SetSupportServer(settings_->SupportServer());
}

TSession::~TSession() { ClosePort(); }

std::vector<std::string> TSession::LoadNotices() const {
  std::vector<std::string> notices;
  if (!settings_->LoadError().empty())
    notices.push_back(fmt::sprintf(kLoadErrorFormat, settings_->SettingsFileName(), settings_->LoadError()));
  if (!doc_->LoadError().empty())
    notices.push_back(fmt::sprintf(kLoadErrorFormat, doc_->GetFileName(), doc_->LoadError()));
  return notices;
}

std::vector<std::string> TSession::SaveNotices() const {
  std::vector<std::string> notices;
  for (const std::string* copy : {&doc_->BackupFileName(), &settings_->BackupFileName()})
    if (!copy->empty()) notices.push_back(fmt::sprintf(kBackupNote, *copy));
  return notices;
}

void TSession::Save() {
  std::exception_ptr first;
  try {
    SaveDocument();
  } catch (...) {
    first = std::current_exception();
  }
  try {
    SaveSettings();
  } catch (...) {
    if (!first) first = std::current_exception();
  }
  if (first) std::rethrow_exception(first);
}

void TSession::SaveDocument() { doc_->Save(); }

void TSession::SaveSettings() { settings_->SaveSettings(); }

void TSession::ClosePort() { facade_.Driver().ClosePort(); }

}  // namespace quorvel
