#pragma once

#include <string>

namespace quorvel {

class TAppManager;

/// Element names of settings.xml: <settings><Driver> with the values as child elements, in
/// this order when written.
inline constexpr const char* kSettingsRootElement = "settings";
inline constexpr const char* kSettingsDriverElement = "Driver";
inline constexpr const char* kSettingsPortNumber = "PortNumber";        ///< decimal, 1..32
inline constexpr const char* kSettingsPortName = "PortName";            ///< device path; optional
inline constexpr const char* kSettingsMaxRetryCount = "MaxRetryCount";  ///< decimal, 1..5
inline constexpr const char* kSettingsLogEnabled = "LogEnabled";        ///< "1" on, anything else off
inline constexpr const char* kSettingsLogFileName = "LogFileName";      ///< path
inline constexpr const char* kSettingsSupportServer = "SupportServer";  ///< base http address; optional
inline constexpr const char* kSettingsRecord = "Record";  ///< the service record's file or URL; optional

/// Reads and writes settings.xml for a TAppManager. Holds no state.
/// Threads: as the manager it serves.
class TAppManagerXml {
 public:
  /// Applies the file's values to manager, in this order: PortNumber, PortName (when
  /// present: the device path, which wins over the number; absent or empty: the number's
  /// device), MaxRetryCount, LogEnabled, LogFileName, SupportServer (when present and not
  /// empty). Element names are matched without regard to case; Driver may be the root
  /// itself. An empty path or a path with no file changes nothing. Never raises: the first
  /// error (not XML, no Driver, a missing element, a value that is not an integer, a port
  /// number outside 1..32, an attempt count outside 1..5) ends the loading, the values
  /// applied before it stay, and its message is returned; empty when the whole file was
  /// applied.
  std::string Load(TAppManager& manager, const std::string& path) const;

  /// Writes a new document with manager's values over path, atomically (the folder is
  /// created when missing); an empty path writes nothing. Anything else the old file held
  /// is gone afterwards. Raises Exception on failure and the previous file stays intact.
  void Save(TAppManager& manager, const std::string& path) const;
  /// The bytes Save would write for manager.
  std::string Text(TAppManager& manager) const;
};

/// The process's settings reader and writer, created on first use.
TAppManagerXml& AppManagerXml();

}  // namespace quorvel
