#include "UbsPay.h"

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

}  // namespace quorvel
