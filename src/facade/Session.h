#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quorvel {

class TAppDoc;
class TAppManager;
class TLogFile;
class TOrtena;

/// One run of a front end (the desktop program or the command line): the program's folder, the
/// settings of settings.xml applied to the facade's driver and the log, the configuration
/// document Quorvel.xml, and the support server's address handed to the document and the facade
/// from the one place that holds it. Both front ends create one; tests make their own with a
/// temporary folder and facade.
/// Threads: the front end's main thread.
class TSession {
 public:
  /// Creates home when missing, loads settings.xml into facade's driver and log and the document
  /// from home. Raises the folder's creation error. A document read only in part is kept (see
  /// LoadNotice) and never saved over before its copy exists.
  TSession(TOrtena& facade, TLogFile& log, const std::string& home);
  /// Closes the facade's port; saves nothing.
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
  /// After a save: one note per copy made of a damaged file, naming the copy.
  std::vector<std::string> SaveNotices() const;

  /// Saves the configuration document, then settings.xml. Raises the first error; the other
  /// file is still written.
  void Save();
  /// Saves the configuration document only; raises its error (the previous file stays).
  void SaveDocument();
  /// Saves settings.xml only; raises its error (the previous file stays).
  void SaveSettings();
  /// Closes the facade's port (a simulator must outlive its clients).
  void ClosePort();

 private:
  TOrtena& facade_;
  std::string home_;
  std::unique_ptr<TAppManager> settings_;
  std::unique_ptr<TAppDoc> doc_;
};

}  // namespace quorvel
