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
constexpr const char* kFirmwareElement = "Firmware";
// Below the system's section, with the credentials: what the document never keeps.
constexpr const char* kPasswordElement = "Password";
constexpr const char* kXPlatKeyElement = "Key";
constexpr const char* kKeyFileElement = "KeyFile";
constexpr const char* kCerFileElement = "CerFile";
constexpr const char* kWordFileElement = "WordFile";
// An element the credentials always write, so that the group is recognised even for a system
// without values of its own.
constexpr const char* kCredentialsMark = "Credentials";

// Base64 has no form for nothing; an empty file is an empty element.
std::string EncodeBytes(const std::string& bytes) {
  return bytes.empty() ? std::string() : Base64Encode(bytes);
}
// Profiles are written by this program only, so a character outside the alphabet is damage,
// not the leniency older key tools needed; the group is named, as no byte of it is kept.
std::string DecodeBytes(const std::string& text, TProfileGroup group, const char* element = nullptr) {
  try {
    return Base64DecodeStrict(text);
  } catch (const std::exception& e) {
    const std::string where = element == nullptr ? ProfileGroupName(group)
                                                 : fmt::format("{}, {}", ProfileGroupName(group), element);
    throw Exception(fmt::format("{}: {}", where, e.what()));
  }
}

constexpr const char* kElementTwiceMessage = "{}: элемент {} задан дважды";

// A group given twice would have one copy written and the other silently dropped.
void CheckSingle(TXmlItem& parent, const std::string& element, TProfileGroup group) {
  int count = 0;
  for (int i = 0; i < parent.Count(); ++i) count += parent.Items(i)->HasName(element) ? 1 : 0;
  if (count > 1) throw Exception(fmt::format(kElementTwiceMessage, ProfileGroupName(group), element));
}

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
      TProfileGroup::Firmware, TProfileGroup::Paysys,   TProfileGroup::Credentials, TProfileGroup::Sim,
      TProfileGroup::Header,   TProfileGroup::Trailer,  TProfileGroup::Fees,        TProfileGroup::Scripts,
      TProfileGroup::XmlData,  TProfileGroup::PhoneBase};
  return groups;
}

std::string ProfileGroupName(TProfileGroup group) {
  switch (group) {
    case TProfileGroup::Firmware:
      return "firmware";
    case TProfileGroup::Paysys:
      return "paysys";
    case TProfileGroup::Credentials:
      return "credentials";
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

namespace {

// The secrets of the systems that have them (the document's values are written apart).
std::string* PasswordOf(TPaymentSystem& system) {
  if (auto* osmp = dynamic_cast<TOSMPProtocol*>(&system)) return &osmp->Password;
  if (auto* xplat = dynamic_cast<TXPlat*>(&system)) return &xplat->Password;
  if (auto* cyberplat = dynamic_cast<TCyberplat*>(&system)) return &cyberplat->Password;
  return nullptr;
}

void WriteFile(TXmlItem& section, const char* name, const std::string& bytes) {
  if (!bytes.empty()) section.AddText(name, Base64Encode(bytes));
}

void ReadOptional(TXmlItem& section, const char* name, std::string& text) {
  TXmlItem* item = section.Find(name);
  text = item == nullptr ? std::string() : item->Text();
}

void ReadFile(TXmlItem& section, const char* name, std::string& bytes) {
  CheckSingle(section, name, TProfileGroup::Credentials);
  TXmlItem* item = section.Find(name);
  bytes = item == nullptr ? std::string() : DecodeBytes(item->Text(), TProfileGroup::Credentials, name);
}

}  // namespace

void TProfile::WriteSystem(TXmlItem& root, const TProfileGroups& groups) const {
  root.AddInt("ActiveSystemID", activeSystem_);
  TPaymentSystem& system = System();
  TXmlItem& section = AddSection(root, system);
  if (Uses(groups, TProfileGroup::Paysys)) WriteServerParams(section, system.ServerParams());
  if (Uses(groups, TProfileGroup::Credentials)) {
    section.AddText(kCredentialsMark, "");
    WriteCredentials(section, system);
    if (const std::string* password = PasswordOf(system)) section.AddText(kPasswordElement, *password);
    if (const auto* xplat = dynamic_cast<const TXPlat*>(&system))
      section.AddText(kXPlatKeyElement, xplat->Key);
    WriteFile(section, kKeyFileElement, Files.Key);
    WriteFile(section, kCerFileElement, Files.Certificate);
    WriteFile(section, kWordFileElement, Files.CodeWord);
  }
  if (Uses(groups, TProfileGroup::Scripts)) WriteScripts(section, system.Scripts());
}

void TProfile::ReadSystem(TXmlItem& section) {
  TPaymentSystem& system = System();
  const auto readGroup = [&](TProfileGroup group, const auto& read) {
    read();
    Groups.insert(group);
  };
  CheckSingle(section, "server", TProfileGroup::Paysys);
  CheckSingle(section, kCredentialsMark, TProfileGroup::Credentials);
  CheckSingle(section, "scripts", TProfileGroup::Scripts);
  if (section.Find("server") != nullptr)
    readGroup(TProfileGroup::Paysys, [&] { ReadServerParams(section, system.ServerParams()); });
  if (section.Find(kCredentialsMark) != nullptr)
    readGroup(TProfileGroup::Credentials, [&] {
      ReadCredentials(section, system);
      if (std::string* password = PasswordOf(system)) ReadOptional(section, kPasswordElement, *password);
      if (auto* xplat = dynamic_cast<TXPlat*>(&system)) ReadOptional(section, kXPlatKeyElement, xplat->Key);
      ReadFile(section, kKeyFileElement, Files.Key);
      ReadFile(section, kCerFileElement, Files.Certificate);
      ReadFile(section, kWordFileElement, Files.CodeWord);
    });
  if (section.Find("scripts") != nullptr)
    readGroup(TProfileGroup::Scripts, [&] { ReadScripts(section, system.Scripts()); });
}

void TProfile::WriteGroup(TXmlItem& root, TProfileGroup group) const {
  switch (group) {
    case TProfileGroup::Paysys:
    case TProfileGroup::Credentials:
    case TProfileGroup::Scripts:
      WriteSystem(root, {group});
      return;
    case TProfileGroup::Firmware:
      root.AddText(kFirmwareElement, EncodeBytes(Firmware));
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
  // The server, the credentials and the scripts share the system's one section.
  const auto inSection = [](TProfileGroup group) {
    return group == TProfileGroup::Paysys || group == TProfileGroup::Credentials ||
           group == TProfileGroup::Scripts;
  };
  TProfileGroups systemGroups;
  for (TProfileGroup group : Groups)
    if (inSection(group)) systemGroups.insert(group);
  if (!systemGroups.empty()) WriteSystem(root, systemGroups);
  for (TProfileGroup group : AllProfileGroups())
    if (Uses(Groups, group) && !inSection(group)) WriteGroup(root, group);
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
    CheckSingle(root, "ActiveSystemID", TProfileGroup::Paysys);
    SetActiveSystem(root.GetInt("ActiveSystemID"));
    std::string shortName;
    if (const char* name = SectionName(System(), shortName)) CheckSingle(root, name, TProfileGroup::Paysys);
    if (TXmlItem* section = FindSection(root, System())) ReadSystem(*section);
  }
  CheckSingle(root, "SimCards", TProfileGroup::Sim);
  CheckSingle(root, "UpdateParams", TProfileGroup::Header);
  CheckSingle(root, "FeeTables", TProfileGroup::Fees);
  CheckSingle(root, kXmlDataElement, TProfileGroup::XmlData);
  CheckSingle(root, kPhoneBaseElement, TProfileGroup::PhoneBase);
  CheckSingle(root, kFirmwareElement, TProfileGroup::Firmware);
  if (TXmlItem* sims = root.Find("SimCards"))
    readGroup(TProfileGroup::Sim, [&] { ReadSimCardList(*sims, SimCards); });
  if (TXmlItem* params = root.Find("UpdateParams")) {
    CheckSingle(*params, "Header", TProfileGroup::Header);
    CheckSingle(*params, "Trailer", TProfileGroup::Trailer);
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
    readGroup(TProfileGroup::XmlData, [&] { XmlData = DecodeBytes(data->Text(), TProfileGroup::XmlData); });
  if (TXmlItem* base = root.Find(kPhoneBaseElement))
    readGroup(TProfileGroup::PhoneBase,
              [&] { PhoneBase = DecodeBytes(base->Text(), TProfileGroup::PhoneBase); });
  if (TXmlItem* firmware = root.Find(kFirmwareElement))
    readGroup(TProfileGroup::Firmware,
              [&] { Firmware = DecodeBytes(firmware->Text(), TProfileGroup::Firmware); });
}

void TProfile::LoadFromText(const std::string& bytes, const std::string& name) {
  TXmlParser parser;
  // A phone base of a few MiB is one text node past libxml2's cap; the file's own cap holds.
  parser.SetLargeText(true);
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
