#pragma once

#include <exception>
#include <memory>
#include <string>

namespace quorvel {
class IServiceRecord;
}

namespace quorvel::ui {

/// A write to the terminal made by the window, as the service record keeps it.
struct TWriteNote {
  std::string Operation;  ///< the operation's caption ("SIM-карта: Записать")
  std::string Port;       ///< the terminal's port
};

/// One write of the window in the service record. The record is opened first, so a record
/// that cannot be opened stops the write before anything is sent; the outcome is stored when
/// the write has ended, by the program "quorvel", this machine and its user.
/// Threads: a worker thread (opening and storing may wait for the database); one thread at a
/// time.
class TRecordedWrite {
 public:
  /// Opens the record settings.xml names (configured; empty: the default, see
  /// ServiceRecordLocation). Raises the record's open error.
  TRecordedWrite(const std::string& configured, TWriteNote note);
  ~TRecordedWrite();
  TRecordedWrite(const TRecordedWrite&) = delete;
  TRecordedWrite& operator=(const TRecordedWrite&) = delete;

  /// Stores the outcome of the write: passed without error, stopped for the silent abort (a
  /// stop or a No), failed with the error's message otherwise. Raises the record's error when
  /// the write itself passed; a failed write keeps its own error, so that is the one shown.
  void Finish(std::exception_ptr error);
  /// Stores the outcome given as a result (kRecordPassed, kRecordFailed, kRecordStopped) and
  /// its message. Raises the record's error.
  void Finish(const std::string& result, const std::string& message);

 private:
  TWriteNote note_;
  std::unique_ptr<IServiceRecord> record_;
};

}  // namespace quorvel::ui
