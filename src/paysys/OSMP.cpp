#include "OSMP.h"

#include "WireText.h"

namespace quorvel {

namespace {

constexpr const char* kPegaspaySite = "http://www.pegaspay.ru";

}  // namespace

std::string TOSMP::GetSiteURL() const { return "http://www.osmp.ru"; }
std::int32_t TOSMP::GetSystemID() const { return 4; }
std::string TOSMP::GetDisplayName() const { return "ОСМП"; }
std::string TOSMP::GetShortName() const { return "OSMP"; }
std::string TOSMP::GetScriptsURL() const { return SupportURL("/ortena/osmp_scripts.xml"); }
std::string TOSMP::GetProvidersURL() const { return SupportURL("/ortena/osmp_providers.xml"); }

std::string TPegasOSMP::GetSiteURL() const { return kPegaspaySite; }
std::int32_t TPegasOSMP::GetSystemID() const { return 4; }
std::string TPegasOSMP::GetDisplayName() const { return "Pegaspay, протокол ОСМП"; }
std::string TPegasOSMP::GetShortName() const { return "PEGASPAY"; }
std::string TPegasOSMP::GetScriptsURL() const { return SupportURL("/ortena/pegaspay_scripts.xml"); }
std::string TPegasOSMP::GetProvidersURL() const { return SupportURL("/ortena/pegaspay_providers.xml"); }

void TOSMPProtocol::Check() const {
  CheckWireText(Login, "Логин");
  CheckWireText(Password, "Пароль");
  CheckWireDigits(TerminalID, "Номер терминала", 20, true);
}

}  // namespace quorvel
