#pragma once

#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// Absolutplat, code 8; its display name is the operator's web domain.
/// Threads: model objects are used by one thread at a time.
class TAbsolutplat final : public TPaymentSystem {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;

  std::string AgentID;
  std::string DeviceID;
  /// "Идентификатор агента" fit for the wire (CheckWireText); Exception naming the field.
  static void CheckAgentID(const std::string& agentId);
  /// "Идентификатор устройства" fit for the wire; Exception naming the field.
  static void CheckDeviceID(const std::string& deviceId);
  /// Path of the code-word file.
  std::string WordFileName;
};

}  // namespace quorvel
