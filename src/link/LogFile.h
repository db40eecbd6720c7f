#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace quorvel {

/// The program's trace file. Lines are "[dd.mm.yyyy hh:mm:ss.zzz ] [tid8] text" + CR LF,
/// control characters of the text shown as dots, the text written in windows-1251.
/// Nothing reaches the caller when the file cannot be opened or written (Open excepted).
/// The file is created 0600, and an existing regular file is made 0600 when it is opened
/// (one that cannot be, another user's file, stays closed: Open reports why); the private key
/// material and passwords of commands reach it masked (LogMask.h).
/// Threads: every call may run on any thread; lines never interleave.
class TLogFile {
public:
  /// Disabled, file name = ProgramHome() + "/Quorvel.log".
  TLogFile();
  ~TLogFile();
  TLogFile(const TLogFile&) = delete;
  TLogFile& operator=(const TLogFile&) = delete;

  bool Enabled() const;
  /// When the value changes: store it and close the file.
  void SetEnabled(bool enabled);
  std::string FileName() const;
  /// When the path changes: close the file and store the path, made absolute against the
  /// current folder (AbsolutePath), so that the stored name means the same file from any folder.
  void SetFileName(const std::string& path);
  /// Opens the file now, as the first write would (created 0600). Returns an empty text when
  /// it is open, else the system's reason; unlike writes, lets a caller report a log that cannot be written.
  std::string Open();

  /// One formatted line. text is UTF-8 (wire bytes are converted with Cp1251ToUtf8 first);
  /// a character windows-1251 lacks, or a byte that is not UTF-8, is written as '?'.
  void WriteLine(std::string_view text);
  /// "[ERROR] " + text.
  void Error(std::string_view text);
  /// "[DEBUG] " + text.
  void Debug(std::string_view text);
  /// Raw bytes appended as they are, when enabled (the file is opened on first write).
  void Write(std::string_view raw);

private:
  void OpenLocked();
  void CloseLocked();

  mutable std::mutex lock_;
  int fd_ = -1;
  int openError_ = 0;
  bool enabled_ = false;
  std::string fileName_;
};

/// The process's log file, created on first use.
TLogFile& LogFile();

}  // namespace quorvel
