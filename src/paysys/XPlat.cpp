#include "XPlat.h"

#include "WireText.h"

#include "Errors.h"
#include "FileText.h"
#include "TextUtils.h"

namespace quorvel {

std::string TXPlat::GetSiteURL() const { return "http://www.xplat.ru"; }
std::int32_t TXPlat::GetSystemID() const { return 3; }
std::string TXPlat::GetDisplayName() const { return "XPlat"; }
std::string TXPlat::GetShortName() const { return "XPlat"; }
std::string TXPlat::GetScriptsURL() const { return SupportURL("/ortena/xplat_scripts.xml"); }
std::string TXPlat::GetProvidersURL() const { return SupportURL("/ortena/xplat_providers.xml"); }

void TXPlat::LoadKeyFile(const std::string& fileName) {
  std::string bytes;
  try {
    bytes = ReadFileText(fileName);
  } catch (const Exception& e) {
    // An empty key file is a valid (empty) key here, unlike the empty files elsewhere.
    if (std::string_view(e.what()) != kEmptyFileMessage) throw;
  }
  Key = StrToHex(bytes);
}

void TXPlat::Check() const {
  CheckWireDigits(Point, "Точка продажи", 19, true);
  CheckWireText(Login, "Логин", 29);
  CheckWireText(Password, "Пароль", 29);
  CheckWireText(Key, "Секретный ключ");
}

}  // namespace quorvel
