#pragma once

#include "ServiceRecord.h"

#include <string>
#include <vector>

namespace quorvel {

/// How a view is printed.
enum class TViewFormat {
  Text,  ///< aligned columns for people
  Csv,   ///< a header row, then a row per item
  Json,  ///< an array of objects of the columns
};

/// "text", "csv" or "json"; raises Exception "Неизвестный формат: <name>" for another.
TViewFormat ParseViewFormat(const std::string& name);

/// A view of the record: named columns and rows of texts.
struct TRecordTable {
  std::vector<std::string> Columns;
  std::vector<std::vector<std::string>> Rows;
};

/// The table in a format.
std::string FormatRecordTable(const TRecordTable& table, TViewFormat format);

/// The runs: run, started, ended (local time), state, terminals, passed, host, operator,
/// version, profile, profile_sha256, pool.
TRecordTable RunsTable(const std::vector<TRunRecord>& runs);
/// A terminal's history: every run it was in (kind "прогон": run, date, profile and its
/// SHA-256, operator, host, port, serial before and after, result, message, the values it got
/// and its steps) and every write made to it outside a bench (kind "операция"), in time order.
TRecordTable HistoryTable(const IServiceRecord& record, const std::vector<TTerminalRecord>& terminals,
                          const std::vector<TOperationRecord>& operations);
/// Terminals of runs: run, port, factory_number, serial_before, serial_after, result, message,
/// values, steps (each step's name and state, its message when it did not pass, what it set).
TRecordTable TerminalsTable(const std::vector<TTerminalRecord>& terminals);
/// Writes made outside a bench: time, program, operation, port, factory_number, result,
/// message, operator, host.
TRecordTable OperationsTable(const std::vector<TOperationRecord>& operations);
/// The rows of a pool: line, key, state, factory_number, port, run, claimed.
TRecordTable PoolTable(const std::vector<TPoolRow>& rows);

}  // namespace quorvel
