#pragma once

#include "ServiceRecord.h"

#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvel {

/// A failed SQLite call: "Журнал обслуживания <file>: <reason>", the reason in Russian for the
/// failures people meet (a full disk, a record locked too long), SQLite's own text otherwise.
class ESqliteError : public ERecordError {
 public:
  ESqliteError(sqlite3* db, int code);
  /// The reason without the file.
  const std::string& Reason() const { return reason_; }
  int Code() const { return code_; }

 private:
  std::string reason_;
  int code_ = 0;
};

/// One prepared statement. Raises ESqliteError from every call that fails.
/// Threads: the thread that holds the connection's lock.
class TSqliteStatement {
 public:
  TSqliteStatement(sqlite3* db, std::string_view sql);
  ~TSqliteStatement();
  TSqliteStatement(const TSqliteStatement&) = delete;
  TSqliteStatement& operator=(const TSqliteStatement&) = delete;

  /// Binds the values to the parameters from the first on.
  template <class... T>
  void Bind(const T&... values) {
    int index = 0;
    (BindOne(++index, values), ...);
  }
  /// Steps once: true with a row to read, false when done.
  bool Step();
  /// Steps to the end, for statements that return no rows.
  void Run();
  /// Makes the statement ready to bind and run again.
  void Reset();
  /// The first column of the first row as a number (0 without a row).
  std::int64_t Scalar();

  std::int64_t Int(int column) const;
  double Real(int column) const;
  std::string Text(int column) const;

 private:
  void BindOne(int index, const std::string& value);
  void BindOne(int index, const char* value) { BindOne(index, std::string(value)); }
  void BindOne(int index, std::int64_t value);
  void BindOne(int index, int value) { BindOne(index, static_cast<std::int64_t>(value)); }
  void BindOne(int index, double value);
  void Check(int code) const;

  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

/// Runs SQL of any number of statements that return no rows.
void SqliteExec(sqlite3* db, const std::string& sql);

/// A transaction: BEGIN (IMMEDIATE when immediate: the write lock is taken at once), rolled
/// back when it is left without Commit.
class TSqliteTransaction {
 public:
  explicit TSqliteTransaction(sqlite3* db, bool immediate = false);
  ~TSqliteTransaction();
  TSqliteTransaction(const TSqliteTransaction&) = delete;
  TSqliteTransaction& operator=(const TSqliteTransaction&) = delete;
  void Commit();

 private:
  sqlite3* db_;
  bool open_ = true;
};

}  // namespace quorvel
