#pragma once

#include "ServiceRecord.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace quorvel {

/// Rows a statement returned. Cells are read in libpq's text form.
/// Threads: any thread, one at a time.
class TPgResult {
 public:
  explicit TPgResult(pg_result* result) : result_(result) {}
  ~TPgResult();
  TPgResult(TPgResult&& other) noexcept : result_(other.result_) { other.result_ = nullptr; }
  TPgResult& operator=(TPgResult&&) = delete;
  TPgResult(const TPgResult&) = delete;
  TPgResult& operator=(const TPgResult&) = delete;

  int Rows() const;
  /// A cell; "" for NULL.
  std::string Text(int row, int column) const;
  /// A cell as a number; 0 for NULL.
  std::int64_t Int(int row, int column) const;
  double Real(int row, int column) const;
  bool IsNull(int row, int column) const;
  /// libpq's ExecStatusType of the statement.
  int Status() const;
  /// A field of the error (PG_DIAG_SQLSTATE, ...), or nullptr.
  const char* ErrorField(int field) const;

 private:
  pg_result* result_;
};

/// One connection to the record's server. The URL is given to libpq as it stands, so the
/// password comes from the URL, PGPASSFILE, ~/.pgpass or the PG* environment as libpq finds
/// it; application_name defaults to "quorvel" and connect_timeout to 10 s unless the URL or
/// the environment sets them. Every failure raises ERecordError "Журнал обслуживания <URL
/// without password>: <reason in Russian>: <libpq's text>".
/// A broken connection is reopened by the next Ready(), never inside a statement: a statement
/// whose commit may or may not have reached the server is not sent again.
/// Threads: any thread, one at a time (the caller's lock).
class TPgConnection {
 public:
  /// Connects; raises when the server cannot be reached or refuses.
  explicit TPgConnection(const std::string& url);
  ~TPgConnection();
  TPgConnection(const TPgConnection&) = delete;
  TPgConnection& operator=(const TPgConnection&) = delete;

  /// The URL with any password hidden.
  const std::string& Location() const { return location_; }

  /// Makes the connection fit for the next call: one the server closed meanwhile (a restart)
  /// is opened again. Raises when the server still cannot be reached.
  void Ready();

  /// Runs one statement; values are bound to $1, $2, ... as text, never put into the SQL.
  template <class... T>
  TPgResult Exec(std::string_view sql, const T&... values) {
    return ExecParams(sql, {Param(values)...});
  }
  TPgResult ExecParams(std::string_view sql, const std::vector<std::string>& params);

  /// Runs statements without parameters, any number of them (the schema's migrations).
  void ExecScript(const char* sql);

  /// Sends sql and ignores the outcome (a rollback on the way out of a failed call).
  void ExecQuietly(const char* sql) noexcept;

  /// Raises ERecordError "Журнал обслуживания <location>: <reason>".
  [[noreturn]] void Fail(const std::string& reason) const;

 private:
  static std::string Param(const std::string& value) { return value; }
  static std::string Param(const char* value) { return value; }
  static std::string Param(int value) { return std::to_string(value); }
  static std::string Param(std::int64_t value) { return std::to_string(value); }
  static std::string Param(double value);
  [[noreturn]] void FailConnection() const;
  // The result of a statement, or the statement's failure raised.
  TPgResult Checked(pg_result* result) const;

  std::string location_;
  pg_conn* conn_ = nullptr;
};

/// A transaction: BEGIN, rolled back when it is left without Commit.
class TPgTransaction {
 public:
  explicit TPgTransaction(TPgConnection& connection);
  ~TPgTransaction();
  TPgTransaction(const TPgTransaction&) = delete;
  TPgTransaction& operator=(const TPgTransaction&) = delete;
  void Commit();

 private:
  TPgConnection& connection_;
  bool open_ = true;
};

}  // namespace quorvel
