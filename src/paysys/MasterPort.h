#pragma once

#include "PaymentSystem.h"
#include "PrivateKey.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// Default test-configuration file of the MasterPort pair, below ProgramHome().
inline constexpr const char* kMasterPortTestConfigPath = "/Paysys/MasterPort/MasterPort_TestConfig.Xml";

/// The fields the systems that speak the MasterPort protocol share (TMasterPort and TPegasMP).
/// Threads: model objects are used by one thread at a time.
class TMasterPortProtocol : public TPaymentSystem {
 public:
  std::string SenderID;
  std::string ReceiverID;
  std::string SerialNumber;
  std::string ApplicationID;
  /// The loaded settings are test settings.
  bool TestSettings = false;
  /// The payment server's public key.
  TPublicKey ServerPublicKey;
  /// The terminal application's private key.
  TPrivateKey ApplicationPrivateKey;
  /// The test-configuration file last read; ProgramHome() + kMasterPortTestConfigPath at
  /// creation (the same file for both systems).
  std::string TestConfigFileName;

  /// The page's rules that need no terminal, before anything is sent: "Серийный номер модема"
  /// digits, at most 8; every part of both keys fit for the wire (CheckWireText). Exception
  /// naming the field. (The identifiers are GUIDs, checked where they are framed.)
  void Check() const;

 protected:
  TMasterPortProtocol();
};

/// MasterPort, code 0.
class TMasterPort final : public TMasterPortProtocol {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;
};

/// Pegaspay over the MasterPort protocol: code 0 and short name "Masterport" like TMasterPort.
class TPegasMP final : public TMasterPortProtocol {
 public:
  std::string GetSiteURL() const override;
  std::int32_t GetSystemID() const override;
  std::string GetDisplayName() const override;
  std::string GetShortName() const override;
  std::string GetScriptsURL() const override;
  std::string GetProvidersURL() const override;
};

}  // namespace quorvel
