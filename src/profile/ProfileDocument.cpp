#include "ProfileDocument.h"

#include "AppDoc.h"
#include "AppDocSections.h"
#include "Cyberplat.h"
#include "Errors.h"
#include "FileText.h"
#include "OSMP.h"
#include "ProfileTransfer.h"
#include "XPlat.h"
#include "XmlItem.h"
#include "xmlParser.h"

namespace quorvel {

using namespace appdocxml;

namespace {

constexpr const char* kNothingSaved = "Профиль не содержит ни одной группы настроек";

// The model objects copy nothing themselves; the document's own writers and readers do it,
// so a copy is exactly what a save and a load would make of it.
template <class Write, class Read>
void CopyThroughXml(Write write, Read read) {
  TXmlParser parser;
  write(*parser.Root());
  read(*parser.Root());
}

// What the document never stores but a profile carries: the passwords of this run and the
// XPlat key.
void CopySecrets(const TPaymentSystem& from, TPaymentSystem& to) {
  if (const auto* osmp = dynamic_cast<const TOSMPProtocol*>(&from))
    dynamic_cast<TOSMPProtocol&>(to).Password = osmp->Password;
  if (const auto* xplat = dynamic_cast<const TXPlat*>(&from)) {
    dynamic_cast<TXPlat&>(to).Password = xplat->Password;
    dynamic_cast<TXPlat&>(to).Key = xplat->Key;
  }
  if (const auto* cyberplat = dynamic_cast<const TCyberplat*>(&from))
    dynamic_cast<TCyberplat&>(to).Password = cyberplat->Password;
}

void CopySystem(const TPaymentSystem& from, TPaymentSystem& to, const TProfileGroups& groups) {
  if (groups.count(TProfileGroup::Paysys) > 0) to.ServerParams().Assign(from.ServerParams());
  if (groups.count(TProfileGroup::Credentials) > 0) {
    CopyThroughXml([&](TXmlItem& root) { WriteCredentials(root, from); },
                   [&](TXmlItem& root) { ReadCredentials(root, to); });
    CopySecrets(from, to);
  }
  if (groups.count(TProfileGroup::Scripts) > 0) CopyScriptList(from.Scripts(), to.Scripts());
}

// The document's system for a code: the first one of it, as the profile finds its own.
TPaymentSystem& DocumentSystem(const TAppDoc& doc, std::int32_t code) {
  TPaymentSystem* system = doc.PaymentSystems().FindBySystemID(code);
  if (system == nullptr) throw Exception("Неизвестная платежная система, " + std::to_string(code));
  return *system;
}

}  // namespace

void ProfileFromDocument(const TAppDoc& doc, const TProfileGroups& groups, TProfile& profile) {
  const auto wanted = [&groups](TProfileGroup group) { return groups.count(group) > 0; };
  profile.SetActiveSystem(doc.PaymentSystems().ActiveSystemID);
  const TPaymentSystem& system = DocumentSystem(doc, profile.ActiveSystem());
  CopySystem(system, profile.System(), groups);
  // A file not chosen yet leaves its part empty, so the other groups are still saved; the
  // profile's check then refuses the credentials before a bench sends anything.
  if (wanted(TProfileGroup::Credentials)) profile.Files = TOrtena::ReadPaysysFiles(system, true);
  if (wanted(TProfileGroup::Sim))
    CopyThroughXml([&](TXmlItem& root) { WriteSimCards(root, doc.SimCards()); },
                   [&](TXmlItem& root) { ReadSimCardList(*root.GetItem("SimCards"), profile.SimCards); });
  if (wanted(TProfileGroup::Fees))
    CopyThroughXml([&](TXmlItem& root) { WriteFeeTables(root, doc.FeeTables()); },
                   [&](TXmlItem& root) { ReadFeeTableList(*root.GetItem("FeeTables"), profile.FeeTables); });
  profile.Header = doc.Header;
  profile.Trailer = doc.Trailer;
  const bool firmware = wanted(TProfileGroup::Firmware) && !doc.HexFileName.empty();
  if (firmware) profile.Firmware = ReadFileBytes(doc.HexFileName);
  profile.Groups.clear();
  for (TProfileGroup group : groups)
    if (group != TProfileGroup::XmlData && group != TProfileGroup::PhoneBase &&
        (group != TProfileGroup::Firmware || firmware))
      profile.Groups.insert(group);
  if (profile.Groups.empty()) throw Exception(kNothingSaved);
}

void ProfileToDocument(const TProfile& profile, TAppDoc& doc) {
  const auto has = [&profile](TProfileGroup group) { return profile.Groups.count(group) > 0; };
  if (has(TProfileGroup::Paysys) || has(TProfileGroup::Credentials) || has(TProfileGroup::Scripts)) {
    doc.PaymentSystems().ActiveSystemID = profile.ActiveSystem();
    CopySystem(profile.System(), DocumentSystem(doc, profile.ActiveSystem()), profile.Groups);
  }
  if (has(TProfileGroup::Sim))
    CopyThroughXml([&](TXmlItem& root) { WriteSimCards(root, profile.SimCards); },
                   [&](TXmlItem& root) { ReadSimCardList(*root.GetItem("SimCards"), doc.SimCards()); });
  if (has(TProfileGroup::Fees))
    CopyThroughXml([&](TXmlItem& root) { WriteFeeTables(root, profile.FeeTables); },
                   [&](TXmlItem& root) { ReadFeeTableList(*root.GetItem("FeeTables"), doc.FeeTables()); });
  if (has(TProfileGroup::Header)) doc.Header = profile.Header;
  if (has(TProfileGroup::Trailer)) doc.Trailer = profile.Trailer;
}

}  // namespace quorvel
