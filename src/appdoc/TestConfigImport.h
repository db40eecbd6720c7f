#pragma once

#include <string>

namespace quorvel {

class TMasterPortProtocol;
class TPaymentSystem;

/// What reads a file that the test-configuration reader of a MasterPort-pair system refuses.
enum class TTestConfigFallback {
  ServerParams,  ///< TAppDocXml::LoadServerParams: a saved server parameters file
  TestSettings,  ///< TAppDocXml::LoadTestSettings: the system's section of a document
};

/// Reads fileName into system with the test-configuration reader of its class (TMasterPortXml
/// or TPegasMPXml). When that fails for any reason, the values it stored are put back and the
/// file is read with the fallback reader instead; only the fallback's error reaches the
/// caller, and the system is then exactly as before. TestConfigFileName is left to the caller
/// (the fallback TestSettings sets it, as that reader does).
void LoadTestConfig(TMasterPortProtocol& system, const std::string& fileName, TTestConfigFallback fallback);

/// The test configuration of a MasterPort-pair system as its own page and `paysys write
/// --config` load it: LoadTestConfig with the document-form fallback, then TestConfigFileName
/// becomes fileName made absolute (only after a successful read).
void LoadTestConfigFile(TMasterPortProtocol& system, const std::string& fileName);

/// A server parameters file as the server page loads it: a TMasterPort takes it as a test
/// configuration, falling back to LoadServerParams (LoadTestConfig above); every other system,
/// TPegasMP included, reads it with LoadServerParams only. All or nothing: after an error the
/// system is as it was.
void LoadServerFile(TPaymentSystem& system, const std::string& fileName);

}  // namespace quorvel
