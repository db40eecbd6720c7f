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

}  // namespace quorvel
