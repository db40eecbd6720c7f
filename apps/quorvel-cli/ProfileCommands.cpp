// The service bench: a profile read from one terminal, written to many.
#include "ProfileCommands.h"

#include "AppDoc.h"
#include "AppManager.h"
#include "BenchReport.h"
#include "BenchRun.h"
#include "BenchValues.h"
#include "BenchView.h"
#include "ComPort.h"
#include "Errors.h"
#include "FileText.h"
#include "InterruptStops.h"
#include "Ortenas.h"
#include "Profile.h"
#include "ProfileDocument.h"
#include "ProfileTransfer.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace quorvel::cli {

namespace {

constexpr const char* kNothingToRetry = "Нечего повторять";
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
  std::string Key = "factory";
  std::vector<std::string> Ports;
  bool AllPorts = false;
  bool NoVerify = false;
  bool Fast = false;
  std::string Report;
  std::string RetryFailed;
  std::string Groups;
};

std::vector<std::string> PortsOf(const TWriteArgs& args) {
  if (!args.RetryFailed.empty()) return FailedPortsOfReport(args.RetryFailed);
  if (!args.AllPorts) return args.Ports;
  std::vector<std::string> ports;
  for (const TComPortInfo& port : EnumComPorts()) ports.push_back(port.Path);
  return ports;
}

TBenchPlan MakePlan(const TWriteArgs& args, const TGlobalOptions& options, TCliContext& c) {
  TBenchPlan plan;
  plan.ProfileName = args.File;
  plan.ProfileText = ReadFileText(args.File);
  plan.Groups = ParseProfileGroups(args.Groups);
  plan.Ports = PortsOf(args);
  if (plan.Ports.empty()) throw Exception("Нет терминалов для записи: не назван ни один порт");
  if (!args.Values.empty()) {
    const TValueKey key = args.Key == "port" ? TValueKey::Port : TValueKey::FactoryNumber;
    plan.Values = std::make_shared<const TBenchValues>(
        TBenchValues::Parse(ReadFileText(args.Values), args.Values, key));
  }
  plan.Verify = !args.NoVerify;
  plan.AnswerYes = options.Yes;
  plan.FastFirmware = args.Fast;
  plan.Retries = c.Settings().MaxRetryCount();
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
      TInterruptStops<TBenchRun> stops(*bench);
      outcomes = bench->Run([&view](int index, const TTerminalOutcome& o) { view.OnChange(index, o); });
      interrupted = stops.Interrupted();
    }
    if (!args.Report.empty()) WriteBenchReport(args.Report, outcomes);
    c.SaveSettings();
    int passed = 0;
    for (const TTerminalOutcome& o : outcomes) passed += o.State == TBenchState::Passed;
    std::fprintf(stderr, "Записано терминалов: %d из %zu\n", passed, outcomes.size());
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

void AddProfileWrite(CLI::App& command, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* write = command.add_subcommand(
      "write", "Write the profile FILE into the terminals of the ports, each on its own thread");
  auto args = std::make_shared<TWriteArgs>();
  write->add_option("FILE", args->File, "profile file")->required();
  write->add_option("--values", args->Values, "CSV table of per-terminal values (see README)");
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
  write->callback([&run, &options, args] {
    run = [&options, args] { return NothingToRetry(*args) ? kExitOk : RunProfileWrite(options, *args); };
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
