#include "CliContext.h"

#include "AppDoc.h"
#include "AppManager.h"
#include "AppManagerXml.h"
#include "DemoTerminal.h"
#include "Errors.h"
#include "FileText.h"
#include "InterruptStops.h"
#include "LogFile.h"
#include "Ortenas.h"
#include "Paths.h"
#include "RecordUrl.h"
#include "ServiceRecord.h"
#include "Session.h"
#include "TerminalSim.h"
#include "TextUtils.h"
#include "xmlParser.h"

#include <fmt/printf.h>
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>

namespace quorvel::cli {

namespace {

constexpr const char* kAutoNo = "Нет (нет терминала для ответа; ответ Да: --yes)";
constexpr const char* kLogOpenError = "Не удалось открыть файл журнала \"%s\": %s";

// The message boxes' CR LF line ends do not belong on a console.
std::string ConsoleText(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}

void Report(const std::vector<std::string>& notices) {
  for (const std::string& notice : notices) std::fprintf(stderr, "%s\n", ConsoleText(notice).c_str());
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool IsYes(const std::string& answer) {
  const std::string a = Lower(Trim(answer));
  return a == "y" || a == "yes" || a == "д" || a == "да" || a == "Д" || a == "Да" || a == "ДА";
}

}  // namespace

void AddGlobalOptions(CLI::App& app, TGlobalOptions& options) {
  CLI::Option* port =
      app.add_option("--port", options.Port, "device path of the terminal's serial port (this run)");
  app.add_option("--retries", options.Retries, "attempts per terminal command, 1..5 (this run)")
      ->check(CLI::Range(1, 5));
  app.add_option("--log", options.Log, "log every line exchanged with the terminal into FILE (this run)");
  CLI::Option* home =
      app.add_option("--home", options.Home, "the program's folder with settings.xml and Quorvel.xml");
  // An empty value would silently mean "the default" and send commands to another port or
  // folder than the user named.
  const CLI::Validator notEmpty(
      [](std::string& value) {
        return value.empty() ? std::string("an empty path names nothing") : std::string();
      },
      "PATH");
  port->check(notEmpty);
  home->check(notEmpty);
  CLI::Option* yes = app.add_flag("--yes", options.Yes, "answer Yes to every question");
  CLI::Option* no = app.add_flag("--no", options.No, "answer No to every question");
  yes->excludes(no);
  CLI::Option* simulator = app.add_flag("--simulator", options.Simulator,
                                        "use the built-in terminal simulator instead of a device");
  simulator->excludes(port);
  app.add_flag("--save-settings", options.SaveSettings, "keep --port, --retries and --log in settings.xml");
  app.add_option("--record", options.Record,
                 "the service record: an SQLite file (default: service.db in the program's folder) or a "
                 "postgresql:// URL (the password from ~/.pgpass or PGPASSFILE)")
      ->check(notEmpty);
  app.add_option("--operator", options.Operator, "who works, for the service record (default: the user name)");
  app.add_option("--lock-wait", options.LockWait,
                 "seconds to wait while another program uses the program's folder (default 10)")
      ->check(CLI::Range(0.0, 3600.0));
}

void ApplyHome(const TGlobalOptions& options) {
  // Runs on the main thread before any other thread exists.
  if (!options.Home.empty())
    ::setenv("QUORVEL_HOME", options.Home.c_str(), 1);  // NOLINT(concurrency-mt-unsafe)
}

bool TConsolePrompt::Confirm(const std::string& question) {
  if (options_.Yes) return true;
  if (options_.No) return false;
  const std::string text = ConsoleText(question);
  if (::isatty(STDIN_FILENO) == 0) {
    std::fprintf(stderr, "%s\n%s\n", text.c_str(), kAutoNo);
    return false;
  }
  std::fprintf(stderr, "%s [y/N] ", text.c_str());
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return IsYes(answer);
}

const std::vector<std::string>& SystemNames() {
  static const std::vector<std::string> names = {
      "masterport", "cyberplat",   "eport",   "xplat",  "osmp",    "easypay",  "krasplat",
      "bercut",     "absolutplat", "eurofon", "ubspay", "pegasmp", "pegasosmp"};
  return names;
}

TCliContext::TCliContext(const TGlobalOptions& options)
    : options_(options), facade_(quorvel::Facade()), prompt_(options), progress_(stderr) {
  session_ = std::make_unique<TSession>(facade_, LogFile(), ProgramHome(), TFolderUse::WholeRun,
                                        static_cast<int>(options_.LockWait * 1000));
  // Saving happens in Save, after the values of this run were put back.
  Report(session_->LoadNotices());
  savedPortNumber_ = Settings().PortNumber();
  savedPortName_ = Settings().PortName();
  savedRetries_ = Settings().MaxRetryCount();
  savedLogEnabled_ = LogFile().Enabled();
  savedLogFile_ = LogFile().FileName();

  ApplyOptions();
  // Last: the facade outlives this object and must not keep pointers into a half-made one.
  facade_.SetPrompt(&prompt_);
  facade_.DriverStatus().SetOnChange([this](TDriverStatus& status) { progress_.OnStatus(status.Text()); });
}

TCliContext::~TCliContext() {
  facade_.DriverStatus().SetOnChange({});
  facade_.SetPrompt(nullptr);
  // The port's receiving thread must be gone before the simulator's pty closes.
  session_->ClosePort();
  if (simulator_) simulator_->Stop();
}

void ApplyLogOption(const TGlobalOptions& options) {
  if (options.Log.empty()) return;
  LogFile().SetFileName(options.Log);
  LogFile().SetEnabled(true);
  // A log asked for on the command line that cannot be written is an error, not silence.
  if (const std::string reason = LogFile().Open(); !reason.empty())
    throw Exception(fmt::sprintf(kLogOpenError, options.Log, reason));
}

void TCliContext::ApplyOptions() {
  ApplyLogOption(options_);
  if (options_.Simulator) {
    simulator_ = std::make_unique<sim::TTerminalSim>();
    simulator_->Update(sim::SeedDemoTerminal);
    simulator_->Start();
    Settings().SetPortName(simulator_->SlavePath());
  } else if (!options_.Port.empty()) {
    Settings().SetPortName(options_.Port);
  }
  if (options_.Retries != 0) Settings().SetMaxRetryCount(options_.Retries);
}

void TCliContext::RestoreSettings() {
  const bool keep = options_.SaveSettings;
  if (options_.Simulator || (!keep && !options_.Port.empty())) {
    Settings().SetPortNumber(savedPortNumber_);
    Settings().SetPortName(savedPortName_);
  }
  if (!keep && options_.Retries != 0) Settings().SetMaxRetryCount(savedRetries_);
  if (!keep && !options_.Log.empty()) {
    LogFile().SetEnabled(savedLogEnabled_);
    LogFile().SetFileName(savedLogFile_);
  }
}

IServiceRecord& TCliContext::Record() {
  if (!record_) record_ = OpenServiceRecord(RecordLocation(options_));
  return *record_;
}

std::string RecordLocation(const TGlobalOptions& options) {
  if (!options.Record.empty()) return options.Record;
  const std::string settings = TAppManager::DefaultSettingsFileName();
  std::string configured;
  try {
    if (std::filesystem::is_regular_file(settings)) {
      TXmlParser parser;
      parser.LoadFromFile(settings);
      if (TXmlItem* driver = parser.Root()->Find(kSettingsDriverElement))
        if (TXmlItem* record = driver->Find(kSettingsRecord); record != nullptr) configured = record->Text();
    }
  } catch (const std::exception&) {
    // A damaged settings file is reported by the commands that load it; the record stays where
    // it is by default.
  }
  // A password written into the file by hand is not taken from it, as the program never
  // writes one there.
  if (UrlHasPassword(configured)) throw Exception(kRecordPasswordNotStored);
  return ServiceRecordLocation(configured);
}

std::string OperatorName(const TGlobalOptions& options) {
  return options.Operator.empty() ? UserName() : options.Operator;
}

TPaymentSystem& TCliContext::System(const std::string& name) {
  TAppDoc& d = Doc();
  const std::map<std::string, TPaymentSystem*> systems = {
      {"masterport", &d.MasterPort()}, {"cyberplat", &d.Cyberplat()}, {"eport", &d.EPort()},
      {"xplat", &d.XPlat()},           {"osmp", &d.OSMP()},           {"easypay", &d.EasyPay()},
      {"krasplat", &d.Krasplat()},     {"bercut", &d.Bercut()},       {"absolutplat", &d.Absolutplat()},
      {"eurofon", &d.Eurofon()},       {"ubspay", &d.UbsPay()},       {"pegasmp", &d.PegasMP()},
      {"pegasosmp", &d.PegasOSMP()}};
  const auto it = systems.find(name);
  // The command line checks the names; this is a fault of the program.
  if (it == systems.end()) throw std::logic_error("unknown payment system " + name);
  return *it->second;
}

void TCliContext::Save() {
  session_->SaveDocument();
  SaveSettings();
}

void TCliContext::SaveSettings() {
  RestoreSettings();
  session_->SaveSettings();
  Report(session_->SaveNotices());
}

namespace {

// The writes that change a terminal, by "<command> <subcommand>"; a bench records its own.
bool WritesTerminal(const std::string& operation) {
  static const std::set<std::string> writes = {
      "serial write", "active set",   "backup restore", "sim write",       "header write",
      "trailer write", "fees write",  "server write",   "xmldata write",   "phonebase write",
      "scripts write", "scripts update", "rsa write",   "paysys write"};
  return writes.count(operation) > 0;
}

}  // namespace

int RunInContext(const TGlobalOptions& options, const std::function<void(TCliContext&)>& body,
                 const std::string& operation) {
  std::unique_ptr<TCliContext> context;
  int status = kExitOk;
  const bool recorded = WritesTerminal(operation);
  try {
    context = std::make_unique<TCliContext>(options);
    if (recorded) context->Record();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", ConsoleText(e.what()).c_str());
    return kExitError;
  }
  std::string message;
  {
    TInterruptStops<TOrtena> stops(context->Facade());
    try {
      body(*context);
    } catch (const EAbort&) {
      status = kExitAborted;
      message = kAbortMessage;
    } catch (const std::exception& e) {
      message = e.what();
      std::fprintf(stderr, "%s\n", ConsoleText(e.what()).c_str());
      status = kExitError;
    }
    // Whatever the operation got through, a run the user stopped keeps nothing of it.
    if (stops.Interrupted()) {
      std::fprintf(stderr, "%s\n", kAbortMessage);
      status = kExitInterrupted;
    }
  }
  if (recorded) {
    TOperationRecord entry;
    entry.Host = HostName();
    entry.Operator = OperatorName(options);
    entry.Program = "quorvel-cli";
    entry.Operation = operation;
    entry.Port = context->Settings().PortName();
    entry.Result = status == kExitOk ? kRecordPassed : status == kExitError ? kRecordFailed : kRecordStopped;
    entry.Message = message;
    try {
      context->Record().AddOperation(entry);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", ConsoleText(e.what()).c_str());
      if (status == kExitOk) status = kExitError;
    }
  }
  try {
    // A failed or refused command leaves the document as the file holds it: what it typed or
    // read half way must not reach the next run (a value the terminal refused would fail
    // every later command). A damaged document then stays untouched, to be reported again.
    if (status == kExitOk)
      context->Save();
    else
      context->SaveSettings();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", ConsoleText(e.what()).c_str());
    status = kExitError;
  }
  return status;
}

void SetContextRun(CLI::App& command, TCommandRun& run, const TGlobalOptions& options,
                   std::function<void(TCliContext&)> body) {
  const std::string operation =
      (command.get_parent() != nullptr ? command.get_parent()->get_name() + " " : std::string()) + command.get_name();
  command.callback([&run, &options, operation, body = std::move(body)] {
    run = [&options, operation, body] { return RunInContext(options, body, operation); };
  });
}

}  // namespace quorvel::cli
