#include "UbsPay.h"

#include "WireText.h"

namespace quorvel {

namespace {

// The operator's web domain: its site and part of (or all of) the display name.
constexpr const char* kDomain = "ubspay.ru";

}  // namespace

std::string TUbsPay::GetSiteURL() const { return std::string("http://www.") + kDomain; }
std::int32_t TUbsPay::GetSystemID() const { return 12; }
std::string TUbsPay::GetDisplayName() const { return std::string("ОБС, ") + kDomain; }
std::string TUbsPay::GetShortName() const { return "UBSPAY"; }
// No script or provider list on the support server.
std::string TUbsPay::GetScriptsURL() const { return {}; }
std::string TUbsPay::GetProvidersURL() const { return {}; }

void TUbsPay::CheckURL(const std::string& url) { CheckWireText(url, "URL"); }

void TUbsPay::CheckAgentID(const std::string& agentId) { CheckWireText(agentId, "Идентификатор агента"); }

void TUbsPay::CheckDeviceID(const std::string& deviceId) {
  CheckWireText(deviceId, "Идентификатор устройства");
}

}  // namespace quorvel
