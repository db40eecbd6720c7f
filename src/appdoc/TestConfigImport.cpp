#include "TestConfigImport.h"

#include "AppDocXml.h"
#include "MasterPort.h"
#include "Paths.h"
#include "TestConfigXml.h"

#include <exception>

namespace quorvel {

namespace {

// Everything the test-configuration reader stores, so that a read into a scratch object can be
// taken over whole.
void TakeTestConfig(const TMasterPortProtocol& from, TMasterPortProtocol& into) {
  into.SerialNumber = from.SerialNumber;
  into.ServerParams().Address = from.ServerParams().Address;
  into.ServerParams().Port = from.ServerParams().Port;
  into.ApplicationID = from.ApplicationID;
  into.SenderID = from.SenderID;
  into.ReceiverID = from.ReceiverID;
  into.ServerPublicKey = from.ServerPublicKey;
  into.ApplicationPrivateKey = from.ApplicationPrivateKey;
}

// The reader of the system's class into a fresh object of that class, with a reader of its
// own so that a page may run it on a worker thread; raises what the reader raises.
template <class TSystem, class TReader>
void ReadTestConfig(TMasterPortProtocol& system, const std::string& fileName) {
  TSystem scratch;
  TReader reader;
  reader.LoadFromFile(scratch, fileName);
  TakeTestConfig(scratch, system);
}

}  // namespace

void LoadTestConfig(TMasterPortProtocol& system, const std::string& fileName, TTestConfigFallback fallback) {
  try {
    if (dynamic_cast<TPegasMP*>(&system) != nullptr)
      ReadTestConfig<TPegasMP, TPegasMPXml>(system, fileName);
    else
      ReadTestConfig<TMasterPort, TMasterPortXml>(system, fileName);
    return;
  } catch (const std::exception&) {
    // Whatever the reason, the file may still be one the fallback reads; its error is the one
    // the user sees.
  }
  TAppDocXml reader;
  if (fallback == TTestConfigFallback::ServerParams)
    reader.LoadServerParams(system, fileName);
  else
    reader.LoadTestSettings(system, fileName);
}

void LoadTestConfigFile(TMasterPortProtocol& system, const std::string& fileName) {
  LoadTestConfig(system, fileName, TTestConfigFallback::TestSettings);
  system.TestConfigFileName = AbsolutePath(fileName);
}

void LoadServerFile(TPaymentSystem& system, const std::string& fileName) {
  if (auto* masterPort = dynamic_cast<TMasterPort*>(&system))
    LoadTestConfig(*masterPort, fileName, TTestConfigFallback::ServerParams);
  else
    TAppDocXml().LoadServerParams(system, fileName);
}

}  // namespace quorvel
