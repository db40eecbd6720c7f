#include "Profile.h"

#include "Absolutplat.h"
#include "AppDocSections.h"
#include "Base64.h"
#include "Bercut.h"
#include "Cyberplat.h"
#include "EPort.h"
#include "EasyPay.h"
#include "Errors.h"
#include "Eurofon.h"
#include "FileText.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "UbsPay.h"
#include "XPlat.h"
#include "XmlItem.h"
#include "xmlParser.h"

#include <fmt/format.h>

#include <exception>
#include <sstream>
#include <typeinfo>

namespace quorvel {

using namespace appdocxml;

namespace {

constexpr const char* kUnknownGroupMessage = "Неизвестная группа настроек: {}";
constexpr const char* kUnknownSystemMessage = "Неизвестная платежная система, {}";
constexpr const char* kGroupReadMessage = "Профиль {}: {}";
constexpr const char* kEmptyProfileMessage = "Профиль {} не содержит ни одной группы настроек";

constexpr const char* kXmlDataElement = "XmlData";
constexpr const char* kPhoneBaseElement = "PhoneBase";

// Base64 has no form for nothing; an empty file is an empty element.
std::string EncodeBytes(const std::string& bytes) {
  return bytes.empty() ? std::string() : Base64Encode(bytes);
}
std::string DecodeBytes(const std::string& text) { return text.empty() ? std::string() : Base64Decode(text); }

// The section of the document the system's values live in; nullptr for EPort, whose values
// stand in the root.
const char* SectionName(const TPaymentSystem& system, std::string& shortName) {
  if (typeid(system) == typeid(TEPort)) return nullptr;
  if (typeid(system) == typeid(TMasterPort)) return "Masterport";
  if (typeid(system) == typeid(TPegasMP)) return "PegasMP";
  shortName = system.GetShortName();
  return shortName.c_str();
}

TXmlItem& AddSection(TXmlItem& root, const TPaymentSystem& system) {
  std::string shortName;
  const char* name = SectionName(system, shortName);
  return name == nullptr ? root : *root.Add(name);
}

TXmlItem* FindSection(TXmlItem& root, const TPaymentSystem& system) {
  std::string shortName;
  const char* name = SectionName(system, shortName);
  return name == nullptr ? &root : root.Find(name);
}

bool Uses(const TProfileGroups& groups, TProfileGroup group) { return groups.count(group) > 0; }

}  // namespace

const std::vector<TProfileGroup>& AllProfileGroups() {
  static const std::vector<TProfileGroup> groups = {
      TProfileGroup::Paysys, TProfileGroup::Sim,     TProfileGroup::Header,  TProfileGroup::Trailer,
      TProfileGroup::Fees,   TProfileGroup::Scripts, TProfileGroup::XmlData, TProfileGroup::PhoneBase};
  return groups;
}

std::string ProfileGroupName(TProfileGroup group) {
  switch (group) {
    case TProfileGroup::Paysys:
      return "paysys";
    case TProfileGroup::Sim:
      return "sim";
    case TProfileGroup::Header:
      return "header";
    case TProfileGroup::Trailer:
      return "trailer";
    case TProfileGroup::Fees:
      return "fees";
    case TProfileGroup::Scripts:
      return "scripts";
    case TProfileGroup::XmlData:
      return "xmldata";
    case TProfileGroup::PhoneBase:
      return "phonebase";
  }
  return {};
}

TProfileGroups ParseProfileGroups(const std::string& list) {
  TProfileGroups groups;
  std::stringstream in(list);
  std::string name;
  while (std::getline(in, name, ',')) {
    if (name.empty()) continue;
    bool found = false;
    for (TProfileGroup group : AllProfileGroups()) {
      if (ProfileGroupName(group) != name) continue;
      groups.insert(group);
      found = true;
    }
    if (!found) throw Exception(fmt::format(kUnknownGroupMessage, name));
  }
  if (groups.empty()) groups.insert(AllProfileGroups().begin(), AllProfileGroups().end());
  return groups;
}

TProfile::TProfile() {
  // The document's order, so that a shared code finds the system the document's pages show.
  systems_.Add<TOSMP>();
  systems_.Add<TEPort>();
  systems_.Add<TXPlat>();
  systems_.Add<TCyberplat>();
  systems_.Add<TMasterPort>();
  systems_.Add<TEasyPay>();
  systems_.Add<TKrasplat>();
  systems_.Add<TBercut>();
  systems_.Add<TAbsolutplat>();
  systems_.Add<TEurofon>();
  systems_.Add<TPegasMP>();
  systems_.Add<TPegasOSMP>();
  systems_.Add<TUbsPay>();
}

void TProfile::SetActiveSystem(std::int32_t code) {
  if (systems_.FindBySystemID(code) == nullptr) throw Exception(fmt::format(kUnknownSystemMessage, code));
  activeSystem_ = code;
}

TPaymentSystem& TProfile::System() const { return *systems_.FindBySystemID(activeSystem_); }

void TProfile::WriteSystem(TXmlItem& root, bool server, bool scripts) const {
  root.AddInt("ActiveSystemID", activeSystem_);
  TXmlItem& section = AddSection(root, System());
  if (server) WriteServerParams(section, System().ServerParams());
  if (scripts) WriteScripts(section, System().Scripts());
}

void TProfile::WriteGroup(TXmlItem& root, TProfileGroup group) const {
  switch (group) {
    case TProfileGroup::Paysys:
      WriteSystem(root, true, false);
      return;
    case TProfileGroup::Scripts:
      WriteSystem(root, false, true);
      return;
    case TProfileGroup::Sim:
      WriteSimCards(root, SimCards);
      return;
    case TProfileGroup::Header:
    case TProfileGroup::Trailer: {
      TXmlItem* params = root.Find("UpdateParams");
      if (params == nullptr) params = root.Add("UpdateParams");
      if (group == TProfileGroup::Header)
        WriteLines(*params, "Header", Header);
      else
        WriteLines(*params, "Trailer", Trailer);
      return;
    }
    case TProfileGroup::Fees:
      WriteFeeTables(root, FeeTables);
      return;
    case TProfileGroup::XmlData:
      root.AddText(kXmlDataElement, EncodeBytes(XmlData));
      return;
    case TProfileGroup::PhoneBase:
      root.AddText(kPhoneBaseElement, EncodeBytes(PhoneBase));
      return;
  }
}

std::string TProfile::SaveToText() const {
  TXmlParser parser;
  parser.SetRootName(kProfileRootName);
  TXmlItem& root = *parser.Root();
  // The server and the scripts share the system's one section.
  const bool server = Uses(Groups, TProfileGroup::Paysys);
  const bool scripts = Uses(Groups, TProfileGroup::Scripts);
  if (server || scripts) WriteSystem(root, server, scripts);
  for (TProfileGroup group : AllProfileGroups())
    if (Uses(Groups, group) && group != TProfileGroup::Paysys && group != TProfileGroup::Scripts)
      WriteGroup(root, group);
  return parser.SaveToText();
}

void TProfile::SaveToFile(const std::string& fileName) const {
  std::string text;
  try {
    text = SaveToText();
  } catch (const std::exception& e) {
    throw Exception(fmt::format("{} {}.\r\n{}", kXmlWriteError, fileName, e.what()));
  }
  // A profile holds SIM passwords.
  WriteFileText(fileName, text, TWriteKind::Output, TFileAccess::Secret);
}

std::string TProfile::GroupText(TProfileGroup group) const {
  if (!Uses(Groups, group)) return {};
  TXmlParser parser;
  parser.SetRootName(kProfileRootName);
  WriteGroup(*parser.Root(), group);
  return parser.SaveToText();
}

void TProfile::ReadGroups(TXmlItem& root) {
  const auto readGroup = [&](TProfileGroup group, const auto& read) {
    read();
    Groups.insert(group);
  };
  if (root.Find("ActiveSystemID") != nullptr) {
    SetActiveSystem(root.GetInt("ActiveSystemID"));
    TXmlItem* section = FindSection(root, System());
    if (section != nullptr && section->Find("server") != nullptr)
      readGroup(TProfileGroup::Paysys, [&] { ReadServerParams(*section, System().ServerParams()); });
    if (section != nullptr && section->Find("scripts") != nullptr)
      readGroup(TProfileGroup::Scripts, [&] { ReadScripts(*section, System().Scripts()); });
  }
  if (TXmlItem* sims = root.Find("SimCards"))
    readGroup(TProfileGroup::Sim, [&] { ReadSimCardList(*sims, SimCards); });
  if (TXmlItem* params = root.Find("UpdateParams")) {
    if (TXmlItem* header = params->Find("Header"))
      readGroup(TProfileGroup::Header, [&] { Header = ReadLines(*header); });
    if (TXmlItem* trailer = params->Find("Trailer"))
      readGroup(TProfileGroup::Trailer, [&] { Trailer = ReadLines(*trailer); });
  }
  if (TXmlItem* fees = root.Find("FeeTables"))
    readGroup(TProfileGroup::Fees, [&] {
      ReadFeeTableList(*fees, FeeTables);
      FeeTables.CheckFees();
    });
  if (TXmlItem* data = root.Find(kXmlDataElement))
    readGroup(TProfileGroup::XmlData, [&] { XmlData = DecodeBytes(data->Text()); });
  if (TXmlItem* base = root.Find(kPhoneBaseElement))
    readGroup(TProfileGroup::PhoneBase, [&] { PhoneBase = DecodeBytes(base->Text()); });
}

void TProfile::LoadFromText(const std::string& bytes, const std::string& name) {
  TXmlParser parser;
  parser.LoadFromText(bytes, name);
  Groups.clear();
  try {
    ReadGroups(*parser.Root());
  } catch (const std::exception& e) {
    throw Exception(fmt::format(kGroupReadMessage, name, e.what()));
  }
  if (Groups.empty()) throw Exception(fmt::format(kEmptyProfileMessage, name));
}

void TProfile::LoadFromFile(const std::string& fileName) { LoadFromText(ReadFileBytes(fileName), fileName); }

}  // namespace quorvel
