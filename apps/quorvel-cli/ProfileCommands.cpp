// The service bench: a profile read from one terminal, written to many.
#include "ProfileCommands.h"

#include "AppDoc.h"
#include "AppManager.h"
#include "BenchRecord.h"
#include "BenchReport.h"
#include "BenchRun.h"
#include "BenchValues.h"
#include "BenchView.h"
#include "BenchWatch.h"
#include "PortWatch.h"
#include "ComPort.h"
#include "Errors.h"
#include "FileText.h"
#include "InterruptStops.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ProfileDocument.h"
#include "ProfileTransfer.h"
#include "ServiceRecord.h"
#include "Version.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <optional>

namespace quorvel::cli {

namespace {

constexpr const char* kNothingToRetry = "Нечего повторять";
constexpr const char* kDefaultWatchDir = "/dev/serial/by-id";
constexpr const char* kGroupSkippedNote = "Группа {} не прочитана: {}\n";

// Result codes that mean the terminal has no such data (8) or does not know the command
// (a plain ERROR, 1000): the group is left out of the profile rather than ending the read.
bool IsMissingData(const EDriverError& e) { return e.ResultCode() == 8 || e.ResultCode() == 1000; }

struct TReadArgs {
  std::string File;
  std::string Groups;
};

void AddProfileRead(CLI::App& command, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* read = command.add_subcommand("read", "Read the terminal's settings into the profile FILE");
  auto args = std::make_shared<TReadArgs>();
  read->add_option("FILE", args->File, "profile file (XML, the configuration document's schema)")->required();
  read->add_option("--groups", args->Groups,
                   "comma-separated groups: paysys,sim,header,trailer,fees,scripts,xmldata,phonebase "
                   "(default: all of them)");
  SetContextRun(*read, run, options, [args](TCliContext& c) {
    TProfileGroups groups = ParseProfileGroups(args->Groups);
    // Every group by default means every group a terminal gives back.
    if (args->Groups.empty())
      for (TProfileGroup group : AllProfileGroups())
        if (!IsReadableGroup(group)) groups.erase(group);
    TProfile profile;
    profile.SetActiveSystem(c.Facade().ReadActiveSystem());
    // The terminal cannot list its scripts: the document's list of the system names them.
    if (TPaymentSystem* known = c.Doc().PaymentSystems().FindBySystemID(profile.ActiveSystem()))
      CopyScriptList(known->Scripts(), profile.System().Scripts());
    for (TProfileGroup group : AllProfileGroups()) {
      if (groups.count(group) == 0) continue;
      try {
        ReadProfileGroup(c.Facade(), profile, group);
      } catch (const EDriverError& e) {
        if (!IsMissingData(e)) throw;
        std::fputs(fmt::format(kGroupSkippedNote, ProfileGroupName(group), e.what()).c_str(), stderr);
      }
    }
    if (profile.Groups.empty()) throw Exception("Ни одна группа настроек не прочитана");
    profile.SaveToFile(args->File);
    for (const std::string& note : UnreadValueNotes(profile)) std::fprintf(stderr, "%s\n", note.c_str());
  });
}

void AddProfileSave(CLI::App& command, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* save =
      command.add_subcommand("save", "Save the configuration document's settings as the profile FILE");
  auto args = std::make_shared<TReadArgs>();
  save->add_option("FILE", args->File, "profile file")->required();
  save->add_option("--groups", args->Groups,
                   "comma-separated groups: firmware,paysys,credentials,sim,header,trailer,fees,scripts "
                   "(default: all of them the document holds)");
  SetContextRun(*save, run, options, [args](TCliContext& c) {
    TProfile profile;
    ProfileFromDocument(c.Doc(), ParseProfileGroups(args->Groups), profile);
    profile.SaveToFile(args->File);
  });
}

void AddProfileLoad(CLI::App& command, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* load = command.add_subcommand(
      "load", "Put the profile FILE's settings into the configuration document (no terminal is touched)");
  auto file = std::make_shared<std::string>();
  load->add_option("FILE", *file, "profile file")->required();
  SetContextRun(*load, run, options, [file](TCliContext& c) {
    TProfile profile;
    profile.LoadFromFile(*file);
    ProfileToDocument(profile, c.Doc());
  });
}

struct TWriteArgs {
  std::string File;
  std::string Values;
  std::string Pool;
  std::string Key = "factory";
  std::vector<std::string> Ports;
  bool AllPorts = false;
  bool NoVerify = false;
  bool Fast = false;
  std::string Report;
  std::string RetryFailed;
  std::string Groups;
  bool Watch = false;
  std::vector<std::string> WatchDirs;  // --watch-dir; one empty entry: the default folder
  int Count = 0;
  bool Again = false;
};

std::vector<std::string> PortsOf(const TWriteArgs& args, const TReportRetry& retry) {
  if (!args.RetryFailed.empty()) return retry.Ports;
  if (!args.AllPorts) return args.Ports;
  std::vector<std::string> ports;
  for (const TComPortInfo& port : EnumComPorts()) {
    // A watch follows the adapters that come and go through the folder they appear in.
    const std::string name = port.Path.substr(port.Path.rfind('/') + 1);
    if (args.Watch && IsHotplugSerialName(name)) continue;
    ports.push_back(port.Path);
  }
  return ports;
}

TBenchPlan MakePlan(const TWriteArgs& args, const TGlobalOptions& options, TCliContext& c) {
  TBenchPlan plan;
  plan.ProfileName = args.File;
  plan.ProfileText = ReadFileText(args.File);
  plan.Groups = ParseProfileGroups(args.Groups);
  TReportRetry retry;
  if (!args.RetryFailed.empty()) retry = FailedOfReport(args.RetryFailed);
  plan.Ports = PortsOf(args, retry);
  if (plan.Ports.empty() && !args.Watch) throw Exception("Нет терминалов для записи: не назван ни один порт");
  // The report is checked before anything is sent: one that cannot be written, or that would
  // replace a file the run reads, is found now, not after every terminal was written.
  if (!args.Report.empty())
    CheckReportPath(args.Report, {args.Values, args.File,
                                  args.RetryFailed.empty() ? std::string() : ReportCsvPath(args.RetryFailed),
                                  args.RetryFailed.empty() ? std::string() : ReportJsonPath(args.RetryFailed)});
  IServiceRecord& record = c.Record();
  const TValueKey key = args.Key == "port" ? TValueKey::Port : TValueKey::FactoryNumber;
  if (!args.Values.empty()) {
    const std::string bytes = ReadFileText(args.Values);
    plan.Values = std::make_shared<const TBenchValues>(TBenchValues::Parse(bytes, args.Values, key));
    plan.Pool = PoolOfValues(record, *plan.Values, bytes);
  } else if (!args.Pool.empty()) {
    const std::vector<TPoolRow> rows = record.PoolRows(args.Pool);
    const std::string keyColumn = record.PoolKeyColumn(args.Pool);
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> cells;
    std::vector<int> lines;
    for (const TPoolRow& row : rows) {
      if (columns.empty())
        for (const auto& cell : row.Cells) columns.push_back(cell.first);
      cells.emplace_back();
      for (const auto& cell : row.Cells) cells.back().push_back(cell.second);
      lines.push_back(row.Line);
    }
    if (rows.empty()) throw Exception(fmt::format(kNoFreeRow, args.Pool));
    const TValueKey poolKey = keyColumn == kPortColumn              ? TValueKey::Port
                              : keyColumn == kFactoryNumberColumn ? TValueKey::FactoryNumber
                                                                  : TValueKey::None;
    plan.Values = std::make_shared<const TBenchValues>(
        TBenchValues::FromRows(columns, cells, lines, "набор " + args.Pool, poolKey));
    plan.Pool = args.Pool;
  }
  plan.Verify = !args.NoVerify;
  plan.AnswerYes = options.Yes;
  plan.FastFirmware = args.Fast;
  plan.Retries = c.Settings().MaxRetryCount();
  plan.Record = &record;
  plan.RunInfo = RunStartOf(plan, OperatorName(options));
  TRunStart& info = plan.RunInfo;
  info.Options = fmt::format("verify={} fast={} key={}{}{}", plan.Verify ? "yes" : "no", plan.FastFirmware ? "yes" : "no",
                             args.Key, args.RetryFailed.empty() ? "" : " retry=" + args.RetryFailed,
                             args.Watch ? fmt::format(" watch=yes again={}", args.Again ? "yes" : "no") : "");
  info.RetryOf = retry.Run;
  return plan;
}

// A retry of a run that failed nowhere is done at once; a report that cannot be read is left
// for the run itself to name.
bool NothingToRetry(const TWriteArgs& args) {
  if (args.RetryFailed.empty()) return false;
  try {
    if (!FailedPortsOfReport(args.RetryFailed).empty()) return false;
  } catch (const std::exception&) {
    return false;
  }
  std::fprintf(stderr, "%s\n", kNothingToRetry);
  return true;
}

// Not RunInContext: many terminals, each with its own facade, and an exit status of its own.
int RunProfileWrite(const TGlobalOptions& options, const TWriteArgs& args) {
  try {
    TCliContext c(options);
    TBenchPlan plan = MakePlan(args, options, c);
    const std::vector<std::string> portList = plan.Ports;
    auto bench = std::make_unique<TBenchRun>(std::move(plan));
    std::vector<TTerminalOutcome> outcomes;
    bool interrupted = false;
    {
      TBenchView view(stdout, portList);
      // A kill or a closed session stops the terminals as Ctrl+C does, so the record and the
      // report say where each one stood.
      TInterruptStops<TBenchRun> stops(*bench, true);
      outcomes = bench->Run([&view, &bench, &c, shown = false](int index, const TTerminalOutcome& o) mutable {
        if (!shown) {
          shown = true;
          std::fprintf(stderr, "Журнал обслуживания %s, прогон %lld\n", c.Record().Location().c_str(),
                       static_cast<long long>(bench->RunId()));
        }
        view.OnChange(index, o);
      });
      interrupted = stops.Interrupted();
    }
    if (!args.Report.empty())
      if (const std::string error = WriteRunReport(args.Report, bench->RunId(), c.Record(), outcomes); !error.empty())
        std::fprintf(stderr, "%s\n", error.c_str());
    c.SaveSettings();
    int passed = 0;
    for (const TTerminalOutcome& o : outcomes) passed += o.State == TBenchState::Passed;
    std::fprintf(stderr, "Записано терминалов: %d из %zu\n", passed, outcomes.size());
    if (!bench->RecordError().empty()) std::fprintf(stderr, "%s\n", bench->RecordError().c_str());
    if (interrupted) {
      std::fprintf(stderr, "%s\n", kAbortMessage);
      return kExitInterrupted;
    }
    return passed == static_cast<int>(outcomes.size()) ? kExitOk : kExitError;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitError;
  }
}

// A watch ends on a signal or after its count: the record holds where every terminal stood.
int RunProfileWatch(const TGlobalOptions& options, const TWriteArgs& args) {
  try {
    TCliContext c(options);
    TWatchPlan plan;
    plan.Bench = MakePlan(args, options, c);
    for (const std::string& dir : args.WatchDirs)
      if (plan.WatchDir.empty()) plan.WatchDir = dir.empty() ? kDefaultWatchDir : dir;
    plan.HotplugDevices = args.AllPorts;
    plan.Count = args.Count;
    plan.Again = args.Again;
    if (plan.Bench.Ports.empty() && plan.WatchDir.empty() && !plan.HotplugDevices)
      throw Exception("Нет портов для наблюдения: назовите --port, --all-ports или --watch-dir");
    TBenchWatch watch(std::move(plan));
    {
      TWatchView view(stdout);
      TInterruptStops<TBenchWatch> stops(watch, true);
      watch.Run([&view, &watch, &c, shown = false](const TWatchPort& port, const TWatchSummary& summary) mutable {
        if (!shown) {
          shown = true;
          std::fprintf(stderr, "Журнал обслуживания %s, прогон %lld\n", c.Record().Location().c_str(),
                       static_cast<long long>(watch.RunId()));
        }
        view.OnChange(port, summary);
      });
    }
    if (!args.Report.empty())
      if (const std::string error = WriteRunReport(args.Report, watch.RunId(), c.Record(), watch.Outcomes());
          !error.empty())
        std::fprintf(stderr, "%s\n", error.c_str());
    c.SaveSettings();
    const TWatchSummary summary = watch.Summary();
    std::fprintf(stderr, "Прогон %lld: %s\n", static_cast<long long>(watch.RunId()),
                 TWatchView::SummaryLine(summary).c_str());
    return summary.Failed == 0 ? kExitOk : kExitError;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return kExitError;
  }
}

void AddProfileWrite(CLI::App& command, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* write = command.add_subcommand(
      "write", "Write the profile FILE into the terminals of the ports, each on its own thread");
  auto args = std::make_shared<TWriteArgs>();
  write->add_option("FILE", args->File, "profile file")->required();
  CLI::Option* values = write->add_option("--values", args->Values, "CSV table of per-terminal values (see README)");
  CLI::Option* pool =
      write->add_option("--pool", args->Pool, "take each terminal's values from a pool of the service record");
  values->excludes(pool);
  write->add_option("--key", args->Key, "what finds a terminal's row: factory (factory_number) or port")
      ->check(CLI::IsMember({"factory", "port"}));
  CLI::Option* ports = write->add_option("--port", args->Ports, "a terminal's port; repeat for more");
  CLI::Option* all = write->add_flag("--all-ports", args->AllPorts, "every serial port of the system");
  CLI::Option* retry = write->add_option("--retry-failed", args->RetryFailed,
                                         "run again on the terminals a report names as not passed");
  ports->excludes(all);
  retry->excludes(ports);
  retry->excludes(all);
  write->add_flag("--no-verify", args->NoVerify, "do not read the groups back");
  write->add_flag("--fast", args->Fast, "write the firmware in blocks of 4 KiB (as firmware write --fast)");
  write->add_option("--report", args->Report, "report files PATH.csv and PATH.json");
  write->add_option("--groups", args->Groups,
                    "comma-separated groups to write (default: all the profile holds)");
  CLI::Option* watch = write->add_flag(
      "--watch", args->Watch, "set up terminals as they are plugged in, until Ctrl+C, SIGTERM or --count");
  CLI::Option* dir = write->add_option("--watch-dir", args->WatchDirs,
                                       "with --watch: a folder whose entries are ports that come and go "
                                       "(default " + std::string(kDefaultWatchDir) + ")")
                         ->expected(0, 1)
                         ->default_str("")
                         ->take_first();
  CLI::Option* count = write->add_option("--count", args->Count, "with --watch: end after N terminals")
                           ->check(CLI::PositiveNumber);
  CLI::Option* again =
      write->add_flag("--again", args->Again, "with --watch: write terminals this profile set up before");
  dir->needs(watch);
  count->needs(watch);
  again->needs(watch);
  watch->excludes(retry);
  write->callback([&run, &options, args] {
    run = [&options, args] {
      if (args->Watch) return RunProfileWatch(options, *args);
      return NothingToRetry(*args) ? kExitOk : RunProfileWrite(options, *args);
    };
  });
}

}  // namespace

void AddProfileCommands(CLI::App& app, TCommandRun& run, TGlobalOptions& options) {
  CLI::App* profile = app.add_subcommand("profile", "Profiles: the settings of a whole terminal in one file");
  profile->require_subcommand(1);
  AddProfileRead(*profile, run, options);
  AddProfileSave(*profile, run, options);
  AddProfileLoad(*profile, run, options);
  AddProfileWrite(*profile, run, options);
}

}  // namespace quorvel::cli
