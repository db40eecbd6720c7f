#include "Session.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "AppManager.h"
#include "AppManagerXml.h"
#include "Ortenas.h"
#include "Paths.h"

#include <fmt/printf.h>

#include <algorithm>
#include <exception>

namespace quorvel {

namespace {
constexpr const char* kLoadErrorFormat = "Файл %s прочитан не полностью: %s";
constexpr const char* kBackupNote = "Копия прежнего файла: %s";
constexpr const char* kTheirCopyNote = "Файл %s, измененный другой программой, сохранен в копии %s";
constexpr const char* kOurCopyNote = "Значения этой программы, не записанные в файл %s, сохранены в копии %s";
}  // namespace

TSession::TSession(TOrtena& facade, TLogFile& log, const std::string& home, TFolderUse use, int lockWaitMs)
    : facade_(facade), home_(home), use_(use), lockWaitMs_(lockWaitMs) {
  EnsureDirectory(home_);
  // Another program's save must not land between reading a file and taking its stamp.
  auto lock = std::make_unique<TFolderLock>(home_, lockWaitMs_);
  settings_ = std::make_unique<TAppManager>(facade_.Driver(), log, home_ + "/settings.xml");
  // The front end decides when to save (after its run, with its own one-off values put back).
  settings_->SetAutoSave(false);
  doc_ = std::make_unique<TAppDoc>(home_ + "/" + kAppDocFileName);
  doc_->SaveOnDestroy = false;
  ApplySupportServer();

  docFile_.FileName = doc_->GetFileName();
  docFile_.Save = [this] { doc_->Save(); };
  docFile_.SaveCopy = [this](const std::string& name) { AppDocXml().SaveDocument(*doc_, name); };
  docFile_.Reload = [this] { doc_->Load(); };
  docFile_.DamagedCopy = [this] { return doc_->BackupFileName(); };
  settingsFile_.FileName = settings_->SettingsFileName();
  settingsFile_.Save = [this] { settings_->SaveSettings(); };
  settingsFile_.SaveCopy = [this](const std::string& name) { AppManagerXml().Save(*settings_, name); };
  settingsFile_.DamagedCopy = [this] { return settings_->BackupFileName(); };
  settingsFile_.Reload = [this] {
    settings_->LoadSettings();
    ApplySupportServer();
  };
  docFile_.Values = [this] {
    // The page the window showed last is where the user looked, not a value the user set: a
    // window that only looked at pages has changed nothing of the document.
    TAppDoc& doc = *doc_;
    const std::int32_t page = doc.PageIndex;
    doc.PageIndex = 0;
    std::string text;
    try {
      text = AppDocXml().DocumentText(doc);
    } catch (...) {
      doc.PageIndex = page;
      throw;
    }
    doc.PageIndex = page;
    return text;
  };
  settingsFile_.Values = [this] { return AppManagerXml().Text(*settings_); };
  for (TTracked* file : {&docFile_, &settingsFile_}) {
    file->Known = TFileStamp::Of(file->FileName);
    NoteValues(*file);
  }
  if (use_ == TFolderUse::WholeRun) runLock_ = std::move(lock);
}

TSession::~TSession() { ClosePort(); }

void TSession::ApplySupportServer() {
  doc_->PaymentSystems().SupportServer = settings_->SupportServer();
  facade_.SetSupportServer(settings_->SupportServer());
}

std::vector<std::string> TSession::LoadNotices() const {
  std::vector<std::string> notices;
  if (!settings_->LoadError().empty())
    notices.push_back(fmt::sprintf(kLoadErrorFormat, settings_->SettingsFileName(), settings_->LoadError()));
  if (!doc_->LoadError().empty())
    notices.push_back(fmt::sprintf(kLoadErrorFormat, doc_->GetFileName(), doc_->LoadError()));
  return notices;
}

std::vector<std::string> TSession::SaveNotices() const { return saveNotices_; }

std::unique_ptr<TFolderLock> TSession::HoldFolder() {
  if (runLock_) return nullptr;
  return std::make_unique<TFolderLock>(home_, lockWaitMs_);
}

std::vector<TDiskChange> TSession::Changes(const std::vector<TTracked*>& files) const {
  std::vector<TDiskChange> changes;
  for (const TTracked* file : files) {
    TFileStamp now = TFileStamp::Of(file->FileName);
    if (now != file->Known) changes.push_back({file->FileName, now});
  }
  return changes;
}

std::vector<TDiskChange> TSession::ChangesOnDisk() {
  auto hold = HoldFolder();
  return Changes({&docFile_, &settingsFile_});
}

void TSession::NoteValues(TTracked& file) {
  try {
    file.KnownValues = file.Values();
  } catch (...) {
    // Values that cannot be written are never equal to a file: a change is asked about.
    file.KnownValues.reset();
  }
}

bool TSession::Untouched(const TTracked& file) {
  if (!file.KnownValues) return false;
  try {
    return file.Values() == *file.KnownValues;
  } catch (...) {
    return false;
  }
}

void TSession::TakeUntouched(std::vector<TTracked*>& files, std::vector<TDiskChange>& changes) {
  for (auto change = changes.begin(); change != changes.end();) {
    const auto file = std::find_if(files.begin(), files.end(),
                                   [&](const TTracked* f) { return f->FileName == change->FileName; });
    if (file == files.end() || !Untouched(**file)) {
      ++change;
      continue;
    }
    (*file)->Reload();
    (*file)->Known = change->OnDisk;
    NoteValues(**file);
    files.erase(file);
    change = changes.erase(change);
  }
}

void TSession::SaveTracked(std::vector<TTracked*> files, const TChangeDecision& decide) {
  for (;;) {
    std::vector<TDiskChange> seen;
    {
      auto hold = HoldFolder();
      seen = Changes(files);
      TakeUntouched(files, seen);
      if (seen.empty()) {
        SaveFiles(files, {}, {});
        return;
      }
    }
    std::vector<TChangeChoice> choices;
    for (const TDiskChange& change : seen) choices.push_back(decide(change));
    auto hold = HoldFolder();
    // The answers are about the files as they were shown; a file replaced once more while the
    // user thought is another question.
    if (Changes(files) != seen) continue;
    SaveFiles(files, seen, choices);
    return;
  }
}

void TSession::SaveFiles(const std::vector<TTracked*>& files, const std::vector<TDiskChange>& changes,
                         const std::vector<TChangeChoice>& choices) {
  std::exception_ptr first;
  for (TTracked* file : files) {
    const auto it = std::find_if(changes.begin(), changes.end(),
                                 [file](const TDiskChange& c) { return c.FileName == file->FileName; });
    const TDiskChange* change = it == changes.end() ? nullptr : &*it;
    const TChangeChoice choice =
        change ? choices[static_cast<std::size_t>(it - changes.begin())] : TChangeChoice::KeepOurs;
    try {
      SaveFile(*file, change, choice);
    } catch (...) {
      if (!first) first = std::current_exception();
    }
  }
  if (first) std::rethrow_exception(first);
}

void TSession::SaveFile(TTracked& file, const TDiskChange* change, TChangeChoice choice) {
  if (change != nullptr && choice == TChangeChoice::KeepTheirs) {
    const std::string copy = FreeBackupName(file.FileName);
    file.SaveCopy(copy);
    saveNotices_.push_back(fmt::sprintf(kOurCopyNote, file.FileName, copy));
    file.Reload();
  } else {
    if (change != nullptr) {
      const std::string copy = MakeBackupCopy(file.FileName);
      // A file the other program removed leaves nothing to keep.
      if (!copy.empty()) saveNotices_.push_back(fmt::sprintf(kTheirCopyNote, file.FileName, copy));
    }
    const std::string damagedBefore = file.DamagedCopy();
    try {
      file.Save();
    } catch (...) {
      NoteDamagedCopy(file, damagedBefore);
      throw;
    }
    NoteDamagedCopy(file, damagedBefore);
  }
  file.Known = TFileStamp::Of(file.FileName);
  NoteValues(file);
}

void TSession::NoteDamagedCopy(const TTracked& file, const std::string& before) {
  const std::string copy = file.DamagedCopy();
  if (!copy.empty() && copy != before) saveNotices_.push_back(fmt::sprintf(kBackupNote, copy));
}

void TSession::Save(const TChangeDecision& decide) { SaveTracked({&docFile_, &settingsFile_}, decide); }

void TSession::Save() {
  Save([](const TDiskChange&) { return TChangeChoice::KeepOurs; });
}

void TSession::SaveDocument() {
  SaveTracked({&docFile_}, [](const TDiskChange&) { return TChangeChoice::KeepOurs; });
}

void TSession::SaveSettings() {
  SaveSettings([](const TDiskChange&) { return TChangeChoice::KeepOurs; });
}

void TSession::SaveSettings(const TChangeDecision& decide) { SaveTracked({&settingsFile_}, decide); }

void TSession::ClosePort() { facade_.Driver().ClosePort(); }

}  // namespace quorvel
