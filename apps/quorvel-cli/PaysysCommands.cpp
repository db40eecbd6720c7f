// Commands of the payment-system pages: each system's credentials, keys and files, and the
// EPort private key.
#include "PaysysCommands.h"

#include "AppDoc.h"
#include "AppDocXml.h"
#include "Errors.h"
#include "FileText.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "TestConfigImport.h"
#include "TextFiles.h"

#include <fmt/printf.h>
#include <CLI/CLI.hpp>

#include <map>
#include <memory>
#include <set>

namespace quorvel::cli {

namespace {

constexpr const char* kNoFileMessage = "Не задан файл: %s";

/// The values of "paysys write"; which of them a system takes is in kSystemOptions.
struct TPaysysArgs {
  std::string System;
  std::map<std::string, std::string> Values;  ///< by option name without dashes
  std::map<std::string, CLI::Option*> Options;

  bool Given(const std::string& name) const { return Options.at(name)->count() > 0; }
  /// Stores the option's value into target when it was given.
  void Take(const std::string& name, std::string& target) const {
    if (Given(name)) target = Values.at(name);
  }
};

struct TOptionDef {
  const char* Name;
  const char* Help;
};

constexpr TOptionDef kOptionDefs[] = {
    {"config", "test configuration file (masterport, pegasmp)"},
    {"secret-key", "Cyberplat secret key file"},
    {"public-key", "Cyberplat public key file"},
    {"password", "password (cyberplat, xplat, osmp, pegasosmp; kept for this run only)"},
    {"sd", "Cyberplat dealer code"},
    {"ap", "Cyberplat point code"},
    {"op", "Cyberplat operator code"},
    {"card", "EPort card number"},
    {"pin", "EPort card PIN"},
    {"point", "point of sale (eport, xplat)"},
    {"login", "login (xplat, osmp, pegasosmp)"},
    {"key-file", "XPlat secret key file"},
    {"terminal-id", "OSMP terminal number (osmp, pegasosmp)"},
    {"key", "key file (easypay, krasplat)"},
    {"cer", "certificate file (easypay, krasplat)"},
    {"word", "code-word file (krasplat, absolutplat, eurofon)"},
    {"device-id", "device id (krasplat, bercut, absolutplat, eurofon, ubspay)"},
    {"agent-id", "agent id (absolutplat, eurofon, ubspay)"},
    {"url", "UbsPay URL"},
};

const std::map<std::string, std::set<std::string>>& SystemOptions() {
  static const std::map<std::string, std::set<std::string>> options = {
      {"masterport", {"config"}},
      {"pegasmp", {"config"}},
      {"cyberplat", {"secret-key", "public-key", "password", "sd", "ap", "op"}},
      {"eport", {"card", "pin", "point"}},
      {"xplat", {"point", "login", "password", "key-file"}},
      {"osmp", {"login", "password", "terminal-id"}},
      {"pegasosmp", {"login", "password", "terminal-id"}},
      {"easypay", {"key", "cer"}},
      {"krasplat", {"key", "cer", "word", "device-id"}},
      {"bercut", {"device-id"}},
      {"absolutplat", {"word", "device-id", "agent-id"}},
      {"eurofon", {"word", "device-id", "agent-id"}},
      {"ubspay", {"url", "device-id", "agent-id"}},
  };
  return options;
}

// Another system's option would be dropped silently otherwise.
void CheckOptionsApply(const TPaysysArgs& args) {
  const std::set<std::string>& allowed = SystemOptions().at(args.System);
  for (const auto& [name, option] : args.Options)
    if (option->count() > 0 && allowed.count(name) == 0)
      throw CLI::ValidationError("--" + name, "does not apply to " + args.System);
}

const std::string& RequiredFile(const std::string& fileName, const char* option) {
  if (fileName.empty()) throw Exception(fmt::sprintf(kNoFileMessage, option));
  return fileName;
}

void WriteMasterPortPair(TCliContext& c, const TPaysysArgs& args) {
  TAppDoc& d = c.Doc();
  if (args.System == "masterport") {
    if (args.Given("config")) LoadTestConfigFile(d.MasterPort(), args.Values.at("config"));
    c.Facade().WriteMasterPort(d.MasterPort());
  } else {
    if (args.Given("config")) LoadTestConfigFile(d.PegasMP(), args.Values.at("config"));
    c.Facade().WriteMasterPort(d.PegasMP());
  }
}

void WriteCyberplat(TCliContext& c, const TPaysysArgs& args) {
  TCyberplat& system = c.Doc().Cyberplat();
  if (args.Given("secret-key"))
    system.SecretKey.LoadFromFile(args.Values.at("secret-key"), kCyberplatSecretKey);
  if (args.Given("public-key"))
    system.PublicKey.LoadFromFile(args.Values.at("public-key"), kCyberplatPublicKey);
  args.Take("password", system.Password);
  args.Take("sd", system.CyberplatPoint.SD);
  args.Take("ap", system.CyberplatPoint.AP);
  args.Take("op", system.CyberplatPoint.OP);
  c.Facade().WriteCyberplat(system);
}

void WriteEPort(TCliContext& c, const TPaysysArgs& args) {
  TEPort& system = c.Doc().EPort();
  args.Take("card", system.CardNumber);
  args.Take("pin", system.CardPin);
  args.Take("point", system.Point);
  c.Facade().WriteEPort(system);
}

void WriteXPlat(TCliContext& c, const TPaysysArgs& args) {
  TXPlat& system = c.Doc().XPlat();
  if (args.Given("key-file")) system.LoadKeyFile(args.Values.at("key-file"));
  args.Take("point", system.Point);
  args.Take("login", system.Login);
  args.Take("password", system.Password);
  c.Facade().WriteXPlat(system);
}

void WriteOSMP(TCliContext& c, const TPaysysArgs& args) {
  TOSMPProtocol& system =
      args.System == "osmp" ? static_cast<TOSMPProtocol&>(c.Doc().OSMP()) : c.Doc().PegasOSMP();
  args.Take("login", system.Login);
  args.Take("password", system.Password);
  args.Take("terminal-id", system.TerminalID);
  c.Facade().WriteOSMP(system);
}

// The systems of one operation per value: their pages write in this order and never switch
// the active system. Every file is named, read and every value checked before the first
// command (the facade's page writes do the reading and checking).
void WritePerValue(TCliContext& c, const TPaysysArgs& args) {
  TAppDoc& d = c.Doc();
  TOrtena& f = c.Facade();
  TClearStatusGuard clear(f);
  if (args.System == "easypay") {
    TEasyPay& s = d.EasyPay();
    args.Take("key", s.KeyFileName);
    args.Take("cer", s.CerFileName);
    RequiredFile(s.KeyFileName, "--key");
    RequiredFile(s.CerFileName, "--cer");
    TProgressScope progress(&c.Progress(), 2);
    f.WriteEasyPay(s);
  } else if (args.System == "krasplat") {
    TKrasplat& s = d.Krasplat();
    args.Take("key", s.KeyFileName);
    args.Take("cer", s.CerFileName);
    args.Take("word", s.WordFileName);
    args.Take("device-id", s.DeviceID);
    RequiredFile(s.KeyFileName, "--key");
    RequiredFile(s.CerFileName, "--cer");
    RequiredFile(s.WordFileName, "--word");
    TProgressScope progress(&c.Progress(), 4);
    f.WriteKrasplat(s);
  } else if (args.System == "bercut") {
    args.Take("device-id", d.Bercut().DeviceID);
    f.WriteBercut(d.Bercut());
  } else if (args.System == "absolutplat") {
    TAbsolutplat& s = d.Absolutplat();
    args.Take("word", s.WordFileName);
    args.Take("device-id", s.DeviceID);
    args.Take("agent-id", s.AgentID);
    RequiredFile(s.WordFileName, "--word");
    TProgressScope progress(&c.Progress(), 3);
    f.WriteAbsolutplat(s);
  } else if (args.System == "eurofon") {
    TEurofon& s = d.Eurofon();
    args.Take("word", s.WordFileName);
    args.Take("device-id", s.DeviceID);
    args.Take("agent-id", s.AgentID);
    RequiredFile(s.WordFileName, "--word");
    TProgressScope progress(&c.Progress(), 3);
    f.WriteEurofon(s);
  } else {
    TUbsPay& s = d.UbsPay();
    args.Take("url", s.URL);
    args.Take("device-id", s.DeviceID);
    args.Take("agent-id", s.AgentID);
    f.WriteUbsPay(s);
  }
}

void WritePaysys(TCliContext& c, const TPaysysArgs& args) {
  const std::string& s = args.System;
  if (s == "masterport" || s == "pegasmp")
    WriteMasterPortPair(c, args);
  else if (s == "cyberplat")
    WriteCyberplat(c, args);
  else if (s == "eport")
    WriteEPort(c, args);
  else if (s == "xplat")
    WriteXPlat(c, args);
  else if (s == "osmp" || s == "pegasosmp")
    WriteOSMP(c, args);
  else
    WritePerValue(c, args);
}

// The facade reads the agent id first, then the device id, as the pages do.
void ReadPaysys(TCliContext& c, const std::string& system) {
  TOrtena& f = c.Facade();
  TAppDoc& d = c.Doc();
  std::string agent;
  std::string device;
  if (system == "absolutplat") {
    f.ReadAbsolutplat(d.Absolutplat());
    agent = d.Absolutplat().AgentID;
    device = d.Absolutplat().DeviceID;
  } else if (system == "eurofon") {
    f.ReadEurofon(d.Eurofon());
    agent = d.Eurofon().AgentID;
    device = d.Eurofon().DeviceID;
  } else {
    f.ReadUbsPay(d.UbsPay());
    agent = d.UbsPay().AgentID;
    device = d.UbsPay().DeviceID;
  }
  WriteOutput({}, "Идентификатор агента: " + agent + "\nИдентификатор устройства: " + device + "\n");
}

}  // namespace

void AddPaysysCommands(CLI::App& app, TCommandRun& run, const TGlobalOptions& options) {
  CLI::App* paysys = app.add_subcommand("paysys", "Credentials, keys and files of a payment system");
  paysys->require_subcommand(1);

  CLI::App* write = paysys->add_subcommand(
      "write", "Write the system's settings (the options change the document's first)");
  auto args = std::make_shared<TPaysysArgs>();
  write->add_option("SYSTEM", args->System, "payment system")
      ->required()
      ->check(CLI::IsMember(SystemNames()));
  for (const TOptionDef& def : kOptionDefs)
    args->Options[def.Name] =
        write->add_option(std::string("--") + def.Name, args->Values[def.Name], def.Help);
  write->callback([&run, &options, args] {
    CheckOptionsApply(*args);
    run = [&options, args] {
      return RunInContext(options, [args](TCliContext& c) { WritePaysys(c, *args); });
    };
  });

  CLI::App* read =
      paysys->add_subcommand("read", "Read the agent and device ids into the document and print them");
  auto readSystem = std::make_shared<std::string>();
  read->add_option("SYSTEM", *readSystem, "absolutplat, eurofon or ubspay")
      ->required()
      ->check(CLI::IsMember({"absolutplat", "eurofon", "ubspay"}));
  SetContextRun(*read, run, options, [readSystem](TCliContext& c) { ReadPaysys(c, *readSystem); });

  CLI::App* rsa = app.add_subcommand("rsa", "The terminal's RSA private key (EPort)");
  rsa->require_subcommand(1);
  CLI::App* rsaWrite = rsa->add_subcommand("write", "Write the PKCS #1 PEM private key of PEMFILE");
  auto pemFile = std::make_shared<std::string>();
  rsaWrite->add_option("PEMFILE", *pemFile, "PEM file (BEGIN RSA PRIVATE KEY)")->required();
  SetContextRun(*rsaWrite, run, options, [pemFile](TCliContext& c) {
    TClearStatusGuard clear(c.Facade());
    c.Facade().WritePrivateKeyPem(ReadFileText(*pemFile));
  });
}

}  // namespace quorvel::cli
