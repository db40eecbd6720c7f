#include "EPort.h"

#include "WireText.h"

namespace quorvel {

std::string TEPort::GetSiteURL() const { return "http://www.e-port.ru"; }
std::int32_t TEPort::GetSystemID() const { return 2; }
std::string TEPort::GetDisplayName() const { return "EPort"; }
std::string TEPort::GetShortName() const { return "EPort"; }
std::string TEPort::GetScriptsURL() const { return SupportURL("/ortena/scripts/eport_scripts.xml"); }
std::string TEPort::GetProvidersURL() const { return SupportURL("/ortena/eport_providers.xml"); }

void TEPort::Check() const {
  CheckWireText(CardNumber, "Номер карты", 12);
  CheckWireText(CardPin, "PIN код карты", 20);
  CheckWireDigits(Point, "Точка продажи", 0, true);
}

}  // namespace quorvel
