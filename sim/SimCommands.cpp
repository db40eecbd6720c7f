// The terminal's commands of identity, state, server, SIM slots, receipt lines, fees and
// the active payment system. Every handler checks all its parameters before it changes
// anything; a refusal throws TSimRefusal and the caller drops the changed copy.
#include <algorithm>
#include <array>
#include <chrono>
#include <cctype>
#include <ctime>

#include <fmt/format.h>

#include "SimTerminal.h"
#include "TextUtils.h"

namespace quorvel::sim {

namespace {

constexpr std::int64_t kIntMax = 2147483647;

std::string N(std::int64_t value) { return std::to_string(value); }

// Plain identity queries answer with a bare line; an empty value is "no data".
void BareValue(TSimCall& c, const std::string& value) {
  c.Expect(0, 0);
  TSimCall::Need(value);
  c.Line(TSimCall::W(value));
}

void QuotedValue(TSimCall& c, const std::string& value) {
  c.Expect(0, 0);
  TSimCall::Need(value);
  c.Data(TSimCall::Q(value));
}

void At(TSimCall& c) { c.Expect(0, 0); }
void Whwv(TSimCall& c) { QuotedValue(c, c.S.HardwareVersion); }
void Wdwl(TSimCall& c) { QuotedValue(c, c.S.LoaderVersion); }
void Wdop(TSimCall& c) { QuotedValue(c, c.S.ProductionDate); }
void Cgmi(TSimCall& c) { BareValue(c, c.S.Manufacturer); }
void Cgmm(TSimCall& c) { BareValue(c, c.S.Model); }
void Cgmr(TSimCall& c) { BareValue(c, c.S.OsVersion); }
void Cgsn(TSimCall& c) { BareValue(c, c.S.FactoryNumber); }

void Cclk(TSimCall& c) {
  std::string clock = c.S.Clock;
  if (clock.empty()) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm tm{};
    gmtime_r(&now, &tm);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%y/%m/%d,%H:%M:%S", &tm);
    clock = text.data();
  }
  QuotedValue(c, clock);
}

void SmTryCountQuery(TSimCall& c) {
  c.Expect(0, 0);
  if (!c.S.RetryCount) TSimCall::Refuse(8);
  c.Data(N(*c.S.RetryCount));
}

void SmTryCount(TSimCall& c) {
  c.Expect(1, 1);
  c.S.RetryCount = c.Int(0, 1, 100);
}

void GlobalOpQuery(TSimCall& c) {
  c.Expect(0, 0);
  c.Data(N(c.S.ActiveSystem));
}

void GlobalOp(TSimCall& c) {
  c.Expect(1, 1);
  const std::int32_t id = c.Int(0, -kIntMax, kIntMax);
  if (c.S.SupportedSystems.count(id) == 0) TSimCall::Refuse(1);
  c.S.ActiveSystem = id;
}

void SmSn(TSimCall& c) {
  c.Expect(0, 1);
  if (c.Count() == 0) {
    TSimCall::Need(c.S.SerialNumber);
    c.Data(TSimCall::W(c.S.SerialNumber));
    return;
  }
  const std::string serial = c.Raw(0);
  if (Utf8Length(serial) != 8) TSimCall::Refuse(1);  // characters on the wire, one byte each
  c.S.SerialNumber = serial;
}

void SmSnTerm(TSimCall& c) {
  c.Expect(0, 0);
  TSimCall::Need(c.S.TerminalNumber);
  c.Data(TSimCall::W(c.S.TerminalNumber));
}

void SmState(TSimCall& c) {
  c.Expect(0, 0);
  std::string fields = fmt::format("{},{},{},{}", c.S.ModemState, c.S.SignalLevel,
                                   TSimCall::W(c.S.QueuedPayments),
                                   TSimCall::W(c.S.FreePositions));
  if (c.S.VoltageTenths) fields += "," + N(*c.S.VoltageTenths);
  c.Data(fields);
}

void SmBackLoad(TSimCall& c) {
  c.Expect(0, 0);
  if (!c.Backup) TSimCall::Refuse(8);
  TSimState restored = *c.Backup;
  // identity, versions, device state and clock belong to the device, not to its settings
  restored.HardwareVersion = c.S.HardwareVersion;
  restored.LoaderVersion = c.S.LoaderVersion;
  restored.Manufacturer = c.S.Manufacturer;
  restored.Model = c.S.Model;
  restored.OsVersion = c.S.OsVersion;
  restored.FactoryNumber = c.S.FactoryNumber;
  restored.ProductionDate = c.S.ProductionDate;
  restored.TerminalNumber = c.S.TerminalNumber;
  restored.Clock = c.S.Clock;
  restored.ModemState = c.S.ModemState;
  restored.SignalLevel = c.S.SignalLevel;
  restored.QueuedPayments = c.S.QueuedPayments;
  restored.FreePositions = c.S.FreePositions;
  restored.VoltageTenths = c.S.VoltageTenths;
  restored.SupportedSystems = c.S.SupportedSystems;
  c.S = std::move(restored);
}

bool IsGuid(const std::string& text) {
  if (text.size() != 36) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash != (text[i] == '-')) return false;
    if (!dash && !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

void SmGuid(TSimCall& c) {
  c.Expect(2, 2);
  const std::string which = c.Text(0);
  const std::string guid = c.Text(1);
  if (!IsGuid(guid)) TSimCall::Refuse(1);
  if (which == "CLIENT") {
    c.S.ClientGuid = guid;
  } else if (which == "SENDER") {
    c.S.SenderGuid = guid;
  } else if (which == "RECEIVER") {
    c.S.ReceiverGuid = guid;
  } else {
    TSimCall::Refuse(1);
  }
}

void SmRsa(TSimCall& c) {
  static const std::array<const char*, 10> kParts = {
      "PUBMOD", "PUBEXP", "PRTMOD", "PRTEXP", "PRTP", "PRTQ", "PRTDP", "PRTDQ", "PRTIQ", "PRTD"};
  c.Expect(2, 2);
  const std::string part = c.Text(0);
  const std::string value = c.Text(1);
  if (std::find(kParts.begin(), kParts.end(), part) == kParts.end()) TSimCall::Refuse(1);
  c.S.Rsa[part] = value;
}

void SmServ(TSimCall& c) {
  c.Expect(0, 2);
  if (c.Count() == 0) {
    TSimCall::Need(c.S.ServerAddress);
    c.Data(TSimCall::Q(c.S.ServerAddress) + "," + N(c.S.ServerPort));
    return;
  }
  c.Expect(2, 2);
  const std::string address = c.Text(0);
  const std::int32_t port = c.Int(1, 0, 65535);
  if (address.empty()) TSimCall::Refuse(1);
  c.S.ServerAddress = address;
  c.S.ServerPort = port;
}

void SmServerName(TSimCall& c) {
  c.Expect(1, 2);
  const std::int32_t action = c.Int(0, 1, 2);
  if (action == 1) {
    c.Expect(1, 1);
    TSimCall::Need(c.S.ServerName);
    c.Data(TSimCall::Q(c.S.ServerName));
    return;
  }
  c.Expect(2, 2);
  c.S.ServerName = c.Text(1);
}

void SmSimSetup(TSimCall& c) {
  c.Expect(1, 7);
  const std::int32_t slot = c.Int(0, 1, 2);
  TSimSlot& sim = c.S.Sims[static_cast<std::size_t>(slot - 1)];
  if (c.Count() == 1) {
    if (!sim.Present) TSimCall::Refuse(8);
    c.Data(fmt::format("{},{},{},{},{},{}", slot, sim.Enabled ? 1 : 0, TSimCall::Q(sim.Apn),
                       TSimCall::Q(sim.Login), TSimCall::Q(sim.Password), sim.Priority ? 1 : 0));
    return;
  }
  if (c.Count() == 2) {
    if (c.Int(1, 2, 2) == 2) sim = TSimSlot{};
    return;
  }
  c.Expect(7, 7);
  TSimSlot next;
  next.Present = true;
  next.Enabled = c.Int(1, 0, 1) == 1;
  next.Pin = c.Raw(2);
  next.Apn = c.Text(3);
  next.Login = c.Text(4);
  next.Password = c.Text(5);
  next.Priority = c.Int(6, 0, 1) == 1;
  const bool pinOk = next.Pin.size() == 4 &&
      std::all_of(next.Pin.begin(), next.Pin.end(), [](char ch) { return ch >= '0' && ch <= '9'; });
  if (!pinOk || next.Apn.empty()) TSimCall::Refuse(1);
  sim = next;
}

void ReceiptLine(TSimCall& c, std::array<std::string, 10>& lines) {
  c.Expect(1, 2);
  const std::int32_t number = c.Int(0, 1, 10);
  std::string& line = lines[static_cast<std::size_t>(number - 1)];
  if (c.Count() == 1) {
    if (!c.S.KeepsEmptyLines) TSimCall::Need(line);
    c.Data(N(number) + "," + TSimCall::Q(line));
    return;
  }
  line = c.Text(1);
}

void SmHeader(TSimCall& c) { ReceiptLine(c, c.S.Header); }
void SmReklam(TSimCall& c) { ReceiptLine(c, c.S.Trailer); }

void SmFee(TSimCall& c) {
  c.Expect(3, 6);
  const std::int32_t action = c.Int(0, 0, 1);
  const std::int32_t table = c.Int(1, 1, 10);
  const std::int32_t slot = c.Int(2, 1, 10);
  auto& rate = c.S.Fees[static_cast<std::size_t>(table - 1)].Rates[static_cast<std::size_t>(slot - 1)];
  if (action == 0) {
    c.Expect(3, 3);
    if (!rate) TSimCall::Refuse(8);
    c.Data(fmt::format("{},{},{},{},{}", table, slot, rate->MaxSum, rate->Type, rate->Value));
    return;
  }
  c.Expect(6, 6);
  TSimFeeRate next;
  next.MaxSum = c.Int(3, 0, kIntMax);
  next.Type = c.Int(4, 0, kIntMax);
  next.Value = c.Int(5, 0, kIntMax);
  rate = next;
}

void SmFeeScheme(TSimCall& c) {
  c.Expect(1, 2);
  const std::int32_t table = c.Int(0, 1, 10);
  auto& scheme = c.S.Fees[static_cast<std::size_t>(table - 1)].Scheme;
  if (c.Count() == 1) {
    if (!scheme) TSimCall::Refuse(8);
    c.Data(N(table) + "," + N(*scheme));
    return;
  }
  scheme = c.Int(1, 0, kIntMax);
}

using namespace transfers;

constexpr TSimCommandDef kCommands[] = {
    {"AT", false, At},
    {"WHWV", false, Whwv},
    {"WDWL?", false, Wdwl},
    {"CGMI", false, Cgmi},
    {"CGMM", false, Cgmm},
    {"CGMR", false, Cgmr},
    {"CGSN", false, Cgsn},
    {"CCLK?", false, Cclk},
    {"WDOP", false, Wdop},
    {"SMTRYCOUNT?", false, SmTryCountQuery},
    {"SMTRYCOUNT", false, SmTryCount},
    {"GLOBALOP?", false, GlobalOpQuery},
    {"GLOBALOP", false, GlobalOp},
    {"SMSN", true, SmSn},
    {"SMSNTERM", true, SmSnTerm},
    {"SMSTATE", true, SmState},
    {"SMBACKLOAD", true, SmBackLoad},
    {"SMGUID", true, SmGuid},
    {"SMRSA", true, SmRsa},
    {"SMSERV", true, SmServ},
    {"SMSERVERNAME", true, SmServerName},
    {"SMSIMSETUP", true, SmSimSetup},
    {"SMHEADER", true, SmHeader},
    {"SMREKLAM", true, SmReklam},
    {"SMFEE", true, SmFee},
    {"SMFEESCHEME", true, SmFeeScheme},
    {"SMCRSALEPOINT", true, SmCrSalePoint},
    {"SMCRSECSET", true, SmCrSecSet},
    {"SMCRPUBSET", true, SmCrPubSet},
    {"EPCARD", true, EpCard},
    {"EPPOINT", true, EpPoint},
    {"XPCASSIR", true, XpCassir},
    {"XPKEY", true, XpKey},
    {"OSMPPARAMS", true, OsmpParams},
    {"OSMPID", true, OsmpId},
    {"SMEASYPAY", true, SmEasyPay},
    {"SMKRASPLAT", true, SmKrasplat},
    {"SMBERCUT", true, SmBercut},
    {"SMABSOLUTPLAT", true, SmAbsolutplat},
    {"SMEUROFON", true, SmEurofon},
    {"SMSPB", true, SmSpb},
    {"SMSCRIPT", true, SmScript},
    {"SAVEXML", true, SaveXml},
    {"LOADXML", true, LoadXml},
    {"SAVEPHONEBASE", true, SavePhoneBase},
    {"LOADPHONEBASE", true, LoadPhoneBase},
};

}  // namespace

const TSimCommandDef* FindSimCommand(const std::string& name) {
  for (const auto& def : kCommands) {
    if (name == def.Name) return &def;
  }
  return nullptr;
}

}  // namespace quorvel::sim
