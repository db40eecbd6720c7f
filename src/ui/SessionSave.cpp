#include "SessionSave.h"

#include "FolderLock.h"
#include "Session.h"
#include "SignalQuit.h"

#include <QApplication>
#include <QDialog>

#include <cstdio>
#include <exception>
#include <functional>

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

// The end's messages: the user's until told() says the program was told to end, nobody's after.
struct TExitAudience {
  IUiMessages& User;
  IUiMessages& Nobody;
  std::function<bool()> Told;

  IUiMessages& Now() const { return Told() ? Nobody : User; }
};

bool SaveAtExit(TSession& session, const TExitAudience& audience, QWidget* parent) {
  const std::size_t shown = session.SaveNotices().size();
  const TSession::TChangeDecision decide = [&audience, parent](const TDiskChange& change) {
    if (audience.Told()) return TChangeChoice::KeepTheirs;
    const bool theirs =
        audience.User.Ask(parent, QString::fromUtf8(kTakeTheirFileQuestion).arg(Q(change.FileName)));
    // A question closed by a signal to end was answered by nobody.
    return theirs || audience.Told() ? TChangeChoice::KeepTheirs : TChangeChoice::KeepOurs;
  };
  bool saved = false;
  for (;;) {
    try {
      session.Save(decide);
      saved = true;
    } catch (const EFolderBusy& e) {
      const bool retry =
          !audience.Told() &&
          audience.User.Ask(parent, MessageText(e) + "\n\n" + QString::fromUtf8(kRetrySaveQuestion));
      if (retry && !audience.Told()) continue;
      // The user read the message in the question; nobody else has seen it.
      if (audience.Told()) audience.Nobody.ShowError(parent, MessageText(e));
    } catch (const std::exception& e) {
      audience.Now().ShowError(parent, MessageText(e));
    }
    break;
  }
  // The copies made before a failure exist all the same: the user must learn their names.
  const std::vector<std::string> notices = session.SaveNotices();
  for (std::size_t i = shown; i < notices.size(); ++i) {
    IUiMessages& messages = audience.Now();
    messages.ShowInfo(parent, Q(notices[i]));
    // A note closed by a signal to end may not have been read: its copy's name must stay.
    if (&messages != &audience.Nobody && audience.Told()) audience.Nobody.ShowInfo(parent, Q(notices[i]));
  }
  return saved;
}

// Whatever waits for an answer is closed: nobody is there to give one.
void CloseOpenWindows() {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (!top->isVisible()) continue;
    top->close();
    auto* dialog = qobject_cast<QDialog*>(top);
    if (dialog != nullptr && dialog->isVisible()) dialog->reject();
  }
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
  const bool nobody = audience == TSaveAudience::Nobody;
  return SaveAtExit(session, {messages, messages, [nobody] { return nobody; }}, parent);
}

bool SaveSessionAtExit(TSession& session, IUiMessages& messages, QWidget* parent, const TSignalQuit& quit,
                       IUiMessages& nobody) {
  const QMetaObject::Connection closer =
      QObject::connect(&quit, &TSignalQuit::quitRequested, &quit, [] { CloseOpenWindows(); });
  bool saved = false;
  try {
    saved = SaveAtExit(session, {messages, nobody, [&quit] { return quit.Received() != 0; }}, parent);
  } catch (...) {
    QObject::disconnect(closer);
    throw;
  }
  QObject::disconnect(closer);
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
