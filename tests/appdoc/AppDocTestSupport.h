#pragma once

#include "AppDoc.h"
#include "Errors.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace quorvel::test {

inline std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

/// The text between the first "<name>" (or "<name " / "<name/>") and its "</name>", tags
/// included; empty when absent.
inline std::string ElementText(const std::string& xml, const std::string& name) {
  for (auto begin = xml.find("<" + name); begin != std::string::npos;
       begin = xml.find("<" + name, begin + 1)) {
    const char next = xml[begin + 1 + name.size()];
    if (next != '>' && next != ' ' && next != '/') continue;
    const auto tagEnd = xml.find('>', begin);
    if (xml[tagEnd - 1] == '/') return xml.substr(begin, tagEnd + 1 - begin);
    const std::string close = "</" + name + ">";
    const auto end = xml.find(close, begin);
    return end == std::string::npos ? std::string() : xml.substr(begin, end + close.size() - begin);
  }
  return {};
}

// ---- a document full of values that differ from every default ----

inline void FillSystemBase(TPaymentSystem& system, int n) {
  const std::string tag = std::to_string(n);
  system.ServerParams().Address = "10.0." + tag + ".1";
  system.ServerParams().Port = 8000 + n;
  system.ServerParams().SetRetryCount(3 + n);
  system.ServerParams().ServerName = "сервер" + tag + ".example.ru";
  for (int number : {10 + n, 500, 2000 - n}) {
    TScript& script = system.Scripts().AddNew();
    script.SetNumber(number);
    script.SetName("Скрипт № " + std::to_string(number));
    script.SetText("SELECT(\"Билайн\", \"МТС\");\r\n\tGOTO(" + tag + "); // <&>\r\n");
  }
  auto fillProvider = [&](TServiceProvider& p, const std::string& id) {
    p.SetIdentifier("Провайдер-" + id);
    p.SetText("Текст " + id);
    p.Prefixes = "910;916;" + tag;
    p.Description = "Описание \"" + id + "\" & <b> ✓";  // ✓ is not in windows-1251
    p.Button = 3;
    p.FeeTableID = 1 + n % 10;
    p.FormatID = 10 + n;
    p.SetMinAmount(10);
    p.SetMaxAmount(15000);
  };
  for (int i = 0; i < 3; ++i) fillProvider(system.Providers().Add(), tag + "." + std::to_string(i));
  TProviderGroup& root = system.ProviderGroup();
  root.Text = "Корень " + tag;
  fillProvider(root.Providers().Add(), "root");
  for (int a = 0; a < 2; ++a) {
    TProviderGroup& child = root.AddChild();
    child.Text = "Группа " + std::to_string(a);
    fillProvider(child.Providers().Add(), "g" + std::to_string(a));
    TProviderGroup& grandChild = child.AddChild();
    grandChild.Text = "Подгруппа " + std::to_string(a);
    TProviderGroup& leaf = grandChild.AddChild();
    leaf.Text = "Лист";
    fillProvider(leaf.Providers().Add(), "leaf" + std::to_string(a));
  }
}

inline void FillMasterPort(TMasterPortProtocol& mp, const std::string& tag) {
  mp.TestSettings = true;
  mp.SerialNumber = "SN-" + tag;
  mp.ApplicationID = "0A1B2C3D-" + tag;
  mp.SenderID = "SENDER-" + tag;
  mp.ReceiverID = "RECEIVER-" + tag;
  mp.ServerPublicKey = {"bW9kdWx1cw==" + tag, "AAEAAQ=="};
  mp.ApplicationPrivateKey = {"UA==", "UQ==", "RFA=", "RFE=", "SW52", "TW9k" + tag, "AAEAAQ==", "RA=="};
  mp.TestConfigFileName = "/tmp/test-" + tag + ".xml";
}

inline void FillDocument(TAppDoc& doc) {
  doc.PaymentSystems().ActiveSystemID = 12;
  for (int i = 0; i < 3; ++i) {
    TGprsProvider& op = doc.GprsProviders().Add();
    op.SetName("Оператор " + std::to_string(i));
    op.Apn = "internet.op" + std::to_string(i) + ".ru";
    op.Login = i == 1 ? "" : "gdata";
    op.Password = "пароль&\"" + std::to_string(i);
  }
  for (int i = 0; i < doc.PaymentSystems().Count(); ++i) FillSystemBase(doc.PaymentSystems().Items(i), i);
  FillMasterPort(doc.MasterPort(), "MP");
  FillMasterPort(doc.PegasMP(), "PG");
  TCyberplat& cp = doc.Cyberplat();
  cp.Password = "секрет";
  cp.CyberplatPoint = {"1234", "5678", "90"};
  for (TCyberplatKey* key : {&cp.SecretKey, &cp.PublicKey}) {
    key->Key = "KEYBODY" + std::to_string(key->KeyType);
    key->Sig = "SIGBODY";
    key->KeyNum = "0001234";
    key->SigNum = "0005678";
    key->KeyName = "Имя ключа";
    key->SigName = "Подпись";
  }
  doc.EPort().CardNumber = "4276000011112222";
  doc.EPort().CardPin = "1234";
  doc.EPort().Point = "Точка 7";
  doc.XPlat().Point = "XP-1";
  doc.XPlat().Login = "оператор";
  doc.XPlat().Password = "xplat-secret";
  doc.XPlat().Key = "01ABFF";
  for (TOSMPProtocol* o : std::initializer_list<TOSMPProtocol*>{&doc.OSMP(), &doc.PegasOSMP()}) {
    o->TerminalID = "T" + o->GetShortName();
    o->Login = "login-" + o->GetShortName();
    o->Password = "osmp-secret";
  }
  doc.EasyPay().KeyFileName = "/home/инженер/ключ.key";
  doc.EasyPay().CerFileName = "/home/инженер/серт.cer";
  doc.Krasplat().KeyFileName = "/srv/keys/k.key";
  doc.Krasplat().CerFileName = "/srv/keys/k.cer";
  doc.Krasplat().WordFileName = "/srv/keys/k.word";
  doc.Krasplat().DeviceID = "KR-9";
  doc.Bercut().DeviceID = "BER-1";
  doc.Absolutplat().AgentID = "агент";
  doc.Absolutplat().DeviceID = "AB-2";
  doc.Absolutplat().WordFileName = "/srv/keys/a.word";
  doc.Eurofon().AgentID = "EU-agent";
  doc.Eurofon().DeviceID = "EU-3";
  doc.Eurofon().WordFileName = "/srv/keys/e.word";
  doc.UbsPay().AgentID = "UBS-a";
  doc.UbsPay().DeviceID = "UBS-d";
  doc.UbsPay().URL = "https://ubs.example/pay?a=1&b=2";

  doc.FeeTables().ItemIndex = 7;
  // Rates that keep the rules (a fee file must import), with values of awkward decimals.
  const double values[] = {0.01, 2.75, 100, 0.015, 12.345678901234, 3, 0.5, 50, 99.99, 7};
  for (int t = 0; t < doc.FeeTables().Count(); ++t) {
    TFeeTable& table = doc.FeeTables().Items(t);
    table.SetSchemeType(t % 3);
    for (int k = 0; k <= t; ++k) {
      TFee& fee = table.Fees().Add();
      fee.FeeSum = Money::Parse(fmt::format("{}.{:04}", 100 * (k + 1), 9999 - t));
      fee.FeeValue = values[(t + k) % 10];
      fee.FeeType = k % 2;
    }
  }
  doc.SimCards().Items(0).Pin = "1111";
  doc.SimCards().Items(0).Apn = "internet.mts.ru";
  doc.SimCards().Items(0).Login = "mts";
  doc.SimCards().Items(0).Password = "mts";
  doc.SimCards().Items(0).Enabled = true;
  doc.SimCards().Items(1).Priority = true;
  doc.SimCards().Items(1).Apn = "Интернет";
  doc.SimCards().FindSlot(3).Pin = "3333";
  doc.Header = "Добро пожаловать\r\nООО \"Ромашка\" & Co\r\n";
  doc.Trailer = "Реклама <1>\r\n\r\nконец\r\n";
  doc.HexFileName = "/opt/прошивка v2.hex";
  doc.PageIndex = 17;
  doc.ScriptDefs().FileVersion = "3.1";
  doc.ScriptDefs().First()->ModemVersion = "Ver 3";
  doc.ScriptDefs().First()->Methods().Add("BEEP", kScriptTypeNone)->Params.Add("ms", kScriptTypeInteger);
}

/// The never-written fields of a filled document put back to what a fresh document holds.
inline void ForgetUnsaved(TAppDoc& doc, const TAppDoc& fresh) {
  doc.Cyberplat().Password.clear();
  doc.XPlat().Password.clear();
  doc.XPlat().Key.clear();
  doc.OSMP().Password.clear();
  doc.PegasOSMP().Password.clear();
  doc.MasterPort().TestConfigFileName = fresh.MasterPort().TestConfigFileName;
  doc.PegasMP().TestConfigFileName = fresh.PegasMP().TestConfigFileName;
}

// ---- every value of a document as "path=value" lines, independent of the XML code ----

inline void DumpProviders(std::vector<std::string>& out, const std::string& at,
                          const TServiceProviders& list) {
  for (int i = 0; i < list.Count(); ++i) {
    const TServiceProvider& p = list.Items(i);
    out.push_back(fmt::format("{}.provider{}={}|{}|{}|{}|{}|{}|{}|{}|{}", at, i, p.Identifier(), p.Text(),
                              p.Prefixes, p.Description, p.Button, p.FeeTableID, p.FormatID, p.MinAmount(),
                              p.MaxAmount()));
  }
}

inline void DumpGroup(std::vector<std::string>& out, const std::string& at, const TProviderGroup& group) {
  out.push_back(at + ".Text=" + group.Text);
  DumpProviders(out, at, group.Providers());
  for (int i = 0; i < group.Count(); ++i) DumpGroup(out, at + "/" + std::to_string(i), group.Items(i));
}

inline void DumpSystem(std::vector<std::string>& out, const TPaymentSystem& s) {
  const std::string at = s.GetDisplayName();
  const TServerParams& sp = s.ServerParams();
  out.push_back(
      fmt::format("{}.server={}|{}|{}|{}", at, sp.Address, sp.Port, sp.RetryCount(), sp.ServerName));
  for (int i = 0; i < s.Scripts().Count(); ++i) {
    const TScript& script = s.Scripts().Items(i);
    out.push_back(fmt::format("{}.script{}={}|{}|{}|{}", at, i, script.Number(), script.Name(), script.Text(),
                              script.Editable()));
  }
  DumpProviders(out, at, s.Providers());
  DumpGroup(out, at + ".tree", s.ProviderGroup());
  if (auto* mp = dynamic_cast<const TMasterPortProtocol*>(&s)) {
    const TPrivateKey& k = mp->ApplicationPrivateKey;
    out.push_back(fmt::format("{}.ids={}|{}|{}|{}|{}|{}", at, mp->TestSettings, mp->SerialNumber,
                              mp->ApplicationID, mp->SenderID, mp->ReceiverID, mp->TestConfigFileName));
    out.push_back(fmt::format("{}.keys={}|{}|{}|{}|{}|{}|{}|{}|{}|{}", at, mp->ServerPublicKey.Modulus,
                              mp->ServerPublicKey.Exponent, k.Modulus, k.Exponent, k.P, k.Q, k.D, k.DP, k.DQ,
                              k.InverseQ));
  } else if (auto* cp = dynamic_cast<const TCyberplat*>(&s)) {
    out.push_back(fmt::format("{}.point={}|{}|{}|{}", at, cp->CyberplatPoint.SD, cp->CyberplatPoint.AP,
                              cp->CyberplatPoint.OP, cp->Password));
    for (const TCyberplatKey* k : {&cp->PublicKey, &cp->SecretKey})
      out.push_back(fmt::format("{}.key={}|{}|{}|{}|{}|{}|{}", at, k->Key, k->Sig, k->KeyNum, k->SigNum,
                                k->KeyName, k->SigName, k->KeyType));
  } else if (auto* ep = dynamic_cast<const TEPort*>(&s)) {
    out.push_back(fmt::format("{}.card={}|{}|{}", at, ep->CardNumber, ep->CardPin, ep->Point));
  } else if (auto* xp = dynamic_cast<const TXPlat*>(&s)) {
    out.push_back(fmt::format("{}.cred={}|{}|{}|{}", at, xp->Point, xp->Login, xp->Password, xp->Key));
  } else if (auto* os = dynamic_cast<const TOSMPProtocol*>(&s)) {
    out.push_back(fmt::format("{}.cred={}|{}|{}", at, os->TerminalID, os->Login, os->Password));
  } else if (auto* ez = dynamic_cast<const TEasyPay*>(&s)) {
    out.push_back(fmt::format("{}.files={}|{}", at, ez->KeyFileName, ez->CerFileName));
  } else if (auto* kr = dynamic_cast<const TKrasplat*>(&s)) {
    out.push_back(fmt::format("{}.files={}|{}|{}|{}", at, kr->KeyFileName, kr->CerFileName, kr->WordFileName,
                              kr->DeviceID));
  } else if (auto* be = dynamic_cast<const TBercut*>(&s)) {
    out.push_back(fmt::format("{}.device={}", at, be->DeviceID));
  } else if (auto* ab = dynamic_cast<const TAbsolutplat*>(&s)) {
    out.push_back(fmt::format("{}.agent={}|{}|{}", at, ab->AgentID, ab->DeviceID, ab->WordFileName));
  } else if (auto* eu = dynamic_cast<const TEurofon*>(&s)) {
    out.push_back(fmt::format("{}.agent={}|{}|{}", at, eu->AgentID, eu->DeviceID, eu->WordFileName));
  } else if (auto* ub = dynamic_cast<const TUbsPay*>(&s)) {
    out.push_back(fmt::format("{}.agent={}|{}|{}", at, ub->AgentID, ub->DeviceID, ub->URL));
  }
}

inline std::vector<std::string> Dump(const TAppDoc& doc) {
  std::vector<std::string> out;
  out.push_back(fmt::format("ActiveSystemID={}", doc.PaymentSystems().ActiveSystemID));
  for (int i = 0; i < doc.GprsProviders().Count(); ++i) {
    const TGprsProvider& op = doc.GprsProviders().Items(i);
    out.push_back(fmt::format("gprs{}={}|{}|{}|{}", i, op.Name(), op.Apn, op.Login, op.Password));
  }
  for (int i = 0; i < doc.PaymentSystems().Count(); ++i) DumpSystem(out, doc.PaymentSystems().Items(i));
  out.push_back(fmt::format("FeeTables.ItemIndex={}", doc.FeeTables().ItemIndex));
  for (int t = 0; t < doc.FeeTables().Count(); ++t) {
    const TFeeTable& table = doc.FeeTables().Items(t);
    out.push_back(fmt::format("FeeTable{}={}|{}", t, table.Number(), table.SchemeType()));
    for (int k = 0; k < table.Fees().Count(); ++k) {
      const TFee& fee = table.Fees().Items(k);
      out.push_back(
          fmt::format("FeeTable{}.fee{}={}|{}|{}", t, k, fee.FeeSum.ToString(), fee.FeeValue, fee.FeeType));
    }
  }
  for (int i = 0; i < doc.SimCards().Count(); ++i) {
    const TSimCard& c = doc.SimCards().Items(i);
    out.push_back(fmt::format("sim{}={}|{}|{}|{}|{}|{}|{}", i, c.SlotNumber, c.Pin, c.Apn, c.Login,
                              c.Password, c.Enabled, c.Priority));
  }
  out.push_back("Header=" + doc.Header);
  out.push_back("Trailer=" + doc.Trailer);
  out.push_back("HexFileName=" + doc.HexFileName);
  out.push_back(fmt::format("PageIndex={}", doc.PageIndex));
  out.push_back("ScriptDefs.FileVersion=" + doc.ScriptDefs().FileVersion);
  for (int d = 0; d < doc.ScriptDefs().Count(); ++d) {
    const TScriptDef& def = *doc.ScriptDefs().Items(d);
    std::string line = fmt::format("def{}={}", d, def.ModemVersion);
    for (int m = 0; m < def.Methods().Count(); ++m) {
      const TScriptMethod& method = *def.Methods().Items(m);
      line += fmt::format(" {}:{}(", method.Name, method.ResultType);
      for (int p = 0; p < method.Params.Count(); ++p)
        line += fmt::format("{}:{},", method.Params.Items(p)->Name, method.Params.Items(p)->ItemType);
      line += ")";
    }
    for (int v = 0; v < def.Variables().Count(); ++v)
      line += fmt::format(" {}:{}", def.Variables().Items(v)->Name, def.Variables().Items(v)->ItemType);
    out.push_back(line);
  }
  return out;
}

/// Lines of a dump that start with prefix.
inline std::vector<std::string> Part(const std::vector<std::string>& dump, const std::string& prefix) {
  std::vector<std::string> part;
  for (const auto& line : dump)
    if (line.starts_with(prefix)) part.push_back(line);
  return part;
}

/// Reports the first differing lines instead of two huge vectors.
inline void ExpectSameDump(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
  int reported = 0;
  for (std::size_t i = 0; i < std::max(actual.size(), expected.size()) && reported < 10; ++i) {
    const std::string a = i < actual.size() ? actual[i] : "<none>";
    const std::string e = i < expected.size() ? expected[i] : "<none>";
    if (a != e) {
      ADD_FAILURE() << "line " << i << "\n  actual:   " << a << "\n  expected: " << e;
      ++reported;
    }
  }
}

}  // namespace quorvel::test
