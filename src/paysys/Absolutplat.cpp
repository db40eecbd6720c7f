#include "Absolutplat.h"

#include "WireText.h"

namespace quorvel {

namespace {

// The operator's web domain: its site and part of (or all of) the display name.
constexpr const char* kDomain = "absolutplat.ru";

}  // namespace

std::string TAbsolutplat::GetSiteURL() const { return std::string("http://www.") + kDomain; }
std::int32_t TAbsolutplat::GetSystemID() const { return 8; }
std::string TAbsolutplat::GetDisplayName() const { return kDomain; }
std::string TAbsolutplat::GetShortName() const { return "ABSOLUTPLAT"; }
// No script or provider list on the support server.
std::string TAbsolutplat::GetScriptsURL() const { return {}; }
std::string TAbsolutplat::GetProvidersURL() const { return {}; }

void TAbsolutplat::CheckAgentID(const std::string& agentId) {
  CheckWireText(agentId, "Идентификатор агента");
}

void TAbsolutplat::CheckDeviceID(const std::string& deviceId) {
  CheckWireText(deviceId, "Идентификатор устройства");
}

}  // namespace quorvel
