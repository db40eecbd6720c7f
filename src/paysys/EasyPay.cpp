#include "EasyPay.h"

namespace quorvel {

std::string TEasyPay::GetSiteURL() const { return "http://www.easypay.ru"; }
std::int32_t TEasyPay::GetSystemID() const { return 5; }
std::string TEasyPay::GetDisplayName() const { return "ЛЕГКО И УДОБНО"; }
std::string TEasyPay::GetShortName() const { return "EASYPAY"; }
// No script or provider list on the support server.
std::string TEasyPay::GetScriptsURL() const { return {}; }
std::string TEasyPay::GetProvidersURL() const { return {}; }

}  // namespace quorvel
