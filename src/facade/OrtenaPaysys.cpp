// Payment-system operations: scripts, identities and keys, per-value settings, updates.
#include "Absolutplat.h"
#include "AppDocXml.h"
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
#include "OrtenaGuards.h"
#include "Ortenas.h"
#include "PrivateKey.h"
#include "ScriptDefXml.h"
#include "UbsPay.h"
#include "WireText.h"
#include "XPlat.h"

#include <utility>
#include <vector>

namespace quorvel {

// ---- scripts ----

void TOrtena::WriteScripts(const TPaymentSystem& system) {
  TClearStatusGuard clear(*this);
  const TScripts& scripts = system.Scripts();
  for (int i = 0; i < scripts.Count(); ++i)
    (void)ScriptWireText(scripts.Items(i).Number(), scripts.Items(i).Text());
  EnsureActiveSystem(system);
  for (int i = 0; i < scripts.Count(); ++i) {
    const TScript& script = scripts.Items(i);
    WriteScriptText(script.Number(), script.Text());
  }
}

void TOrtena::ReadScripts(TPaymentSystem& system) {
  TClearStatusGuard clear(*this);
  EnsureActiveSystem(system);
  TScripts& scripts = system.Scripts();
  // The built-in scripts belong to the program, not to the terminal's settings: they are not
  // read back (their text cannot be changed anyway). The texts are taken over only when all
  // were read, so a failure half way leaves the list as it was.
  std::vector<std::string> texts(static_cast<std::size_t>(scripts.Count()));
  for (int i = 0; i < scripts.Count(); ++i)
    if (scripts.Items(i).Editable())
      texts[static_cast<std::size_t>(i)] = ReadScriptText(scripts.Items(i).Number());
  for (int i = 0; i < scripts.Count(); ++i)
    if (scripts.Items(i).Editable()) scripts.Items(i).SetText(texts[static_cast<std::size_t>(i)]);
}

std::string TOrtena::ReadScriptText(std::int32_t number) { return driver_->ReadScript(number); }

void TOrtena::WriteScriptText(std::int32_t number, const std::string& text) {
  driver_->WriteScript(number, text);
}

// ---- systems that check the active system first ----

void TOrtena::CheckMasterPort(const TMasterPortProtocol& system) {
  system.Check();
  CheckSerialNumber(system.SerialNumber);
  for (const std::string* guid : {&system.ApplicationID, &system.SenderID, &system.ReceiverID})
    TCommandParams::CheckGuid(*guid);
}

void TOrtena::WriteMasterPort(const TMasterPortProtocol& system) {
  TClearStatusGuard clear(*this);
  CheckMasterPort(system);
  EnsureActiveSystem(system);
  if (system.TestSettings && !Ask(kTestSettingsQuestion)) RaiseAbort();
  WriteSerialNumber(system.SerialNumber);
  driver_->CheckResultStrict(driver_->SetClientGuid(system.ApplicationID));
  driver_->CheckResultStrict(driver_->SetSenderGuid(system.SenderID));
  driver_->CheckResultStrict(driver_->SetReceiverGuid(system.ReceiverID));
  driver_->CheckResultStrict(driver_->SetRsaPart("PUBMOD", system.ServerPublicKey.Modulus));
  driver_->CheckResultStrict(driver_->SetRsaPart("PUBEXP", system.ServerPublicKey.Exponent));
  WritePrivateKey(system.ApplicationPrivateKey);
}

void TOrtena::RestoreBackup(const TMasterPortProtocol& system) {
  TClearStatusGuard clear(*this);
  EnsureActiveSystem(system);
  driver_->CheckResultStrict(driver_->RestoreBackup());
}

void TOrtena::WriteCyberplat(const TCyberplat& system) {
  TClearStatusGuard clear(*this);
  system.Check();
  EnsureActiveSystem(system);
  const TCyberplatPoint& point = system.CyberplatPoint;
  driver_->CheckResultStrict(driver_->SetCyberplatPoint(point.SD, point.AP, point.OP));
  const TCyberplatKey& secret = system.SecretKey;
  driver_->CheckResultStrict(
      driver_->SetCyberplatSecretKey(secret.KeyName, secret.KeyNum, secret.Key, system.Password));
  const TCyberplatKey& pub = system.PublicKey;
  driver_->CheckResultStrict(driver_->SetCyberplatPublicKey(pub.KeyName, pub.KeyNum, pub.Key));
}

void TOrtena::WriteEPort(const TEPort& system) {
  TClearStatusGuard clear(*this);
  system.Check();
  EnsureActiveSystem(system);
  driver_->CheckResultStrict(driver_->SetEPortCard(system.CardNumber, system.CardPin));
  driver_->CheckResultStrict(driver_->SetEPortPoint(system.Point));
}

void TOrtena::WriteXPlat(const TXPlat& system) {
  TClearStatusGuard clear(*this);
  system.Check();
  EnsureActiveSystem(system);
  driver_->CheckResultStrict(driver_->SetXPlatCashier(system.Point, system.Login, system.Password));
  driver_->CheckResultStrict(driver_->SetXPlatKey(system.Key));
}

void TOrtena::WriteOSMP(const TOSMPProtocol& system) {
  TClearStatusGuard clear(*this);
  system.Check();
  EnsureActiveSystem(system);
  driver_->CheckResultStrict(driver_->SetOsmpParams(system.Login, system.Password));
  driver_->CheckResultStrict(driver_->SetOsmpId(system.TerminalID));
}

// ---- per-value operations ----

void TOrtena::WritePrivateKey(const TPrivateKey& key) {
  const std::pair<const char*, const std::string*> parts[] = {
      {"PRTMOD", &key.Modulus}, {"PRTEXP", &key.Exponent}, {"PRTP", &key.P},         {"PRTQ", &key.Q},
      {"PRTDP", &key.DP},       {"PRTDQ", &key.DQ},        {"PRTIQ", &key.InverseQ}, {"PRTD", &key.D},
  };
  for (const auto& part : parts) CheckWireText(*part.second, kPrivateKeyCaption);
  for (const auto& [name, value] : parts) driver_->CheckResultStrict(driver_->SetRsaPart(name, *value));
}

void TOrtena::WritePrivateKeyPem(const std::string& pemText) {
  TPrivateKey key;
  TOpenSSL().DecodePrivateKey(pemText, key);
  WritePrivateKey(key);
}

void TOrtena::WriteEasyPayKey(const std::string& fileName) {
  driver_->WriteKeyFile(TKeyFile::EasyPayKey, fileName);
}

void TOrtena::WriteEasyPayCertificate(const std::string& fileName) {
  driver_->WriteKeyFile(TKeyFile::EasyPayCertificate, fileName);
}

void TOrtena::WriteKrasplatKey(const std::string& fileName) {
  driver_->WriteKeyFile(TKeyFile::KrasplatKey, fileName);
}

void TOrtena::WriteKrasplatCertificate(const std::string& fileName) {
  driver_->WriteKeyFile(TKeyFile::KrasplatCertificate, fileName);
}

void TOrtena::WriteKrasplatCodeWord(const std::string& fileName) {
  driver_->WriteKeyFile(TKeyFile::KrasplatCodeWord, fileName);
}

TPaysysFileData TOrtena::ReadPaysysFiles(const TPaymentSystem& system, bool skipUnnamed) {
  const auto ReadFileText = [skipUnnamed](const std::string& name) {
    return skipUnnamed && name.empty() ? std::string() : quorvel::ReadFileText(name);
  };
  TPaysysFileData data;
  if (const auto* easyPay = dynamic_cast<const TEasyPay*>(&system)) {
    data.Key = ReadFileText(easyPay->KeyFileName);
    data.Certificate = ReadFileText(easyPay->CerFileName);
  } else if (const auto* krasplat = dynamic_cast<const TKrasplat*>(&system)) {
    data.Key = ReadFileText(krasplat->KeyFileName);
    data.Certificate = ReadFileText(krasplat->CerFileName);
    data.CodeWord = ReadFileText(krasplat->WordFileName);
  } else if (const auto* absolutplat = dynamic_cast<const TAbsolutplat*>(&system)) {
    data.CodeWord = ReadFileText(absolutplat->WordFileName);
  } else if (const auto* eurofon = dynamic_cast<const TEurofon*>(&system)) {
    data.CodeWord = ReadFileText(eurofon->WordFileName);
  }
  return data;
}

void TOrtena::WriteEasyPay(const TEasyPay& system) { WriteEasyPay(system, ReadPaysysFiles(system)); }
void TOrtena::WriteKrasplat(const TKrasplat& system) { WriteKrasplat(system, ReadPaysysFiles(system)); }
void TOrtena::WriteAbsolutplat(const TAbsolutplat& system) {
  WriteAbsolutplat(system, ReadPaysysFiles(system));
}
void TOrtena::WriteEurofon(const TEurofon& system) { WriteEurofon(system, ReadPaysysFiles(system)); }

void TOrtena::WriteEasyPay(const TEasyPay&, const TPaysysFileData& files) {
  TClearStatusGuard clear(*this);
  driver_->WriteKeyFileData(TKeyFile::EasyPayKey, files.Key);
  driver_->WriteKeyFileData(TKeyFile::EasyPayCertificate, files.Certificate);
}

void TOrtena::WriteKrasplat(const TKrasplat& system, const TPaysysFileData& files) {
  TClearStatusGuard clear(*this);
  TKrasplat::CheckDeviceID(system.DeviceID);
  driver_->WriteKeyFileData(TKeyFile::KrasplatKey, files.Key);
  driver_->WriteKeyFileData(TKeyFile::KrasplatCertificate, files.Certificate);
  driver_->WriteKeyFileData(TKeyFile::KrasplatCodeWord, files.CodeWord);
  WriteKrasplatDeviceID(system.DeviceID);
}

void TOrtena::WriteAbsolutplat(const TAbsolutplat& system, const TPaysysFileData& files) {
  TClearStatusGuard clear(*this);
  TAbsolutplat::CheckDeviceID(system.DeviceID);
  TAbsolutplat::CheckAgentID(system.AgentID);
  driver_->WriteKeyFileData(TKeyFile::AbsolutplatCodeWord, files.CodeWord);
  WriteAbsolutplatDeviceID(system.DeviceID);
  WriteAbsolutplatAgentID(system.AgentID);
}

void TOrtena::WriteEurofon(const TEurofon& system, const TPaysysFileData& files) {
  TClearStatusGuard clear(*this);
  TEurofon::CheckDeviceID(system.DeviceID);
  TEurofon::CheckAgentID(system.AgentID);
  driver_->WriteKeyFileData(TKeyFile::EurofonCodeWord, files.CodeWord);
  WriteEurofonDeviceID(system.DeviceID);
  WriteEurofonAgentID(system.AgentID);
}

void TOrtena::WriteUbsPay(const TUbsPay& system) {
  TClearStatusGuard clear(*this);
  TUbsPay::CheckURL(system.URL);
  TUbsPay::CheckDeviceID(system.DeviceID);
  TUbsPay::CheckAgentID(system.AgentID);
  WriteUbsPayURL(system.URL);
  WriteUbsPayDeviceID(system.DeviceID);
  WriteUbsPayAgentID(system.AgentID);
}

void TOrtena::WriteBercut(const TBercut& system) {
  TClearStatusGuard clear(*this);
  WriteBercutDeviceID(system.DeviceID);
}

namespace {

// Agent id first, then device id, as the pages read them; the system takes both or neither.
template <class TSystem>
void ReadAgentAndDevice(TOrtena& facade, TSystem& system, std::string (TOrtena::*agentId)(),
                        std::string (TOrtena::*deviceId)()) {
  TClearStatusGuard clear(facade);
  std::string agent = (facade.*agentId)();
  std::string device = (facade.*deviceId)();
  system.AgentID = std::move(agent);
  system.DeviceID = std::move(device);
}

}  // namespace

void TOrtena::ReadAbsolutplat(TAbsolutplat& system) {
  ReadAgentAndDevice(*this, system, &TOrtena::ReadAbsolutplatAgentID, &TOrtena::ReadAbsolutplatDeviceID);
}

void TOrtena::ReadEurofon(TEurofon& system) {
  ReadAgentAndDevice(*this, system, &TOrtena::ReadEurofonAgentID, &TOrtena::ReadEurofonDeviceID);
}

void TOrtena::ReadUbsPay(TUbsPay& system) {
  ReadAgentAndDevice(*this, system, &TOrtena::ReadUbsPayAgentID, &TOrtena::ReadUbsPayDeviceID);
}

void TOrtena::WriteKrasplatDeviceID(const std::string& deviceId) {
  TKrasplat::CheckDeviceID(deviceId);
  driver_->CheckResultStrict(driver_->SetKrasplatDeviceNumber(deviceId));
}

void TOrtena::WriteBercutDeviceID(const std::string& deviceId) {
  TBercut::CheckDeviceID(deviceId);
  driver_->CheckResultStrict(driver_->SetBercutDeviceId(deviceId));
}

void TOrtena::WriteAbsolutplatAgentID(const std::string& agentId) {
  TAbsolutplat::CheckAgentID(agentId);
  driver_->CheckResultStrict(driver_->SetAgentId(TAgentSystem::Absolutplat, agentId));
}

void TOrtena::WriteAbsolutplatDeviceID(const std::string& deviceId) {
  TAbsolutplat::CheckDeviceID(deviceId);
  driver_->CheckResultStrict(driver_->SetDeviceId(TAgentSystem::Absolutplat, deviceId));
}

void TOrtena::WriteAbsolutplatCodeWord(const std::string& fileName) {
  driver_->WriteKeyFile(TKeyFile::AbsolutplatCodeWord, fileName);
}

std::string TOrtena::ReadAbsolutplatAgentID() {
  std::string id;
  driver_->CheckResultStrict(driver_->GetAgentId(TAgentSystem::Absolutplat, id));
  return id;
}

std::string TOrtena::ReadAbsolutplatDeviceID() {
  std::string id;
  driver_->CheckResultStrict(driver_->GetDeviceId(TAgentSystem::Absolutplat, id));
  return id;
}

void TOrtena::WriteEurofonAgentID(const std::string& agentId) {
  TEurofon::CheckAgentID(agentId);
  driver_->CheckResultStrict(driver_->SetAgentId(TAgentSystem::Eurofon, agentId));
}

void TOrtena::WriteEurofonDeviceID(const std::string& deviceId) {
  TEurofon::CheckDeviceID(deviceId);
  driver_->CheckResultStrict(driver_->SetDeviceId(TAgentSystem::Eurofon, deviceId));
}

void TOrtena::WriteEurofonCodeWord(const std::string& fileName) {
  driver_->WriteKeyFile(TKeyFile::EurofonCodeWord, fileName);
}

std::string TOrtena::ReadEurofonAgentID() {
  std::string id;
  driver_->CheckResultStrict(driver_->GetAgentId(TAgentSystem::Eurofon, id));
  return id;
}

std::string TOrtena::ReadEurofonDeviceID() {
  std::string id;
  driver_->CheckResultStrict(driver_->GetDeviceId(TAgentSystem::Eurofon, id));
  return id;
}

void TOrtena::WriteUbsPayAgentID(const std::string& agentId) {
  TUbsPay::CheckAgentID(agentId);
  driver_->CheckResultStrict(driver_->SetAgentId(TAgentSystem::UbsPay, agentId));
}

void TOrtena::WriteUbsPayDeviceID(const std::string& deviceId) {
  TUbsPay::CheckDeviceID(deviceId);
  driver_->CheckResultStrict(driver_->SetDeviceId(TAgentSystem::UbsPay, deviceId));
}

void TOrtena::WriteUbsPayURL(const std::string& url) {
  TUbsPay::CheckURL(url);
  driver_->CheckResultStrict(driver_->SetUbsPayUrl(url));
}

std::string TOrtena::ReadUbsPayAgentID() {
  std::string id;
  driver_->CheckResultStrict(driver_->GetAgentId(TAgentSystem::UbsPay, id));
  return id;
}

std::string TOrtena::ReadUbsPayDeviceID() {
  std::string id;
  driver_->CheckResultStrict(driver_->GetDeviceId(TAgentSystem::UbsPay, id));
  return id;
}

// ---- support-server updates ----

void TOrtena::UpdateScripts(TPaymentSystem& system) {
  // A reader of its own: the program's shared one belongs to the user-interface thread, and
  // an update may run on a worker.
  TAppDocXml reader;
  reader.ReadSystemScripts(system, system.GetScriptsURL());
}

void TOrtena::UpdateScriptDefs(TScriptDefs& defs) {
  std::string base = supportServer_;
  while (!base.empty() && base.back() == '/') base.pop_back();
  TScriptDefXml reader;  // of its own, as in UpdateScripts
  reader.LoadFromUrl(base + kScriptDefsUrlPath, defs);
}

}  // namespace quorvel
