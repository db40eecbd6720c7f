#include "ProfileTransfer.h"

#include "AppDocSections.h"
#include "Cp1251.h"
#include "Errors.h"
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "Scripts.h"
#include "XmlItem.h"
#include "xmlParser.h"

#include <string_view>

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

}  // namespace

void CopyScriptList(const TScripts& from, TScripts& to) {
  TXmlParser parser;
  appdocxml::WriteScripts(*parser.Root(), from);
  appdocxml::ReadScripts(*parser.Root(), to);
}

void ReadProfileGroup(TOrtena& facade, TProfile& profile, TProfileGroup group) {
  TClearStatusGuard clear(facade);
  switch (group) {
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
