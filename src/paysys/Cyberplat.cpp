#include "Cyberplat.h"

#include "WireText.h"

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

namespace {

void CheckKey(const TCyberplatKey& key, const char* caption) {
  CheckWireText(key.KeyName, caption);
  CheckWireDigits(key.KeyNum, caption, 0, true);  // unquoted on the wire
  CheckWireText(key.Key, caption);
}

}  // namespace

void TCyberplat::Check() const {
  CheckWireDigits(CyberplatPoint.SD, "Код дилера");
  CheckWireDigits(CyberplatPoint.AP, "Код точки");
  CheckWireDigits(CyberplatPoint.OP, "Код оператора");
  CheckWireText(Password, "Пароль");
  CheckKey(SecretKey, "Секретный ключ");
  CheckKey(PublicKey, "Открытый ключ");
}

}  // namespace quorvel
