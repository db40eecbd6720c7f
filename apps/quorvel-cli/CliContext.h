#pragma once

#include "Progress.h"
#include "Prompt.h"
#include "Session.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace quorvel {
class IServiceRecord;
class TAppDoc;
class TAppManager;
class TOrtena;
class TPaymentSystem;

namespace sim {
class TTerminalSim;
}
}  // namespace quorvel

namespace quorvel::cli {

/// Exit statuses of the program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitError = 1;    ///< an error; its message is on stderr
inline constexpr int kExitUsage = 2;    ///< the command line could not be parsed
inline constexpr int kExitAborted = 3;  ///< a question was answered No; nothing more was sent
/// Ctrl+C (SIGINT) stopped a terminal operation: the transfer in progress ended before its
/// next packet and the document was not saved (128 + SIGINT, as a shell reports it).
inline constexpr int kExitInterrupted = 130;

/// The work of the subcommand chosen on the command line; returns the exit status.
using TCommandRun = std::function<int()>;

/// Options given before the subcommand.
struct TGlobalOptions {
  std::string Port;           ///< device path of the terminal's port (--port); empty: settings.xml's
  int Retries = 0;            ///< attempts per command (--retries); 0: settings.xml's
  std::string Log;            ///< log file for this run (--log); empty: settings.xml's
  std::string Home;           ///< the program's folder (--home); empty: $QUORVEL_HOME or ~/.config/quorvel
  bool Yes = false;           ///< answer Yes to every question (--yes)
  bool No = false;            ///< answer No to every question (--no)
  bool Simulator = false;     ///< talk to the built-in simulator instead of a device (--simulator)
  bool SaveSettings = false;  ///< keep --port, --retries and --log in settings.xml (--save-settings)
  /// Seconds to wait for another program that holds the program's folder (--lock-wait).
  double LockWait = kDefaultFolderLockWaitMs / 1000.0;
  std::string Record;    ///< the service record (--record); empty: settings.xml's, else service.db
  std::string Operator;  ///< who works (--operator); empty: the user name
};

/// Where the service record is: --record, else settings.xml's Record, else service.db in the
/// program's folder. Reads settings.xml without taking the folder (it is replaced whole).
std::string RecordLocation(const TGlobalOptions& options);
/// --operator, else the user the program runs as.
std::string OperatorName(const TGlobalOptions& options);

/// Adds the global options to app, stored into options.
void AddGlobalOptions(CLI::App& app, TGlobalOptions& options);

/// Makes --home the program's folder for everything that asks for it from now on.
void ApplyHome(const TGlobalOptions& options);

/// Switches the log on into --log's file for this run, when given. Raises Exception "Не удалось
/// открыть файл журнала ..." with the reason when that file cannot be opened.
void ApplyLogOption(const TGlobalOptions& options);

/// The question interface of the command line: --yes and --no answer at once; otherwise the
/// question goes to stderr and a line is read from stdin when stdin is a terminal ("y", "yes",
/// "д", "да" in any case mean Yes); without a terminal the answer is No, and the question and
/// that answer are shown on stderr.
class TConsolePrompt final : public IPrompt {
 public:
  explicit TConsolePrompt(const TGlobalOptions& options) : options_(options) {}
  bool Confirm(const std::string& question) override;

 private:
  const TGlobalOptions& options_;
};

/// Everything a command of the terminal or the configuration needs for one run of the program:
/// the settings (settings.xml) applied to the facade's driver, the options of this run on top,
/// the configuration document, the prompt and the progress line, and the built-in simulator
/// when asked for. The facade is the program's one (Facade()).
/// Threads: the main thread only.
class TCliContext {
 public:
  /// Takes the program's folder for the whole run (another run of the command line waits for
  /// it up to --lock-wait seconds), loads settings.xml and the configuration document (a file of
  /// either read only in part is reported on stderr, and later the name of its backup copy),
  /// applies --port, --retries and --log, starts the simulator for --simulator. Raises the
  /// errors of these steps (EFolderBusy first, before anything is read or sent).
  explicit TCliContext(const TGlobalOptions& options);
  /// Closes the port, stops the simulator and releases the folder; saves nothing.
  ~TCliContext();
  TCliContext(const TCliContext&) = delete;
  TCliContext& operator=(const TCliContext&) = delete;

  TOrtena& Facade() { return facade_; }
  TAppDoc& Doc() { return session_->Doc(); }
  TAppManager& Settings() { return session_->Settings(); }
  /// The progress line on stderr (drawn only when stderr is a terminal).
  TProgress& Progress() { return progress_; }
  /// The service record (RecordLocation), opened on first use; raises its open errors.
  IServiceRecord& Record();
  /// The simulator of --simulator, or nullptr.
  sim::TTerminalSim* Simulator() { return simulator_.get(); }
  const TGlobalOptions& Options() const { return options_; }

  /// The document's payment system of a short lower-case name (masterport, cyberplat, eport,
  /// xplat, osmp, easypay, krasplat, bercut, absolutplat, eurofon, ubspay, pegasmp, pegasosmp).
  TPaymentSystem& System(const std::string& name);

  /// Saves the configuration document and settings.xml (SaveSettings). Raises the first save
  /// error. A backup copy of a damaged file made on the way is reported on stderr.
  void Save();
  /// Saves settings.xml only (the values as loaded unless --save-settings was given).
  void SaveSettings();

 private:
  void ApplyOptions();
  void RestoreSettings();

  const TGlobalOptions& options_;
  TOrtena& facade_;
  TConsolePrompt prompt_;
  TProgress progress_;
  std::unique_ptr<TSession> session_;
  std::unique_ptr<sim::TTerminalSim> simulator_;
  std::unique_ptr<IServiceRecord> record_;
  // settings.xml's values, put back before saving when this run overrode them
  int savedPortNumber_ = 1;
  std::string savedPortName_;
  int savedRetries_ = 1;
  bool savedLogEnabled_ = false;
  std::string savedLogFile_;
};

/// The names SYSTEM takes, in the order of the help text.
const std::vector<std::string>& SystemNames();

/// Runs body with a fresh context and saves afterwards: the document and settings.xml after a
/// success, settings.xml only after a failure or a No (nothing the failed command put into the
/// document is kept). Returns kExitOk, kExitAborted for a No (nothing printed), or kExitError with the
/// message on stderr. While body runs, the first SIGINT asks the facade to stop
/// (TOrtena::RequestStop) instead of ending the program: the transfer in progress ends before
/// its next packet, and the run returns kExitInterrupted with kAbortMessage on stderr, saving
/// settings.xml only, whatever body did. Before and after body SIGINT ends the program as before.
/// A command that writes to the terminal (operation: its name, "sim write") is recorded in the
/// service record with its port and result; the record is opened before body runs, so a
/// record that cannot be opened stops the command before anything is sent.
int RunInContext(const TGlobalOptions& options, const std::function<void(TCliContext&)>& body,
                 const std::string& operation = {});

/// Adds a subcommand's run: when chosen, run becomes RunInContext(options, body).
void SetContextRun(CLI::App& command, TCommandRun& run, const TGlobalOptions& options,
                   std::function<void(TCliContext&)> body);

}  // namespace quorvel::cli
