#pragma once

#include <QString>

#include <functional>
#include <string>

class QObject;
class QWidget;

namespace quorvel {
class TAppDoc;
class TAppManager;
class TOrtena;
}  // namespace quorvel

namespace quorvel::ui {

/// A file dialog as a page asks for it. Filter in the pairs form "Файл xml (*.xml)|*.xml|Все
/// файлы (*.*)|*.*" (description, pattern, ...); DefaultExt without the dot is added to a name
/// typed without one; InitialDir relative to the current folder; FileName proposed at start.
struct TFileDialogDef {
  QString Filter;
  QString DefaultExt;
  QString InitialDir;
  QString FileName;
};

/// The pairs filter as Qt's file dialogs take it ("a (*.x);;b (*.*)").
QString QtFileFilter(const QString& pairs);

/// How the program talks to the user outside its pages: the standard error box, the Yes/No
/// question and the file dialogs. The program shows message boxes; tests record the texts and answer from a script.
/// Threads: the UI thread only.
class IUiMessages {
 public:
  virtual ~IUiMessages() = default;
  /// The standard error box with the message text (UTF-8).
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  /// A Yes/No question with the warning icon; true for Yes.
  virtual bool Ask(QWidget* parent, const QString& question) = 0;
  /// An information box (a result the user must see).
  virtual void ShowInfo(QWidget* parent, const QString& text) = 0;
  /// The file to read; empty when the user cancelled.
  virtual QString OpenFileName(QWidget* parent, const TFileDialogDef& dialog) = 0;
  /// The file to write, after the question before replacing an existing one; empty when the
  /// user cancelled.
  virtual QString SaveFileName(QWidget* parent, const TFileDialogDef& dialog) = 0;
};

/// Message boxes titled with the application title; Yes and No, OK in the language of the
/// loaded Qt translation.
class TMessageBoxes final : public IUiMessages {
 public:
  void ShowError(QWidget* parent, const QString& text) override;
  bool Ask(QWidget* parent, const QString& question) override;
  void ShowInfo(QWidget* parent, const QString& text) override;
  QString OpenFileName(QWidget* parent, const TFileDialogDef& dialog) override;
  QString SaveFileName(QWidget* parent, const TFileDialogDef& dialog) override;
};

/// Everything the windows work on, given to them rather than found through process-wide
/// accessors, so that a test can hand them a temporary document and its own facade.
struct TUiContext {
  TOrtena& Facade;        ///< the terminal facade
  TAppDoc& Doc;           ///< the application document
  TAppManager& Settings;  ///< settings.xml
  IUiMessages& Messages;  ///< error boxes and questions
  QString IniFileName;    ///< Quorvel.ini: window placement and remembered values
  /// Saves settings.xml when the connection dialog keeps its values, minding the other programs
  /// that use the folder; raises the save's errors. Empty: Settings.SaveSettings().
  std::function<void()> SaveSettings = {};
};

/// The application title, the caption of every message box.
inline constexpr const char* kAppTitle = "Quorvel";

/// Standard buttons (Yes, No, Cancel) and Qt's own dialogs in Russian like the program,
/// whatever the desktop's language: Qt's translations installed on app (owned by it).
void LoadQtTranslations(QObject& app);

/// UTF-8 text of the core as a QString and back.
inline QString Q(const std::string& text) { return QString::fromStdString(text); }
inline std::string S(const QString& text) { return text.toStdString(); }

}  // namespace quorvel::ui
