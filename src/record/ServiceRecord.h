#pragma once

#include "Errors.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

/// The version of the record's schema this program writes (SQLite: PRAGMA user_version;
/// PostgreSQL: the quorvel_schema table). Both back ends move to a new version together.
inline constexpr int kRecordSchemaVersion = 1;

/// Name of the record's file in the program folder.
inline constexpr const char* kServiceRecordFileName = "service.db";

/// States of runs, terminals, steps and pool rows as the record keeps them: the texts people
/// read in reports (ожидает, идет, успешно, ошибка, остановлен).
inline constexpr const char* kRecordWaiting = "ожидает";
inline constexpr const char* kRecordRunning = "идет";
inline constexpr const char* kRecordPassed = "успешно";
inline constexpr const char* kRecordFailed = "ошибка";
inline constexpr const char* kRecordStopped = "остановлен";

/// Pool row states.
inline constexpr const char* kPoolFree = "free";
inline constexpr const char* kPoolClaimed = "claimed";
inline constexpr const char* kPoolUsed = "used";
inline constexpr const char* kPoolFailed = "failed";

/// The record could not be read or written (a full disk, a record locked by another program
/// for too long, a damaged file): no terminal may be written after it. Its message names the
/// record and the reason.
class ERecordError : public Exception {
 public:
  using Exception::Exception;
};

/// What a run is started with. Times are the record's own (UTC).
struct TRunStart {
  std::string Host;
  std::string Operator;
  std::string Version;        ///< the program's version
  std::string Profile;        ///< the profile file's name as given
  std::string ProfileSha256;  ///< hex of the profile file's bytes
  std::string Groups;         ///< comma-separated group names
  std::string Options;        ///< the run's options as text (verify, fast, key, ...)
  std::string Pool;           ///< the pool the rows come from; empty without values
  std::int64_t RetryOf = 0;   ///< the run this one retries; 0: none
};

/// One run as recorded.
struct TRunRecord : TRunStart {
  std::int64_t Id = 0;
  std::string Started;  ///< ISO 8601, UTC
  std::string Ended;    ///< empty while it runs (or when the program died)
  std::string State;    ///< kRecordRunning, kRecordPassed, kRecordFailed, kRecordStopped
  int Terminals = 0;
  int Passed = 0;
};

/// One step of a terminal (a group written and read back).
struct TStepRecord {
  std::int64_t Id = 0;
  int Position = 0;
  std::string Name;  ///< the group's name (sim, header, ...)
  std::string State = kRecordWaiting;
  std::string Message;
  double Seconds = 0;
  std::int64_t BytesSent = 0;
  std::string Ended;
  std::string Details;  ///< what was set, secrets only as "задан" and keys by fingerprint
};

/// One terminal of a run.
struct TTerminalRecord {
  std::int64_t Id = 0;
  std::int64_t RunId = 0;
  int Position = 0;  ///< its place in the run
  std::string Port;
  std::string FactoryNumber;
  std::string SerialBefore;
  std::string SerialAfter;
  std::string State = kRecordWaiting;
  std::string Message;
  std::string Started;
  std::string Ended;
  double Seconds = 0;
  std::string Values;  ///< the values it got, secrets as "задан", keys by fingerprint
  std::int64_t PoolRow = 0;
  std::vector<TStepRecord> Steps;
};

/// A write to a terminal made outside a bench (the window, a command of quorvel-cli).
struct TOperationRecord {
  std::int64_t Id = 0;
  std::string Time;
  std::string Host;
  std::string Operator;
  std::string Program;    ///< quorvel or quorvel-cli
  std::string Operation;  ///< "sim write", "Запись SIM-карт", ...
  std::string Port;
  std::string FactoryNumber;  ///< when known
  std::string Result;         ///< kRecordPassed, kRecordFailed, kRecordStopped
  std::string Message;
};

/// A table of values for a pool: the columns and the cells of each row, with the file's line
/// of each row. KeyColumn is the column that ties a row to a terminal ("factory_number",
/// "port"), or empty for a pool handed out in order.
struct TPoolTable {
  std::string Name;
  std::string Source;        ///< the file it came from
  std::string SourceSha256;  ///< of the file's bytes
  std::string KeyColumn;
  std::vector<std::string> Columns;
  std::vector<std::vector<std::string>> Rows;
  std::vector<int> Lines;
};

/// One row of a pool as the record keeps it.
struct TPoolRow {
  std::int64_t Id = 0;
  int Line = 0;          ///< of the file it was imported from
  std::string Key;       ///< the key column's value; empty in a pool handed out in order
  std::string State;     ///< kPoolFree, kPoolClaimed, kPoolUsed, kPoolFailed
  std::string FactoryNumber;  ///< the terminal that holds it
  std::string Port;
  std::int64_t RunId = 0;
  std::string Claimed;   ///< when it was claimed
  std::vector<std::pair<std::string, std::string>> Cells;  ///< column -> value, in column order
};

/// The outcome of a claim.
struct TPoolClaim {
  TPoolRow Row;
  bool Again = false;  ///< the terminal held this row before (re-plugged, a retry, a later run)
};

/// Who asks to claim a row.
struct TClaimer {
  std::string FactoryNumber;
  std::string Port;
  std::int64_t RunId = 0;
};

/// Which terminals `Terminals` returns.
struct TTerminalQuery {
  std::string FactoryNumber;
  std::string Serial;  ///< before or after
  std::int64_t RunId = 0;
};

/// The service record: every run of a bench with its terminals and their steps, the writes
/// made outside a bench, and the pools of values handed out to terminals. Each call is one
/// transaction, committed before it returns, so a crash loses at most the call under way.
/// Errors: Exception naming the record and the reason (a record that cannot be written: disk
/// full, locked by another program for too long); callers must not write to a terminal after
/// a failed call. Secrets never reach it: callers pass details with secrets masked.
/// Threads: every call may come from any thread; calls are serialized inside.
class IServiceRecord {
 public:
  virtual ~IServiceRecord() = default;

  /// Where the record is, for messages.
  virtual std::string Location() const = 0;

  /// Starts a run (state kRecordRunning) and returns its number.
  virtual std::int64_t StartRun(const TRunStart& run) = 0;
  /// Ends a run with its state.
  virtual void EndRun(std::int64_t run, const std::string& state) = 0;
  /// Adds a terminal to a run, with its planned steps (each kRecordWaiting); fills the ids.
  virtual void AddTerminal(TTerminalRecord& terminal) = 0;
  /// Stores a terminal's fields (factory number, serials, state, message, times, values, pool
  /// row) and nothing of its steps.
  virtual void UpdateTerminal(const TTerminalRecord& terminal) = 0;
  /// Stores one step (by its id).
  virtual void UpdateStep(const TStepRecord& step) = 0;
  /// Stores a write made outside a bench.
  virtual void AddOperation(const TOperationRecord& operation) = 0;

  /// Runs started at or after since (ISO 8601 date or time, UTC; empty: all), newest last.
  virtual std::vector<TRunRecord> Runs(const std::string& since) const = 0;
  /// One run, or nullopt.
  virtual std::optional<TRunRecord> Run(std::int64_t id) const = 0;
  /// Terminals matching query (with their steps), in run then position order.
  virtual std::vector<TTerminalRecord> Terminals(const TTerminalQuery& query) const = 0;
  /// Writes outside a bench to the terminal of factory number (empty: all), oldest first.
  virtual std::vector<TOperationRecord> Operations(const std::string& factoryNumber) const = 0;

  /// Stores a pool. Raises Exception "Набор <name> уже есть" when one of that name exists
  /// (unless replaceSame and its source's SHA-256 is the same: then it is kept as it is).
  virtual void ImportPool(const TPoolTable& table, bool reuseSame) = 0;
  /// Whether a pool of that name exists.
  virtual bool HasPool(const std::string& name) const = 0;
  /// The pool's key column ("" for a pool handed out in order); raises for an unknown pool.
  virtual std::string PoolKeyColumn(const std::string& name) const = 0;
  /// The rows of a pool in line order; raises Exception "Нет набора <name>" for none.
  virtual std::vector<TPoolRow> PoolRows(const std::string& name) const = 0;
  /// Claims a row of pool for a terminal in one transaction: the row the terminal already
  /// holds, else (keyed pools) the free row of its key, else (pools in order) the next free
  /// row. Returns nullopt when there is none. A keyed row held by another terminal is never
  /// given.
  virtual std::optional<TPoolClaim> ClaimRow(const std::string& pool, const std::string& key,
                                             const TClaimer& claimer) = 0;
  /// Sets a claimed row's state (kPoolUsed, kPoolFailed).
  virtual void SetRowState(std::int64_t row, const std::string& state) = 0;
  /// Frees the row of pool whose key, or whose terminal's factory number, is key. Raises
  /// Exception for no such row, or for a row that a terminal got its values from (used).
  virtual void ReleaseRow(const std::string& pool, const std::string& key) = 0;
};

/// Opens the record at location: a PostgreSQL URL (postgresql://, postgres://), whose
/// database must hold the schema already (InitServiceRecord), or the path of an SQLite file,
/// created (0600) when missing. Raises Exception naming it when it cannot be opened, is not a
/// record of this program, or is of a newer version.
std::unique_ptr<IServiceRecord> OpenServiceRecord(const std::string& location);

/// Makes the record at location ready for benches (`quorvel-cli record init`): creates its
/// schema (PostgreSQL) or file (SQLite) when there is none, migrates an older one, and
/// leaves a current one as it is. Returns what it did for people: "Журнал обслуживания
/// <location>: схема версии N создана", "... схема уже версии N", "... схема обновлена с
/// версии M до N" (the location without any password). Raises as OpenServiceRecord does.
std::string InitServiceRecord(const std::string& location);

/// Where the record is when settings.xml names configured (its Record element): configured,
/// or, when empty, kServiceRecordFileName in the program's folder (ProgramHome, created when
/// missing: EnsureDirectory's error).
std::string ServiceRecordLocation(const std::string& configured);

/// The current time as the record keeps it: ISO 8601 in UTC ("2026-12-10T13:05:02Z").
std::string RecordTimeNow();
/// A record time in local time for people ("2026-12-10 16:05:02"); text as it is when it is
/// not a record time.
std::string RecordTimeLocal(const std::string& utc);
/// SHA-256 of bytes as lower-case hex.
std::string Sha256Hex(const std::string& bytes);
/// This machine's name.
std::string HostName();
/// The user the program runs as.
std::string UserName();

}  // namespace quorvel
