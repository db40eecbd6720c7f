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

// A section whose system's own values stand before the shared four.
void WriteLeadingSection(TXmlItem& section, const TPaymentSystem& system) {
  WriteCredentials(section, system);
  WriteSharedFour(section, system);
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

std::string TAppDocXml::DocumentText(const TAppDoc& doc) {
  try {
    parser_.NewDocument();
    parser_.SetRootName(kAppDocRootName);
    WriteDocument(doc, *parser_.Root());
    return parser_.SaveToText();
  } catch (const std::exception& e) {
    throw Exception(fmt::sprintf("%s %s.\r\n%s", kXmlWriteError, doc.GetFileName(), e.what()));
  }
}

void TAppDocXml::ReadDocument(TAppDoc& doc, TXmlItem& root) const {
  const auto section = [&root](const std::string& name, TPaymentSystem& system) {
    TXmlItem& item = *root.GetItem(name);
    ReadCredentials(item, system);
    ReadSharedFour(item, system);
  };
  doc.PaymentSystems().ActiveSystemID = root.GetInt("ActiveSystemID");
  ReadGprsProviderList(*root.GetItem("ServiceProviders"), doc.GprsProviders());
  section("MasterPort", doc.MasterPort());
  section(doc.Cyberplat().GetShortName(), doc.Cyberplat());
  ReadCredentials(root, doc.EPort());
  ReadSharedFour(root, doc.EPort());
  section(doc.XPlat().GetShortName(), doc.XPlat());
  section(doc.OSMP().GetShortName(), doc.OSMP());
  ReadFeeTableList(*root.GetItem("FeeTables"), doc.FeeTables());
  ReadUpdateParams(root, doc);
  ReadSimCardList(*root.GetItem("SimCards"), doc.SimCards());
  ScriptDefXml().ReadDefs(*root.GetItem(kScriptDefsDocName), doc.ScriptDefs());
  section(doc.EasyPay().GetShortName(), doc.EasyPay());
  section(doc.Krasplat().GetShortName(), doc.Krasplat());
  section(doc.Bercut().GetShortName(), doc.Bercut());
  section(doc.Absolutplat().GetShortName(), doc.Absolutplat());
  section(doc.Eurofon().GetShortName(), doc.Eurofon());
  section(doc.UbsPay().GetShortName(), doc.UbsPay());
  section(kPegasMPSection, doc.PegasMP());
  section(doc.PegasOSMP().GetShortName(), doc.PegasOSMP());
}

void TAppDocXml::WriteDocument(const TAppDoc& doc, TXmlItem& root) const {
  // Within a section the system's own values stand before the shared four for the systems
  // that had them first and after them for the others; stored files keep that order.
  const auto leading = [&root](const std::string& name, const TPaymentSystem& system) {
    WriteLeadingSection(*root.Add(name), system);
  };
  const auto trailing = [&root](const std::string& name, const TPaymentSystem& system) {
    TXmlItem& section = *root.Add(name);
    WriteSharedFour(section, system);
    WriteCredentials(section, system);
  };
  root.AddInt("ActiveSystemID", doc.PaymentSystems().ActiveSystemID);
  WriteGprsProviders(root, doc.GprsProviders());
  leading(kMasterPortSection, doc.MasterPort());
  leading(doc.Cyberplat().GetShortName(), doc.Cyberplat());
  WriteLeadingSection(root, doc.EPort());
  leading(doc.XPlat().GetShortName(), doc.XPlat());
  leading(doc.OSMP().GetShortName(), doc.OSMP());
  WriteFeeTables(root, doc.FeeTables());
  WriteUpdateParams(root, doc);
  WriteSimCards(root, doc.SimCards());
  ScriptDefXml().WriteDefs(*root.Add(kScriptDefsDocName), doc.ScriptDefs());
  trailing(doc.EasyPay().GetShortName(), doc.EasyPay());
  trailing(doc.Krasplat().GetShortName(), doc.Krasplat());
  trailing(doc.Bercut().GetShortName(), doc.Bercut());
  trailing(doc.Absolutplat().GetShortName(), doc.Absolutplat());
  trailing(doc.Eurofon().GetShortName(), doc.Eurofon());
  trailing(doc.UbsPay().GetShortName(), doc.UbsPay());
  leading(kPegasMPSection, doc.PegasMP());
  leading(doc.PegasOSMP().GetShortName(), doc.PegasOSMP());
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
  ReadAllOrNothing<TMasterPort>(system, [&](TMasterPortProtocol& into) { ReadCredentials(section, into); });
  system.TestConfigFileName = AbsolutePath(fileName);
}

void TAppDocXml::SaveEPort(const TEPort& system, const std::string& fileName) {
  // The card's PIN travels in this file.
  const auto build = [&](TXmlItem& root) { WriteLeadingSection(*root.Add(system.GetShortName()), system); };
  Save(fileName, nullptr, build, TFileAccess::Secret);
}

void TAppDocXml::LoadEPort(TEPort& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TEPort>(system, [&](TEPort& into) {
    ReadCredentials(section, into);
    ReadSharedFour(section, into);
  });
}

void TAppDocXml::SaveXPlat(const TXPlat& system, const std::string& fileName) {
  Save(fileName, nullptr,
       [&](TXmlItem& root) { WriteLeadingSection(*root.Add(system.GetShortName()), system); });
}

void TAppDocXml::LoadXPlat(TXPlat& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TXPlat>(system, [&](TXPlat& into) { ReadCredentials(section, into); });
}

void TAppDocXml::SaveOSMP(const TOSMP& system, const std::string& fileName) {
  Save(fileName, nullptr,
       [&](TXmlItem& root) { WriteLeadingSection(*root.Add(system.GetShortName()), system); });
}

void TAppDocXml::LoadOSMP(TOSMP& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TOSMP>(system, [&](TOSMPProtocol& into) { ReadCredentials(section, into); });
}

void TAppDocXml::SavePegasOSMP(const TPegasOSMP& system, const std::string& fileName) {
  Save(fileName, nullptr,
       [&](TXmlItem& root) { WriteLeadingSection(*root.Add(system.GetShortName()), system); });
}

void TAppDocXml::LoadPegasOSMP(TPegasOSMP& system, const std::string& fileName) {
  TXmlItem& section = *Load(fileName).GetItem(system.GetShortName());
  ReadAllOrNothing<TPegasOSMP>(system, [&](TOSMPProtocol& into) { ReadCredentials(section, into); });
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
