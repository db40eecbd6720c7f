#pragma once

#include "BenchRun.h"
#include "BenchValues.h"
#include "Profile.h"
#include "ServiceRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvel {

/// The text a set secret is recorded as.
inline constexpr const char* kSecretSetText = "задан";

/// The values a terminal got from its row, as the record keeps them: "column=value" joined by
/// "; ", a PIN or a password only as kSecretSetText, the private key's file with the
/// SHA-256 of its modulus.
std::string RecordedValues(const TValueRow& row, const TProfile& profile);

/// What a written group set, for the record: no secret, sizes and SHA-256 of files, the
/// access points of the SIM slots, a key by the SHA-256 of its modulus.
std::string GroupDetails(const TProfile& profile, TProfileGroup group);

/// The terminals of a run as the record holds them, in the form of a bench's outcomes. A run
/// that retries another shows the whole batch: the terminals of the run it retries (and of
/// the ones before that), each replaced by its latest run. Raises Exception "Нет прогона <n>"
/// for a run the record lacks.
std::vector<TTerminalOutcome> RunOutcomes(const IServiceRecord& record, std::int64_t run);

/// A values table as a pool of the record, named after its file and content
/// ("<file name>-<12 hex of its SHA-256>", "-port" added for a table keyed by port), so that a
/// later run with the same table finds the rows its terminals already hold. Secrets stay in
/// the file: the pool keeps kSecretSetText for them. bytes: the file's bytes as parsed. An
/// existing pool of the same source is kept as it is. Returns the pool's name; raises the
/// record's errors.
std::string PoolOfValues(IServiceRecord& record, const TBenchValues& values, const std::string& bytes);

/// The run's fields of plan for the record: this machine, operatorName, the program's version,
/// the profile's name and the SHA-256 of its bytes, the plan's groups in profile order and its
/// pool. Options and RetryOf are the caller's.
TRunStart RunStartOf(const TBenchPlan& plan, const std::string& operatorName);

/// Writes the report files of a run (WriteBenchReport) as the record holds it (runId 0: none), a retry as the
/// whole batch; from outcomes when the run is not in the record (no record, or it could not
/// be started). A record that cannot be read gives the report of outcomes too, and its error
/// is returned (empty otherwise). Raises the files' write errors.
/// Threads: any; reads the record, so not the UI thread of a window.
std::string WriteRunReport(const std::string& path, std::int64_t runId, const IServiceRecord& record,
                           const std::vector<TTerminalOutcome>& outcomes);

}  // namespace quorvel
