// Commands that move whole files and lists: the fee file, the provider XML file and the
// phone base, input scripts, and the lists of the support server.
#include "FileCommands.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "AppManager.h"
#include "Errors.h"
#include "ModemDriver.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "TextFiles.h"
#include "TransferProgress.h"

#include <fmt/format.h>
#include <fmt/printf.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>

namespace quorvel::cli {

namespace {

constexpr const char* kNoScriptListMessage = "Для платежной системы %s на сервере нет списка скриптов";

void Print(const std::string& text) { WriteOutput({}, text); }

// The script transfers see one status text per script, after the question of the active
// system.
int ScriptSteps(const TPaymentSystem& system) { return system.Scripts().Count() + 1; }

std::string FormatScripts(const TScripts& scripts) {
  std::string out;
  for (int i = 0; i < scripts.Count(); ++i) {
    const TScript& script = scripts.Items(i);
    if (!script.Editable()) continue;
    out += fmt::format("[{}] {}\n", script.Number(), script.Name());
    out += CrLfToFileText(script.Text());
    out += "\n";
  }
  return out;
}

struct TFileArgs {
  std::string System;
  std::string File;
};

void AddFeeFiles(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* fees = app.get_subcommand("fees");
  CLI::App* import = fees->add_subcommand("import", "Read the fee file FILE into the document");
  auto importFile = std::make_shared<std::string>();
  import->add_option("FILE", *importFile, "fee file (XML)")->required();
  SetContextRun(*import, run, options, [importFile](TCliContext& c) {
    AppDocXml().LoadFeeTables(c.Doc().FeeTables(), *importFile);
  });

  CLI::App* exportCmd =
      fees->add_subcommand("export", "Write the document's fee tables to the fee file FILE");
  auto exportFile = std::make_shared<std::string>();
  exportCmd->add_option("FILE", *exportFile, "fee file (XML)")->required();
  SetContextRun(*exportCmd, run, options, [exportFile](TCliContext& c) {
    AppDocXml().SaveFeeTables(c.Doc().FeeTables(), *exportFile);
  });
}

void AddDataFile(CLI::App& app, TCommandRun& run, const TGlobalOptions& options, TDataFile file) {
  const bool xml = file == TDataFile::Xml;
  CLI::App* group = xml ? app.add_subcommand("xmldata", "The provider XML file of the terminal")
                        : app.add_subcommand("phonebase", "The phone-number base of the terminal");
  group->require_subcommand(1);
  CLI::App* read =
      group->add_subcommand("read", "Read the file from the terminal to stdout or FILE, bytes unchanged");
  auto outFile = std::make_shared<std::string>();
  read->add_option("FILE", *outFile, "where to write the bytes");
  SetContextRun(*read, run, options, [outFile, xml](TCliContext& c) {
    std::string bytes;
    {
      TClearStatusGuard clear(c.Facade());
      TProgressScope progress(&c.Progress(), 0);
      bytes = xml ? c.Facade().ReadXmlData() : c.Facade().ReadPhoneBase();
    }
    WriteOutput(*outFile, bytes);
  });

  CLI::App* write = group->add_subcommand("write", "Write the bytes of FILE into the terminal");
  auto inFile = std::make_shared<std::string>();
  write->add_option("FILE", *inFile, "the file to send")->required();
  SetContextRun(*write, run, options, [inFile, xml](TCliContext& c) {
    const std::string bytes = ReadTextFile(*inFile);
    TClearStatusGuard clear(c.Facade());
    TProgressScope progress(&c.Progress(), DataFilePackets(bytes.size()));
    if (xml)
      c.Facade().WriteXmlData(bytes);
    else
      c.Facade().WritePhoneBase(bytes);
  });
}

CLI::Option* AddSystem(CLI::App& command, std::string& target) {
  return command.add_option("SYSTEM", target, "payment system")
      ->required()
      ->check(CLI::IsMember(SystemNames()));
}

void AddScripts(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* scripts = app.add_subcommand("scripts", "Input scripts of a payment system");
  scripts->require_subcommand(1);

  CLI::App* read = scripts->add_subcommand(
      "read", "Read the system's scripts from the terminal into the document and print them");
  auto readArgs = std::make_shared<TFileArgs>();
  AddSystem(*read, readArgs->System);
  SetContextRun(*read, run, options, [readArgs](TCliContext& c) {
    TPaymentSystem& system = c.System(readArgs->System);
    {
      TProgressScope progress(&c.Progress(), ScriptSteps(system));
      c.Facade().ReadScripts(system);
    }
    Print(FormatScripts(system.Scripts()));
  });

  CLI::App* write =
      scripts->add_subcommand("write", "Write the document's scripts of the system into the terminal");
  auto writeArgs = std::make_shared<TFileArgs>();
  AddSystem(*write, writeArgs->System);
  SetContextRun(*write, run, options, [writeArgs](TCliContext& c) {
    const TPaymentSystem& system = c.System(writeArgs->System);
    TProgressScope progress(&c.Progress(), ScriptSteps(system));
    c.Facade().WriteScripts(system);
  });

  CLI::App* update = scripts->add_subcommand(
      "update", "Replace the document's scripts of the system with the support server's list");
  auto updateArgs = std::make_shared<TFileArgs>();
  AddSystem(*update, updateArgs->System);
  SetContextRun(*update, run, options, [updateArgs](TCliContext& c) {
    TPaymentSystem& system = c.System(updateArgs->System);
    if (system.GetScriptsURL().empty())
      throw Exception(fmt::sprintf(kNoScriptListMessage, system.GetDisplayName()));
    c.Facade().UpdateScripts(system);
    Print(FormatScripts(system.Scripts()));
  });

  CLI::App* import =
      scripts->add_subcommand("import", "Replace the document's scripts of the system with those of FILE");
  auto importArgs = std::make_shared<TFileArgs>();
  AddSystem(*import, importArgs->System);
  import->add_option("FILE", importArgs->File, "scripts file (XML)")->required();
  SetContextRun(*import, run, options, [importArgs](TCliContext& c) {
    AppDocXml().LoadScripts(c.System(importArgs->System), importArgs->File);
  });

  CLI::App* exportCmd =
      scripts->add_subcommand("export", "Write the document's scripts of the system to FILE");
  auto exportArgs = std::make_shared<TFileArgs>();
  AddSystem(*exportCmd, exportArgs->System);
  exportCmd->add_option("FILE", exportArgs->File, "scripts file (XML)")->required();
  SetContextRun(*exportCmd, run, options, [exportArgs](TCliContext& c) {
    AppDocXml().SaveScripts(c.System(exportArgs->System), exportArgs->File);
  });
}

void AddUpdates(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* gprs = app.add_subcommand("gprs", "GPRS operators");
  gprs->require_subcommand(1);
  CLI::App* gprsUpdate =
      gprs->add_subcommand("update", "Replace the document's operators with the support server's list");
  SetContextRun(*gprsUpdate, run, options, [](TCliContext& c) {
    TGprsProviders& list = c.Doc().GprsProviders();
    c.Doc().UpdateGprsProviders(c.Settings().SupportServer());
    std::string out;
    for (int i = 0; i < list.Count(); ++i) out += list.Items(i).Name() + ": " + list.Items(i).Apn + "\n";
    Print(out);
  });

  CLI::App* defs = app.add_subcommand("defs", "Script definitions");
  defs->require_subcommand(1);
  CLI::App* defsUpdate =
      defs->add_subcommand("update", "Load the script definitions from the support server");
  SetContextRun(*defsUpdate, run, options,
                [](TCliContext& c) { c.Facade().UpdateScriptDefs(c.Doc().ScriptDefs()); });
}

}  // namespace

void AddFileCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  AddFeeFiles(app, run, options);
  AddDataFile(app, run, options, TDataFile::Xml);
  AddDataFile(app, run, options, TDataFile::PhoneBase);
  AddScripts(app, run, options);
  AddUpdates(app, run, options);
}

}  // namespace quorvel::cli
