#pragma once

#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// Krasplat ("ПлатеЖКа"), code 6.
/// Threads: model objects are used by one thread at a time.
class TKrasplat final : public TPaymentSystem {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;

  std::string DeviceID;
  /// "Номер устройства" fit for the wire (CheckWireText); Exception naming the field.
  static void CheckDeviceID(const std::string& deviceId);
  /// Path of the key file.
  std::string KeyFileName;
  /// Path of the certificate file.
  std::string CerFileName;
  /// Path of the code-word file.
  std::string WordFileName;
};

}  // namespace quorvel
