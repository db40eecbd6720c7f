#include "FirmwareCommands.h"

#include "AppManager.h"
#include "Bootloader.h"
#include "ComPort.h"
#include "Errors.h"
#include "FileText.h"
#include "HexFile.h"
#include "ISPWriter.h"
#include "InterruptStops.h"
#include "LogFile.h"
#include "ModemDriver.h"
#include "ServiceRecord.h"
#include "TerminalSim.h"

#include <fmt/format.h>
#include <fmt/printf.h>
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <iostream>
#include <memory>

namespace quorvel::cli {

namespace {

constexpr const char* kRestartQuestion = "Перезапустите терминал и нажмите кнопку OK";
constexpr const char* kNoTerminal =
    "Нет терминала для ответа на вопрос «%s»: запись отменена (без вопроса: --yes)";
constexpr const char* kCancelled = "Запись отменена";
constexpr const char* kNoPort = "Не указан порт терминала: --port ПУТЬ или --simulator";
constexpr int kProgressWidth = 30;

// The result texts carry the CR LF line ends of a message box.
std::string ConsoleText(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r') out.push_back(c);
  return out;
}

// The Enter that stands for the OK button; end of input is a refusal.
bool AskRestart(const TGlobalOptions& options) {
  if (options.Yes) return true;
  if (options.No) {
    std::fprintf(stderr, "%s\n", kCancelled);
    return false;
  }
  std::fprintf(stderr, "%s [Enter] ", kRestartQuestion);
  std::fflush(stderr);
  std::string answer;
  if (!std::getline(std::cin, answer)) {
    std::fprintf(stderr, "\n%s\n", kCancelled);
    return false;
  }
  return true;
}

std::string ProgressLine(const TUpdateStatus::TSnapshot& s) {
  const int max = s.Max > 0 ? s.Max : 1;
  // Several blocks of odd sizes can carry the position past Max.
  const int done = std::min(s.Position, max);
  const int filled = done * kProgressWidth / max;
  // The final texts span lines; the result is printed whole afterwards.
  const std::string operation = s.Text.substr(0, s.Text.find_first_of("\r\n"));
  return fmt::format("\r[{}{}] {}/{} стр.  {} байт/с  {}\x1b[K", std::string(filled, '#'),
                     std::string(kProgressWidth - filled, '.'), s.Position, s.Max, s.Rate, operation);
}

// Follows the status as the worker changes it, redrawing the line on a terminal only, like
// every other progress line; returns once the status has stopped running.
void ShowProgress(const TUpdateStatus& status) {
  const bool draw = ::isatty(STDERR_FILENO) != 0;
  std::string last;
  TUpdateStatus::TSnapshot s;
  for (std::uint64_t seen = 0;;) {
    seen = status.WaitForChange(seen, s);
    std::string line = ProgressLine(s);
    if (draw && line != last) {
      std::fputs(line.c_str(), stderr);
      std::fflush(stderr);
      last = line;
    }
    if (!s.Running) break;
  }
  if (!last.empty()) std::fputs("\n", stderr);
}

// The simulated terminal, already in its bootloader (as after the restart asked for).
std::unique_ptr<sim::TTerminalSim> StartSimulator() {
  sim::TSimOptions simOptions;
  simOptions.StartInBootloader = true;
  auto simulator = std::make_unique<sim::TTerminalSim>(simOptions);
  simulator->SetBootloaderFactory(sim::BootloaderFactory(std::make_shared<sim::TBootloaderFlash>()));
  simulator->Start();
  return simulator;
}

int RunUpdate(TModemDriver& driver, const TISPParams& params, const TISPImage& image,
              const TGlobalOptions& options) {
  // The line goes quiet (RTS low) before the user restarts the terminal, as on the page.
  driver.Comm().Open();
  driver.Comm().SetRTS(false);
  if (!AskRestart(options)) return 1;
  TUpdateStatus status;
  TISPUpdate update(driver, status);
  {
    TInterruptStops<TUpdateStatus> stops(status);
    update.Start(params, image);
    ShowProgress(status);
    update.WaitFor();
  }
  TUpdateStatus::TSnapshot s = status.Snapshot();
  if (s.Failed) {
    std::fprintf(stderr, "%s\n", ConsoleText(s.Text).c_str());
    return status.StopRequested() ? kExitInterrupted : 1;
  }
  std::printf("%s\n", ConsoleText(s.Text).c_str());
  return 0;
}

}  // namespace

int ShowFirmwareInfo(const std::string& fileName) {
  THexFile file;
  try {
    file.LoadFromFile(fileName);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  const THexBlocks& blocks = file.Blocks();
  std::printf("%s\n", fileName.c_str());
  for (std::size_t i = 0; i < blocks.Count(); ++i) {
    const THexBlockRec& rec = blocks[i].Rec;
    const auto start = static_cast<std::uint32_t>(rec.BaseAddress);
    const std::size_t size = rec.Data.size();
    const std::uint32_t last = size == 0 ? start : static_cast<std::uint32_t>(start + size - 1);
    std::printf(
        "%s\n",
        fmt::sprintf("Блок %d: 0x%.8X-0x%.8X, %u байт (0x%X)", i + 1, start, last, size, size).c_str());
  }
  const std::size_t total = blocks.TotalSize();
  const std::size_t pages = (total + kHexPageSize - 1) / kHexPageSize;
  std::printf("%s\n",
              fmt::sprintf("Всего: %u байт (0x%X), страниц по %u байт: %u", total, total, kHexPageSize, pages)
                  .c_str());
  return 0;
}

int WriteFirmware(const TFirmwareWriteArgs& args, const TGlobalOptions& options) {
  try {
    // A damaged file, or one that would leave the terminal unable to start, is refused
    // before the user is asked to restart anything; the worker takes the image as loaded.
    auto image = std::make_shared<THexFile>();
    image->LoadFromFile(args.FileName);
    TISPWriter::CheckImage(*image, args.FileName);
    if (!options.Simulator && options.Port.empty()) throw Exception(kNoPort);
    if (!options.Yes && !options.No && ::isatty(STDIN_FILENO) == 0)
      throw Exception(fmt::sprintf(kNoTerminal, kRestartQuestion));
    std::unique_ptr<sim::TTerminalSim> simulator;
    TModemDriver driver;
    // The writer's steps go to the log as on the update page: settings.xml's log, or --log.
    TAppManager settings(driver, LogFile());
    settings.SetAutoSave(false);
    ApplyLogOption(options);
    if (options.Simulator) simulator = StartSimulator();
    driver.SetPortName(simulator ? simulator->SlavePath() : options.Port);
    TISPParams params;
    params.FileName = args.FileName;
    params.BaudRate = args.BaudRate;
    params.Verify = args.Verify;
    params.Fast = args.Fast;
    // Opened before the terminal is touched: no firmware goes in without its record.
    const std::unique_ptr<IServiceRecord> record = OpenServiceRecord(RecordLocation(options));
    const int status = RunUpdate(driver, params, image, options);
    // The port's receiving thread must be gone before the simulator's pty closes.
    driver.ClosePort();
    TOperationRecord entry;
    entry.Host = HostName();
    entry.Operator = OperatorName(options);
    entry.Program = "quorvel-cli";
    entry.Operation = "firmware write";
    entry.Port = driver.PortName();
    entry.Result = status == 0 ? kRecordPassed : status == kExitInterrupted ? kRecordStopped : kRecordFailed;
    entry.Message = args.FileName;
    record->AddOperation(entry);
    return status;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

void AddFirmwareCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* firmware = app.add_subcommand("firmware", "Terminal firmware (Intel HEX images)");
  firmware->require_subcommand(1);

  CLI::App* info = firmware->add_subcommand("info", "List the memory blocks of a HEX file");
  auto infoFile = std::make_shared<std::string>();
  info->add_option("FILE", *infoFile, "the HEX file")->required();
  info->callback([&run, infoFile] { run = [infoFile] { return ShowFirmwareInfo(*infoFile); }; });

  CLI::App* write = firmware->add_subcommand(
      "write",
      "Write a HEX file into the terminal's flash through its bootloader (exit status 1 on failure)");
  auto args = std::make_shared<TFirmwareWriteArgs>();
  write->add_option("FILE", args->FileName, "the HEX file")->required();
  write->add_option("--baud", args->BaudRate, "line rate of the bootloader dialogue")
      ->check(CLI::IsMember(std::vector<int>(kFirmwareBaudRates.begin(), kFirmwareBaudRates.end())))
      ->capture_default_str();
  auto noVerify = std::make_shared<bool>(false);
  write->add_flag("--no-verify", *noVerify, "do not read the flash back after writing");
  write->add_flag(
      "--fast", args->Fast,
      "blocks of 4 KiB, each group of lines sent at once (service benches; default: 1 KiB pages)");
  write->callback([&run, &options, args, noVerify] {
    args->Verify = !*noVerify;
    run = [&options, args] { return WriteFirmware(*args, options); };
  });
}

}  // namespace quorvel::cli
