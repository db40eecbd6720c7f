// The MasterPort pair's settings from an operator's test configuration or, failing that, from a
// file in configuration-document form.
#include "TestConfigLoad.h"

#include "AppDocXml.h"
#include "MasterPort.h"
#include "Paths.h"
#include "TestConfigXml.h"

#include <typeinfo>

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

// The reader of the system's class into a fresh object of that class; raises what it raises.
template <class TSystem, class TReader>
void ReadTestConfig(TMasterPortProtocol& system, const std::string& fileName) {
  TSystem scratch;
  TReader reader;
  reader.LoadFromFile(scratch, fileName);
  TakeTestConfig(scratch, system);
}

}  // namespace

void LoadTestConfig(TMasterPortProtocol& system, const std::string& fileName) {
  try {
    if (typeid(system) == typeid(TPegasMP))
      ReadTestConfig<TPegasMP, TPegasMPXml>(system, fileName);
    else
      ReadTestConfig<TMasterPort, TMasterPortXml>(system, fileName);
  } catch (const std::exception&) {
    // Not a test configuration: the same values may come in configuration-document form.
    TAppDocXml reader;
    reader.LoadTestSettings(system, fileName);
  }
  system.TestConfigFileName = AbsolutePath(fileName);
}

}  // namespace quorvel
