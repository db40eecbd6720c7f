#pragma once

#include "ServiceRecord.h"

#include <memory>
#include <mutex>
#include <string>

namespace quorvel {

class TPgConnection;

/// The record in a PostgreSQL database that several benches share. The database must hold
/// the record's schema already (InitSchema, `quorvel-cli record init`): a database without
/// it, empty or another program's, is refused naming that command, so no bench makes tables
/// in a database named by mistake. A newer schema is refused; an older one is migrated
/// forward under an advisory lock, so two benches starting at once never both migrate.
/// Claims of pool rows lock the row they take and skip rows other benches hold locked: two
/// benches never get one row and never wait on each other.
/// A server that goes away makes the call under way raise ERecordError naming the record and
/// the reason; that call is never repeated by itself (its commit may have reached the
/// server), and the next call connects again.
/// Threads: any thread; one connection, calls serialized by a mutex.
class TPgRecord final : public IServiceRecord {
 public:
  /// url: postgresql:// or postgres://, credentials as libpq finds them. Raises ERecordError
  /// when the server cannot be reached, and for a database without the record's schema or
  /// with a newer one.
  explicit TPgRecord(const std::string& url);
  ~TPgRecord() override;
  TPgRecord(const TPgRecord&) = delete;
  TPgRecord& operator=(const TPgRecord&) = delete;

  /// Makes or migrates the schema in the database of url and returns the version it was at
  /// before (0: there was none, it was made now); kRecordSchemaVersion when it was current
  /// and nothing was written. Raises ERecordError as the constructor does (a newer schema).
  static int InitSchema(const std::string& url);

  std::string Location() const override;
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
  // The connection, reopened when the server closed it; the caller holds lock_.
  TPgConnection& Db() const;

  std::unique_ptr<TPgConnection> db_;
  mutable std::mutex lock_;
};

}  // namespace quorvel
