// Payment-system settings: points, keys, cards, agent and device ids, key-file packets.
#include "AnswerFields.h"
#include "ModemDriver.h"

namespace quorvel {

namespace {

struct TKeyFileCommand {
  const char* Name;
  int Selector;
  const char* Progress;
};

TKeyFileCommand KeyFileCommand(TKeyFile file) {
  switch (file) {
    case TKeyFile::EasyPayKey:
      return {"SMEASYPAY", 1, "Запись ключа системы \"Легко и удобно\""};
    case TKeyFile::EasyPayCertificate:
      return {"SMEASYPAY", 2, "Запись сертификата системы \"Легко и удобно\""};
    case TKeyFile::KrasplatKey:
      return {"SMKRASPLAT", 1, "Запись ключа системы \"ПлатеЖКа\""};
    case TKeyFile::KrasplatCertificate:
      return {"SMKRASPLAT", 2, "Запись сертификата системы \"ПлатеЖКа\""};
    case TKeyFile::KrasplatCodeWord:
      return {"SMKRASPLAT", 3, "Запись кодового слова системы \"ПлатеЖКа\""};
    case TKeyFile::AbsolutplatCodeWord:
      return {"SMABSOLUTPLAT", 3, "ABSOLUTPLAT: запись кодового слова"};
    case TKeyFile::EurofonCodeWord:
      return {"SMEUROFON", 3, "EUROFON: запись кодового слова"};
  }
  return {"SMEASYPAY", 1, ""};
}

// Command name and the progress texts of selectors 1, 2, 4 and 5.
struct TAgentCommand {
  const char* Name;
  const char* Texts[4];
};

TAgentCommand AgentCommandOf(TAgentSystem system) {
  switch (system) {
    case TAgentSystem::Absolutplat:
      return {"SMABSOLUTPLAT",
              {"ABSOLUTPLAT: запись ID агента", "ABSOLUTPLAT: запись ID устройства", "ABSOLUTPLAT: чтение ID агента",
               "ABSOLUTPLAT: чтение ID устройства"}};
    case TAgentSystem::Eurofon:
      return {"SMEUROFON",
              {"EUROFON: запись ID агента", "EUROFON: запись ID устройства", "EUROFON: чтение ID агента",
               "EUROFON: чтение ID устройства"}};
    case TAgentSystem::UbsPay:
      return {"SMSPB",
              {"ОБС: запись ID агента", "ОБС: запись ID устройства", "ОБС: чтение ID агента",
               "ОБС: чтение ID устройства"}};
  }
  return {"SMSPB", {"", "", "", ""}};
}

}  // namespace

int TModemDriver::SetCyberplatPoint(const std::string& dealer, const std::string& point, const std::string& op) {
  TCommandParams& params = Begin("SMCRSALEPOINT", true).Params();
  params.Add(dealer);
  params.Add(point);
  params.Add(op);
  return RunWith("Запись параметров точки CyberPlat");
}

int TModemDriver::SetCyberplatSecretKey(const std::string& keyCode, const std::string& rest, const std::string& body,
                                        const std::string& password) {
  TCommandParams& params = Begin("SMCRSECSET", true).Params();
  params.AppendQuoted(keyCode);
  params.Add(rest);
  params.AppendQuoted(body);
  params.AppendQuoted(password);
  return RunWith("Запись секретного ключа CyberPlat");
}

int TModemDriver::SetCyberplatPublicKey(const std::string& keyCode, const std::string& rest, const std::string& body) {
  TCommandParams& params = Begin("SMCRPUBSET", true).Params();
  params.AppendQuoted(keyCode);
  params.Add(rest);
  params.AppendQuoted(body);
  return RunWith("Запись открытого ключа CyberPlat");
}

int TModemDriver::SetEPortCard(const std::string& cardNumber, const std::string& pin) {
  TCommandParams& params = Begin("EPCARD", true).Params();
  params.AppendQuoted(cardNumber);
  params.AppendQuoted(pin);
  return RunWith("Запись параметров карты e-port");
}

int TModemDriver::SetEPortPoint(const std::string& pointName) {
  Begin("EPPOINT", true).Params().AppendQuoted(pointName);
  return RunWith("Запись названия точки e-port");
}

int TModemDriver::SetXPlatCashier(const std::string& point, const std::string& login, const std::string& password) {
  TCommandParams& params = Begin("XPCASSIR", true).Params();
  params.AppendQuoted(point);
  params.AppendQuoted(login);
  params.AppendQuoted(password);
  return RunWith("Запись параметров точки X-Plat");
}

int TModemDriver::SetXPlatKey(const std::string& keyText) {
  Begin("XPKEY", true).Params().AppendQuoted(keyText);
  return RunWith("Запись секретного ключа X-Plat");
}

int TModemDriver::SetOsmpParams(const std::string& login, const std::string& password) {
  TCommandParams& params = Begin("OSMPPARAMS", true).Params();
  params.AppendQuoted(login);
  params.AppendQuoted(password);
  return RunWith("Запись логина и пароля ОСМП");
}

int TModemDriver::SetOsmpId(const std::string& terminalId) {
  Begin("OSMPID", true).Params().AppendQuoted(terminalId);
  return RunWith("Запись номера терминала ОСМП");
}

int TModemDriver::SendKeyFilePacket(TKeyFile file, int packetNumber, std::string_view base64Text) {
  const TKeyFileCommand target = KeyFileCommand(file);
  TCommandParams& params = Begin(target.Name, true).Params();
  params.AppendInt(target.Selector);
  params.AppendInt(packetNumber);
  params.AppendQuoted(base64Text);
  return RunWith(target.Progress);
}

int TModemDriver::SetKrasplatDeviceNumber(const std::string& deviceNumber) {
  TCommandParams& params = Begin("SMKRASPLAT", true).Params();
  params.AppendInt(4);
  params.AppendInt(0);  // no packets: the number fits one command
  params.AppendQuoted(deviceNumber);
  return RunWith("Запись номера устройства системы \"ПлатеЖКа\"");
}

int TModemDriver::SetBercutDeviceId(const std::string& deviceId) {
  TCommandParams& params = Begin("SMBERCUT", true).Params();
  params.AppendInt(2);
  params.AppendQuoted(deviceId);
  return RunWith("BERCUT: запись ID устройства");
}

int TModemDriver::AgentCommand(TAgentSystem system, int selector, const std::string* value, std::string* out) {
  const TAgentCommand target = AgentCommandOf(system);
  TCommandParams& params = Begin(target.Name, true).Params();
  params.AppendInt(selector);
  if (value != nullptr) params.AppendQuoted(*value);
  const int textIndex = selector <= 2 ? selector - 1 : selector - 2;
  const int result = RunWith(target.Texts[textIndex]);
  if (out != nullptr && Succeeded(result)) *out = DataField(Command(), 0);
  return result;
}

int TModemDriver::SetAgentId(TAgentSystem system, const std::string& agentId) {
  return AgentCommand(system, 1, &agentId, nullptr);
}

int TModemDriver::SetDeviceId(TAgentSystem system, const std::string& deviceId) {
  return AgentCommand(system, 2, &deviceId, nullptr);
}

int TModemDriver::GetAgentId(TAgentSystem system, std::string& agentId) {
  return AgentCommand(system, 4, nullptr, &agentId);
}

int TModemDriver::GetDeviceId(TAgentSystem system, std::string& deviceId) {
  return AgentCommand(system, 5, nullptr, &deviceId);
}

int TModemDriver::SetUbsPayUrl(const std::string& url) {
  TCommandParams& params = Begin("SMSPB", true).Params();
  params.AppendInt(3);
  params.AppendQuoted(url);
  return RunWith("ОБС: запись URL");
}

}  // namespace quorvel
