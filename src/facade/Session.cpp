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

std::string TSession::LoadNotice() const {
  if (doc_->LoadError().empty()) return {};
  return fmt::sprintf(kLoadErrorFormat, doc_->GetFileName(), doc_->LoadError());
}

std::string TSession::SaveNotice() const {
  return doc_->BackupFileName().empty() ? std::string() : fmt::sprintf(kBackupNote, doc_->BackupFileName());
}

void TSession::Save() {
  std::exception_ptr first;
  try {
    doc_->Save();
  } catch (...) {
    first = std::current_exception();
  }
  try {
    settings_->SaveSettings();
  } catch (...) {
    if (!first) first = std::current_exception();
  }
  if (first) std::rethrow_exception(first);
}

void TSession::ClosePort() { facade_.Driver().ClosePort(); }

}  // namespace quorvel
