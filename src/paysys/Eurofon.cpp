#include "Eurofon.h"

#include "WireText.h"

namespace quorvel {

namespace {

// The operator's web domain: its site and part of (or all of) the display name.
constexpr const char* kDomain = "eurofon.ru";

}  // namespace

std::string TEurofon::GetSiteURL() const { return std::string("http://www.") + kDomain; }
std::int32_t TEurofon::GetSystemID() const { return 9; }
std::string TEurofon::GetDisplayName() const { return std::string("EUROFON, ") + kDomain; }
std::string TEurofon::GetShortName() const { return "EUROFON"; }
// No script or provider list on the support server.
std::string TEurofon::GetScriptsURL() const { return {}; }
std::string TEurofon::GetProvidersURL() const { return {}; }

void TEurofon::CheckAgentID(const std::string& agentId) { CheckWireText(agentId, "Идентификатор агента"); }

void TEurofon::CheckDeviceID(const std::string& deviceId) {
  CheckWireText(deviceId, "Идентификатор устройства");
}

}  // namespace quorvel
