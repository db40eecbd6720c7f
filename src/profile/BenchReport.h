#pragma once

#include "BenchRun.h"

#include <string>
#include <vector>

namespace quorvel {

/// The report files of a bench run for a report path: "<base>.csv" and "<base>.json", base
/// being the path without a final ".csv" or ".json".
std::string ReportCsvPath(const std::string& path);
std::string ReportJsonPath(const std::string& path);

/// The report as CSV (UTF-8): a header row, then one row per terminal: port, factory_number,
/// serial, result, message, seconds, and for every group of the run <group>_result,
/// <group>_message, <group>_seconds. Results are the texts of BenchStateText; line breaks of
/// messages become blanks.
std::string BenchReportCsv(const std::vector<TTerminalOutcome>& outcomes);
/// The same as JSON: an array of objects with port, factory_number, serial, result, message,
/// seconds and groups (an array of objects with group, result, message, seconds). The text is
/// UTF-8 and valid JSON for any bytes of a port name or message: a byte that is not part of a
/// well-formed UTF-8 sequence is written as \u00XX of its value, as are control characters.
std::string BenchReportJson(const std::vector<TTerminalOutcome>& outcomes);

/// Writes both files, each replaced atomically; raises the file's write error.
void WriteBenchReport(const std::string& path, const std::vector<TTerminalOutcome>& outcomes);

/// The ports of the terminals that did not pass, from the CSV report of path (either name);
/// raises the file's read error or "Файл отчета <name>: <reason>" for a file that is not one.
std::vector<std::string> FailedPortsOfReport(const std::string& path);

}  // namespace quorvel
