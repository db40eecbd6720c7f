#pragma once

#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// The fields the systems that speak the OSMP protocol share (TOSMP and TPegasOSMP).
/// Threads: model objects are used by one thread at a time.
class TOSMPProtocol : public TPaymentSystem {
 public:
  std::string Login;
  /// Lives only in memory for this run; never saved.
  std::string Password;
  std::string TerminalID;

  /// The page's rules, before anything is sent: "Логин" and "Пароль" fit for the wire,
  /// "Номер терминала" at most 20 digits. Exception naming the field.
  void Check() const;

 protected:
  TOSMPProtocol() = default;
};

/// OSMP, code 4.
class TOSMP final : public TOSMPProtocol {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;
};

/// Pegaspay over the OSMP protocol: code 4 like TOSMP, short name "PEGASPAY".
class TPegasOSMP final : public TOSMPProtocol {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;
};

}  // namespace quorvel
