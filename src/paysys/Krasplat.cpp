#include "Krasplat.h"

#include "WireText.h"

namespace quorvel {

std::string TKrasplat::GetSiteURL() const { return "http://www.krasplat.ru"; }
std::int32_t TKrasplat::GetSystemID() const { return 6; }
std::string TKrasplat::GetDisplayName() const { return "ПлатеЖКа"; }
std::string TKrasplat::GetShortName() const { return "KRASPLAT"; }
// No script or provider list on the support server.
std::string TKrasplat::GetScriptsURL() const { return {}; }
std::string TKrasplat::GetProvidersURL() const { return {}; }

void TKrasplat::CheckDeviceID(const std::string& deviceId) { CheckWireText(deviceId, "Номер устройства"); }

}  // namespace quorvel
