// The service record on the command line: what every terminal got, and the pools of values.
#include "RecordCommands.h"

#include "BenchRecord.h"
#include "BenchReport.h"
#include "BenchValues.h"
#include "Errors.h"
#include "FileText.h"
#include "RecordViews.h"
#include "ServiceRecord.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <ctime>
#include <memory>

namespace quorvel::cli {

namespace {

// Runs body on the record; errors go to stderr with exit status 1.
void SetRecordRun(CLI::App& command, TCommandRun& run, const TGlobalOptions& options,
                  std::function<void(IServiceRecord&)> body) {
  command.callback([&run, &options, body = std::move(body)] {
    run = [&options, body] {
      try {
        const std::unique_ptr<IServiceRecord> record = OpenServiceRecord(RecordLocation(options));
        body(*record);
        return kExitOk;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitError;
      }
    };
  });
}

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// A local date ("2026-12-01") or date and time ("2026-12-01 14:30") as a record time (UTC).
std::string SinceToRecordTime(const std::string& since) {
  if (since.empty()) return {};
  std::tm parts{};
  const char* end = nullptr;
  for (const char* format : {"%Y-%m-%d %H:%M:%S", "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M:%S", "%Y-%m-%d"}) {
    parts = std::tm{};
    end = strptime(since.c_str(), format, &parts);
    if (end != nullptr && *end == '\0') break;
  }
  if (end == nullptr || *end != '\0')
    throw Exception(fmt::format("Дата \"{}\" не в виде ГГГГ-ММ-ДД или ГГГГ-ММ-ДД ЧЧ:ММ", since));
  parts.tm_isdst = -1;
  const std::time_t time = std::mktime(&parts);
  std::tm utc{};
  gmtime_r(&time, &utc);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

struct TShowArgs {
  std::string FactoryNumber;
  std::string Serial;
  std::int64_t Run = 0;
  std::string Format = "text";
};

void ShowRecord(IServiceRecord& record, const TShowArgs& args) {
  const TViewFormat format = ParseViewFormat(args.Format);
  if (args.Run != 0) {
    const std::optional<TRunRecord> run = record.Run(args.Run);
    if (!run) throw Exception(fmt::format("Нет прогона {}", args.Run));
    const std::vector<TTerminalOutcome> outcomes = RunOutcomes(record, args.Run);
    if (format == TViewFormat::Csv) return Print(BenchReportCsv(outcomes, &*run));
    if (format == TViewFormat::Json) return Print(BenchReportJson(outcomes, &*run));
    Print(FormatRecordTable(RunsTable({*run}), format));
    Print("\n");
    TTerminalQuery query;
    query.RunId = args.Run;
    return Print(FormatRecordTable(HistoryTable(record, record.Terminals(query), {}), format));
  }
  TTerminalQuery query;
  query.FactoryNumber = args.FactoryNumber;
  query.Serial = args.Serial;
  const std::vector<TTerminalRecord> terminals = record.Terminals(query);
  std::vector<TOperationRecord> operations;
  if (!args.FactoryNumber.empty()) operations = record.Operations(args.FactoryNumber);
  if (terminals.empty() && operations.empty())
    throw Exception(args.Serial.empty() ? fmt::format("В журнале нет терминала {}", args.FactoryNumber)
                                        : fmt::format("В журнале нет терминала с серийным номером {}", args.Serial));
  Print(FormatRecordTable(HistoryTable(record, terminals, operations), format));
}

void AddRecord(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* command = app.add_subcommand("record", "The service record: what every terminal got, when and from whom");
  command->require_subcommand(1);
  CLI::App* init = command->add_subcommand(
      "init",
      "Make the record ready: create its schema (a PostgreSQL database) or file, or migrate an older one");
  init->callback([&run, &options] {
    run = [&options] {
      try {
        std::printf("%s\n", InitServiceRecord(RecordLocation(options)).c_str());
        return kExitOk;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return kExitError;
      }
    };
  });

  CLI::App* runs = command->add_subcommand("runs", "List the bench runs");
  auto since = std::make_shared<std::string>();
  auto runsFormat = std::make_shared<std::string>("text");
  runs->add_option("--since", *since, "runs started on or after DATE (YYYY-MM-DD [HH:MM], local time)");
  runs->add_option("--format", *runsFormat, "text, csv or json")->check(CLI::IsMember({"text", "csv", "json"}));
  SetRecordRun(*runs, run, options, [since, runsFormat](IServiceRecord& record) {
    Print(FormatRecordTable(RunsTable(record.Runs(SinceToRecordTime(*since))), ParseViewFormat(*runsFormat)));
  });

  CLI::App* operations = command->add_subcommand("operations", "List the writes made to terminals outside a bench");
  auto operationsFormat = std::make_shared<std::string>("text");
  operations->add_option("--format", *operationsFormat, "text, csv or json")
      ->check(CLI::IsMember({"text", "csv", "json"}));
  SetRecordRun(*operations, run, options, [operationsFormat](IServiceRecord& record) {
    Print(FormatRecordTable(OperationsTable(record.Operations("")), ParseViewFormat(*operationsFormat)));
  });

  CLI::App* show = command->add_subcommand("show", "A terminal's whole service history, or one run");
  auto args = std::make_shared<TShowArgs>();
  CLI::Option* factory = show->add_option("FACTORY_NUMBER", args->FactoryNumber, "the terminal's factory number");
  CLI::Option* serial = show->add_option("--serial", args->Serial, "the terminal of this serial number");
  CLI::Option* runId = show->add_option("--run", args->Run, "one run with its terminals and their steps");
  show->add_option("--format", args->Format, "text, csv or json")->check(CLI::IsMember({"text", "csv", "json"}));
  factory->excludes(serial)->excludes(runId);
  serial->excludes(runId);
  show->callback([show, factory, serial, runId] {
    if (factory->count() + serial->count() + runId->count() == 0)
      throw CLI::ValidationError("record show", "name FACTORY_NUMBER, --serial or --run");
    (void)show;
  });
  SetRecordRun(*show, run, options, [args](IServiceRecord& record) { ShowRecord(record, *args); });
}

struct TPoolImportArgs {
  std::string Name;
  std::string File;
  std::string Key = "factory";
};

void AddPool(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* command = app.add_subcommand("pool", "Pools of per-terminal values, each row handed out once");
  command->require_subcommand(1);
  CLI::App* import = command->add_subcommand("import", "Make the pool NAME of a values table (CSV)");
  auto importArgs = std::make_shared<TPoolImportArgs>();
  import->add_option("NAME", importArgs->Name, "the pool's name")->required();
  import->add_option("CSV", importArgs->File, "the values table (the columns of profile write --values)")
      ->required();
  import->add_option("--key", importArgs->Key, "what ties a row to a terminal: factory (factory_number) or port")
      ->check(CLI::IsMember({"factory", "port"}));
  SetRecordRun(*import, run, options, [importArgs](IServiceRecord& record) {
    const std::string bytes = ReadFileText(importArgs->File);
    // Checked whole before anything is stored.
    const TBenchValues values = TBenchValues::Parse(
        bytes, importArgs->File, importArgs->Key == "port" ? TValueKey::Port : TValueKey::FactoryNumber);
    TPoolTable table;
    table.Name = importArgs->Name;
    table.Source = importArgs->File;
    table.SourceSha256 = Sha256Hex(bytes);
    table.KeyColumn = KeyColumn(values.Key());
    table.Columns = values.Columns();
    for (std::size_t i = 0; i < values.Rows().size(); ++i) {
      std::vector<std::string> cells;
      for (const std::string& column : table.Columns) cells.push_back(values.Rows()[i].at(column));
      table.Rows.push_back(std::move(cells));
      table.Lines.push_back(values.LineOf(i));
    }
    record.ImportPool(table, false);
    std::fprintf(stderr, "Набор %s: строк %zu%s\n", table.Name.c_str(), table.Rows.size(),
                 table.KeyColumn.empty() ? ", выдаются по порядку" : "");
  });

  CLI::App* status = command->add_subcommand("status", "The rows of the pool NAME: free, claimed, used, failed");
  auto statusName = std::make_shared<std::string>();
  auto statusFormat = std::make_shared<std::string>("text");
  status->add_option("NAME", *statusName, "the pool's name")->required();
  status->add_option("--format", *statusFormat, "text, csv or json")->check(CLI::IsMember({"text", "csv", "json"}));
  SetRecordRun(*status, run, options, [statusName, statusFormat](IServiceRecord& record) {
    Print(FormatRecordTable(PoolTable(record.PoolRows(*statusName)), ParseViewFormat(*statusFormat)));
  });

  CLI::App* release = command->add_subcommand(
      "release", "Free the row of the pool NAME held by a terminal that never got its values");
  auto releaseName = std::make_shared<std::string>();
  auto releaseKey = std::make_shared<std::string>();
  release->add_option("NAME", *releaseName, "the pool's name")->required();
  release->add_option("KEY", *releaseKey, "the row's key, or the factory number of the terminal holding it")
      ->required();
  SetRecordRun(*release, run, options, [releaseName, releaseKey](IServiceRecord& record) {
    record.ReleaseRow(*releaseName, *releaseKey);
  });
}

}  // namespace

void AddRecordCommands(CLI::App& app, TCommandRun& run, TGlobalOptions& options) {
  AddRecord(app, run, options);
  AddPool(app, run, options);
}

}  // namespace quorvel::cli
