#pragma once

#include "FileStamp.h"
#include "FolderLock.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

class TAppDoc;
class TAppManager;
class TLogFile;
class TOrtena;

/// How a session shares its folder with the other programs that use it.
enum class TFolderUse {
  /// The folder's lock is held from loading the files to the end of the session: the command
  /// line's one read-modify-write per run.
  WholeRun,
  /// The lock is held only while the files are read and while they are saved: the desktop
  /// program, open for hours while command-line runs come and go.
  AroundSaves,
};

/// A file of the session that another program replaced since the session read or last wrote
/// it.
struct TDiskChange {
  std::string FileName;  ///< the file's path
  TFileStamp OnDisk;     ///< what the file held when the change was found
  bool operator==(const TDiskChange&) const = default;
};

/// What a save does with a file another program changed.
enum class TChangeChoice {
  /// The other program's file stays; the session's values go to a dated copy beside it and the
  /// session takes the file's values.
  KeepTheirs,
  /// The other program's file goes to a dated copy; the session's values are written.
  KeepOurs,
};

/// One run of a front end (the desktop program or the command line): the program's folder, the
/// settings of settings.xml applied to the facade's driver and the log, the configuration
/// document Quorvel.xml, and the support server's address handed to the document and the facade
/// from the one place that holds it. Both front ends create one; tests make their own with a
/// temporary folder and facade.
///
/// Other programs may use the same folder at the same time. Reading and saving the files
/// happens under the folder's lock (TFolderLock), and every save first compares each file with
/// what this session last read or wrote there: a file another program changed meanwhile is
/// never silently replaced, its values are kept in a dated copy at least. A changed file whose
/// values this session left as it read or wrote them is simply taken (reloaded, nothing asked,
/// no copy): there is nothing of the session's own to keep. The document's PageIndex (where
/// the window's tree stood) does not count as a value for this.
/// Threads: the front end's main thread.
class TSession {
 public:
  /// Creates home when missing, loads settings.xml into facade's driver and log and the document
  /// from home, under the folder's lock (kept after loading for TFolderUse::WholeRun). Raises the
  /// folder's creation error, EFolderBusy when another program holds the folder for longer than
  /// lockWaitMs milliseconds (nothing is read then). A document read only in part is kept (see
  /// LoadNotice) and never saved over before its copy exists.
  TSession(TOrtena& facade, TLogFile& log, const std::string& home, TFolderUse use,
           int lockWaitMs = kDefaultFolderLockWaitMs);
  /// Closes the facade's port and releases the folder; saves nothing.
  ~TSession();
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;

  TOrtena& Facade() { return facade_; }
  TAppManager& Settings() { return *settings_; }
  TAppDoc& Doc() { return *doc_; }
  const std::string& Home() const { return home_; }

  /// What the user must hear about the loaded files: one message per file read only in part
  /// (settings.xml, then the document), with its reason; empty when all was well.
  std::vector<std::string> LoadNotices() const;
  /// After saves: one note per copy made of a damaged file, and per copy made of a file another
  /// program changed (kept by KeepOurs) or of the session's values (KeepTheirs), naming the copy,
  /// in the order the copies were made.
  std::vector<std::string> SaveNotices() const;

  /// Decides about one changed file: called with the change, without the folder's lock held
  /// for TFolderUse::AroundSaves (a question to the user blocks no other program meanwhile).
  using TChangeDecision = std::function<TChangeChoice(const TDiskChange&)>;

  /// The session's files (the document, settings.xml) that differ on disk from what this
  /// session last read or wrote, compared under the folder's lock. Raises EFolderBusy.
  std::vector<TDiskChange> ChangesOnDisk();
  /// Saves the configuration document, then settings.xml, under the folder's lock. A file that
  /// another program changed is taken without a call to decide when the session changed none
  /// of its values, else handled as decide says; when the files change again while
  /// decide runs, the changes are looked at afresh and decide is asked again. Raises
  /// EFolderBusy (nothing written), else the first save error; the other file is still written.
  void Save(const TChangeDecision& decide);
  /// Save that keeps this session's values over a changed file (its other copy is kept).
  void Save();
  /// Saves the configuration document only (a changed file handled as KeepOurs); raises its
  /// error (the previous file stays).
  void SaveDocument();
  /// Saves settings.xml only (a changed file handled as KeepOurs); raises its error (the
  /// previous file stays).
  void SaveSettings();
  /// Saves settings.xml only, a changed file handled as decide says (see Save).
  void SaveSettings(const TChangeDecision& decide);
  /// Closes the facade's port (a simulator must outlive its clients).
  void ClosePort();

 private:
  /// One of the session's two files, with what it last held as far as the session knows.
  struct TTracked {
    std::string FileName;
    TFileStamp Known;
    std::function<void()> Save;                        // writes the session's values to the file
    std::function<void(const std::string&)> SaveCopy;  // writes them to another file
    std::function<void()> Reload;                      // takes the file's values
    std::function<std::string()> DamagedCopy;          // the copy of a damaged file, once made
    std::function<std::string()> Values;               // what Save would write now, as compared; may raise
    std::optional<std::string> KnownValues;            // Values when last read or written
  };

  void ApplySupportServer();
  std::unique_ptr<TFolderLock> HoldFolder();
  std::vector<TDiskChange> Changes(const std::vector<TTracked*>& files) const;
  void SaveFiles(const std::vector<TTracked*>& files, const std::vector<TDiskChange>& changes,
                 const std::vector<TChangeChoice>& choices);
  void SaveFile(TTracked& file, const TDiskChange* change, TChangeChoice choice);
  void NoteDamagedCopy(const TTracked& file, const std::string& before);
  void SaveTracked(std::vector<TTracked*> files, const TChangeDecision& decide);
  void TakeUntouched(std::vector<TTracked*>& files, std::vector<TDiskChange>& changes);
  static void NoteValues(TTracked& file);
  static bool Untouched(const TTracked& file);

  TOrtena& facade_;
  std::string home_;
  TFolderUse use_;
  int lockWaitMs_;
  std::unique_ptr<TFolderLock> runLock_;
  std::unique_ptr<TAppManager> settings_;
  std::unique_ptr<TAppDoc> doc_;
  TTracked docFile_;
  TTracked settingsFile_;
  std::vector<std::string> saveNotices_;
};

}  // namespace quorvel
