#pragma once

#include "UiContext.h"

namespace quorvel {
class TSession;
}

namespace quorvel::ui {

class TSignalQuit;

/// How the end of the desktop program reaches the user.
enum class TSaveAudience {
  /// The user is at the window: a file another program changed is a question, a folder held
  /// by another program an offer to try again.
  User,
  /// The program was told to end (a logout, a kill): nobody answers, so a file another program
  /// changed stays as that program left it and the window's values go to a dated copy; a
  /// folder that stays held is an error.
  Nobody,
};

/// The question about a file (its path as %1) that another program changed while the window
/// was open; Yes takes the other program's file.
inline constexpr const char* kTakeTheirFileQuestion =
    "Файл %1 изменен другой программой, пока было открыто окно.\n\n"
    "Взять файл другой программы?\n"
    "Да: файл остается как есть, значения окна сохраняются в копию.\n"
    "Нет: в файл записываются значения окна, файл другой программы сохраняется в копию.";
/// Follows the message of a folder another program holds.
inline constexpr const char* kRetrySaveQuestion = "Повторить сохранение?";

/// The save of the desktop program's end (the window closed by "Выход", its close box or a
/// signal): the configuration document and settings.xml through TSession::Save, a changed file
/// decided as audience says, through messages. Each copy made is then named to the user
/// (ShowInfo), a save error shown (ShowError). Returns true when both files were written (or
/// kept as another program left them); false after an error or a refused retry.
/// Threads: the UI thread, after the main window closed.
bool SaveSessionAtExit(TSession& session, IUiMessages& messages, QWidget* parent, TSaveAudience audience);

/// SaveSessionAtExit as the program's end runs it: for TSaveAudience::User through messages
/// until quit has brought a signal to end, for TSaveAudience::Nobody through nobody from then
/// on. A signal that comes while a question or note is on screen closes it (no answer is taken
/// from it: a changed file stays as the other program left it, the window's values go to a
/// copy) and the rest goes to nobody, the note it closed included.
/// Threads: the UI thread, after the main window closed.
bool SaveSessionAtExit(TSession& session, IUiMessages& messages, QWidget* parent, const TSignalQuit& quit,
                       IUiMessages& nobody);

/// The connection dialog's save of settings.xml while the window is open: a file another
/// program changed is asked about as at the end (Yes: the window takes that file's values and
/// its own go to a dated copy), and the copies made are named (ShowInfo). Raises the save's
/// errors, EFolderBusy included, for the dialog to show.
/// Threads: the UI thread.
void SaveSettingsAsking(TSession& session, IUiMessages& messages, QWidget* parent);

/// Messages for an end nobody watches: errors and notes go to stderr, a question is answered
/// No (and shown there with its answer), file dialogs are cancelled.
class TConsoleMessages final : public IUiMessages {
 public:
  void ShowError(QWidget* parent, const QString& text) override;
  bool Ask(QWidget* parent, const QString& question) override;
  void ShowInfo(QWidget* parent, const QString& text) override;
  QString OpenFileName(QWidget* parent, const TFileDialogDef& dialog) override;
  QString SaveFileName(QWidget* parent, const TFileDialogDef& dialog) override;
};

}  // namespace quorvel::ui
