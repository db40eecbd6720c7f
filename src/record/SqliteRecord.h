#pragma once

#include "ServiceRecord.h"

#include <mutex>
#include <string>

struct sqlite3;

namespace quorvel {

/// PRAGMA application_id of a record, so another program's SQLite file is never taken for one.
inline constexpr int kRecordApplicationId = 0x51565244;  // "QVRD"

/// The record in one SQLite file (WAL mode, foreign keys on, a busy timeout, so several
/// processes share it). A missing file is made whole in a temporary file of mode 0600 and
/// moved into place, so no half-made record is ever left under its name. An existing file
/// is checked before anything is written to it: one that is not an SQLite database (damaged,
/// truncated, anything else), another program's database, or a record of a newer schema is
/// refused with "Журнал обслуживания <path>: <reason>" and left byte for byte as it was; an
/// older schema is migrated forward.
/// Threads: any thread; one connection, calls serialized by a mutex.
class TSqliteRecord final : public IServiceRecord {
 public:
  /// busyTimeoutMs: how long a call waits for another process's write before it fails.
  explicit TSqliteRecord(const std::string& path, int busyTimeoutMs = 10000);
  ~TSqliteRecord() override;
  TSqliteRecord(const TSqliteRecord&) = delete;
  TSqliteRecord& operator=(const TSqliteRecord&) = delete;

  /// The schema's version the file had before this open (0: the file was made by it); less
  /// than kRecordSchemaVersion when the open migrated it.
  int FoundVersion() const { return foundVersion_; }

  std::string Location() const override { return path_; }
  std::int64_t StartRun(const TRunStart& run) override;
  void EndRun(std::int64_t run, const std::string& state) override;
  void AddTerminal(TTerminalRecord& terminal) override;
  void UpdateTerminal(const TTerminalRecord& terminal) override;
  void UpdateStep(const TStepRecord& step) override;
  void AddOperation(const TOperationRecord& operation) override;
  std::vector<TRunRecord> Runs(const std::string& since) const override;
  std::optional<TRunRecord> Run(std::int64_t id) const override;
  std::vector<TTerminalRecord> Terminals(const TTerminalQuery& query) const override;
  std::vector<TOperationRecord> Operations(const std::string& factoryNumber) const override;
  void ImportPool(const TPoolTable& table, bool reuseSame) override;
  bool HasPool(const std::string& name) const override;
  std::string PoolKeyColumn(const std::string& name) const override;
  std::vector<TPoolRow> PoolRows(const std::string& name) const override;
  std::optional<TPoolClaim> ClaimRow(const std::string& pool, const std::string& key,
                                     const TClaimer& claimer) override;
  void SetRowState(std::int64_t row, const std::string& state) override;
  void ReleaseRow(const std::string& pool, const std::string& key) override;

 private:
  void Create();
  void Open(int busyTimeoutMs);
  [[noreturn]] void Fail(const std::string& reason) const;
  std::int64_t PoolId(const std::string& name) const;
  std::vector<TStepRecord> StepsOf(std::int64_t terminal) const;
  std::vector<TPoolRow> RowsWhere(const std::string& where, std::int64_t pool, int limit = 0) const;

  std::string path_;
  sqlite3* db_ = nullptr;
  int foundVersion_ = 0;
  mutable std::recursive_mutex lock_;
};

}  // namespace quorvel
