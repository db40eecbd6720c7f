#pragma once

#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// Bercut, code 7.
/// Threads: model objects are used by one thread at a time.
class TBercut final : public TPaymentSystem {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;

  std::string DeviceID;
  /// "Идентификатор устройства" fit for the wire (CheckWireText); Exception naming the field.
  static void CheckDeviceID(const std::string& deviceId);
};

}  // namespace quorvel
