#include "RecordViews.h"

#include "BenchReport.h"
#include "Errors.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <optional>

namespace quorvel {

namespace {

// Columns are as wide as their widest text, counted in characters, not UTF-8 bytes.
std::size_t Width(const std::string& text) {
  std::size_t width = 0;
  for (unsigned char c : text) width += (c & 0xC0) != 0x80;
  return width;
}

std::string PoolStateText(const std::string& state) {
  if (state == kPoolFree) return "свободна";
  if (state == kPoolClaimed) return "выдана";
  if (state == kPoolUsed) return "записана";
  if (state == kPoolFailed) return "ошибка";
  return state;
}

std::string StepsText(const std::vector<TStepRecord>& steps) {
  std::string text;
  for (const TStepRecord& step : steps) {
    text += (text.empty() ? "" : "; ") + step.Name + ": " + step.State;
    if (!step.Message.empty() && step.State != kRecordPassed) text += " (" + step.Message + ")";
    if (!step.Details.empty()) text += " [" + step.Details + "]";
  }
  return text;
}

}  // namespace

TViewFormat ParseViewFormat(const std::string& name) {
  if (name == "text") return TViewFormat::Text;
  if (name == "csv") return TViewFormat::Csv;
  if (name == "json") return TViewFormat::Json;
  throw Exception(fmt::format("Неизвестный формат: {}", name));
}

std::string FormatRecordTable(const TRecordTable& table, TViewFormat format) {
  std::string out;
  switch (format) {
    case TViewFormat::Csv: {
      const auto line = [&out](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + ReportCsvField(fields[i]);
        out += "\n";
      };
      line(table.Columns);
      for (const auto& row : table.Rows) line(row);
      return out;
    }
    case TViewFormat::Json: {
      out = "[\n";
      for (std::size_t r = 0; r < table.Rows.size(); ++r) {
        out += "  {";
        for (std::size_t c = 0; c < table.Columns.size() && c < table.Rows[r].size(); ++c)
          out += (c ? ", " : "") + ReportJsonString(table.Columns[c]) + ": " + ReportJsonString(table.Rows[r][c]);
        out += r + 1 < table.Rows.size() ? "},\n" : "}\n";
      }
      return out + "]\n";
    }
    case TViewFormat::Text:
      break;
  }
  std::vector<std::size_t> widths(table.Columns.size());
  for (std::size_t c = 0; c < table.Columns.size(); ++c) {
    widths[c] = Width(table.Columns[c]);
    for (const auto& row : table.Rows)
      if (c < row.size()) widths[c] = std::max(widths[c], Width(row[c]));
  }
  const auto line = [&](const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t c = 0; c < fields.size() && c < widths.size(); ++c) {
      text += fields[c];
      if (c + 1 < fields.size()) text += std::string(widths[c] - Width(fields[c]) + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  };
  line(table.Columns);
  for (const auto& row : table.Rows) line(row);
  return out;
}

TRecordTable RunsTable(const std::vector<TRunRecord>& runs) {
  TRecordTable table{{"run", "started", "ended", "state", "terminals", "passed", "host", "operator", "version",
                      "profile", "profile_sha256", "pool"},
                     {}};
  for (const TRunRecord& r : runs)
    table.Rows.push_back({std::to_string(r.Id), RecordTimeLocal(r.Started), RecordTimeLocal(r.Ended), r.State,
                          std::to_string(r.Terminals), std::to_string(r.Passed), r.Host, r.Operator, r.Version,
                          r.Profile, r.ProfileSha256, r.Pool});
  return table;
}

TRecordTable HistoryTable(const IServiceRecord& record, const std::vector<TTerminalRecord>& terminals,
                          const std::vector<TOperationRecord>& operations) {
  TRecordTable table{{"time", "kind", "run", "profile", "profile_sha256", "operator", "host", "port",
                      "factory_number", "serial_before", "serial_after", "result", "message", "values", "steps"},
                     {}};
  std::vector<std::pair<std::string, std::vector<std::string>>> rows;
  std::map<std::int64_t, std::optional<TRunRecord>> runs;
  for (const TTerminalRecord& t : terminals) {
    auto& run = runs[t.RunId];
    if (!run) run = record.Run(t.RunId);
    const TRunRecord shown = run.value_or(TRunRecord{});
    rows.push_back({t.Started,
                    {RecordTimeLocal(t.Started), "прогон", std::to_string(t.RunId), shown.Profile, shown.ProfileSha256,
                     shown.Operator, shown.Host, t.Port, t.FactoryNumber, t.SerialBefore, t.SerialAfter, t.State,
                     t.Message, t.Values, StepsText(t.Steps)}});
  }
  for (const TOperationRecord& o : operations)
    rows.push_back({o.Time,
                    {RecordTimeLocal(o.Time), "операция", "", o.Operation, "", o.Operator, o.Host, o.Port,
                     o.FactoryNumber, "", "", o.Result, o.Message, "", ""}});
  std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& row : rows) table.Rows.push_back(std::move(row.second));
  return table;
}

TRecordTable TerminalsTable(const std::vector<TTerminalRecord>& terminals) {
  TRecordTable table{{"run", "port", "factory_number", "serial_before", "serial_after", "result", "message",
                      "values", "steps"},
                     {}};
  for (const TTerminalRecord& t : terminals)
    table.Rows.push_back({std::to_string(t.RunId), t.Port, t.FactoryNumber, t.SerialBefore, t.SerialAfter,
                          t.State, t.Message, t.Values, StepsText(t.Steps)});
  return table;
}

TRecordTable OperationsTable(const std::vector<TOperationRecord>& operations) {
  TRecordTable table{{"time", "program", "operation", "port", "factory_number", "result", "message", "operator", "host"},
                     {}};
  for (const TOperationRecord& o : operations)
    table.Rows.push_back({RecordTimeLocal(o.Time), o.Program, o.Operation, o.Port, o.FactoryNumber, o.Result,
                          o.Message, o.Operator, o.Host});
  return table;
}

TRecordTable PoolTable(const std::vector<TPoolRow>& rows) {
  TRecordTable table{{"line", "key", "state", "factory_number", "port", "run", "claimed"}, {}};
  for (const TPoolRow& r : rows)
    table.Rows.push_back({std::to_string(r.Line), r.Key, PoolStateText(r.State), r.FactoryNumber, r.Port,
                          r.RunId != 0 ? std::to_string(r.RunId) : "", RecordTimeLocal(r.Claimed)});
  return table;
}

}  // namespace quorvel
