#include "PgRecord.h"

#include "Errors.h"
#include "PgConnection.h"

#include <fmt/format.h>

#include <unordered_map>

namespace quorvel {

namespace {

// Taken by every migration for the length of its transaction (the bytes "QVRD").
constexpr std::int64_t kMigrationLock = 0x51565244;

// The same tables and columns as the SQLite record's, in PostgreSQL's types. Each entry takes
// the schema from the version before it to its own number (index + 1); a published entry is
// never changed: a later schema gets a new entry.
const char* const kMigrations[] = {
    R"sql(
CREATE TABLE runs(
  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
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
  retry_of BIGINT REFERENCES runs(id));
CREATE TABLE pools(
  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  key_column TEXT NOT NULL DEFAULT '',
  source TEXT NOT NULL DEFAULT '',
  source_sha256 TEXT NOT NULL DEFAULT '',
  created TEXT NOT NULL);
CREATE TABLE pool_rows(
  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  pool_id BIGINT NOT NULL REFERENCES pools(id),
  line INTEGER NOT NULL,
  key TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL DEFAULT 'free',
  factory_number TEXT NOT NULL DEFAULT '',
  port TEXT NOT NULL DEFAULT '',
  run_id BIGINT REFERENCES runs(id),
  claimed TEXT NOT NULL DEFAULT '');
CREATE INDEX pool_rows_key ON pool_rows(pool_id, key);
CREATE INDEX pool_rows_terminal ON pool_rows(pool_id, factory_number);
CREATE TABLE pool_values(
  row_id BIGINT NOT NULL REFERENCES pool_rows(id) ON DELETE CASCADE,
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(row_id, position));
CREATE TABLE terminals(
  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  run_id BIGINT NOT NULL REFERENCES runs(id),
  position INTEGER NOT NULL,
  port TEXT NOT NULL,
  factory_number TEXT NOT NULL DEFAULT '',
  serial_before TEXT NOT NULL DEFAULT '',
  serial_after TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL,
  message TEXT NOT NULL DEFAULT '',
  started TEXT NOT NULL DEFAULT '',
  ended TEXT NOT NULL DEFAULT '',
  seconds DOUBLE PRECISION NOT NULL DEFAULT 0,
  terminal_values TEXT NOT NULL DEFAULT '',
  pool_row BIGINT REFERENCES pool_rows(id));
CREATE INDEX terminals_run ON terminals(run_id, position);
CREATE INDEX terminals_factory ON terminals(factory_number);
CREATE INDEX terminals_serial ON terminals(serial_after, serial_before);
CREATE TABLE steps(
  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  terminal_id BIGINT NOT NULL REFERENCES terminals(id),
  position INTEGER NOT NULL,
  name TEXT NOT NULL,
  state TEXT NOT NULL,
  message TEXT NOT NULL DEFAULT '',
  seconds DOUBLE PRECISION NOT NULL DEFAULT 0,
  bytes_sent BIGINT NOT NULL DEFAULT 0,
  ended TEXT NOT NULL DEFAULT '',
  details TEXT NOT NULL DEFAULT '');
CREATE INDEX steps_terminal ON steps(terminal_id, position);
CREATE TABLE operations(
  id BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
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
constexpr const char* kRowColumns =
    "id, line, key, state, factory_number, port, COALESCE(run_id, 0), claimed";
constexpr const char* kRunColumns =
    "id, started, COALESCE(ended, ''), state, host, operator, version, profile, profile_sha256, groups, "
    "options, pool, COALESCE(retry_of, 0), "
    "(SELECT COUNT(*) FROM terminals t WHERE t.run_id = runs.id), "
    "(SELECT COUNT(*) FROM terminals t WHERE t.run_id = runs.id AND t.state = 'успешно')";

TRunRecord RunOf(const TPgResult& r, int i) {
  TRunRecord run;
  run.Id = r.Int(i, 0);
  run.Started = r.Text(i, 1);
  run.Ended = r.Text(i, 2);
  run.State = r.Text(i, 3);
  run.Host = r.Text(i, 4);
  run.Operator = r.Text(i, 5);
  run.Version = r.Text(i, 6);
  run.Profile = r.Text(i, 7);
  run.ProfileSha256 = r.Text(i, 8);
  run.Groups = r.Text(i, 9);
  run.Options = r.Text(i, 10);
  run.Pool = r.Text(i, 11);
  run.RetryOf = r.Int(i, 12);
  run.Terminals = static_cast<int>(r.Int(i, 13));
  run.Passed = static_cast<int>(r.Int(i, 14));
  return run;
}

TTerminalRecord TerminalOf(const TPgResult& r, int i) {
  TTerminalRecord t;
  t.Id = r.Int(i, 0);
  t.RunId = r.Int(i, 1);
  t.Position = static_cast<int>(r.Int(i, 2));
  t.Port = r.Text(i, 3);
  t.FactoryNumber = r.Text(i, 4);
  t.SerialBefore = r.Text(i, 5);
  t.SerialAfter = r.Text(i, 6);
  t.State = r.Text(i, 7);
  t.Message = r.Text(i, 8);
  t.Started = r.Text(i, 9);
  t.Ended = r.Text(i, 10);
  t.Seconds = r.Real(i, 11);
  t.Values = r.Text(i, 12);
  t.PoolRow = r.Int(i, 13);
  return t;
}

// The rows of a result of kRowColumns, with their cells.
std::vector<TPoolRow> RowsOf(TPgConnection& db, const TPgResult& r) {
  std::vector<TPoolRow> rows;
  std::string ids;
  for (int i = 0; i < r.Rows(); ++i) {
    TPoolRow row;
    row.Id = r.Int(i, 0);
    row.Line = static_cast<int>(r.Int(i, 1));
    row.Key = r.Text(i, 2);
    row.State = r.Text(i, 3);
    row.FactoryNumber = r.Text(i, 4);
    row.Port = r.Text(i, 5);
    row.RunId = r.Int(i, 6);
    row.Claimed = r.Text(i, 7);
    ids += (ids.empty() ? "" : ",") + std::to_string(row.Id);
    rows.push_back(std::move(row));
  }
  if (rows.empty()) return rows;
  // One round trip for the cells of all the rows; the array holds numbers only.
  const TPgResult cells = db.Exec(
      "SELECT row_id, name, value FROM pool_values WHERE row_id = ANY($1::bigint[]) ORDER BY row_id, "
      "position",
      "{" + ids + "}");
  std::unordered_map<std::int64_t, std::size_t> byId;
  for (std::size_t i = 0; i < rows.size(); ++i) byId.emplace(rows[i].Id, i);
  for (int i = 0; i < cells.Rows(); ++i)
    rows[byId.at(cells.Int(i, 0))].Cells.emplace_back(cells.Text(i, 1), cells.Text(i, 2));
  return rows;
}

std::int64_t PoolIdOf(TPgConnection& db, const std::string& name, std::string* keyColumn = nullptr) {
  const TPgResult r = db.Exec("SELECT id, key_column FROM pools WHERE name = $1", name);
  if (r.Rows() == 0) throw Exception(fmt::format("Нет набора {}", name));
  if (keyColumn != nullptr) *keyColumn = r.Text(0, 1);
  return r.Int(0, 0);
}

std::vector<TStepRecord> StepsOf(TPgConnection& db, std::int64_t terminal) {
  const TPgResult r = db.Exec(
      "SELECT id, position, name, state, message, seconds, bytes_sent, ended, details FROM steps "
      "WHERE terminal_id = $1::bigint ORDER BY position",
      terminal);
  std::vector<TStepRecord> steps;
  for (int i = 0; i < r.Rows(); ++i) {
    TStepRecord step;
    step.Id = r.Int(i, 0);
    step.Position = static_cast<int>(r.Int(i, 1));
    step.Name = r.Text(i, 2);
    step.State = r.Text(i, 3);
    step.Message = r.Text(i, 4);
    step.Seconds = r.Real(i, 5);
    step.BytesSent = r.Int(i, 6);
    step.Ended = r.Text(i, 7);
    step.Details = r.Text(i, 8);
    steps.push_back(std::move(step));
  }
  return steps;
}

bool HasVersionTable(TPgConnection& db) {
  return !db.Exec("SELECT to_regclass('quorvel_schema')").IsNull(0, 0);
}

int VersionOf(TPgConnection& db) {
  return static_cast<int>(db.Exec("SELECT COALESCE(MAX(version), 0) FROM quorvel_schema").Int(0, 0));
}

void RefuseNewer(TPgConnection& db, int version) {
  if (version > kRecordSchemaVersion)
    db.Fail(fmt::format("версия схемы {} новее, чем знает эта программа ({}); обновите программу", version,
                        kRecordSchemaVersion));
}

// Brings the schema to the current version and returns the version it found. Without create,
// a database without the version table is refused. Most opens find it current and lock
// nothing, so benches opening the record at once do not wait on each other.
int PrepareSchema(TPgConnection& db, bool create) {
  if (HasVersionTable(db)) {
    const int version = VersionOf(db);
    RefuseNewer(db, version);
    if (version == kRecordSchemaVersion) return version;
  } else if (!create) {
    const bool others =
        db.Exec("SELECT EXISTS(SELECT 1 FROM pg_tables WHERE schemaname = current_schema())").Text(0, 0) ==
        "t";
    db.Fail(fmt::format("{}; создайте его: quorvel-cli --record {} record init",
                        others ? "это база данных другой программы: в ней нет журнала обслуживания"
                               : "в базе данных нет журнала обслуживания",
                        db.Location()));
  }
  TPgTransaction transaction(db);
  // Whoever migrates holds the lock to the end of its transaction; one that waited for it
  // finds the work done when it reads the version again.
  db.Exec("SELECT pg_advisory_xact_lock($1::bigint)", kMigrationLock);
  db.Exec("CREATE TABLE IF NOT EXISTS quorvel_schema(version INTEGER NOT NULL)");
  const int found = VersionOf(db);
  RefuseNewer(db, found);
  if (found == kRecordSchemaVersion) return found;
  for (int version = found; version < kRecordSchemaVersion; ++version) db.ExecScript(kMigrations[version]);
  db.Exec("DELETE FROM quorvel_schema");
  db.Exec("INSERT INTO quorvel_schema(version) VALUES($1::integer)", kRecordSchemaVersion);
  transaction.Commit();
  return found;
}

}  // namespace

TPgRecord::TPgRecord(const std::string& url) : db_(std::make_unique<TPgConnection>(url)) {
  PrepareSchema(*db_, false);
}

TPgRecord::~TPgRecord() = default;

int TPgRecord::InitSchema(const std::string& url) {
  TPgConnection db(url);
  return PrepareSchema(db, true);
}

std::string TPgRecord::Location() const { return db_->Location(); }

TPgConnection& TPgRecord::Db() const {
  db_->Ready();
  return *db_;
}

std::int64_t TPgRecord::StartRun(const TRunStart& run) {
  std::lock_guard guard(lock_);
  return Db()
      .Exec(
          "INSERT INTO runs(started, state, host, operator, version, profile, profile_sha256, groups, "
          "options, "
          "pool, retry_of) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, NULLIF($11::bigint, 0)) RETURNING "
          "id",
          RecordTimeNow(), kRecordRunning, run.Host, run.Operator, run.Version, run.Profile,
          run.ProfileSha256, run.Groups, run.Options, run.Pool, run.RetryOf)
      .Int(0, 0);
}

void TPgRecord::EndRun(std::int64_t run, const std::string& state) {
  std::lock_guard guard(lock_);
  Db().Exec("UPDATE runs SET ended = $1, state = $2 WHERE id = $3::bigint", RecordTimeNow(), state, run);
}

void TPgRecord::AddTerminal(TTerminalRecord& terminal) {
  std::lock_guard guard(lock_);
  TPgConnection& db = Db();
  TPgTransaction transaction(db);
  const std::int64_t id =
      db.Exec(
            "INSERT INTO terminals(run_id, position, port, factory_number, serial_before, state, started) "
            "VALUES($1::bigint, $2::integer, $3, $4, $5, $6, $7) RETURNING id",
            terminal.RunId, terminal.Position, terminal.Port, terminal.FactoryNumber, terminal.SerialBefore,
            terminal.State, terminal.Started)
          .Int(0, 0);
  std::vector<std::int64_t> stepIds;
  for (const TStepRecord& step : terminal.Steps)
    stepIds.push_back(db.Exec("INSERT INTO steps(terminal_id, position, name, state) "
                              "VALUES($1::bigint, $2::integer, $3, $4) RETURNING id",
                              id, step.Position, step.Name, step.State)
                          .Int(0, 0));
  transaction.Commit();
  // The ids are the caller's only once they are committed.
  terminal.Id = id;
  for (std::size_t i = 0; i < stepIds.size(); ++i) terminal.Steps[i].Id = stepIds[i];
}

void TPgRecord::UpdateTerminal(const TTerminalRecord& t) {
  std::lock_guard guard(lock_);
  Db().Exec(
      "UPDATE terminals SET factory_number = $1, serial_before = $2, serial_after = $3, state = $4, "
      "message = $5, started = $6, ended = $7, seconds = $8::double precision, terminal_values = $9, "
      "pool_row = NULLIF($10::bigint, 0) WHERE id = $11::bigint",
      t.FactoryNumber, t.SerialBefore, t.SerialAfter, t.State, t.Message, t.Started, t.Ended, t.Seconds,
      t.Values, t.PoolRow, t.Id);
}

void TPgRecord::UpdateStep(const TStepRecord& step) {
  std::lock_guard guard(lock_);
  Db().Exec(
      "UPDATE steps SET state = $1, message = $2, seconds = $3::double precision, bytes_sent = $4::bigint, "
      "ended = $5, details = $6 WHERE id = $7::bigint",
      step.State, step.Message, step.Seconds, step.BytesSent, step.Ended, step.Details, step.Id);
}

void TPgRecord::AddOperation(const TOperationRecord& o) {
  std::lock_guard guard(lock_);
  Db().Exec(
      "INSERT INTO operations(time, host, operator, program, operation, port, factory_number, result, "
      "message) VALUES($1, $2, $3, $4, $5, $6, $7, $8, $9)",
      o.Time.empty() ? RecordTimeNow() : o.Time, o.Host, o.Operator, o.Program, o.Operation, o.Port,
      o.FactoryNumber, o.Result, o.Message);
}

std::vector<TRunRecord> TPgRecord::Runs(const std::string& since) const {
  std::lock_guard guard(lock_);
  // Times compare as the ISO text they are, byte by byte, whatever the database's locale.
  const TPgResult r =
      Db().Exec(fmt::format("SELECT {} FROM runs WHERE started COLLATE \"C\" >= $1 ORDER BY id", kRunColumns), since);
  std::vector<TRunRecord> runs;
  for (int i = 0; i < r.Rows(); ++i) runs.push_back(RunOf(r, i));
  return runs;
}

std::optional<TRunRecord> TPgRecord::Run(std::int64_t id) const {
  std::lock_guard guard(lock_);
  const TPgResult r = Db().Exec(fmt::format("SELECT {} FROM runs WHERE id = $1::bigint", kRunColumns), id);
  if (r.Rows() == 0) return std::nullopt;
  return RunOf(r, 0);
}

std::vector<TTerminalRecord> TPgRecord::Terminals(const TTerminalQuery& query) const {
  std::lock_guard guard(lock_);
  TPgConnection& db = Db();
  const TPgResult r =
      db.Exec(fmt::format("SELECT {} FROM terminals WHERE ($1::bigint = 0 OR run_id = $1::bigint) "
                          "AND ($2::text = '' OR factory_number = $2::text) AND "
                          "($3::text = '' OR serial_after = $3::text OR serial_before = $3::text) "
                          "ORDER BY run_id, position",
                          kTerminalColumns),
              query.RunId, query.FactoryNumber, query.Serial);
  std::vector<TTerminalRecord> terminals;
  for (int i = 0; i < r.Rows(); ++i) terminals.push_back(TerminalOf(r, i));
  for (TTerminalRecord& t : terminals) t.Steps = StepsOf(db, t.Id);
  return terminals;
}

std::vector<TOperationRecord> TPgRecord::Operations(const std::string& factoryNumber) const {
  std::lock_guard guard(lock_);
  const TPgResult r = Db().Exec(
      "SELECT id, time, host, operator, program, operation, port, factory_number, result, message "
      "FROM operations WHERE $1::text = '' OR factory_number = $1::text ORDER BY id",
      factoryNumber);
  std::vector<TOperationRecord> operations;
  for (int i = 0; i < r.Rows(); ++i) {
    TOperationRecord o;
    o.Id = r.Int(i, 0);
    o.Time = r.Text(i, 1);
    o.Host = r.Text(i, 2);
    o.Operator = r.Text(i, 3);
    o.Program = r.Text(i, 4);
    o.Operation = r.Text(i, 5);
    o.Port = r.Text(i, 6);
    o.FactoryNumber = r.Text(i, 7);
    o.Result = r.Text(i, 8);
    o.Message = r.Text(i, 9);
    operations.push_back(std::move(o));
  }
  return operations;
}

void TPgRecord::ImportPool(const TPoolTable& table, bool reuseSame) {
  std::lock_guard guard(lock_);
  TPgConnection& db = Db();
  TPgTransaction transaction(db);
  // A bench importing the same name at once makes this insert wait for its commit, and then
  // find its pool: the name is taken once.
  const TPgResult pool = db.Exec(
      "INSERT INTO pools(name, key_column, source, source_sha256, created) VALUES($1, $2, $3, $4, $5) "
      "ON CONFLICT (name) DO NOTHING RETURNING id",
      table.Name, table.KeyColumn, table.Source, table.SourceSha256, RecordTimeNow());
  if (pool.Rows() == 0) {
    const TPgResult existing = db.Exec("SELECT source_sha256 FROM pools WHERE name = $1", table.Name);
    if (reuseSame && existing.Rows() > 0 && existing.Text(0, 0) == table.SourceSha256) return;
    throw Exception(fmt::format("Набор {} уже есть", table.Name));
  }
  const std::int64_t poolId = pool.Int(0, 0);
  std::size_t keyIndex = table.Columns.size();
  for (std::size_t i = 0; i < table.Columns.size(); ++i)
    if (table.Columns[i] == table.KeyColumn) keyIndex = i;
  for (std::size_t r = 0; r < table.Rows.size(); ++r) {
    const std::vector<std::string>& cells = table.Rows[r];
    const std::int64_t rowId =
        db.Exec("INSERT INTO pool_rows(pool_id, line, key) VALUES($1::bigint, $2::integer, $3) RETURNING id",
                poolId, r < table.Lines.size() ? table.Lines[r] : static_cast<int>(r) + 2,
                keyIndex < cells.size() ? cells[keyIndex] : std::string())
            .Int(0, 0);
    for (std::size_t c = 0; c < cells.size() && c < table.Columns.size(); ++c)
      db.Exec(
          "INSERT INTO pool_values(row_id, position, name, value) VALUES($1::bigint, $2::integer, $3, $4)",
          rowId, static_cast<std::int64_t>(c), table.Columns[c], cells[c]);
  }
  transaction.Commit();
}

bool TPgRecord::HasPool(const std::string& name) const {
  std::lock_guard guard(lock_);
  return Db().Exec("SELECT 1 FROM pools WHERE name = $1", name).Rows() > 0;
}

std::string TPgRecord::PoolKeyColumn(const std::string& name) const {
  std::lock_guard guard(lock_);
  std::string keyColumn;
  PoolIdOf(Db(), name, &keyColumn);
  return keyColumn;
}

std::vector<TPoolRow> TPgRecord::PoolRows(const std::string& name) const {
  std::lock_guard guard(lock_);
  TPgConnection& db = Db();
  const std::int64_t poolId = PoolIdOf(db, name);
  return RowsOf(db,
                db.Exec(fmt::format("SELECT {} FROM pool_rows WHERE pool_id = $1::bigint ORDER BY line, id",
                                    kRowColumns),
                        poolId));
}

std::optional<TPoolClaim> TPgRecord::ClaimRow(const std::string& pool, const std::string& key,
                                              const TClaimer& claimer) {
  std::lock_guard guard(lock_);
  TPgConnection& db = Db();
  TPgTransaction transaction(db);
  std::string keyColumn;
  const std::int64_t poolId = PoolIdOf(db, pool, &keyColumn);
  std::optional<TPoolClaim> claim;
  if (!claimer.FactoryNumber.empty()) {
    std::vector<TPoolRow> held = RowsOf(
        db,
        db.Exec(fmt::format("SELECT {} FROM pool_rows WHERE pool_id = $1::bigint AND factory_number = $2 AND "
                            "state <> $3 ORDER BY line LIMIT 1 FOR UPDATE",
                            kRowColumns),
                poolId, claimer.FactoryNumber, kPoolFree));
    if (!held.empty()) claim = TPoolClaim{std::move(held.front()), true};
  }
  if (!claim) {
    // A keyed row is waited for when another bench holds it, and its state read after that
    // bench's commit; a row in order is one no other bench holds, taken without waiting.
    std::vector<TPoolRow> rows =
        keyColumn.empty()
            ? RowsOf(db,
                     db.Exec(fmt::format("SELECT {} FROM pool_rows WHERE pool_id = $1::bigint AND state = $2 "
                                         "ORDER BY line, id LIMIT 1 FOR UPDATE SKIP LOCKED",
                                         kRowColumns),
                             poolId, kPoolFree))
            : RowsOf(db,
                     db.Exec(fmt::format("SELECT {} FROM pool_rows WHERE pool_id = $1::bigint AND key = $2 "
                                         "ORDER BY line, id LIMIT 1 FOR UPDATE",
                                         kRowColumns),
                             poolId, key));
    if (rows.empty()) return std::nullopt;
    TPoolRow& row = rows.front();
    if (row.State != kPoolFree)
      throw Exception(
          fmt::format("Строка {} набора {} уже выдана терминалу {}", row.Line, pool, row.FactoryNumber));
    claim = TPoolClaim{std::move(row), false};
  }
  TPoolRow& row = claim->Row;
  for (const auto& [name, value] : row.Cells)
    if (name == "factory_number" && !value.empty() && value != claimer.FactoryNumber)
      throw Exception(
          fmt::format("Строка {} набора {} для терминала с заводским номером {}, а терминал сообщил {}",
                      row.Line, pool, value, claimer.FactoryNumber));
  const std::string claimed = RecordTimeNow();
  db.Exec(
      "UPDATE pool_rows SET state = $1, factory_number = $2, port = $3, run_id = NULLIF($4::bigint, 0), "
      "claimed = $5 WHERE id = $6::bigint",
      kPoolClaimed, claimer.FactoryNumber, claimer.Port, claimer.RunId, claimed, row.Id);
  transaction.Commit();
  row.State = kPoolClaimed;
  row.FactoryNumber = claimer.FactoryNumber;
  row.Port = claimer.Port;
  row.RunId = claimer.RunId;
  row.Claimed = claimed;
  return claim;
}

void TPgRecord::SetRowState(std::int64_t row, const std::string& state) {
  std::lock_guard guard(lock_);
  Db().Exec("UPDATE pool_rows SET state = $1 WHERE id = $2::bigint", state, row);
}

void TPgRecord::ReleaseRow(const std::string& pool, const std::string& key) {
  std::lock_guard guard(lock_);
  TPgConnection& db = Db();
  TPgTransaction transaction(db);
  const std::int64_t poolId = PoolIdOf(db, pool);
  const TPgResult r =
      db.Exec(fmt::format("SELECT {} FROM pool_rows WHERE pool_id = $1::bigint AND state <> $2 AND "
                          "(key = $3 OR factory_number = $3) ORDER BY line LIMIT 1 FOR UPDATE",
                          kRowColumns),
              poolId, kPoolFree, key);
  if (r.Rows() == 0) throw Exception(fmt::format("В наборе {} нет выданной строки {}", pool, key));
  const std::string state = r.Text(0, 3);
  if (state == kPoolUsed)
    throw Exception(fmt::format("Строка {} набора {} уже записана в терминал {}: ее нельзя освободить",
                                r.Int(0, 1), pool, r.Text(0, 4)));
  db.Exec(
      "UPDATE pool_rows SET state = $1, factory_number = '', port = '', run_id = NULL, claimed = '' "
      "WHERE id = $2::bigint",
      kPoolFree, r.Int(0, 0));
  transaction.Commit();
}

}  // namespace quorvel
