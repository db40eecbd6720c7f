#pragma once

#include "CyberplatKey.h"
#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// Cyberplat, code 1: a point and two keys read from Cyberplat key files.
/// Threads: model objects are used by one thread at a time.
class TCyberplat final : public TPaymentSystem {
 public:
  /// Sets the key types: SecretKey kCyberplatSecretKey, PublicKey kCyberplatPublicKey.
  TCyberplat();

  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;

  /// Lives only in memory for this run; never saved.
  std::string Password;
  /// Dealer, point and operator codes.
  TCyberplatPoint CyberplatPoint;
  /// The terminal's secret key (key type 1).
  TCyberplatKey SecretKey;
  /// The server's public key (key type 2).
  TCyberplatKey PublicKey;

  /// The page's rules, before anything is sent: "Код дилера", "Код точки" and "Код оператора"
  /// digits (they travel unquoted, a comma would make parameters of its own), "Пароль" and
  /// both keys fit for the wire, the number of each key digits. Exception naming the field.
  void Check() const;
};

}  // namespace quorvel
