#include "SqliteStatement.h"

#include <fmt/format.h>
#include <sqlite3.h>

namespace quorvel {

namespace {

std::string ReasonOf(sqlite3* db, int code) {
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return "занят другой программой слишком долго";
    case SQLITE_FULL:
      return "нет места на диске";
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
      return fmt::format("нет доступа на запись ({})", sqlite3_errstr(code));
    case SQLITE_IOERR:
      return fmt::format("ошибка ввода-вывода ({})", sqlite3_errmsg(db));
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return "файл поврежден или не является базой данных SQLite";
    default:
      return db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
  }
}

std::string FileOf(sqlite3* db) {
  const char* name = db != nullptr ? sqlite3_db_filename(db, "main") : nullptr;
  return name != nullptr ? name : "";
}

}  // namespace

ESqliteError::ESqliteError(sqlite3* db, int code)
    : ERecordError(fmt::format("Журнал обслуживания {}: {}", FileOf(db), ReasonOf(db, code))),
      reason_(ReasonOf(db, code)),
      code_(code) {}

TSqliteStatement::TSqliteStatement(sqlite3* db, std::string_view sql) : db_(db) {
  Check(sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement_, nullptr));
}

TSqliteStatement::~TSqliteStatement() { sqlite3_finalize(statement_); }

void TSqliteStatement::Check(int code) const {
  if (code != SQLITE_OK) throw ESqliteError(db_, code);
}

void TSqliteStatement::BindOne(int index, const std::string& value) {
  Check(sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT));
}

void TSqliteStatement::BindOne(int index, std::int64_t value) {
  Check(sqlite3_bind_int64(statement_, index, value));
}

void TSqliteStatement::BindOne(int index, double value) { Check(sqlite3_bind_double(statement_, index, value)); }

bool TSqliteStatement::Step() {
  const int code = sqlite3_step(statement_);
  if (code == SQLITE_ROW) return true;
  if (code == SQLITE_DONE) return false;
  throw ESqliteError(db_, code);
}

void TSqliteStatement::Run() {
  while (Step()) {
  }
}

void TSqliteStatement::Reset() {
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

std::int64_t TSqliteStatement::Scalar() { return Step() ? Int(0) : 0; }

std::int64_t TSqliteStatement::Int(int column) const { return sqlite3_column_int64(statement_, column); }

double TSqliteStatement::Real(int column) const { return sqlite3_column_double(statement_, column); }

std::string TSqliteStatement::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return text != nullptr ? std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(statement_, column)))
                         : std::string();
}

void SqliteExec(sqlite3* db, const std::string& sql) {
  char* message = nullptr;
  const int code = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  sqlite3_free(message);
  if (code != SQLITE_OK) throw ESqliteError(db, code);
}

TSqliteTransaction::TSqliteTransaction(sqlite3* db, bool immediate) : db_(db) {
  SqliteExec(db_, immediate ? "BEGIN IMMEDIATE" : "BEGIN");
}

TSqliteTransaction::~TSqliteTransaction() {
  if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

void TSqliteTransaction::Commit() {
  SqliteExec(db_, "COMMIT");
  open_ = false;
}

}  // namespace quorvel
