#include "Bercut.h"

#include "WireText.h"

namespace quorvel {

std::string TBercut::GetSiteURL() const { return "http://www.bercut.ru"; }
std::int32_t TBercut::GetSystemID() const { return 7; }
std::string TBercut::GetDisplayName() const { return "BERCUT"; }
std::string TBercut::GetShortName() const { return "BERCUT"; }
// No script or provider list on the support server.
std::string TBercut::GetScriptsURL() const { return {}; }
std::string TBercut::GetProvidersURL() const { return {}; }

void TBercut::CheckDeviceID(const std::string& deviceId) {
  CheckWireText(deviceId, "Идентификатор устройства");
}

}  // namespace quorvel
