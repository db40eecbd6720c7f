#include "MasterPort.h"

#include "Paths.h"
#include "WireText.h"

namespace quorvel {

namespace {

constexpr const char* kPegaspaySite = "http://www.pegaspay.ru";

}  // namespace

TMasterPortProtocol::TMasterPortProtocol() : TestConfigFileName(ProgramHome() + kMasterPortTestConfigPath) {}

std::string TMasterPort::GetSiteURL() const { return "http://www.masterport.ru"; }
std::int32_t TMasterPort::GetSystemID() const { return 0; }
std::string TMasterPort::GetDisplayName() const { return "Мастерпорт"; }
std::string TMasterPort::GetShortName() const { return "Masterport"; }
std::string TMasterPort::GetScriptsURL() const { return SupportURL("/ortena/masterport_scripts.xml"); }
std::string TMasterPort::GetProvidersURL() const { return SupportURL("/ortena/masterport_providers.xml"); }

std::string TPegasMP::GetSiteURL() const { return kPegaspaySite; }
std::int32_t TPegasMP::GetSystemID() const { return 0; }
std::string TPegasMP::GetDisplayName() const { return "Pegaspay, протокол Мастерпорт"; }
std::string TPegasMP::GetShortName() const { return "Masterport"; }
std::string TPegasMP::GetScriptsURL() const { return SupportURL("/ortena/pegaspay_scripts.xml"); }
std::string TPegasMP::GetProvidersURL() const { return SupportURL("/ortena/masterport_providers.xml"); }

void TMasterPortProtocol::Check() const {
  CheckWireDigits(SerialNumber, "Серийный номер модема", 8);
  constexpr const char* kServerKey = "Открытый ключ сервера";
  constexpr const char* kApplicationKey = "Закрытый ключ приложения";
  CheckWireText(ServerPublicKey.Modulus, kServerKey);
  CheckWireText(ServerPublicKey.Exponent, kServerKey);
  const TPrivateKey& k = ApplicationPrivateKey;
  for (const std::string* part : {&k.Modulus, &k.Exponent, &k.P, &k.Q, &k.DP, &k.DQ, &k.InverseQ, &k.D})
    CheckWireText(*part, kApplicationKey);
}

}  // namespace quorvel
