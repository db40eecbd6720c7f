#include "SessionSave.h"

#include "FolderLock.h"
#include "Session.h"

#include <cstdio>
#include <exception>

namespace quorvel::ui {

namespace {

QString MessageText(const std::exception& e) { return Q(e.what()).replace("\r\n", "\n"); }

TSession::TChangeDecision AskingDecision(IUiMessages& messages, QWidget* parent) {
  return [&messages, parent](const TDiskChange& change) {
    return messages.Ask(parent, QString::fromUtf8(kTakeTheirFileQuestion).arg(Q(change.FileName)))
               ? TChangeChoice::KeepTheirs
               : TChangeChoice::KeepOurs;
  };
}

// The notes a save added to the session's list (the earlier ones were shown already).
void ShowNewNotices(TSession& session, std::size_t shown, IUiMessages& messages, QWidget* parent) {
  const std::vector<std::string> notices = session.SaveNotices();
  for (std::size_t i = shown; i < notices.size(); ++i) messages.ShowInfo(parent, Q(notices[i]));
}

}  // namespace

void SaveSettingsAsking(TSession& session, IUiMessages& messages, QWidget* parent) {
  const std::size_t shown = session.SaveNotices().size();
  try {
    session.SaveSettings(AskingDecision(messages, parent));
  } catch (...) {
    ShowNewNotices(session, shown, messages, parent);
    throw;
  }
  ShowNewNotices(session, shown, messages, parent);
}

bool SaveSessionAtExit(TSession& session, IUiMessages& messages, QWidget* parent, TSaveAudience audience) {
  const std::size_t shown = session.SaveNotices().size();
  const TSession::TChangeDecision decide =
      audience == TSaveAudience::Nobody
          ? TSession::TChangeDecision([](const TDiskChange&) { return TChangeChoice::KeepTheirs; })
          : AskingDecision(messages, parent);
  bool saved = false;
  for (;;) {
    try {
      session.Save(decide);
      saved = true;
    } catch (const EFolderBusy& e) {
      if (audience == TSaveAudience::User &&
          messages.Ask(parent, MessageText(e) + "\n\n" + QString::fromUtf8(kRetrySaveQuestion)))
        continue;
      if (audience == TSaveAudience::Nobody) messages.ShowError(parent, MessageText(e));
    } catch (const std::exception& e) {
      messages.ShowError(parent, MessageText(e));
    }
    break;
  }
  // The copies made before a failure exist all the same: the user must learn their names.
  ShowNewNotices(session, shown, messages, parent);
  return saved;
}

void TConsoleMessages::ShowError(QWidget*, const QString& text) {
  std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

bool TConsoleMessages::Ask(QWidget*, const QString& question) {
  std::fprintf(stderr, "%s\nНет\n", question.toUtf8().constData());
  return false;
}

void TConsoleMessages::ShowInfo(QWidget*, const QString& text) {
  std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

QString TConsoleMessages::OpenFileName(QWidget*, const TFileDialogDef&) { return {}; }

QString TConsoleMessages::SaveFileName(QWidget*, const TFileDialogDef&) { return {}; }

}  // namespace quorvel::ui
