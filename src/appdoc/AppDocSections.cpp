#include "AppDocSections.h"

#include "Absolutplat.h"
#include "Bercut.h"
#include "Cyberplat.h"
#include "CyberplatKey.h"
#include "EPort.h"
#include "EasyPay.h"
#include "Errors.h"
#include "Eurofon.h"
#include "FeeTable.h"
#include "GprsProvider.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "Paths.h"
#include "PaymentSystem.h"
#include "PrivateKey.h"
#include "ProviderGroup.h"
#include "Scripts.h"
#include "ServerParams.h"
#include "ServiceProvider.h"
#include "SimCard.h"
#include "TestConfigXml.h"
#include "TextUtils.h"
#include "UbsPay.h"
#include "XPlat.h"
#include "XmlItem.h"

#include <charconv>
#include <cmath>
#include <memory>

#include <fmt/format.h>
#include <fmt/printf.h>

namespace quorvel::appdocxml {

namespace {

void WriteValues(TXmlItem& section, const TMasterPortProtocol& system) {
  section.AddBool("TestSettings", system.TestSettings);
  section.AddText("SerialNumber", system.SerialNumber);
  section.AddText("ApplicationID", system.ApplicationID);
  section.AddText("SenderID", system.SenderID);
  section.AddText("ReceiverID", system.ReceiverID);
  WriteKey(section, "ServerPublicKey", system.ServerPublicKey);
  WriteKey(section, "ApplicationPrivateKey", system.ApplicationPrivateKey);
}

void ReadValues(TXmlItem& section, TMasterPortProtocol& system) {
  system.TestSettings = section.GetBool("TestSettings");
  system.SerialNumber = UpperLatin(section.GetText("SerialNumber"));
  system.ApplicationID = UpperLatin(section.GetText("ApplicationID"));
  system.SenderID = UpperLatin(section.GetText("SenderID"));
  system.ReceiverID = UpperLatin(section.GetText("ReceiverID"));
  ReadRsaKeyValue(*section.GetItem("ServerPublicKey"), system.ServerPublicKey);
  ReadRsaKeyValue(*section.GetItem("ApplicationPrivateKey"), system.ApplicationPrivateKey);
}

void WriteValues(TXmlItem& section, const TCyberplat& system) {
  WriteCyberplatKey(section, "PublicKey", system.PublicKey);
  WriteCyberplatKey(section, "SecretKey", system.SecretKey);
  WriteCyberplatPoint(*section.Add("CyberplatPoint"), system.CyberplatPoint);
}

void ReadValues(TXmlItem& section, TCyberplat& system) {
  ReadCyberplatKey(*section.GetItem("PublicKey"), system.PublicKey);
  ReadCyberplatKey(*section.GetItem("SecretKey"), system.SecretKey);
  ReadCyberplatPoint(*section.GetItem("CyberplatPoint"), system.CyberplatPoint);
}

void WriteValues(TXmlItem& section, const TEPort& system) {
  section.AddText("CardNumber", system.CardNumber);
  section.AddText("CardPin", system.CardPin);
  section.AddText("Point", system.Point);
}

void ReadValues(TXmlItem& section, TEPort& system) {
  system.CardNumber = section.GetText("CardNumber");
  system.CardPin = section.GetText("CardPin");
  system.Point = section.GetText("Point");
}

// The secret key is deliberately left out: it is never read back, so writing it would only
// spread it into every copy of the document.
void WriteValues(TXmlItem& section, const TXPlat& system) {
  section.AddText("Point", system.Point);
  section.AddText("Login", system.Login);
}

void ReadValues(TXmlItem& section, TXPlat& system) {
  system.Point = section.GetText("Point");
  system.Login = section.GetText("Login");
}

void WriteValues(TXmlItem& section, const TOSMPProtocol& system) {
  section.AddText("TerminalID", system.TerminalID);
  section.AddText("Login", system.Login);
}

void ReadValues(TXmlItem& section, TOSMPProtocol& system) {
  system.TerminalID = section.GetText("TerminalID");
  system.Login = section.GetText("Login");
}

void WriteValues(TXmlItem& section, const TEasyPay& system) {
  section.AddText("KeyFileName", AbsolutePath(system.KeyFileName));
  section.AddText("CerFileName", AbsolutePath(system.CerFileName));
}

void ReadValues(TXmlItem& section, TEasyPay& system) {
  system.KeyFileName = section.GetText("KeyFileName");
  system.CerFileName = section.GetText("CerFileName");
}

void WriteValues(TXmlItem& section, const TKrasplat& system) {
  section.AddText("KeyFileName", AbsolutePath(system.KeyFileName));
  section.AddText("CerFileName", AbsolutePath(system.CerFileName));
  section.AddText("WordFileName", AbsolutePath(system.WordFileName));
  section.AddText("DeviceID", system.DeviceID);
}

void ReadValues(TXmlItem& section, TKrasplat& system) {
  system.KeyFileName = section.GetText("KeyFileName");
  system.CerFileName = section.GetText("CerFileName");
  system.WordFileName = section.GetText("WordFileName");
  system.DeviceID = section.GetText("DeviceID");
}

void WriteValues(TXmlItem& section, const TBercut& system) { section.AddText("DeviceID", system.DeviceID); }

void ReadValues(TXmlItem& section, TBercut& system) { system.DeviceID = section.GetText("DeviceID"); }

// TAbsolutplat and TEurofon have the same fields without a common class.
template <class TAgentSystem>
void WriteAgentValues(TXmlItem& section, const TAgentSystem& system) {
  section.AddText("AgentID", system.AgentID);
  section.AddText("DeviceID", system.DeviceID);
  section.AddText("WordFileName", AbsolutePath(system.WordFileName));
}

void WriteValues(TXmlItem& section, const TAbsolutplat& system) { WriteAgentValues(section, system); }
void WriteValues(TXmlItem& section, const TEurofon& system) { WriteAgentValues(section, system); }

template <class TAgentSystem>
void ReadAgentValues(TXmlItem& section, TAgentSystem& system) {
  system.AgentID = section.GetText("AgentID");
  system.DeviceID = section.GetText("DeviceID");
  system.WordFileName = section.GetText("WordFileName");
}

void ReadValues(TXmlItem& section, TAbsolutplat& system) { ReadAgentValues(section, system); }
void ReadValues(TXmlItem& section, TEurofon& system) { ReadAgentValues(section, system); }

void WriteValues(TXmlItem& section, const TUbsPay& system) {
  section.AddText("AgentID", system.AgentID);
  section.AddText("DeviceID", system.DeviceID);
  section.AddText("URL", system.URL);
}

void ReadValues(TXmlItem& section, TUbsPay& system) {
  system.AgentID = section.GetText("AgentID");
  system.DeviceID = section.GetText("DeviceID");
  system.URL = section.GetText("URL");
}

// Each system's own values, dispatched on its class (a shared code does not tell them apart).
template <class Visit>
void VisitSystem(TPaymentSystem& system, Visit visit) {
  if (auto* mp = dynamic_cast<TMasterPortProtocol*>(&system)) return visit(*mp);
  if (auto* cyberplat = dynamic_cast<TCyberplat*>(&system)) return visit(*cyberplat);
  if (auto* eport = dynamic_cast<TEPort*>(&system)) return visit(*eport);
  if (auto* xplat = dynamic_cast<TXPlat*>(&system)) return visit(*xplat);
  if (auto* osmp = dynamic_cast<TOSMPProtocol*>(&system)) return visit(*osmp);
  if (auto* easyPay = dynamic_cast<TEasyPay*>(&system)) return visit(*easyPay);
  if (auto* krasplat = dynamic_cast<TKrasplat*>(&system)) return visit(*krasplat);
  if (auto* bercut = dynamic_cast<TBercut*>(&system)) return visit(*bercut);
  if (auto* absolutplat = dynamic_cast<TAbsolutplat*>(&system)) return visit(*absolutplat);
  if (auto* eurofon = dynamic_cast<TEurofon*>(&system)) return visit(*eurofon);
  if (auto* ubsPay = dynamic_cast<TUbsPay*>(&system)) return visit(*ubsPay);
}

// The integer text of an element met while walking children (Find accepts the item itself).
std::int32_t OwnInt(TXmlItem& item) { return item.GetInt(item.Name()); }

bool IsBlank(std::string_view text) {
  for (unsigned char c : text)
    if (c > ' ') return false;
  return true;
}

void ReadProviderValue(TXmlItem& value, TServiceProvider& provider) {
  if (value.HasName("name")) {
    provider.SetIdentifier(value.Text());
  } else if (value.HasName("text")) {
    provider.SetText(value.Text());
  } else if (value.HasName("Prefixes")) {
    provider.Prefixes = value.Text();
  } else if (value.HasName("description")) {
    provider.Description = value.Text();
  } else if (value.HasName("button")) {
    provider.Button = OwnInt(value);
  } else if (value.HasName("FeeTableID")) {
    provider.FeeTableID = OwnInt(value);
  } else if (value.HasName("FormatID")) {
    provider.FormatID = OwnInt(value);
  } else if (value.HasName("MinAmount")) {
    provider.SetMinAmount(OwnInt(value));
  } else if (value.HasName("MaxAmount")) {
    provider.SetMaxAmount(OwnInt(value));
  }
}

void ReadGroup(TXmlItem& element, TProviderGroup& group) {
  group.Text = element.GetText("Text");
  ReadProviderList(*element.GetItem("providers"), group.Providers());
  for (int i = 0; i < element.Count(); ++i) {
    TXmlItem* child = element.Items(i);
    if (child->Name() == "ProviderGroup") ReadGroup(*child, group.AddChild());
  }
}

void ReadFeeList(TXmlItem& list, TFees& fees) {
  fees.Clear();
  for (int i = 0; i < list.Count(); ++i) {
    TXmlItem* item = list.Items(i);
    if (!item->HasName("Fee")) continue;
    const Money sum = Money::Parse(item->GetText("FeeSum"));
    const double value = ParseFeeValue(item->GetText("FeeValue"));
    const std::int32_t type = item->GetInt("FeeType");
    TFee& fee = fees.Add();
    fee.FeeSum = sum;
    fee.FeeValue = value;
    fee.FeeType = type;
  }
}

}  // namespace

void WriteServerParams(TXmlItem& parent, const TServerParams& params) {
  TXmlItem* server = parent.Add("server");
  server->AddText("ip", params.Address);
  server->AddInt("port", params.Port);
  server->AddInt("trycount", params.RetryCount());
  server->AddText("ServerName", params.ServerName);
}

void ReadServerParams(TXmlItem& section, TServerParams& params) {
  TXmlItem* server = section.GetItem("server");
  params.Address = server->GetText("ip");
  params.Port = server->GetInt("port");
  params.SetRetryCount(server->GetInt("trycount"));
  params.ServerName.clear();
  if (TXmlItem* name = server->Find("ServerName")) params.ServerName = name->Text();
}

void WriteScripts(TXmlItem& parent, const TScripts& scripts) {
  TXmlItem* list = parent.Add("scripts");
  for (int i = 0; i < scripts.Count(); ++i) {
    const TScript& script = scripts.Items(i);
    if (!script.Editable()) continue;
    TXmlItem* item = list->Add("script");
    item->AddInt("id", script.Number());
    item->AddText("text", script.Name());
    item->AddText("data", script.Text());
  }
}

void ReadScripts(TXmlItem& section, TScripts& scripts) {
  TXmlItem* list = section.GetItem("scripts");
  scripts.ClearEditable();
  for (int i = 0; i < list->Count(); ++i) {
    TXmlItem* item = list->Items(i);
    if (!item->HasName("script")) continue;
    const std::int32_t number = item->GetInt("id");
    const std::string name = item->GetText("text");
    const std::string text = item->GetText("data");
    TScript& script = scripts.AddNew();
    try {
      script.SetNumber(number);
      script.SetName(name);
      script.SetText(text);
    } catch (...) {
      // A script with a made-up number must not be saved later as if the file held it.
      scripts.Delete(script);
      scripts.Sort();
      throw;
    }
  }
  scripts.Sort();
}

void WriteProviders(TXmlItem& parent, const TServiceProviders& providers) {
  TXmlItem* list = parent.Add("providers");
  for (int i = 0; i < providers.Count(); ++i) {
    const TServiceProvider& provider = providers.Items(i);
    TXmlItem* item = list->Add("provider");
    // The setters refuse an empty identifier or text, so writing one would make the document
    // stop loading at this provider; left out, it reads back as the same empty default.
    if (!provider.Identifier().empty()) item->AddText("name", provider.Identifier());
    if (!provider.Text().empty()) item->AddText("text", provider.Text());
    item->AddText("Prefixes", provider.Prefixes);
    item->AddText("description", provider.Description);
    item->AddInt("button", provider.Button);
    item->AddInt("FeeTableID", provider.FeeTableID);
    item->AddInt("FormatID", provider.FormatID);
    item->AddInt("MinAmount", provider.MinAmount());
    item->AddInt("MaxAmount", provider.MaxAmount());
  }
}

void ReadProviderList(TXmlItem& list, TServiceProviders& providers) {
  providers.Clear();
  for (int i = 0; i < list.Count(); ++i) {
    TXmlItem* item = list.Items(i);
    if (item->Name() != "provider") continue;
    TServiceProvider& provider = providers.Add();
    try {
      for (int k = 0; k < item->Count(); ++k) ReadProviderValue(*item->Items(k), provider);
    } catch (...) {
      // A provider refused half way would come back as a blank entry on the next save.
      providers.Delete(provider.Index());
      throw;
    }
  }
}

void WriteProviderGroup(TXmlItem& parent, const TProviderGroup& group) {
  TXmlItem* item = parent.Add("ProviderGroup");
  item->AddText("Text", group.Text);
  WriteProviders(*item, group.Providers());
  for (int i = 0; i < group.Count(); ++i) WriteProviderGroup(*item, group.Items(i));
}

void ReadProviderTree(TXmlItem& section, TProviderGroup& root) {
  root.Clear();
  root.Providers().Clear();
  TXmlItem* group = section.Find("ProviderGroup");
  if (!group) {
    root.Text = kDefaultGroupText;
    ReadProviderList(*section.GetItem("providers"), root.Providers());
    return;
  }
  ReadGroup(*group, root);
}

void WriteSharedFour(TXmlItem& parent, const TPaymentSystem& system) {
  WriteServerParams(parent, system.ServerParams());
  WriteScripts(parent, system.Scripts());
  WriteProviders(parent, system.Providers());
  WriteProviderGroup(parent, system.ProviderGroup());
}

void ReadSharedFour(TXmlItem& section, TPaymentSystem& system) {
  ReadServerParams(section, system.ServerParams());
  ReadScripts(section, system.Scripts());
  ReadProviderList(*section.GetItem("providers"), system.Providers());
  ReadProviderTree(section, system.ProviderGroup());
}

void WriteKey(TXmlItem& parent, const std::string& name, const TPublicKey& key) {
  TXmlItem* value = parent.Add(name)->Add("RSAKeyValue");
  value->AddText("Modulus", key.Modulus);
  value->AddText("Exponent", key.Exponent);
}

void WriteKey(TXmlItem& parent, const std::string& name, const TPrivateKey& key) {
  TXmlItem* value = parent.Add(name)->Add("RSAKeyValue");
  value->AddText("Modulus", key.Modulus);
  value->AddText("Exponent", key.Exponent);
  value->AddText("P", key.P);
  value->AddText("Q", key.Q);
  value->AddText("D", key.D);
  value->AddText("DP", key.DP);
  value->AddText("DQ", key.DQ);
  value->AddText("InverseQ", key.InverseQ);
}

void WriteCyberplatKey(TXmlItem& parent, const std::string& name, const TCyberplatKey& key) {
  TXmlItem* item = parent.Add(name);
  item->AddText("Key", key.Key);
  item->AddText("Sig", key.Sig);
  item->AddText("KeyNum", key.KeyNum);
  item->AddText("SigNum", key.SigNum);
  item->AddText("KeyName", key.KeyName);
  item->AddText("SigName", key.SigName);
}

void ReadCyberplatKey(TXmlItem& element, TCyberplatKey& key) {
  TCyberplatKey read;
  read.Key = element.GetText("Key");
  read.Sig = element.GetText("Sig");
  read.KeyNum = element.GetText("KeyNum");
  read.SigNum = element.GetText("SigNum");
  read.KeyName = element.GetText("KeyName");
  read.SigName = element.GetText("SigName");
  read.KeyType = key.KeyType;
  key.Assign(read);
}

void WriteCyberplatPoint(TXmlItem& element, const TCyberplatPoint& point) {
  element.AddText("SD", point.SD);
  element.AddText("AP", point.AP);
  element.AddText("OP", point.OP);
}

void ReadCyberplatPoint(TXmlItem& element, TCyberplatPoint& point) {
  TCyberplatPoint read;
  read.SD = element.GetText("SD");
  read.AP = element.GetText("AP");
  read.OP = element.GetText("OP");
  point = read;
}

void WriteGprsProviders(TXmlItem& parent, const TGprsProviders& providers) {
  TXmlItem* list = parent.Add("ServiceProviders");
  for (int i = 0; i < providers.Count(); ++i) {
    const TGprsProvider& provider = providers.Items(i);
    TXmlItemParams& params = list->Add("ServiceProvider")->Params();
    params.SetValue("name", provider.Name());
    params.SetValue("apn", provider.Apn);
    params.SetValue("login", provider.Login);
    params.SetValue("password", provider.Password);
  }
}

void ReadGprsProviderList(TXmlItem& list, TGprsProviders& providers) {
  providers.Clear();
  for (int i = 0; i < list.Count(); ++i) {
    TXmlItem* item = list.Items(i);
    // Text, whitespace, comments and CDATA carry no attributes; skipping them gives the same
    // list as trying them and dropping the nameless operator.
    if (item->Name().starts_with('#')) continue;
    const TXmlItemParams& params = item->Params();
    const std::string name = params.GetValue("name");
    if (IsBlank(name)) continue;
    auto provider = std::make_unique<TGprsProvider>();
    provider->SetName(name);
    provider->Apn = params.GetValue("apn");
    provider->Login = params.GetValue("login");
    provider->Password = params.GetValue("password");
    providers.Append(std::move(provider));
  }
}

void WriteFeeTables(TXmlItem& parent, const TFeeTables& tables) {
  TXmlItem* list = parent.Add("FeeTables");
  list->AddInt("ItemIndex", tables.ItemIndex);
  for (int i = 0; i < tables.Count(); ++i) {
    const TFeeTable& table = tables.Items(i);
    TXmlItem* item = list->Add("FeeTable");
    item->AddInt("SchemeType", table.SchemeType());
    TXmlItem* fees = item->Add("fees");
    for (int k = 0; k < table.Fees().Count(); ++k) {
      const TFee& fee = table.Fees().Items(k);
      TXmlItem* rate = fees->Add("Fee");
      rate->AddText("FeeSum", fee.FeeSum.ToString());
      rate->AddText("FeeValue", FormatFeeValue(fee.FeeValue));
      rate->AddInt("FeeType", fee.FeeType);
    }
  }
}

void ReadFeeTableList(TXmlItem& list, TFeeTables& tables) {
  tables.ItemIndex = list.GetInt("ItemIndex");
  int k = 0;
  for (int i = 0; i < list.Count() && k < tables.Count(); ++i) {
    TXmlItem* item = list.Items(i);
    if (!item->HasName("FeeTable")) continue;
    TFeeTable& table = tables.Items(k++);
    table.SetSchemeType(item->GetInt("SchemeType"));
    ReadFeeList(*item->GetItem("Fees"), table.Fees());
  }
}

std::string FormatFeeValue(double value) { return fmt::format("{:.15g}", value); }

double ParseFeeValue(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && static_cast<unsigned char>(t.front()) <= ' ') t.remove_prefix(1);
  while (!t.empty() && static_cast<unsigned char>(t.back()) <= ' ') t.remove_suffix(1);
  if (t.size() > 1 && t.front() == '+' && t[1] != '-') t.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size() || !std::isfinite(value))
    throw EConvertError(fmt::sprintf(kFloatErrorFormat, std::string(text)));
  return value;
}

void WriteLines(TXmlItem& parent, const std::string& name, const std::string& text) {
  TXmlItem* item = parent.Add(name);
  const std::vector<std::string> lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i)
    item->Params().SetValue(fmt::sprintf(kLineAttributeFormat, static_cast<int>(i + 1)), lines[i]);
}

std::string ReadLines(TXmlItem& element) {
  const TXmlItemParams& params = element.Params();
  const int count = params.Count();
  std::string text;
  for (int i = 1; i <= count; ++i) {
    text += params.GetValue(fmt::sprintf(kLineAttributeFormat, i));
    text += "\r\n";
  }
  return text;
}

void WriteSimCards(TXmlItem& parent, const TSimCards& cards) {
  TXmlItem* list = parent.Add("SimCards");
  for (int i = 0; i < cards.Count(); ++i) {
    const TSimCard& card = cards.Items(i);
    TXmlItem* item = list->Add("SimCard");
    item->AddInt("slotnumber", card.SlotNumber);
    item->AddText("pin", card.Pin);
    item->AddText("apn", card.Apn);
    item->AddText("login", card.Login);
    item->AddText("password", card.Password);
    item->AddBool("enabled", card.Enabled);
    item->AddBool("priority", card.Priority);
  }
}

void ReadSimCardList(TXmlItem& list, TSimCards& cards) {
  for (int i = 0; i < list.Count(); ++i) {
    TXmlItem* item = list.Items(i);
    if (!item->HasName("SimCard")) continue;
    TSimCard& card = cards.FindSlot(item->GetInt("slotnumber"));
    card.Pin = item->GetText("pin");
    card.Apn = item->GetText("apn");
    card.Login = item->GetText("login");
    card.Password = item->GetText("password");
    card.Enabled = item->GetBool("enabled");
    card.Priority = item->GetBool("priority");
  }
}

std::string UpperLatin(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

void WriteCredentials(TXmlItem& section, const TPaymentSystem& system) {
  VisitSystem(const_cast<TPaymentSystem&>(system), [&section](const auto& s) { WriteValues(section, s); });
}

void ReadCredentials(TXmlItem& section, TPaymentSystem& system) {
  VisitSystem(system, [&section](auto& s) { ReadValues(section, s); });
}

}  // namespace quorvel::appdocxml
