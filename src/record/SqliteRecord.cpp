#include "SqliteRecord.h"

#include "Errors.h"
#include "SqliteStatement.h"

#include <fmt/format.h>
#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace quorvel {

namespace {

constexpr const char* kRecordErrorFormat = "Журнал обслуживания {}: {}";
constexpr const char kSqliteHeader[] = "SQLite format 3";  // the first 16 bytes, NUL included

// Each entry takes the schema from the version before it to its own number (index + 1).
// A published entry is never changed: a later schema gets a new entry.
const char* const kMigrations[] = {
    R"sql(
CREATE TABLE runs(
  id INTEGER PRIMARY KEY,
  started TEXT NOT NULL,
  ended TEXT,
  state TEXT NOT NULL,
  host TEXT NOT NULL DEFAULT '',
  operator TEXT NOT NULL DEFAULT '',
  version TEXT NOT NULL DEFAULT '',
  profile TEXT NOT NULL DEFAULT '',
  profile_sha256 TEXT NOT NULL DEFAULT '',
  groups TEXT NOT NULL DEFAULT '',
  options TEXT NOT NULL DEFAULT '',
  pool TEXT NOT NULL DEFAULT '',
  retry_of INTEGER REFERENCES runs(id));
CREATE TABLE pools(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  key_column TEXT NOT NULL DEFAULT '',
  source TEXT NOT NULL DEFAULT '',
  source_sha256 TEXT NOT NULL DEFAULT '',
  created TEXT NOT NULL);
CREATE TABLE pool_rows(
  id INTEGER PRIMARY KEY,
  pool_id INTEGER NOT NULL REFERENCES pools(id),
  line INTEGER NOT NULL,
  key TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL DEFAULT 'free',
  factory_number TEXT NOT NULL DEFAULT '',
  port TEXT NOT NULL DEFAULT '',
  run_id INTEGER REFERENCES runs(id),
  claimed TEXT NOT NULL DEFAULT '');
CREATE INDEX pool_rows_key ON pool_rows(pool_id, key);
CREATE INDEX pool_rows_terminal ON pool_rows(pool_id, factory_number);
CREATE TABLE pool_values(
  row_id INTEGER NOT NULL REFERENCES pool_rows(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(row_id, position));
CREATE TABLE terminals(
  id INTEGER PRIMARY KEY,
  run_id INTEGER NOT NULL REFERENCES runs(id),
  position INTEGER NOT NULL,
  port TEXT NOT NULL,
  factory_number TEXT NOT NULL DEFAULT '',
  serial_before TEXT NOT NULL DEFAULT '',
  serial_after TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL,
  message TEXT NOT NULL DEFAULT '',
  started TEXT NOT NULL DEFAULT '',
  ended TEXT NOT NULL DEFAULT '',
  seconds REAL NOT NULL DEFAULT 0,
  terminal_values TEXT NOT NULL DEFAULT '',
  pool_row INTEGER REFERENCES pool_rows(id));
CREATE INDEX terminals_run ON terminals(run_id, position);
CREATE INDEX terminals_factory ON terminals(factory_number);
CREATE INDEX terminals_serial ON terminals(serial_after, serial_before);
CREATE TABLE steps(
  id INTEGER PRIMARY KEY,
  terminal_id INTEGER NOT NULL REFERENCES terminals(id),
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  state TEXT NOT NULL,
  message TEXT NOT NULL DEFAULT '',
  seconds REAL NOT NULL DEFAULT 0,
  bytes_sent INTEGER NOT NULL DEFAULT 0,
  ended TEXT NOT NULL DEFAULT '',
  details TEXT NOT NULL DEFAULT '');
CREATE INDEX steps_terminal ON steps(terminal_id, position);
CREATE TABLE operations(
  id INTEGER PRIMARY KEY,
  time TEXT NOT NULL,
  host TEXT NOT NULL DEFAULT '',
  operator TEXT NOT NULL DEFAULT '',
  program TEXT NOT NULL DEFAULT '',
  operation TEXT NOT NULL,
  port TEXT NOT NULL DEFAULT '',
  factory_number TEXT NOT NULL DEFAULT '',
  result TEXT NOT NULL,
  message TEXT NOT NULL DEFAULT '');
CREATE INDEX operations_factory ON operations(factory_number);
)sql",
};
static_assert(std::size(kMigrations) == kRecordSchemaVersion);

constexpr const char* kTerminalColumns =
    "id, run_id, position, port, factory_number, serial_before, serial_after, state, message, started, "
    "ended, seconds, terminal_values, COALESCE(pool_row, 0)";
constexpr const char* kRowColumns = "id, line, key, state, factory_number, port, COALESCE(run_id, 0), claimed";
constexpr const char* kRunColumns =
    "id, started, COALESCE(ended, ''), state, host, operator, version, profile, profile_sha256, groups, "
    "options, pool, COALESCE(retry_of, 0), "
    "(SELECT COUNT(*) FROM terminals t WHERE t.run_id = runs.id), "
    "(SELECT COUNT(*) FROM terminals t WHERE t.run_id = runs.id AND t.state = 'успешно')";

TRunRecord RunOf(TSqliteStatement& s) {
  TRunRecord run;
  run.Id = s.Int(0);
  run.Started = s.Text(1);
  run.Ended = s.Text(2);
  run.State = s.Text(3);
  run.Host = s.Text(4);
  run.Operator = s.Text(5);
  run.Version = s.Text(6);
  run.Profile = s.Text(7);
  run.ProfileSha256 = s.Text(8);
  run.Groups = s.Text(9);
  run.Options = s.Text(10);
  run.Pool = s.Text(11);
  run.RetryOf = s.Int(12);
  run.Terminals = static_cast<int>(s.Int(13));
  run.Passed = static_cast<int>(s.Int(14));
  return run;
}

TTerminalRecord TerminalOf(TSqliteStatement& s) {
  TTerminalRecord t;
  t.Id = s.Int(0);
  t.RunId = s.Int(1);
  t.Position = static_cast<int>(s.Int(2));
  t.Port = s.Text(3);
  t.FactoryNumber = s.Text(4);
  t.SerialBefore = s.Text(5);
  t.SerialAfter = s.Text(6);
  t.State = s.Text(7);
  t.Message = s.Text(8);
  t.Started = s.Text(9);
  t.Ended = s.Text(10);
  t.Seconds = s.Real(11);
  t.Values = s.Text(12);
  t.PoolRow = s.Int(13);
  return t;
}

TPoolRow RowOf(TSqliteStatement& s) {
  TPoolRow row;
  row.Id = s.Int(0);
  row.Line = static_cast<int>(s.Int(1));
  row.Key = s.Text(2);
  row.State = s.Text(3);
  row.FactoryNumber = s.Text(4);
  row.Port = s.Text(5);
  row.RunId = s.Int(6);
  row.Claimed = s.Text(7);
  return row;
}

// Whether the file starts as an SQLite database does; false for an empty or short file too.
bool HasSqliteHeader(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  char header[sizeof kSqliteHeader] = {};
  in.read(header, sizeof header);
  return in.gcount() == static_cast<std::streamsize>(sizeof header) &&
         std::memcmp(header, kSqliteHeader, sizeof header) == 0;
}

// Each migration is one transaction: a failed one leaves the version before it.
void Migrate(sqlite3* db) {
  // Most opens find the record current and write nothing, so that several processes opening it
  // at once never wait on each other; a migration takes the write lock before it reads.
  if (TSqliteStatement(db, "PRAGMA user_version").Scalar() >= kRecordSchemaVersion) return;
  TSqliteTransaction transaction(db, true);
  std::int64_t version = TSqliteStatement(db, "PRAGMA user_version").Scalar();
  for (; version < kRecordSchemaVersion; ++version) SqliteExec(db, kMigrations[version]);
  SqliteExec(db, fmt::format("PRAGMA application_id={}", kRecordApplicationId));
  SqliteExec(db, fmt::format("PRAGMA user_version={}", kRecordSchemaVersion));
  transaction.Commit();
}

}  // namespace

TSqliteRecord::TSqliteRecord(const std::string& path, int busyTimeoutMs) : path_(path) {
  struct stat info {};
  bool created = false;
  if (::lstat(path_.c_str(), &info) != 0) {
    if (errno != ENOENT) Fail(std::strerror(errno));
    Create();
    created = true;
  }
  try {
    Open(busyTimeoutMs);
    if (created) foundVersion_ = 0;
  } catch (...) {
    sqlite3_close_v2(db_);
    db_ = nullptr;
    throw;
  }
}

TSqliteRecord::~TSqliteRecord() { sqlite3_close_v2(db_); }

void TSqliteRecord::Fail(const std::string& reason) const {
  throw ERecordError(fmt::format(kRecordErrorFormat, path_, reason));
}

void TSqliteRecord::Create() {
  // Made whole under a temporary name, then linked into place: a crash or a full disk never
  // leaves a half-made record, and a process that made one meanwhile keeps its own.
  std::string temp = path_ + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) Fail(fmt::format("не удалось создать файл: {}", std::strerror(errno)));
  ::close(fd);
  sqlite3* db = nullptr;
  std::string error;
  if (sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    error = fmt::format(kRecordErrorFormat, path_, sqlite3_errmsg(db));
  } else {
    try {
      Migrate(db);
    } catch (const std::exception& e) {
      error = e.what();
    }
  }
  sqlite3_close_v2(db);
  if (error.empty() && ::link(temp.c_str(), path_.c_str()) != 0 && errno != EEXIST)
    error = fmt::format(kRecordErrorFormat, path_, std::strerror(errno));
  ::unlink(temp.c_str());
  ::unlink((temp + "-journal").c_str());
  if (!error.empty()) throw ERecordError(error);
}

void TSqliteRecord::Open(int busyTimeoutMs) {
  struct stat info {};
  if (::stat(path_.c_str(), &info) != 0) Fail(std::strerror(errno));
  if (!S_ISREG(info.st_mode)) Fail("не является обычным файлом");
  // Checked before SQLite may write anything to it: a file that is not ours stays as it is.
  if (!HasSqliteHeader(path_)) Fail("файл поврежден или не является базой данных SQLite");
  if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX, nullptr) != SQLITE_OK)
    Fail(sqlite3_errmsg(db_));
  sqlite3_busy_timeout(db_, busyTimeoutMs);
  sqlite3_extended_result_codes(db_, 1);
  try {
    const std::int64_t application = TSqliteStatement(db_, "PRAGMA application_id").Scalar();
    const std::int64_t version = TSqliteStatement(db_, "PRAGMA user_version").Scalar();
    if (application != kRecordApplicationId) Fail("это база данных другой программы");
    foundVersion_ = static_cast<int>(version);
    if (version > kRecordSchemaVersion)
      Fail(fmt::format("версия схемы {} новее, чем знает эта программа ({}); обновите программу", version,
                       kRecordSchemaVersion));
    TSqliteStatement check(db_, "PRAGMA quick_check");
    const std::string verdict = check.Step() ? check.Text(0) : std::string("нет ответа");
    if (verdict != "ok") Fail("файл поврежден: " + verdict);
  } catch (const ESqliteError& e) {
    Fail(e.Reason());
  }
  SqliteExec(db_, "PRAGMA journal_mode=WAL");
  SqliteExec(db_, "PRAGMA foreign_keys=ON");
  SqliteExec(db_, "PRAGMA synchronous=NORMAL");
  Migrate(db_);
}

std::int64_t TSqliteRecord::StartRun(const TRunStart& run) {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_,
                     "INSERT INTO runs(started, state, host, operator, version, profile, profile_sha256, groups, "
                     "options, pool, retry_of) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULLIF(?, 0))");
  s.Bind(RecordTimeNow(), kRecordRunning, run.Host, run.Operator, run.Version, run.Profile, run.ProfileSha256,
         run.Groups, run.Options, run.Pool, run.RetryOf);
  s.Run();
  return sqlite3_last_insert_rowid(db_);
}

void TSqliteRecord::EndRun(std::int64_t run, const std::string& state) {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_, "UPDATE runs SET ended = ?, state = ? WHERE id = ?");
  s.Bind(RecordTimeNow(), state, run);
  s.Run();
}

void TSqliteRecord::AddTerminal(TTerminalRecord& terminal) {
  std::lock_guard guard(lock_);
  TSqliteTransaction transaction(db_);
  TSqliteStatement s(db_,
                     "INSERT INTO terminals(run_id, position, port, factory_number, serial_before, state, "
                     "started) VALUES(?, ?, ?, ?, ?, ?, ?)");
  s.Bind(terminal.RunId, terminal.Position, terminal.Port, terminal.FactoryNumber, terminal.SerialBefore,
         terminal.State, terminal.Started);
  s.Run();
  terminal.Id = sqlite3_last_insert_rowid(db_);
  for (TStepRecord& step : terminal.Steps) {
    TSqliteStatement add(db_, "INSERT INTO steps(terminal_id, position, name, state) VALUES(?, ?, ?, ?)");
    add.Bind(terminal.Id, step.Position, step.Name, step.State);
    add.Run();
    step.Id = sqlite3_last_insert_rowid(db_);
  }
  transaction.Commit();
}

void TSqliteRecord::UpdateTerminal(const TTerminalRecord& t) {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_,
                     "UPDATE terminals SET factory_number = ?, serial_before = ?, serial_after = ?, state = ?, "
                     "message = ?, started = ?, ended = ?, seconds = ?, terminal_values = ?, "
                     "pool_row = NULLIF(?, 0) WHERE id = ?");
  s.Bind(t.FactoryNumber, t.SerialBefore, t.SerialAfter, t.State, t.Message, t.Started, t.Ended, t.Seconds,
         t.Values, t.PoolRow, t.Id);
  s.Run();
}

void TSqliteRecord::UpdateStep(const TStepRecord& step) {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_,
                     "UPDATE steps SET state = ?, message = ?, seconds = ?, bytes_sent = ?, ended = ?, "
                     "details = ? WHERE id = ?");
  s.Bind(step.State, step.Message, step.Seconds, step.BytesSent, step.Ended, step.Details, step.Id);
  s.Run();
}

void TSqliteRecord::AddOperation(const TOperationRecord& o) {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_,
                     "INSERT INTO operations(time, host, operator, program, operation, port, factory_number, "
                     "result, message) VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?)");
  s.Bind(o.Time.empty() ? RecordTimeNow() : o.Time, o.Host, o.Operator, o.Program, o.Operation, o.Port,
         o.FactoryNumber, o.Result, o.Message);
  s.Run();
}

std::vector<TRunRecord> TSqliteRecord::Runs(const std::string& since) const {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_, fmt::format("SELECT {} FROM runs WHERE started >= ? ORDER BY id", kRunColumns));
  s.Bind(since);
  std::vector<TRunRecord> runs;
  while (s.Step()) runs.push_back(RunOf(s));
  return runs;
}

std::optional<TRunRecord> TSqliteRecord::Run(std::int64_t id) const {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_, fmt::format("SELECT {} FROM runs WHERE id = ?", kRunColumns));
  s.Bind(id);
  if (!s.Step()) return std::nullopt;
  return RunOf(s);
}

std::vector<TStepRecord> TSqliteRecord::StepsOf(std::int64_t terminal) const {
  TSqliteStatement s(db_,
                     "SELECT id, position, name, state, message, seconds, bytes_sent, ended, details FROM steps "
                     "WHERE terminal_id = ? ORDER BY position");
  s.Bind(terminal);
  std::vector<TStepRecord> steps;
  while (s.Step()) {
    TStepRecord step;
    step.Id = s.Int(0);
    step.Position = static_cast<int>(s.Int(1));
    step.Name = s.Text(2);
    step.State = s.Text(3);
    step.Message = s.Text(4);
    step.Seconds = s.Real(5);
    step.BytesSent = s.Int(6);
    step.Ended = s.Text(7);
    step.Details = s.Text(8);
    steps.push_back(std::move(step));
  }
  return steps;
}

std::vector<TTerminalRecord> TSqliteRecord::Terminals(const TTerminalQuery& query) const {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_, fmt::format("SELECT {} FROM terminals WHERE (? = 0 OR run_id = ?) AND "
                                      "(? = '' OR factory_number = ?) AND "
                                      "(? = '' OR serial_after = ? OR serial_before = ?) ORDER BY run_id, position",
                                      kTerminalColumns));
  s.Bind(query.RunId, query.RunId, query.FactoryNumber, query.FactoryNumber, query.Serial, query.Serial,
         query.Serial);
  std::vector<TTerminalRecord> terminals;
  while (s.Step()) terminals.push_back(TerminalOf(s));
  for (TTerminalRecord& t : terminals) t.Steps = StepsOf(t.Id);
  return terminals;
}

std::vector<TOperationRecord> TSqliteRecord::Operations(const std::string& factoryNumber) const {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_,
                     "SELECT id, time, host, operator, program, operation, port, factory_number, result, message "
                     "FROM operations WHERE ? = '' OR factory_number = ? ORDER BY id");
  s.Bind(factoryNumber, factoryNumber);
  std::vector<TOperationRecord> operations;
  while (s.Step()) {
    TOperationRecord o;
    o.Id = s.Int(0);
    o.Time = s.Text(1);
    o.Host = s.Text(2);
    o.Operator = s.Text(3);
    o.Program = s.Text(4);
    o.Operation = s.Text(5);
    o.Port = s.Text(6);
    o.FactoryNumber = s.Text(7);
    o.Result = s.Text(8);
    o.Message = s.Text(9);
    operations.push_back(std::move(o));
  }
  return operations;
}

std::int64_t TSqliteRecord::PoolId(const std::string& name) const {
  TSqliteStatement s(db_, "SELECT id FROM pools WHERE name = ?");
  s.Bind(name);
  if (!s.Step()) throw Exception(fmt::format("Нет набора {}", name));
  return s.Int(0);
}

void TSqliteRecord::ImportPool(const TPoolTable& table, bool reuseSame) {
  std::lock_guard guard(lock_);
  TSqliteTransaction transaction(db_, true);
  {
    TSqliteStatement existing(db_, "SELECT source_sha256 FROM pools WHERE name = ?");
    existing.Bind(table.Name);
    if (existing.Step()) {
      if (reuseSame && existing.Text(0) == table.SourceSha256) return;
      throw Exception(fmt::format("Набор {} уже есть", table.Name));
    }
  }
  TSqliteStatement pool(db_, "INSERT INTO pools(name, key_column, source, source_sha256, created) VALUES(?, ?, ?, ?, ?)");
  pool.Bind(table.Name, table.KeyColumn, table.Source, table.SourceSha256, RecordTimeNow());
  pool.Run();
  const std::int64_t poolId = sqlite3_last_insert_rowid(db_);
  std::size_t keyIndex = table.Columns.size();
  for (std::size_t i = 0; i < table.Columns.size(); ++i)
    if (table.Columns[i] == table.KeyColumn) keyIndex = i;
  TSqliteStatement row(db_, "INSERT INTO pool_rows(pool_id, line, key) VALUES(?, ?, ?)");
  TSqliteStatement cell(db_, "INSERT INTO pool_values(row_id, position, name, value) VALUES(?, ?, ?, ?)");
  for (std::size_t r = 0; r < table.Rows.size(); ++r) {
    const std::vector<std::string>& cells = table.Rows[r];
    row.Reset();
    row.Bind(poolId, r < table.Lines.size() ? table.Lines[r] : static_cast<int>(r) + 2,
             keyIndex < cells.size() ? cells[keyIndex] : std::string());
    row.Run();
    const std::int64_t rowId = sqlite3_last_insert_rowid(db_);
    for (std::size_t c = 0; c < cells.size() && c < table.Columns.size(); ++c) {
      cell.Reset();
      cell.Bind(rowId, static_cast<std::int64_t>(c), table.Columns[c], cells[c]);
      cell.Run();
    }
  }
  transaction.Commit();
}

bool TSqliteRecord::HasPool(const std::string& name) const {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_, "SELECT 1 FROM pools WHERE name = ?");
  s.Bind(name);
  return s.Step();
}

std::string TSqliteRecord::PoolKeyColumn(const std::string& name) const {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_, "SELECT key_column FROM pools WHERE name = ?");
  s.Bind(name);
  if (!s.Step()) throw Exception(fmt::format("Нет набора {}", name));
  return s.Text(0);
}

std::vector<TPoolRow> TSqliteRecord::RowsWhere(const std::string& where, std::int64_t pool, int limit) const {
  TSqliteStatement s(db_, fmt::format("SELECT {} FROM pool_rows WHERE pool_id = ? {} ORDER BY line, id{}",
                                      kRowColumns, where, limit > 0 ? fmt::format(" LIMIT {}", limit) : ""));
  s.Bind(pool);
  std::vector<TPoolRow> rows;
  while (s.Step()) rows.push_back(RowOf(s));
  TSqliteStatement cells(db_, "SELECT name, value FROM pool_values WHERE row_id = ? ORDER BY position");
  for (TPoolRow& row : rows) {
    cells.Reset();
    cells.Bind(row.Id);
    while (cells.Step()) row.Cells.emplace_back(cells.Text(0), cells.Text(1));
  }
  return rows;
}

std::vector<TPoolRow> TSqliteRecord::PoolRows(const std::string& name) const {
  std::lock_guard guard(lock_);
  return RowsWhere("", PoolId(name));
}

std::optional<TPoolClaim> TSqliteRecord::ClaimRow(const std::string& pool, const std::string& key,
                                                  const TClaimer& claimer) {
  std::lock_guard guard(lock_);
  // IMMEDIATE: the write lock is taken before the row is chosen, so two processes that claim
  // at once take turns and never choose the same free row.
  TSqliteTransaction transaction(db_, true);
  const std::int64_t poolId = PoolId(pool);
  const std::string keyColumn = [&] {
    TSqliteStatement s(db_, "SELECT key_column FROM pools WHERE id = ?");
    s.Bind(poolId);
    s.Step();
    return s.Text(0);
  }();
  std::optional<TPoolClaim> claim;
  if (!claimer.FactoryNumber.empty()) {
    TSqliteStatement held(db_, "SELECT id FROM pool_rows WHERE pool_id = ? AND factory_number = ? AND state <> ? "
                               "ORDER BY line LIMIT 1");
    held.Bind(poolId, claimer.FactoryNumber, kPoolFree);
    if (held.Step()) claim = TPoolClaim{RowsWhere(fmt::format("AND id = {}", held.Int(0)), poolId).front(), true};
  }
  if (!claim) {
    std::vector<TPoolRow> rows;
    if (!keyColumn.empty()) {
      TSqliteStatement keyed(db_, "SELECT id FROM pool_rows WHERE pool_id = ? AND key = ?");
      keyed.Bind(poolId, key);
      if (keyed.Step()) rows = RowsWhere(fmt::format("AND id = {}", keyed.Int(0)), poolId);
    } else {
      rows = RowsWhere(fmt::format("AND state = '{}'", kPoolFree), poolId, 1);
    }
    if (rows.empty()) return std::nullopt;
    TPoolRow& row = rows.front();
    if (row.State != kPoolFree)
      throw Exception(fmt::format("Строка {} набора {} уже выдана терминалу {}", row.Line, pool, row.FactoryNumber));
    claim = TPoolClaim{row, false};
  }
  TPoolRow& row = claim->Row;
  for (const auto& [name, value] : row.Cells)
    if (name == "factory_number" && !value.empty() && value != claimer.FactoryNumber)
      throw Exception(fmt::format("Строка {} набора {} для терминала с заводским номером {}, а терминал сообщил {}",
                                  row.Line, pool, value, claimer.FactoryNumber));
  TSqliteStatement update(db_, "UPDATE pool_rows SET state = ?, factory_number = ?, port = ?, run_id = NULLIF(?, 0), "
                               "claimed = ? WHERE id = ?");
  row.State = kPoolClaimed;
  row.FactoryNumber = claimer.FactoryNumber;
  row.Port = claimer.Port;
  row.RunId = claimer.RunId;
  row.Claimed = RecordTimeNow();
  update.Bind(row.State, row.FactoryNumber, row.Port, row.RunId, row.Claimed, row.Id);
  update.Run();
  transaction.Commit();
  return claim;
}

void TSqliteRecord::SetRowState(std::int64_t row, const std::string& state) {
  std::lock_guard guard(lock_);
  TSqliteStatement s(db_, "UPDATE pool_rows SET state = ? WHERE id = ?");
  s.Bind(state, row);
  s.Run();
}

void TSqliteRecord::ReleaseRow(const std::string& pool, const std::string& key) {
  std::lock_guard guard(lock_);
  TSqliteTransaction transaction(db_, true);
  const std::int64_t poolId = PoolId(pool);
  TSqliteStatement s(db_, fmt::format("SELECT {} FROM pool_rows WHERE pool_id = ? AND state <> ? AND "
                                      "(key = ? OR factory_number = ?) ORDER BY line",
                                      kRowColumns));
  s.Bind(poolId, kPoolFree, key, key);
  if (!s.Step()) throw Exception(fmt::format("В наборе {} нет выданной строки {}", pool, key));
  const TPoolRow row = RowOf(s);
  if (row.State == kPoolUsed)
    throw Exception(fmt::format("Строка {} набора {} уже записана в терминал {}: ее нельзя освободить", row.Line,
                                pool, row.FactoryNumber));
  TSqliteStatement update(db_, "UPDATE pool_rows SET state = ?, factory_number = '', port = '', run_id = NULL, "
                               "claimed = '' WHERE id = ?");
  update.Bind(kPoolFree, row.Id);
  update.Run();
  transaction.Commit();
}

}  // namespace quorvel
