// Identity, status, server, SIM, receipt lines, fees and the active payment system.
#include "AnswerFields.h"
#include "Cp1251.h"
#include "ModemDriver.h"
#include "TextUtils.h"

#include <fmt/printf.h>

namespace quorvel {

namespace {

constexpr int kStateTimeoutMs = 1000;  // SMSTATE answers fast or not at all
constexpr std::size_t kApnLength = 50;   // characters of the APN kept from a read
constexpr std::size_t kLoginLength = 20; // characters of the login kept from a read

}  // namespace

int TModemDriver::ReadAlways(const char* name, bool sequenced, const char* progress, std::string& out) {
  Begin(name, sequenced);
  const int result = RunWith(progress);
  out = DataField(Command(), 0);
  return result;
}

int TModemDriver::GetHardwareVersion(std::string& version) {
  Begin("WHWV", false);
  // No text of its own: the previous operation's text stays on screen.
  const int result = Run();
  version = DataField(Command(), 0);
  return result;
}

int TModemDriver::GetSerialNumber(std::string& serial) {
  return ReadAlways("SMSN", true, "Запрос серийного номера", serial);
}

int TModemDriver::SetSerialNumber(const std::string& serial) {
  Begin("SMSN", true).Params().Add(serial);
  return RunWith("Запись серийного номера");
}

int TModemDriver::GetLoaderVersion(std::string& version) {
  return ReadAlways("WDWL?", false, "Запрос версии загрузчика", version);
}

int TModemDriver::GetManufacturer(std::string& text) {
  return ReadAlways("CGMI", false, "Запрос названия производителя", text);
}

int TModemDriver::GetModel(std::string& text) { return ReadAlways("CGMM", false, "Запрос названия модели", text); }

int TModemDriver::GetModelVersion(std::string& text) {
  return ReadAlways("CGMR", false, "Запрос версии модели", text);
}

int TModemDriver::GetModemSerialNumber(std::string& text) {
  return ReadAlways("CGSN", false, "Запрос серийного номера модема", text);
}

int TModemDriver::ProbeModemSerialNumber(std::string& text, int timeoutMs) {
  Begin("CGSN", false).SetTimeout(timeoutMs);
  Command().SetProgressText("Запрос серийного номера модема");
  const int attempts = maxRetryCount_;
  maxRetryCount_ = 1;
  int result = kResultNoLink;
  try {
    result = Run();
  } catch (...) {
    maxRetryCount_ = attempts;
    throw;
  }
  maxRetryCount_ = attempts;
  text = DataField(Command(), 0);
  return result;
}

int TModemDriver::GetDateTime(std::string& text) {
  // The clock's data line is followed by OK; completing at the data line would leave that OK
  // to arrive during the next command.
  Begin("CCLK?", false).SetWaitForOk(true);
  const int result = RunWith("Запрос даты и времени");
  text = DataField(Command(), 0);
  return result;
}

int TModemDriver::GetProductionDate(std::string& text) {
  return ReadAlways("WDOP", false, "Запрос даты выпуска", text);
}

int TModemDriver::GetTerminalNumber(std::string& text) {
  return ReadAlways("SMSNTERM", true, "Запрос номера терминала", text);
}

int TModemDriver::GetDeviceState(TDeviceStateRec& state) {
  state.ModemStateValid = false;
  state.HasVoltage = false;
  Begin("SMSTATE", true).SetTimeout(kStateTimeoutMs);
  const int result = RunWith("Запрос состояния модема");
  if (result != kResultOk) {
    state.VoltageText = kNoDataText;
    return result;
  }
  const TCommand& command = Command();
  std::int64_t number = 0;
  state.ModemState = DataIntOr(command, 0, 0);
  state.ModemStateValid = TryStrToInt64(DataFieldRaw(command, 0), number) && number == state.ModemState;
  state.QueuedPayments = DataField(command, 2);
  state.FreePositions = DataField(command, 3);
  const std::string voltage = DataFieldRaw(command, 4);
  if (!voltage.empty()) {
    state.HasVoltage = true;
    if (TryStrToInt64(voltage, number)) {
      state.Voltage = static_cast<double>(number) / 10.0;
      state.VoltageText = fmt::sprintf("%.1f", state.Voltage);
    }
  }
  return result;
}

int TModemDriver::RestoreBackup() {
  Begin("SMBACKLOAD", true);
  return RunWith("Восстановление текущих настроек из резервной копии");
}

int TModemDriver::SendGuid(const char* kind, const std::string& guid, const char* progress) {
  TCommandParams& params = Begin("SMGUID", true).Params();
  params.AppendQuoted(kind);
  params.AppendGuid(guid);
  return RunWith(progress);
}

int TModemDriver::SetClientGuid(const std::string& guid) {
  return SendGuid("CLIENT", guid, "Запись GUID клиента");
}

int TModemDriver::SetSenderGuid(const std::string& guid) {
  return SendGuid("SENDER", guid, "Запись GUID отправителя");
}

int TModemDriver::SetReceiverGuid(const std::string& guid) {
  return SendGuid("RECEIVER", guid, "Запись GUID получателя");
}

int TModemDriver::SetRsaPart(const std::string& partName, const std::string& value) {
  TCommandParams& params = Begin("SMRSA", true).Params();
  params.AppendQuoted(partName);
  params.AppendQuoted(value);
  return RunWith("Запись ключа RSA");
}

int TModemDriver::SetServer(const std::string& address, int port) {
  TCommandParams& params = Begin("SMSERV", true).Params();
  params.AppendQuoted(address);
  params.AppendInt(port);
  return RunWith("Запись параметров сервера");
}

int TModemDriver::GetServer(std::string& address, std::string& port) {
  Begin("SMSERV", true);
  const int result = RunWith("Запрос параметров сервера");
  address = DataField(Command(), 0);
  port = DataField(Command(), 1);
  return result;
}

int TModemDriver::GetServerName(std::string& name) {
  TCommand& command = Begin("SMSERVERNAME", true);
  // Terminals answer this one with a checksum that does not add up; it is taken as it is.
  command.SetCheckCrc(false);
  command.Params().AppendInt(1);
  const int result = RunWith("Чтение адреса сервера");
  name = DataField(command, 0);
  return result;
}

int TModemDriver::SetServerName(const std::string& name) {
  TCommandParams& params = Begin("SMSERVERNAME", true).Params();
  params.AppendInt(2);
  params.AppendQuoted(name);
  return RunWith("Запись адреса сервера");
}

int TModemDriver::GetTryCount(int& count) {
  Begin("SMTRYCOUNT?", false);
  const int result = RunWith("Получение количества повторов");
  if (Succeeded(result)) count = DataIntOr(Command(), 0, 0);
  return result;
}

int TModemDriver::SetTryCount(int count) {
  Begin("SMTRYCOUNT", false).Params().AppendInt(count);
  return RunWith("Запись количества повторов");
}

int TModemDriver::SetSimCard(const TSimCardRec& card) {
  TCommandParams& params = Begin("SMSIMSETUP", true).Params();
  params.AppendInt(card.SlotNumber);
  params.AppendBool(card.Enabled);
  params.Add(card.Pin);
  params.AppendQuoted(card.Apn);
  params.AppendQuoted(card.Login);
  params.AppendQuoted(card.Password);
  params.AppendBool(card.Priority);
  return RunWith("Запись параметров SIM-карты");
}

int TModemDriver::DeleteSimCard(int slotNumber) {
  TCommandParams& params = Begin("SMSIMSETUP", true).Params();
  params.AppendInt(slotNumber);
  params.AppendInt(2);
  return RunWith("Удаление SIM-карты");
}

int TModemDriver::GetSimCard(TSimCardRec& card) {
  Begin("SMSIMSETUP", true).Params().AppendInt(card.SlotNumber);
  const int result = RunWith("Запрос параметров SIM-карты");
  card.Apn.clear();
  card.Login.clear();
  card.Password.clear();
  card.Enabled = false;
  card.Priority = false;
  if (!Succeeded(result)) return result;
  const TCommand& command = Command();
  card.Enabled = DataBool(command, 1);
  // windows-1251 has one byte per character, so the limits cut the wire bytes.
  card.Apn = Cp1251ToUtf8(DataFieldRaw(command, 2).substr(0, kApnLength));
  card.Login = Cp1251ToUtf8(DataFieldRaw(command, 3).substr(0, kLoginLength));
  card.Password = DataField(command, 4);
  card.Priority = DataBool(command, 5);
  return result;
}

int TModemDriver::GetHeaderLine(int lineNumber, std::string& text) {
  Begin("SMHEADER", true).Params().AppendInt(lineNumber);
  const int result = RunWith("Чтение строки клише");
  if (Succeeded(result)) text = DataField(Command(), 1);
  return result;
}

int TModemDriver::SetHeaderLine(int lineNumber, const std::string& text) {
  TCommandParams& params = Begin("SMHEADER", true).Params();
  params.AppendInt(lineNumber);
  params.AppendQuoted(text);
  return RunWith("Запись строки клише");
}

int TModemDriver::GetReklamLine(int lineNumber, std::string& text) {
  Begin("SMREKLAM", true).Params().AppendInt(lineNumber);
  const int result = RunWith("Чтение строки рекламного текста");
  if (Succeeded(result)) text = DataField(Command(), 1);
  return result;
}

int TModemDriver::SetReklamLine(int lineNumber, const std::string& text) {
  TCommandParams& params = Begin("SMREKLAM", true).Params();
  params.AppendInt(lineNumber);
  params.AppendQuoted(text);
  return RunWith("Запись строки рекламного текста");
}

int TModemDriver::SetFee(int table, int slot, int maxSum, int feeType, int feeValue) {
  TCommandParams& params = Begin("SMFEE", true).Params();
  for (int value : {1, table, slot, maxSum, feeType, feeValue}) params.AppendInt(value);
  return RunWith("Запись ставки комиссии");
}

int TModemDriver::GetFee(int table, int slot, int& maxSum, int& feeType, int& feeValue) {
  TCommandParams& params = Begin("SMFEE", true).Params();
  for (int value : {0, table, slot}) params.AppendInt(value);
  const int result = RunWith("Чтение ставки комиссии");
  if (!Succeeded(result)) return result;
  // All three are converted before any is stored: a bad answer changes nothing.
  const int sum = DataInt(Command(), 2);
  const int type = DataInt(Command(), 3);
  const int value = DataInt(Command(), 4);
  maxSum = sum;
  feeType = type;
  feeValue = value;
  return result;
}

int TModemDriver::SetFeeScheme(int table, int scheme) {
  TCommandParams& params = Begin("SMFEESCHEME", true).Params();
  params.AppendInt(table);
  params.AppendInt(scheme);
  return RunWith("Запись схемы комиссий");
}

int TModemDriver::GetFeeScheme(int table, int& scheme) {
  Begin("SMFEESCHEME", true).Params().AppendInt(table);
  const int result = RunWith("Чтение схемы комиссий");
  if (Succeeded(result)) scheme = DataInt(Command(), 1);
  return result;
}

int TModemDriver::GetPaymentSystem(int& id) {
  Begin("GLOBALOP?", false);
  const int result = RunWith("Запрос активной платежной системы");
  if (Succeeded(result)) id = DataIntOr(Command(), 0, -1);
  return result;
}

int TModemDriver::SetPaymentSystem(int id) {
  Begin("GLOBALOP", false).Params().AppendInt(id);
  return RunWith("Установка активной платежной системы");
}

}  // namespace quorvel
