#pragma once

#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// XPlat, code 3.
/// Threads: model objects are used by one thread at a time.
class TXPlat final : public TPaymentSystem {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;

  std::string Point;
  std::string Login;
  /// Lives only in memory for this run; never saved.
  std::string Password;
  /// The secret key file as upper-case hexadecimal text, two digits per byte.
  std::string Key;

  /// The page's rules, before anything is sent: "Точка продажи" at most 19 digits, "Логин" and
  /// "Пароль" at most 29 characters, "Секретный ключ" fit for the wire. Exception naming the
  /// field.
  void Check() const;

  /// Sets Key to every byte of the file as two upper-case hexadecimal digits (01 AB FF ->
  /// "01ABFF"); an empty file gives an empty Key. A file that cannot be read raises Exception
  /// naming the file and the system's reason, and Key stays as it was.
  void LoadKeyFile(const std::string& fileName);
};

}  // namespace quorvel
