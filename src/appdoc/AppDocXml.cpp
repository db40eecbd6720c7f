#include "AppDocXml.h"

#include "AppDoc.h"
#include "AppDocSections.h"
#include "Errors.h"
#include "Paths.h"
#include "ScriptDefXml.h"
#include "TestConfigXml.h"
#include "XmlItem.h"

#include <exception>
#include <filesystem>
#include <typeinfo>

#include <fmt/printf.h>

namespace quorvel {

using namespace appdocxml;

namespace {

// The section names that are not the systems' short names.
constexpr const char* kMasterPortSection = "Masterport";  // written; looked for as "MasterPort"
constexpr const char* kPegasMPSection = "PegasMP";
constexpr const char* kMasterPortTestSection = "masterport";

void WriteMasterPortSection(TXmlItem& section, const TMasterPortProtocol& system) {
  section.AddBool("TestSettings", system.TestSettings);
  section.AddText("SerialNumber", system.SerialNumber);
  section.AddText("ApplicationID", system.ApplicationID);
  section.AddText("SenderID", system.SenderID);
  section.AddText("ReceiverID", system.ReceiverID);
  WriteKey(section, "ServerPublicKey", system.ServerPublicKey);
  WriteKey(section, "ApplicationPrivateKey", system.ApplicationPrivateKey);
  WriteSharedFour(section, system);
}

void ReadMasterPortLeading(TXmlItem& section, TMasterPortProtocol& system) {
  system.TestSettings = section.GetBool("TestSettings");
  system.SerialNumber = UpperLatin(section.GetText("SerialNumber"));
  system.ApplicationID = UpperLatin(section.GetText("ApplicationID"));
  system.SenderID = UpperLatin(section.GetText("SenderID"));
  system.ReceiverID = UpperLatin(section.GetText("ReceiverID"));
  ReadRsaKeyValue(*section.GetItem("ServerPublicKey"), system.ServerPublicKey);
  ReadRsaKeyValue(*section.GetItem("ApplicationPrivateKey"), system.ApplicationPrivateKey);
}

void WriteCyberplatSection(TXmlItem& section, const TCyberplat& system) {
  WriteCyberplatKey(section, "PublicKey", system.PublicKey);
  WriteCyberplatKey(section, "SecretKey", system.SecretKey);
  WriteCyberplatPoint(*section.Add("CyberplatPoint"), system.CyberplatPoint);
  WriteSharedFour(section, system);
}

void ReadCyberplatSection(TXmlItem& section, TCyberplat& system) {
  ReadCyberplatKey(*section.GetItem("PublicKey"), system.PublicKey);
  ReadCyberplatKey(*section.GetItem("SecretKey"), system.SecretKey);
  ReadCyberplatPoint(*section.GetItem("CyberplatPoint"), system.CyberplatPoint);
  ReadSharedFour(section, system);
}

void WriteEPortValues(TXmlItem& parent, const TEPort& system) {
  parent.AddText("CardNumber", system.CardNumber);
  parent.AddText("CardPin", system.CardPin);
  parent.AddText("Point", system.Point);
  WriteSharedFour(parent, system);
}

void ReadEPortValues(TXmlItem& parent, TEPort& system) {
  system.CardNumber = parent.GetText("CardNumber");
  system.CardPin = parent.GetText("CardPin");
  system.Point = parent.GetText("Point");
  ReadSharedFour(parent, system);
}

// The secret key is deliberately left out: it is never read back, so writing it would only
// spread it into every copy of the document.
void WriteXPlatSection(TXmlItem& section, const TXPlat& system) {
  section.AddText("Point", system.Point);
  section.AddText("Login", system.Login);
  WriteSharedFour(section, system);
}

void ReadXPlatCredentials(TXmlItem& section, TXPlat& system) {
  system.Point = section.GetText("Point");
  system.Login = section.GetText("Login");
}

void WriteOSMPSection(TXmlItem& section, const TOSMPProtocol& system) {
  section.AddText("TerminalID", system.TerminalID);
  section.AddText("Login", system.Login);
  WriteSharedFour(section, system);
}

void ReadOSMPCredentials(TXmlItem& section, TOSMPProtocol& system) {
  system.TerminalID = section.GetText("TerminalID");
  system.Login = section.GetText("Login");
}

void WriteEasyPaySection(TXmlItem& section, const TEasyPay& system) {
  WriteSharedFour(section, system);
  section.AddText("KeyFileName", AbsolutePath(system.KeyFileName));
  section.AddText("CerFileName", AbsolutePath(system.CerFileName));
}

void ReadEasyPaySection(TXmlItem& section, TEasyPay& system) {
  ReadSharedFour(section, system);
  system.KeyFileName = section.GetText("KeyFileName");
  system.CerFileName = section.GetText("CerFileName");
}

void WriteKrasplatSection(TXmlItem& section, const TKrasplat& system) {
  WriteSharedFour(section, system);
  section.AddText("KeyFileName", AbsolutePath(system.KeyFileName));
  section.AddText("CerFileName", AbsolutePath(system.CerFileName));
  section.AddText("WordFileName", AbsolutePath(system.WordFileName));
  section.AddText("DeviceID", system.DeviceID);
}

void ReadKrasplatSection(TXmlItem& section, TKrasplat& system) {
  ReadSharedFour(section, system);
  system.KeyFileName = section.GetText("KeyFileName");
  system.CerFileName = section.GetText("CerFileName");
  system.WordFileName = section.GetText("WordFileName");
  system.DeviceID = section.GetText("DeviceID");
}

void WriteBercutSection(TXmlItem& section, const TBercut& system) {
  WriteSharedFour(section, system);
  section.AddText("DeviceID", system.DeviceID);
}

void ReadBercutSection(TXmlItem& section, TBercut& system) {
  ReadSharedFour(section, system);
  system.DeviceID = section.GetText("DeviceID");
}

// TAbsolutplat and TEurofon have the same fields without a common class.
template <class TAgentSystem>
void WriteAgentSection(TXmlItem& section, const TAgentSystem& system) {
  WriteSharedFour(section, system);
  section.AddText("AgentID", system.AgentID);
  section.AddText("DeviceID", system.DeviceID);
  section.AddText("WordFileName", AbsolutePath(system.WordFileName));
}

template <class TAgentSystem>
void ReadAgentSection(TXmlItem& section, TAgentSystem& system) {
  ReadSharedFour(section, system);
  system.AgentID = section.GetText("AgentID");
  system.DeviceID = section.GetText("DeviceID");
  system.WordFileName = section.GetText("WordFileName");
}

void WriteUbsPaySection(TXmlItem& section, const TUbsPay& system) {
  WriteSharedFour(section, system);
  section.AddText("AgentID", system.AgentID);
  section.AddText("DeviceID", system.DeviceID);
  section.AddText("URL", system.URL);
}

void ReadUbsPaySection(TXmlItem& section, TUbsPay& system) {
  ReadSharedFour(section, system);
  system.AgentID = section.GetText("AgentID");
  system.DeviceID = section.GetText("DeviceID");
  system.URL = section.GetText("URL");
}

void WriteUpdateParams(TXmlItem& root, const TAppDoc& doc) {
  TXmlItem* params = root.Add("UpdateParams");
  params->AddText("HexFileName", AbsolutePath(doc.HexFileName));
  params->AddInt("PageIndex", doc.PageIndex);
  WriteLines(*params, "Header", doc.Header);
  WriteLines(*params, "Trailer", doc.Trailer);
}

void ReadUpdateParams(TXmlItem& root, TAppDoc& doc) {
  TXmlItem* params = root.GetItem("UpdateParams");
  doc.HexFileName = params->GetText("HexFileName");
  doc.PageIndex = params->GetInt("PageIndex");
  doc.Header = ReadLines(*params->GetItem("Header"));
  doc.Trailer = ReadLines(*params->GetItem("Trailer"));
}

// Reads the parsed file twice: first into scratch, a fresh object of the kind the import
// fills, then into target. The readers' checks depend only on the file (and on the built-in
// entries every such object has), so a file that fails does so on the scratch pass and the
// target keeps everything it held: an import changes its part all or nothing.
template <class Scratch, class Target, class Read>
void ReadAllOrNothing(Target& target, Read read) {
  Scratch scratch;
  read(scratch);
  read(target);
}

}  // namespace

// The script-definition writer is created first so that it outlives this object (and the
// document that saves through both when the program ends).
TAppDocXml::TAppDocXml() { ScriptDefXml(); }

TAppDocXml::~TAppDocXml() = default;

template <class Build>
void TAppDocXml::Save(const std::string& fileName, const char* rootName, Build build, TFileAccess access,
                      TWriteKind kind) {
  try {
    parser_.NewDocument();
    if (rootName) parser_.SetRootName(rootName);
    build(*parser_.Root());
  } catch (const std::exception& e) {
    throw Exception(fmt::sprintf("%s %s.\r\n%s", kXmlWriteError, fileName, e.what()));
  }
  parser_.SaveToFile(fileName, kind, access);
}

TXmlItem& TAppDocXml::Load(const std::string& fileName) {
  parser_.NewDocument();
  parser_.LoadFromFile(fileName);
  return *parser_.Root();
}

std::string TAppDocXml::LoadDocument(TAppDoc& doc, const std::string& fileName) {
  // Only a file that is certainly absent counts as "no document"; one that cannot even be
  // looked at is tried, so that the reason reaches the caller.
  std::error_code ec;
  if (std::filesystem::status(fileName, ec).type() == std::filesystem::file_type::not_found) return {};
  try {
    ReadDocument(doc, Load(fileName));
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

void TAppDocXml::SaveDocument(const TAppDoc& doc, const std::string& fileName) {
  // The document holds keys and the SIM and operator passwords.
  const auto build = [&](TXmlItem& root) { WriteDocument(doc, root); };
  Save(fileName, kAppDocRootName, build, TFileAccess::Secret, TWriteKind::Document);
}

void TAppDocXml::ReadDocument(TAppDoc& doc, TXmlItem& root) const {
  doc.PaymentSystems().ActiveSystemID = root.GetInt("ActiveSystemID");
  ReadGprsProviderList(*root.GetItem("ServiceProviders"), doc.GprsProviders());
  TXmlItem* masterPort = root.GetItem("MasterPort");
  ReadMasterPortLeading(*masterPort, doc.MasterPort());
  ReadSharedFour(*masterPort, doc.MasterPort());
  ReadCyberplatSection(*root.GetItem(doc.Cyberplat().GetShortName()), doc.Cyberplat());
  ReadEPortValues(root, doc.EPort());
  TXmlItem* xplat = root.GetItem(doc.XPlat().GetShortName());
  ReadXPlatCredentials(*xplat, doc.XPlat());
  ReadSharedFour(*xplat, doc.XPlat());
  TXmlItem* osmp = root.GetItem(doc.OSMP().GetShortName());
  ReadOSMPCredentials(*osmp, doc.OSMP());
  ReadSharedFour(*osmp, doc.OSMP());
  ReadFeeTableList(*root.GetItem("FeeTables"), doc.FeeTables());
  ReadUpdateParams(root, doc);
  ReadSimCardList(*root.GetItem("SimCards"), doc.SimCards());
  ScriptDefXml().ReadDefs(*root.GetItem(kScriptDefsDocName), doc.ScriptDefs());
  ReadEasyPaySection(*root.GetItem(doc.EasyPay().GetShortName()), doc.EasyPay());
  ReadKrasplatSection(*root.GetItem(doc.Krasplat().GetShortName()), doc.Krasplat());
  ReadBercutSection(*root.GetItem(doc.Bercut().GetShortName()), doc.Bercut());
  ReadAgentSection(*root.GetItem(doc.Absolutplat().GetShortName()), doc.Absolutplat());
  ReadAgentSection(*root.GetItem(doc.Eurofon().GetShortName()), doc.Eurofon());
  ReadUbsPaySection(*root.GetItem(doc.UbsPay().GetShortName()), doc.UbsPay());
  TXmlItem* pegasMP = root.GetItem(kPegasMPSection);
  ReadMasterPortLeading(*pegasMP, doc.PegasMP());
  ReadSharedFour(*pegasMP, doc.PegasMP());
  TXmlItem* pegasOSMP = root.GetItem(doc.PegasOSMP().GetShortName());
  ReadOSMPCredentials(*pegasOSMP, doc.PegasOSMP());
  ReadSharedFour(*pegasOSMP, doc.PegasOSMP());
}

void TAppDocXml::WriteDocument(const TAppDoc& doc, TXmlItem& root) const {
  root.AddInt("ActiveSystemID", doc.PaymentSystems().ActiveSystemID);
  WriteGprsProviders(root, doc.GprsProviders());
  WriteMasterPortSection(*root.Add(kMasterPortSection), doc.MasterPort());
  WriteCyberplatSection(*root.Add(doc.Cyberplat().GetShortName()), doc.Cyberplat());
  WriteEPortValues(root, doc.EPort());
  WriteXPlatSection(*root.Add(doc.XPlat().GetShortName()), doc.XPlat());
  WriteOSMPSection(*root.Add(doc.OSMP().GetShortName()), doc.OSMP());
  WriteFeeTables(root, doc.FeeTables());
  WriteUpdateParams(root, doc);
  WriteSimCards(root, doc.SimCards());
  ScriptDefXml().WriteDefs(*root.Add(kScriptDefsDocName), doc.ScriptDefs());
  WriteEasyPaySection(*root.Add(doc.EasyPay().GetShortName()), doc.EasyPay());
  WriteKrasplatSection(*root.Add(doc.Krasplat().GetShortName()), doc.Krasplat());
  WriteBercutSection(*root.Add(doc.Bercut().GetShortName()), doc.Bercut());
  WriteAgentSection(*root.Add(doc.Absolutplat().GetShortName()), doc.Absolutplat());
  WriteAgentSection(*root.Add(doc.Eurofon().GetShortName()), doc.Eurofon());
  WriteUbsPaySection(*root.Add(doc.UbsPay().GetShortName()), doc.UbsPay());
  WriteMasterPortSection(*root.Add(kPegasMPSection), doc.PegasMP());
  WriteOSMPSection(*root.Add(doc.PegasOSMP().GetShortName()), doc.PegasOSMP());
}

void TAppDocXml::SaveServerParams(const TPaymentSystem& system, const std::string& fileName) {
  Save(fileName, nullptr,
       [&](TXmlItem& root) { WriteServerParams(*root.Add(system.GetShortName()), system.ServerParams()); });
}

void TAppDocXml::LoadServerParams(TPaymentSystem& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TServerParams>(system.ServerParams(),
                                  [&](TServerParams& params) { ReadServerParams(section, params); });
}

void TAppDocXml::SaveCyberplatPoint(const TCyberplatPoint& point, const std::string& fileName) {
  Save(fileName, "cyberplatpoint", [&](TXmlItem& root) { WriteCyberplatPoint(root, point); });
}

void TAppDocXml::LoadCyberplatPoint(TCyberplatPoint& point, const std::string& fileName) {
  ReadCyberplatPoint(*Load(fileName).GetItem("cyberplatpoint"), point);
}

void TAppDocXml::LoadTestSettings(TMasterPortProtocol& system, const std::string& fileName) {
  const char* name = typeid(system) == typeid(TPegasMP) ? kPegasMPSection : kMasterPortTestSection;
  TXmlItem& section = *Load(fileName).GetItem(name);
  ReadAllOrNothing<TMasterPort>(system,
                                [&](TMasterPortProtocol& into) { ReadMasterPortLeading(section, into); });
  system.TestConfigFileName = AbsolutePath(fileName);
}

void TAppDocXml::SaveEPort(const TEPort& system, const std::string& fileName) {
  // The card's PIN travels in this file.
  const auto build = [&](TXmlItem& root) { WriteEPortValues(*root.Add(system.GetShortName()), system); };
  Save(fileName, nullptr, build, TFileAccess::Secret);
}

void TAppDocXml::LoadEPort(TEPort& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TEPort>(system, [&](TEPort& into) { ReadEPortValues(section, into); });
}

void TAppDocXml::SaveXPlat(const TXPlat& system, const std::string& fileName) {
  Save(fileName, nullptr,
       [&](TXmlItem& root) { WriteXPlatSection(*root.Add(system.GetShortName()), system); });
}

void TAppDocXml::LoadXPlat(TXPlat& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TXPlat>(system, [&](TXPlat& into) { ReadXPlatCredentials(section, into); });
}

void TAppDocXml::SaveOSMP(const TOSMP& system, const std::string& fileName) {
  Save(fileName, nullptr,
       [&](TXmlItem& root) { WriteOSMPSection(*root.Add(system.GetShortName()), system); });
}

void TAppDocXml::LoadOSMP(TOSMP& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TOSMP>(system, [&](TOSMPProtocol& into) { ReadOSMPCredentials(section, into); });
}

void TAppDocXml::SavePegasOSMP(const TPegasOSMP& system, const std::string& fileName) {
  Save(fileName, nullptr,
       [&](TXmlItem& root) { WriteOSMPSection(*root.Add(system.GetShortName()), system); });
}

void TAppDocXml::LoadPegasOSMP(TPegasOSMP& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TPegasOSMP>(system, [&](TOSMPProtocol& into) { ReadOSMPCredentials(section, into); });
}

void TAppDocXml::SaveHeader(const std::string& text, const std::string& fileName) {
  Save(fileName, nullptr, [&](TXmlItem& root) { WriteLines(root, "Header", text); });
}

std::string TAppDocXml::LoadHeader(const std::string& fileName) {
  return ReadLines(*Load(fileName).GetItem("Header"));
}

void TAppDocXml::SaveTrailer(const std::string& text, const std::string& fileName) {
  Save(fileName, nullptr, [&](TXmlItem& root) { WriteLines(root, "Trailer", text); });
}

std::string TAppDocXml::LoadTrailer(const std::string& fileName) {
  return ReadLines(*Load(fileName).GetItem("Trailer"));
}

void TAppDocXml::SaveScripts(const TPaymentSystem& system, const std::string& fileName) {
  if (fileName.empty()) return;
  const std::string name = system.GetShortName();
  Save(fileName, name.c_str(), [&](TXmlItem& root) { WriteScripts(root, system.Scripts()); });
}

void TAppDocXml::LoadScripts(TPaymentSystem& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TScripts>(system.Scripts(), [&](TScripts& scripts) { ReadScripts(section, scripts); });
}

void TAppDocXml::ReadSystemScripts(TPaymentSystem& system, const std::string& address) {
  TXmlItem& section = *Load(address).GetItem(system.GetShortName());
  ReadAllOrNothing<TScripts>(system.Scripts(), [&](TScripts& scripts) { ReadScripts(section, scripts); });
}

void TAppDocXml::SaveFeeTables(const TFeeTables& tables, const std::string& fileName) {
  Save(fileName, nullptr, [&](TXmlItem& root) { WriteFeeTables(root, tables); });
}

void TAppDocXml::LoadFeeTables(TFeeTables& tables, const std::string& fileName) {
  TXmlItem& list = *Load(fileName).GetItem("FeeTables");
  // Only the file's own rates are judged: the tables it leaves out keep what they hold, and a
  // rate of theirs is no reason to refuse the file.
  TFeeTables scratch;
  ReadFeeTableList(list, scratch);
  scratch.CheckFees();
  ReadFeeTableList(list, tables);
}

void TAppDocXml::LoadGprsProviders(TGprsProviders& list, const std::string& address) {
  ReadGprsProviderList(*Load(address).GetItem("ServiceProviders"), list);
}

TAppDocXml& AppDocXml() {
  static TAppDocXml instance;
  return instance;
}

}  // namespace quorvel
