#include "ProfileTransfer.h"

#include "Absolutplat.h"
#include "AppDocSections.h"
#include "Bercut.h"
#include "Cp1251.h"
#include "Cyberplat.h"
#include "EPort.h"
#include "EasyPay.h"
#include "Errors.h"
#include "Eurofon.h"
#include "HexFile.h"
#include "ISPWriter.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "ModemDriver.h"
#include "OSMP.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "Scripts.h"
#include "TextUtils.h"
#include "UbsPay.h"
#include "XPlat.h"
#include "XmlItem.h"
#include "xmlParser.h"

#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

namespace {

// What ReadHeader gives back after WriteHeader of text.
std::string ReadableLines(const std::string& text) {
  std::string out;
  int count = 0;
  std::size_t start = 0;
  while (start < text.size() && count < kReceiptLineCount) {
    std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    // The terminal keeps no empty line, so the read ends at the first one.
    if (line.empty()) break;
    out += line + "\r\n";
    ++count;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return out;
}

// The values of profile as the terminal shows them after they were written.
void MakeReadable(TProfile& profile, TProfileGroup group) {
  switch (group) {
    case TProfileGroup::Sim:
      for (int i = 0; i < profile.SimCards.Count(); ++i) {
        TSimCard& card = profile.SimCards.Items(i);
        card.Pin.clear();
        if (card.Enabled) continue;
        card.Apn.clear();
        card.Login.clear();
        card.Password.clear();
        card.Priority = false;
      }
      return;
    case TProfileGroup::Header:
      profile.Header = ReadableLines(profile.Header);
      return;
    case TProfileGroup::Trailer:
      profile.Trailer = ReadableLines(profile.Trailer);
      return;
    case TProfileGroup::Fees:
      profile.FeeTables.ItemIndex = 0;
      return;
    case TProfileGroup::Scripts: {
      TScripts& scripts = profile.System().Scripts();
      for (int i = 0; i < scripts.Count(); ++i) {
        TScript& script = scripts.Items(i);
        if (script.Editable()) script.SetText(Cp1251ToUtf8(ScriptWireText(script.Number(), script.Text())));
      }
      return;
    }
    default:
      return;
  }
}

// The page of the profile's active system, as the page writes it.
void WriteCredentials(TOrtena& facade, const TProfile& profile) {
  TPaymentSystem& system = profile.System();
  if (auto* mp = dynamic_cast<TMasterPortProtocol*>(&system)) return facade.WriteMasterPort(*mp);
  if (auto* cyberplat = dynamic_cast<TCyberplat*>(&system)) return facade.WriteCyberplat(*cyberplat);
  if (auto* eport = dynamic_cast<TEPort*>(&system)) return facade.WriteEPort(*eport);
  if (auto* xplat = dynamic_cast<TXPlat*>(&system)) return facade.WriteXPlat(*xplat);
  if (auto* osmp = dynamic_cast<TOSMPProtocol*>(&system)) return facade.WriteOSMP(*osmp);
  if (auto* easyPay = dynamic_cast<TEasyPay*>(&system)) return facade.WriteEasyPay(*easyPay, profile.Files);
  if (auto* krasplat = dynamic_cast<TKrasplat*>(&system))
    return facade.WriteKrasplat(*krasplat, profile.Files);
  if (auto* bercut = dynamic_cast<TBercut*>(&system)) return facade.WriteBercut(*bercut);
  if (auto* absolutplat = dynamic_cast<TAbsolutplat*>(&system))
    return facade.WriteAbsolutplat(*absolutplat, profile.Files);
  if (auto* eurofon = dynamic_cast<TEurofon*>(&system)) return facade.WriteEurofon(*eurofon, profile.Files);
  if (auto* ubsPay = dynamic_cast<TUbsPay*>(&system)) return facade.WriteUbsPay(*ubsPay);
}

// The files a page sends, present in the profile.
void CheckFiles(const TPaymentSystem& system, const TPaysysFileData& files) {
  const auto need = [](const std::string& bytes, const char* what) {
    if (bytes.empty()) throw Exception(std::string("в профиле нет файла ") + what);
  };
  const bool keys =
      dynamic_cast<const TEasyPay*>(&system) != nullptr || dynamic_cast<const TKrasplat*>(&system) != nullptr;
  if (keys) {
    need(files.Key, "ключа");
    need(files.Certificate, "сертификата");
  }
  if (dynamic_cast<const TKrasplat*>(&system) != nullptr ||
      dynamic_cast<const TAbsolutplat*>(&system) != nullptr ||
      dynamic_cast<const TEurofon*>(&system) != nullptr)
    need(files.CodeWord, "кодового слова");
}

// The checks the page's write makes before its first command.
void CheckCredentials(const TPaymentSystem& system) {
  if (const auto* mp = dynamic_cast<const TMasterPortProtocol*>(&system))
    return TOrtena::CheckMasterPort(*mp);
  if (const auto* cyberplat = dynamic_cast<const TCyberplat*>(&system)) return cyberplat->Check();
  if (const auto* eport = dynamic_cast<const TEPort*>(&system)) return eport->Check();
  if (const auto* xplat = dynamic_cast<const TXPlat*>(&system)) return xplat->Check();
  if (const auto* osmp = dynamic_cast<const TOSMPProtocol*>(&system)) return osmp->Check();
  if (const auto* krasplat = dynamic_cast<const TKrasplat*>(&system))
    return TKrasplat::CheckDeviceID(krasplat->DeviceID);
  if (const auto* bercut = dynamic_cast<const TBercut*>(&system))
    return TBercut::CheckDeviceID(bercut->DeviceID);
  if (const auto* absolutplat = dynamic_cast<const TAbsolutplat*>(&system)) {
    TAbsolutplat::CheckDeviceID(absolutplat->DeviceID);
    return TAbsolutplat::CheckAgentID(absolutplat->AgentID);
  }
  if (const auto* eurofon = dynamic_cast<const TEurofon*>(&system)) {
    TEurofon::CheckDeviceID(eurofon->DeviceID);
    return TEurofon::CheckAgentID(eurofon->AgentID);
  }
  if (const auto* ubsPay = dynamic_cast<const TUbsPay*>(&system)) {
    TUbsPay::CheckURL(ubsPay->URL);
    TUbsPay::CheckDeviceID(ubsPay->DeviceID);
    TUbsPay::CheckAgentID(ubsPay->AgentID);
  }
}

// The agent and device ids of the systems that have them, the only credentials a terminal
// gives back; nullopt for the others.
std::optional<std::pair<std::string, std::string>> IdsOf(const TPaymentSystem& system) {
  if (const auto* a = dynamic_cast<const TAbsolutplat*>(&system)) return std::pair(a->AgentID, a->DeviceID);
  if (const auto* e = dynamic_cast<const TEurofon*>(&system)) return std::pair(e->AgentID, e->DeviceID);
  if (const auto* u = dynamic_cast<const TUbsPay*>(&system)) return std::pair(u->AgentID, u->DeviceID);
  return std::nullopt;
}

void ReadIds(TOrtena& facade, TPaymentSystem& system) {
  if (auto* absolutplat = dynamic_cast<TAbsolutplat*>(&system)) facade.ReadAbsolutplat(*absolutplat);
  if (auto* eurofon = dynamic_cast<TEurofon*>(&system)) facade.ReadEurofon(*eurofon);
  if (auto* ubsPay = dynamic_cast<TUbsPay*>(&system)) facade.ReadUbsPay(*ubsPay);
}

[[noreturn]] void RaiseNotReadable(TProfileGroup group) {
  throw Exception(std::string(kGroupNotReadableMessage) + " " + ProfileGroupName(group));
}

}  // namespace

bool IsReadableGroup(TProfileGroup group) {
  return group != TProfileGroup::Firmware && group != TProfileGroup::Credentials;
}

bool IsVerifiableGroup(const TProfile& profile, TProfileGroup group) {
  return IsReadableGroup(group) ||
         (group == TProfileGroup::Credentials && IdsOf(profile.System()).has_value());
}

std::shared_ptr<const THexFile> FirmwareImage(const TProfile& profile) {
  auto image = std::make_shared<THexFile>();
  image->LoadFromLines(SplitLines(profile.Firmware));
  TISPWriter::CheckImage(*image, ProfileGroupName(TProfileGroup::Firmware));
  return image;
}

void CheckProfileGroups(const TProfile& profile, const TProfileGroups& groups) {
  const TPaymentSystem& system = profile.System();
  for (TProfileGroup group : AllProfileGroups()) {
    if (groups.count(group) == 0 || profile.Groups.count(group) == 0) continue;
    try {
      switch (group) {
        case TProfileGroup::Firmware:
          (void)FirmwareImage(profile);
          break;
        case TProfileGroup::Paysys:
          TOrtena::CheckServerParams(system.ServerParams());
          break;
        case TProfileGroup::Credentials:
          CheckCredentials(system);
          CheckFiles(system, profile.Files);
          break;
        case TProfileGroup::Sim:
          for (int i = 0; i < profile.SimCards.Count(); ++i)
            if (profile.SimCards.Items(i).Enabled) TOrtena::CheckSimCard(profile.SimCards.Items(i));
          break;
        case TProfileGroup::Header:
        case TProfileGroup::Trailer:
          TOrtena::CheckLines(group == TProfileGroup::Trailer,
                              group == TProfileGroup::Trailer ? profile.Trailer : profile.Header);
          break;
        case TProfileGroup::Fees:
          for (int i = 0; i < profile.FeeTables.Count(); ++i)
            (void)TOrtena::FeeWireValues(profile.FeeTables.Items(i).Number(),
                                         profile.FeeTables.Items(i).Fees());
          break;
        case TProfileGroup::Scripts:
          for (int i = 0; i < system.Scripts().Count(); ++i)
            (void)ScriptWireText(system.Scripts().Items(i).Number(), system.Scripts().Items(i).Text());
          break;
        case TProfileGroup::XmlData:
        case TProfileGroup::PhoneBase:
          break;
      }
    } catch (const std::exception& e) {
      throw Exception(ProfileGroupName(group) + ": " + e.what());
    }
  }
}

void WriteProfileFirmware(TOrtena& facade, const TProfile& profile, bool fast, bool verify,
                          TUpdateStatus& status) {
  std::shared_ptr<const THexFile> image = FirmwareImage(profile);
  TISPParams params;
  params.FileName = ProfileGroupName(TProfileGroup::Firmware);
  params.Fast = fast;
  params.Verify = verify;
  // The settings that follow need the terminal's command mode.
  params.StartProgram = true;
  TISPUpdate update(facade.Driver(), status);
  update.Start(params, image);
  update.WaitFor();
  const TUpdateStatus::TSnapshot result = status.Snapshot();
  if (!result.Failed) return;
  if (status.StopRequested()) RaiseAbort();
  throw Exception(result.Text);
}

void CopyScriptList(const TScripts& from, TScripts& to) {
  TXmlParser parser;
  appdocxml::WriteScripts(*parser.Root(), from);
  appdocxml::ReadScripts(*parser.Root(), to);
}

void ReadProfileGroup(TOrtena& facade, TProfile& profile, TProfileGroup group) {
  TClearStatusGuard clear(facade);
  switch (group) {
    case TProfileGroup::Firmware:
    case TProfileGroup::Credentials:
      RaiseNotReadable(group);
    case TProfileGroup::Paysys:
      profile.SetActiveSystem(facade.ReadActiveSystem());
      facade.ReadServerParams(profile.System());
      break;
    case TProfileGroup::Sim:
      facade.ReadSimCards(profile.SimCards);
      break;
    case TProfileGroup::Header:
      profile.Header = facade.ReadHeader();
      break;
    case TProfileGroup::Trailer:
      profile.Trailer = facade.ReadTrailer();
      break;
    case TProfileGroup::Fees:
      facade.ReadFeeTables(profile.FeeTables);
      break;
    case TProfileGroup::Scripts:
      facade.ReadScripts(profile.System());
      break;
    case TProfileGroup::XmlData:
      profile.XmlData = facade.ReadXmlData();
      break;
    case TProfileGroup::PhoneBase:
      profile.PhoneBase = facade.ReadPhoneBase();
      break;
  }
  profile.Groups.insert(group);
}

void WriteProfileGroup(TOrtena& facade, const TProfile& profile, TProfileGroup group) {
  TClearStatusGuard clear(facade);
  switch (group) {
    case TProfileGroup::Paysys:
      TOrtena::CheckServerParams(profile.System().ServerParams());
      facade.SetActiveSystem(profile.System());
      facade.WriteServerParams(profile.System());
      return;
    case TProfileGroup::Credentials:
      WriteCredentials(facade, profile);
      return;
    case TProfileGroup::Firmware: {
      TUpdateStatus status;
      WriteProfileFirmware(facade, profile, false, true, status);
      return;
    }
    case TProfileGroup::Sim:
      facade.WriteSimCards(profile.SimCards);
      return;
    case TProfileGroup::Header:
      facade.WriteHeader(profile.Header);
      return;
    case TProfileGroup::Trailer:
      facade.WriteTrailer(profile.Trailer);
      return;
    case TProfileGroup::Fees:
      facade.WriteFeeTables(profile.FeeTables);
      return;
    case TProfileGroup::Scripts:
      facade.WriteScripts(profile.System());
      return;
    case TProfileGroup::XmlData:
      facade.WriteXmlData(profile.XmlData);
      return;
    case TProfileGroup::PhoneBase:
      facade.WritePhoneBase(profile.PhoneBase);
      return;
  }
}

void VerifyProfileGroup(TOrtena& facade, const TProfile& profile, TProfileGroup group) {
  if (!IsVerifiableGroup(profile, group)) return;
  if (group == TProfileGroup::Credentials) {
    TProfile read;
    read.SetActiveSystem(profile.ActiveSystem());
    ReadIds(facade, read.System());
    if (IdsOf(read.System()) != IdsOf(profile.System()))
      throw Exception(std::string(kVerifyFailedMessage) + " " + ProfileGroupName(group));
    return;
  }
  TProfile expected;
  expected.LoadFromText(profile.SaveToText(), "");
  MakeReadable(expected, group);
  TProfile read;
  read.SetActiveSystem(profile.ActiveSystem());
  if (group == TProfileGroup::Scripts) CopyScriptList(profile.System().Scripts(), read.System().Scripts());
  ReadProfileGroup(facade, read, group);
  if (read.GroupText(group) != expected.GroupText(group))
    throw Exception(std::string(kVerifyFailedMessage) + " " + ProfileGroupName(group));
}

}  // namespace quorvel
