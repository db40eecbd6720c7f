#include "ProfileTransfer.h"

#include "Absolutplat.h"
#include "AppDocSections.h"
#include "BenchValues.h"
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

#include <fmt/format.h>

#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

namespace {

// Receipt lines as a receipt shows them: at most kReceiptLineCount, without trailing blanks
// and without the empty lines after the last one with text. A terminal that drops an empty
// line ends its lines there (endAtEmpty); one that keeps empty lines gives them back after the
// last written one; both mean the same receipt.
std::string ReceiptLines(const std::string& text, bool endAtEmpty) {
  std::vector<std::string> lines = SplitLines(text);
  if (lines.size() > static_cast<std::size_t>(kReceiptLineCount)) lines.resize(kReceiptLineCount);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string& line = lines[i];
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (line.empty() && endAtEmpty) lines.resize(i);
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

std::string AsciiLower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string WithoutTrailingBlanks(std::string text) {
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
    text.pop_back();
  return text;
}

// Both sides of a comparison in the form that holds what the terminal means and drops how it
// says it: host names and access points are case-blind, a field may come back without its
// trailing blanks, receipt lines end at their last text, and rates keep no order of their own.
void MakeComparable(TProfile& profile, TProfileGroup group) {
  switch (group) {
    case TProfileGroup::Paysys: {
      TServerParams& server = profile.System().ServerParams();
      server.Address = AsciiLower(WithoutTrailingBlanks(server.Address));
      server.ServerName = AsciiLower(WithoutTrailingBlanks(server.ServerName));
      return;
    }
    case TProfileGroup::Sim:
      for (int i = 0; i < profile.SimCards.Count(); ++i) {
        TSimCard& card = profile.SimCards.Items(i);
        card.Apn = AsciiLower(WithoutTrailingBlanks(card.Apn));
        card.Login = WithoutTrailingBlanks(card.Login);
      }
      return;
    case TProfileGroup::Header:
      profile.Header = ReceiptLines(profile.Header, false);
      return;
    case TProfileGroup::Trailer:
      profile.Trailer = ReceiptLines(profile.Trailer, false);
      return;
    case TProfileGroup::Fees:
      profile.FeeTables.ItemIndex = 0;
      for (int i = 0; i < profile.FeeTables.Count(); ++i) {
        TFees& fees = profile.FeeTables.Items(i).Fees();
        fees.Sort();
        fees.ItemIndex = 0;
      }
      return;
    case TProfileGroup::Scripts: {
      TScripts& scripts = profile.System().Scripts();
      for (int i = 0; i < scripts.Count(); ++i) {
        TScript& script = scripts.Items(i);
        if (script.Editable()) script.SetText(WithoutTrailingBlanks(script.Text()));
      }
      return;
    }
    default:
      return;
  }
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

// The values table's column of a slot's PIN.
const char* PinColumn(std::int32_t slot) { return slot == 2 ? kSim2PinColumn : kSimPinColumn; }

void CheckSimCards(const TSimCards& cards) {
  for (int i = 0; i < cards.Count(); ++i) {
    const TSimCard& card = cards.Items(i);
    if (!card.Enabled) continue;
    // A profile read from a terminal has no PIN: say where it comes from rather than how long it must be.
    if (card.Pin.empty())
      throw Exception(fmt::format(kSimPinMissingMessage, card.SlotNumber, PinColumn(card.SlotNumber)));
    TOrtena::CheckSimCard(card);
  }
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
          // The terminal refuses an empty address (code 1), after the system was switched.
          if (Trim(system.ServerParams().Address).empty()) throw Exception(kServerAddressMissingMessage);
          TOrtena::CheckServerParams(system.ServerParams());
          break;
        case TProfileGroup::Credentials:
          CheckCredentials(system);
          CheckFiles(system, profile.Files);
          break;
        case TProfileGroup::Sim:
          CheckSimCards(profile.SimCards);
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

std::vector<std::string> UnreadValueNotes(const TProfile& profile) {
  std::vector<std::string> notes;
  if (profile.Groups.count(TProfileGroup::Sim) == 0) return notes;
  for (int i = 0; i < profile.SimCards.Count(); ++i) {
    const TSimCard& card = profile.SimCards.Items(i);
    if (card.Enabled && card.Pin.empty())
      notes.push_back(fmt::format(kSimPinNotReadNote, card.SlotNumber, PinColumn(card.SlotNumber)));
  }
  return notes;
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
    // A terminal that keeps empty lines gives all ten back: those after the text are no lines.
    case TProfileGroup::Header:
      profile.Header = ReceiptLines(facade.ReadHeader(), false);
      break;
    case TProfileGroup::Trailer:
      profile.Trailer = ReceiptLines(facade.ReadTrailer(), false);
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

bool ReadBackMatches(const TProfile& written, TProfile& read, TProfileGroup group) {
  if (group == TProfileGroup::Credentials) {
    const auto ids = [](const TPaymentSystem& system) {
      auto pair = IdsOf(system);
      if (pair) *pair = {WithoutTrailingBlanks(pair->first), WithoutTrailingBlanks(pair->second)};
      return pair;
    };
    return ids(read.System()) == ids(written.System());
  }
  TProfile expected;
  expected.LoadFromText(written.SaveToText(), "");
  MakeReadable(expected, group);
  MakeComparable(expected, group);
  MakeComparable(read, group);
  if (read.GroupText(group) == expected.GroupText(group)) return true;
  // A terminal that keeps no empty line ends its lines at the first one written.
  if (group == TProfileGroup::Header) return read.Header == ReceiptLines(written.Header, true);
  if (group == TProfileGroup::Trailer) return read.Trailer == ReceiptLines(written.Trailer, true);
  return false;
}

void VerifyProfileGroup(TOrtena& facade, const TProfile& profile, TProfileGroup group) {
  if (!IsVerifiableGroup(profile, group)) return;
  TProfile read;
  read.SetActiveSystem(profile.ActiveSystem());
  if (group == TProfileGroup::Credentials) {
    ReadIds(facade, read.System());
  } else {
    if (group == TProfileGroup::Scripts) CopyScriptList(profile.System().Scripts(), read.System().Scripts());
    ReadProfileGroup(facade, read, group);
  }
  if (!ReadBackMatches(profile, read, group))
    throw Exception(std::string(kVerifyFailedMessage) + " " + ProfileGroupName(group));
}

}  // namespace quorvel
