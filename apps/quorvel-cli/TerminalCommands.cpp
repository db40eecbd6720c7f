// Commands of the terminal's own parameters: the status and connection pages, the serial
// number, the active payment system, SIM cards, receipt lines, fee tables, server parameters.
#include "TerminalCommands.h"

#include "AppDoc.h"
#include "ComPort.h"
#include "DeviceSearch.h"
#include "Errors.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "SimCardEntry.h"
#include "StatusReport.h"
#include "TerminalSim.h"
#include "TextFiles.h"
#include "TextUtils.h"

#include <fmt/format.h>
#include <fmt/printf.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

namespace quorvel::cli {

namespace {

constexpr const char* kDroppedLinesNote = "Записаны первые %d строк файла, пропущено строк: %d\n";
// Steps of a fee-table transfer as the progress line sees them: the scheme, then the rates.
constexpr int kFeeTableSteps = 2;

void Print(const std::string& text) { WriteOutput({}, text); }

CLI::Validator SystemOf(const std::vector<std::string>& names) { return CLI::IsMember(names); }

std::string FeeRow(const TFee& fee) { return "  " + FeeSumText(fee) + "  " + FeeValueText(fee) + "\n"; }

std::string FormatFeeTables(const TFeeTables& tables) {
  std::string out;
  for (int i = 0; i < tables.Count(); ++i) {
    const TFeeTable& table = tables.Items(i);
    out += table.DisplayName() + ": " + TFeeTables::SchemeName(table.SchemeType()) + "\n";
    for (int k = 0; k < table.Fees().Count(); ++k) out += FeeRow(table.Fees().Items(k));
  }
  return out;
}

std::string FormatServerParams(const TServerParams& params) {
  return fmt::format(
      "IP-адрес сервера: {}\nНомер порта на сервере: {}\nЧисло повторов: {}\nWWW адрес сервера: {}\n",
      params.Address, params.Port, params.RetryCount(), params.ServerName);
}

bool AllDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= '0' && c <= '9'; });
}

void AddStatus(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* status = app.add_subcommand("status", "Read the terminal's state (the status page's report)");
  SetContextRun(*status, run, options, [](TCliContext& c) {
    TOrtenaStatus s;
    {
      TClearStatusGuard clear(c.Facade());
      c.Facade().ReadStatus(s);
    }
    Print(FormatStatusReport(s));
  });
}

void AddPorts(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* ports = app.add_subcommand("ports", "List the serial ports of the system");
  SetContextRun(*ports, run, options, [](TCliContext&) {
    std::string out;
    for (const TComPortInfo& port : EnumComPorts())
      out += port.Description.empty() ? port.Path + "\n" : port.Path + "  " + port.Description + "\n";
    Print(out);
  });

  CLI::App* find = app.add_subcommand("find",
                                      "Probe ports for a terminal, one line per port (default: the system's "
                                      "ports; the simulator's with --simulator)");
  auto paths = std::make_shared<std::vector<std::string>>();
  find->add_option("PATH", *paths, "device paths to probe");
  SetContextRun(*find, run, options, [paths](TCliContext& c) {
    std::vector<TSearchPort> rows;
    if (!paths->empty()) {
      for (const std::string& path : *paths) rows.push_back({path, path, true});
    } else if (c.Simulator() != nullptr) {
      rows.push_back({c.Simulator()->SlavePath(), c.Simulator()->SlavePath(), true});
    } else {
      rows = SearchPortsOf(EnumComPorts());
    }
    TSearchEvents events;
    events.OnResult = [&rows](int row, const std::string& text, bool) {
      Print(rows[static_cast<std::size_t>(row)].Path + ": " + text + "\n");
    };
    const std::atomic<bool> stop{false};
    const std::vector<TSearchResult> results = SearchDevices(rows, stop, events);
    // A script asks "is a terminal there?" through the exit status.
    if (std::none_of(results.begin(), results.end(), [](const TSearchResult& r) { return r.Found; }))
      throw Exception(kNoDeviceFoundText);
  });
}

void AddSerial(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* serial = app.add_subcommand("serial", "The terminal's serial number");
  serial->require_subcommand(1);
  CLI::App* read = serial->add_subcommand("read", "Print the serial number");
  SetContextRun(*read, run, options, [](TCliContext& c) { Print(c.Facade().ReadSerialNumber() + "\n"); });

  CLI::App* write = serial->add_subcommand("write", "Write a serial number of eight digits");
  auto number = std::make_shared<std::string>();
  write->add_option("N", *number, "the serial number")->required();
  SetContextRun(*write, run, options, [number](TCliContext& c) {
    // The serial-number page takes digits only; the facade checks the length.
    if (!AllDigits(*number)) throw Exception(kSerialNumberLengthMessage);
    c.Facade().WriteSerialNumber(*number);
  });
}

void AddActive(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* active = app.add_subcommand("active", "The terminal's active payment system");
  active->require_subcommand(1);
  CLI::App* read = active->add_subcommand("read", "Print the active system's code and name");
  SetContextRun(*read, run, options, [](TCliContext& c) {
    const std::int32_t code = c.Facade().ReadActiveSystem();
    Print(fmt::format("{} {}\n", code, PaymentSystemName(code)));
  });

  CLI::App* set = active->add_subcommand("set", "Make SYSTEM the active payment system");
  auto name = std::make_shared<std::string>();
  set->add_option("SYSTEM", *name, "payment system")->required()->check(SystemOf(SystemNames()));
  SetContextRun(*set, run, options, [name](TCliContext& c) { c.Facade().SetActiveSystem(c.System(*name)); });

  CLI::App* backup = app.add_subcommand("backup", "The terminal's backup copy of its settings");
  backup->require_subcommand(1);
  CLI::App* restore = backup->add_subcommand("restore", "Restore the current settings from the backup copy");
  auto system = std::make_shared<std::string>();
  restore->add_option("SYSTEM", *system, "masterport or pegasmp")
      ->required()
      ->check(SystemOf({"masterport", "pegasmp"}));
  SetContextRun(*restore, run, options, [system](TCliContext& c) {
    c.Facade().RestoreBackup(static_cast<TMasterPortProtocol&>(c.System(*system)));
  });
}

struct TSimArgs {
  std::string Pin;
  std::string Apn;
  std::string Login;
  std::string Password;
};

void AddSim(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* sim = app.add_subcommand("sim", "SIM card slots");
  sim->require_subcommand(1);
  CLI::App* read = sim->add_subcommand("read", "Read both slots into the document and print them");
  SetContextRun(*read, run, options, [](TCliContext& c) {
    TSimCards& cards = c.Doc().SimCards();
    c.Facade().ReadSimCards(cards);
    std::string out;
    for (int i = 0; i < cards.Count(); ++i) out += FormatSimCard(cards.Items(i));
    Print(out);
  });

  CLI::App* write = sim->add_subcommand(
      "write",
      "Write slot 1 (in use, with priority) and switch slot 2 off; login and password default to empty");
  auto args = std::make_shared<TSimArgs>();
  write->add_option("--pin", args->Pin, "PIN code of four digits");
  write->add_option("--apn", args->Apn, "access point name, at most 50 characters");
  write->add_option("--login", args->Login, "user name of the access point, at most 20 characters");
  write->add_option("--password", args->Password, "password of the access point, at most 20 characters");
  SetContextRun(*write, run, options, [args](TCliContext& c) {
    const TSimEntry entry{args->Pin, args->Apn, args->Login, args->Password};
    CheckSimEntry(entry);
    TSimCards& cards = c.Doc().SimCards();
    ApplySimEntry(cards, entry);
    c.Facade().WriteSimCards(cards);
  });
}

void AddReceiptLines(CLI::App& app, TCommandRun& run, const TGlobalOptions& options, bool trailer) {
  CLI::App* group =
      trailer ? app.add_subcommand("trailer", "Advertisement lines printed at the bottom of receipts")
              : app.add_subcommand("header", "Receipt header lines");
  group->require_subcommand(1);
  CLI::App* read =
      group->add_subcommand("read", "Read the lines into the document and print them (or write FILE)");
  auto outFile = std::make_shared<std::string>();
  read->add_option("FILE", *outFile, "UTF-8 text file, one line per receipt line");
  SetContextRun(*read, run, options, [outFile, trailer](TCliContext& c) {
    const std::string text = trailer ? c.Facade().ReadTrailer() : c.Facade().ReadHeader();
    (trailer ? c.Doc().Trailer : c.Doc().Header) = text;
    WriteOutput(*outFile, CrLfToFileText(text));
  });

  CLI::App* write =
      group->add_subcommand("write", "Write the lines of FILE (the first ten; missing ones are empty)");
  auto inFile = std::make_shared<std::string>();
  write->add_option("FILE", *inFile, "UTF-8 text file, one line per receipt line")->required();
  SetContextRun(*write, run, options, [inFile, trailer](TCliContext& c) {
    // The terminal holds ten lines; the document keeps what the terminal gets, as the page does.
    int dropped = 0;
    const std::string text =
        FirstLines(FileToCrLfText(ReadUtf8TextFile(*inFile)), kReceiptLineCount, &dropped);
    if (dropped > 0) std::fprintf(stderr, kDroppedLinesNote, kReceiptLineCount, dropped);
    (trailer ? c.Doc().Trailer : c.Doc().Header) = text;
    if (trailer)
      c.Facade().WriteTrailer(text);
    else
      c.Facade().WriteHeader(text);
  });
}

void AddFees(CLI::App& fees, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* read = fees.add_subcommand("read", "Read the ten fee tables into the document and print them");
  SetContextRun(*read, run, options, [](TCliContext& c) {
    TFeeTables& tables = c.Doc().FeeTables();
    {
      TProgressScope progress(&c.Progress(), tables.Count() * kFeeTableSteps);
      c.Facade().ReadFeeTables(tables);
    }
    Print(FormatFeeTables(tables));
  });
  CLI::App* write = fees.add_subcommand("write", "Write the ten fee tables of the document");
  SetContextRun(*write, run, options, [](TCliContext& c) {
    const TFeeTables& tables = c.Doc().FeeTables();
    TProgressScope progress(&c.Progress(), tables.Count() * kFeeTableSteps);
    c.Facade().WriteFeeTables(tables);
  });
}

struct TServerArgs {
  std::string System;
  std::string Address;
  int Port = 0;
  int RetryCount = 0;
  std::string ServerName;
  CLI::Option* AddressOption = nullptr;
  CLI::Option* PortOption = nullptr;
  CLI::Option* RetryOption = nullptr;
  CLI::Option* NameOption = nullptr;
};

void AddServer(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* server = app.add_subcommand("server", "Payment server parameters of a payment system");
  server->require_subcommand(1);
  CLI::App* read = server->add_subcommand("read", "Read the parameters into the document and print them");
  auto readSystem = std::make_shared<std::string>();
  read->add_option("SYSTEM", *readSystem, "payment system")->required()->check(SystemOf(SystemNames()));
  SetContextRun(*read, run, options, [readSystem](TCliContext& c) {
    TPaymentSystem& system = c.System(*readSystem);
    c.Facade().ReadServerParams(system);
    Print(FormatServerParams(system.ServerParams()));
  });

  CLI::App* write =
      server->add_subcommand("write", "Write the parameters (the options change the document's first)");
  auto args = std::make_shared<TServerArgs>();
  write->add_option("SYSTEM", args->System, "payment system")->required()->check(SystemOf(SystemNames()));
  args->AddressOption = write->add_option("--address", args->Address, "server address");
  args->PortOption = write->add_option("--port", args->Port, "server port, 0..65535");
  args->RetryOption =
      write->add_option("--retry-count", args->RetryCount, "attempts of the terminal, 1..100");
  args->NameOption = write->add_option("--server-name", args->ServerName, "server name");
  SetContextRun(*write, run, options, [args](TCliContext& c) {
    TPaymentSystem& system = c.System(args->System);
    TServerParams& params = system.ServerParams();
    if (args->RetryOption->count() > 0) params.SetRetryCount(args->RetryCount);
    if (args->AddressOption->count() > 0) params.Address = args->Address;
    if (args->PortOption->count() > 0) params.Port = args->Port;
    if (args->NameOption->count() > 0) params.ServerName = args->ServerName;
    c.Facade().WriteServerParams(system);
  });
}

}  // namespace

void AddTerminalCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  AddStatus(app, run, options);
  AddPorts(app, run, options);
  AddSerial(app, run, options);
  AddActive(app, run, options);
  AddSim(app, run, options);
  AddReceiptLines(app, run, options, false);
  AddReceiptLines(app, run, options, true);
  AddServer(app, run, options);
  CLI::App* fees = app.add_subcommand("fees", "The ten fee tables");
  fees->require_subcommand(1);
  AddFees(*fees, run, options);
}

}  // namespace quorvel::cli
