#include "Cyberplat.h"

namespace quorvel {

TCyberplat::TCyberplat() {
  SecretKey.KeyType = kCyberplatSecretKey;
  PublicKey.KeyType = kCyberplatPublicKey;
}

std::string TCyberplat::GetSiteURL() const { return "http://www.cyberplat.ru"; }
std::int32_t TCyberplat::GetSystemID() const { return 1; }
std::string TCyberplat::GetDisplayName() const { return "Cyberplat"; }
std::string TCyberplat::GetShortName() const { return "Cyberplat"; }
std::string TCyberplat::GetScriptsURL() const { return SupportURL("/ortena/cyberplat_scripts.xml"); }
std::string TCyberplat::GetProvidersURL() const { return SupportURL("/ortena/cyberplat_providers.xml"); }

}  // namespace quorvel
