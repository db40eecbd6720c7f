#pragma once

#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// EPort, code 2.
/// Threads: model objects are used by one thread at a time.
class TEPort final : public TPaymentSystem {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;

  std::string Point;
  std::string CardPin;
  std::string CardNumber;

  /// The page's rules, before anything is sent: "Номер карты" at most 12 characters, "PIN код
  /// карты" at most 20, "Точка продажи" digits; every value fit for the wire (CheckWireText).
  /// Exception naming the field.
  void Check() const;
};

}  // namespace quorvel
