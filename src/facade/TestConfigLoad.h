#pragma once

#include <string>

namespace quorvel {

class TMasterPortProtocol;

/// Loads the MasterPort pair's settings from fileName: first with the test-configuration
/// reader of the system's class (TMasterPortXml or TPegasMPXml); when that raises anything,
/// its error is dropped and the file is read as a file in configuration-document form
/// (TAppDocXml::LoadTestSettings), whose errors reach the caller. Whichever reader takes the
/// file, TestConfigFileName becomes fileName made absolute.
/// All or nothing: the values the first reader stored before it failed are put back before
/// the second one runs, and a file neither reader takes leaves the system exactly as it was.
/// Uses readers of its own, so it may run on a worker thread while the model is not touched
/// elsewhere.
void LoadTestConfig(TMasterPortProtocol& system, const std::string& fileName);

}  // namespace quorvel
