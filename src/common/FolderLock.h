#pragma once

#include "Errors.h"

#include <string>

namespace quorvel {

/// Name of the lock file in the program's folder.
inline constexpr const char* kFolderLockFileName = ".lock";
/// How long a program waits for another one to release the folder (milliseconds).
inline constexpr int kDefaultFolderLockWaitMs = 10000;
/// Message of a folder another program still holds after the wait, formatted with the folder.
inline constexpr const char* kFolderBusyMessage =
    "Папка программы \"{}\" занята другой программой Quorvel. Повторите, когда та программа закончит работу.";

/// Message of a lock file that is not a regular file (a folder, a link, a FIFO, a device),
/// formatted with its path and what it is.
inline constexpr const char* kLockFileRefusedMessage =
    "Файл блокировки \"{}\" не может служить блокировкой: {}. Удалите его, чтобы программа создала новый.";

/// The folder stayed locked by another program for the whole wait.
class EFolderBusy : public Exception {
 public:
  using Exception::Exception;
};

/// An exclusive advisory lock (flock) on the program's folder, through the lock file
/// kFolderLockFileName in it: while one program holds it, no other reads, changes and writes
/// the folder's files. The lock belongs to this object's open file: a second object, in this
/// process or another, waits for it; the lock ends with the object or the process.
///
/// A folder where the lock file can be neither created nor opened (a read-only folder without
/// one) is not locked: nothing can be saved into it by this program either. Anything else in
/// the lock file's place (a folder, a symbolic link, a FIFO, a device) is refused.
/// Threads: any thread, one object per thread.
class TFolderLock {
 public:
  /// Takes the lock, retrying until waitMs milliseconds have passed (0: one attempt). Raises
  /// EFolderBusy (kFolderBusyMessage) when another holder keeps it that long, and Exception
  /// kLockFileRefusedMessage when the lock file is not a regular file.
  TFolderLock(const std::string& folder, int waitMs);
  /// Releases the lock.
  ~TFolderLock();
  TFolderLock(const TFolderLock&) = delete;
  TFolderLock& operator=(const TFolderLock&) = delete;

  /// Whether the folder is locked by this object (false only for a folder that cannot hold the
  /// lock file).
  bool Locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace quorvel
