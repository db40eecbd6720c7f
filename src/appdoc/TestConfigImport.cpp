#include "TestConfigImport.h"

#include "AppDocXml.h"
#include "MasterPort.h"
#include "TestConfigXml.h"

#include <cstdint>
#include <exception>

namespace quorvel {

namespace {

// Every value the test-configuration reader may store before it fails part way.
struct TReadValues {
  std::string SerialNumber;
  std::int32_t Port;
  std::string Address;
  std::string ApplicationID;
  std::string SenderID;
  std::string ReceiverID;
  TPublicKey ServerPublicKey;
  TPrivateKey ApplicationPrivateKey;

  explicit TReadValues(const TMasterPortProtocol& s)
      : SerialNumber(s.SerialNumber),
        Port(s.ServerParams().Port),
        Address(s.ServerParams().Address),
        ApplicationID(s.ApplicationID),
        SenderID(s.SenderID),
        ReceiverID(s.ReceiverID),
        ServerPublicKey(s.ServerPublicKey),
        ApplicationPrivateKey(s.ApplicationPrivateKey) {}

  void RestoreTo(TMasterPortProtocol& s) const {
    s.SerialNumber = SerialNumber;
    s.ServerParams().Port = Port;
    s.ServerParams().Address = Address;
    s.ApplicationID = ApplicationID;
    s.SenderID = SenderID;
    s.ReceiverID = ReceiverID;
    s.ServerPublicKey = ServerPublicKey;
    s.ApplicationPrivateKey = ApplicationPrivateKey;
  }
};

void ReadTestConfig(TMasterPortProtocol& system, const std::string& fileName) {
  if (auto* masterPort = dynamic_cast<TMasterPort*>(&system))
    MasterPortXml().LoadFromFile(*masterPort, fileName);
  else
    PegasMPXml().LoadFromFile(dynamic_cast<TPegasMP&>(system), fileName);
}

}  // namespace

void LoadTestConfig(TMasterPortProtocol& system, const std::string& fileName, TTestConfigFallback fallback) {
  const TReadValues before(system);
  try {
    ReadTestConfig(system, fileName);
    return;
  } catch (const std::exception&) {
    // Whatever the reason, the file may still be one the fallback reads; its error is the one
    // the user sees.
    before.RestoreTo(system);
  }
  if (fallback == TTestConfigFallback::ServerParams)
    AppDocXml().LoadServerParams(system, fileName);
  else
    AppDocXml().LoadTestSettings(system, fileName);
}

void LoadServerFile(TPaymentSystem& system, const std::string& fileName) {
  if (auto* masterPort = dynamic_cast<TMasterPort*>(&system))
    LoadTestConfig(*masterPort, fileName, TTestConfigFallback::ServerParams);
  else
    AppDocXml().LoadServerParams(system, fileName);
}

}  // namespace quorvel
