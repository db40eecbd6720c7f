#pragma once

#include <string>

namespace quorvel {

class TModemDriver;
class TLogFile;

/// Base address of the support web server when settings.xml names none. The payment-system
/// layer keeps the same address as its own default (it cannot see this layer's settings);
/// the two must stay equal.
inline constexpr const char* kDefaultSupportServerAddress = "http://www.ortena.ru";

/// The program's own settings between runs: the port (number of old settings and device
/// path), the attempts per command, the log switch and file, and the support server's base
/// address. Port and attempts live in the terminal driver and the log settings in the log
/// file object; the manager is the one path between them and settings.xml (TAppManagerXml).
/// Threads: one thread at a time (the UI thread, or the command line's main thread).
class TAppManager {
 public:
  /// Works on the given driver and log file (which must outlive the manager) and the
  /// settings file settingsFileName (empty: nothing is ever read or written). Loads the
  /// settings at once (LoadSettings, silent).
  TAppManager(TModemDriver& driver, TLogFile& log, std::string settingsFileName = DefaultSettingsFileName());
  /// Saves the settings when AutoSave is on; a failure is swallowed here (call SaveSettings
  /// first to learn about it). Unregisters the manager when it is the registered one.
  ~TAppManager();
  TAppManager(const TAppManager&) = delete;
  TAppManager& operator=(const TAppManager&) = delete;

  /// COM port number of old settings (1..32) of the driver; Exception "Неверный номер COM
  /// порта" outside that range. Setting it clears PortName.
  int PortNumber() const;
  void SetPortNumber(int number);
  /// The device path of the driver (empty: /dev/ttyS(PortNumber-1)).
  std::string PortName() const;
  void SetPortName(const std::string& path);
  /// Attempts per command of the driver; setting range-checks 1..5 (Exception
  /// "MaxRetryCount, <v>. Допустимые значения: 1..5", the old value stays).
  int MaxRetryCount() const;
  void SetMaxRetryCount(int value);
  /// Base http address of the support server, without a trailing slash as a rule
  /// (default kDefaultSupportServerAddress).
  const std::string& SupportServer() const { return supportServer_; }
  void SetSupportServer(const std::string& address) { supportServer_ = address; }
  /// The service record's location (an SQLite file or a PostgreSQL URL); empty: service.db in
  /// the program's folder. It is kept in settings.xml, so a URL with a password is refused
  /// (Exception kRecordPasswordNotStored) and the old location stays.
  const std::string& Record() const { return record_; }
  void SetRecord(const std::string& location);

  TModemDriver& Driver() { return driver_; }
  TLogFile& Log() { return log_; }

  /// Whether the destructor saves the settings (default on). A front end that applies
  /// one-off values (a port given on the command line) turns it off.
  bool AutoSave() const { return autoSave_; }
  void SetAutoSave(bool on) { autoSave_ = on; }

  /// The settings file of this manager.
  const std::string& SettingsFileName() const { return settingsFileName_; }
  /// ProgramHome() + "/settings.xml".
  static std::string DefaultSettingsFileName();
  /// ProgramHome() + "/Quorvel.log".
  static std::string DefaultLogFileName();

  /// Reads the settings file into the driver, the log file and SupportServer. Never
  /// raises: a missing file changes nothing, a damaged one is applied up to its first bad
  /// value (TAppManagerXml::Load) and the reason is kept in LoadError.
  void LoadSettings();
  /// Writes the settings file, replacing it atomically. After a load that found the file
  /// damaged, the file is first copied beside itself under a dated name (BackupFileName, once
  /// per load), so that nothing the user had in it is lost. Raises Exception "Ошибка записи
  /// файла <path>.\r\n<reason>" (or the folder's creation error, or the copy's error
  /// kBackupCopyErrorMessage); the previous file stays intact then.
  void SaveSettings();
  /// Why the last LoadSettings could not apply the whole file; empty when it could (or there
  /// was no file).
  const std::string& LoadError() const { return loadError_; }
  /// The copy made by the first save after a damaged load; empty when none was made.
  const std::string& BackupFileName() const { return backupFileName_; }
  /// SaveSettings that reports a failure as false instead of raising.
  bool TrySaveSettings() noexcept;

 private:
  TModemDriver& driver_;
  TLogFile& log_;
  std::string settingsFileName_;
  std::string supportServer_ = kDefaultSupportServerAddress;
  std::string record_;
  bool autoSave_ = true;
  std::string loadError_;
  std::string backupFileName_;
  bool backupPending_ = false;
};

/// Makes manager the process's one (null: none). The program registers the manager it
/// creates beside the terminal facade, before the main window asks for it; tests build
/// their own instances and leave this alone. Call from the main thread at start and end.
void RegisterAppManager(TAppManager* manager);
/// The registered manager; raises std::logic_error when none is registered.
TAppManager& AppManager();

}  // namespace quorvel
