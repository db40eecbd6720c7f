#pragma once

#include "PaymentSystem.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// UbsPay ("ОБС"), code 12.
/// Threads: model objects are used by one thread at a time.
class TUbsPay final : public TPaymentSystem {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;

  std::string URL;
  std::string AgentID;
  std::string DeviceID;
  /// "URL" fit for the wire (CheckWireText); Exception naming the field.
  static void CheckURL(const std::string& url);
  /// "Идентификатор агента" fit for the wire; Exception naming the field.
  static void CheckAgentID(const std::string& agentId);
  /// "Идентификатор устройства" fit for the wire; Exception naming the field.
  static void CheckDeviceID(const std::string& deviceId);
};

}  // namespace quorvel
