#include "SessionSave.h"

#include "FolderLock.h"
#include "Session.h"

#include <cstdio>
#include <exception>

namespace quorvel::ui {

namespace {

QString MessageText(const std::exception& e) { return Q(e.what()).replace("\r\n", "\n"); }

}  // namespace

bool SaveSessionAtExit(TSession& session, IUiMessages& messages, QWidget* parent, TSaveAudience audience) {
  const auto decide = [&](const TDiskChange& change) {
    if (audience == TSaveAudience::Nobody) return TChangeChoice::KeepTheirs;
    return messages.Ask(parent, QString::fromUtf8(kTakeTheirFileQuestion).arg(Q(change.FileName)))
               ? TChangeChoice::KeepTheirs
               : TChangeChoice::KeepOurs;
  };
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
  for (const std::string& notice : session.SaveNotices()) messages.ShowInfo(parent, Q(notice));
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
