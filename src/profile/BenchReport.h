#pragma once

#include "BenchRun.h"
#include "ServiceRecord.h"

#include <string>
#include <vector>

namespace quorvel {

/// A CSV field holding text (quoted when it must be, line breaks as blanks).
std::string ReportCsvField(const std::string& text);
/// A JSON string holding text.
std::string ReportJsonString(const std::string& text);

/// The report files of a bench run for a report path: "<base>.csv" and "<base>.json", base
/// being the path without a final ".csv" or ".json".
std::string ReportCsvPath(const std::string& path);
std::string ReportJsonPath(const std::string& path);

/// The report as CSV (UTF-8): a header row, then one row per terminal: port, factory_number,
/// serial, result, message, seconds, and for every group of the run <group>_result,
/// <group>_message, <group>_seconds. Results are the texts of BenchStateText; line breaks of
/// messages become blanks.
/// With run, every row ends with the run's run, date (local time), host, operator, version,
/// profile and profile_sha256.
std::string BenchReportCsv(const std::vector<TTerminalOutcome>& outcomes, const TRunRecord* run = nullptr);
/// The same as JSON: an array of objects with port, factory_number, serial, result, message,
/// seconds and groups (an array of objects with group, result, message, seconds). The text is
/// UTF-8 and valid JSON for any bytes of a port name or message: a byte that is not part of a
/// well-formed UTF-8 sequence is written as \u00XX of its value, as are control characters.
/// With run, an object: run, date, host, operator, version, profile, profile_sha256 and
/// terminals (that array).
std::string BenchReportJson(const std::vector<TTerminalOutcome>& outcomes, const TRunRecord* run = nullptr);

/// Writes both files, each replaced atomically; raises the file's write error.
void WriteBenchReport(const std::string& path, const std::vector<TTerminalOutcome>& outcomes,
                      const TRunRecord* run = nullptr);

/// Checks, before anything is sent, that the report files of path can be written and are none
/// of the files the run reads (the values table, the profile, the report being retried):
/// raises Exception "Отчет <name>: <reason>" for a folder that is missing or not writable, a
/// report file that is not a regular file, or one that is one of files.
void CheckReportPath(const std::string& path, const std::vector<std::string>& files);

/// What a report says is left to do.
struct TReportRetry {
  std::vector<std::string> Ports;  ///< the terminals that did not pass
  std::int64_t Run = 0;            ///< the run it reports (0: a report without one)
};

/// The terminals that did not pass, from the CSV report of path (either name); raises the
/// file's read error or "Файл отчета <name>: <reason>" for a file that is not one.
TReportRetry FailedOfReport(const std::string& path);
/// FailedOfReport's ports.
std::vector<std::string> FailedPortsOfReport(const std::string& path);

}  // namespace quorvel
