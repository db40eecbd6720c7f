#include "TerminalSim.h"

#include "SimServer.h"

namespace quorvel::sim {

TTerminalSim::TTerminalSim(TSimOptions options)
    : server_(std::make_unique<TSimServer>(std::move(options))) {}

TTerminalSim::~TTerminalSim() { server_->Stop(); }

void TTerminalSim::Start() { server_->Start(); }
void TTerminalSim::Stop() { server_->Stop(); }
bool TTerminalSim::Running() const { return server_->Running(); }
std::string TTerminalSim::SlavePath() const { return server_->SlavePath(); }

TSimState TTerminalSim::State() const {
  return server_->Locked([](TSimShared& shared) { return shared.State; });
}

void TTerminalSim::SetState(const TSimState& state) {
  server_->Locked([&](TSimShared& shared) { shared.State = state; });
}

void TTerminalSim::Update(const std::function<void(TSimState&)>& change) {
  server_->Locked([&](TSimShared& shared) { change(shared.State); });
}

void TTerminalSim::SetBackup(const std::optional<TSimState>& backup) {
  server_->Locked([&](TSimShared& shared) { shared.Backup = backup; });
}

void TTerminalSim::SetBaudRate(int baudRate) { server_->SetBaudRate(baudRate); }

void TTerminalSim::SetDebugLines(bool on) {
  server_->Locked([&](TSimShared& shared) { shared.DebugLines = on; });
}

void TTerminalSim::SetUnsolicitedLines(bool on) {
  server_->Locked([&](TSimShared& shared) { shared.UnsolicitedLines = on; });
  server_->Wake();
}

void TTerminalSim::ArmFault(const std::string& command, const TSimFault& fault) {
  server_->Locked([&](TSimShared& shared) { shared.Faults.Arm(command, fault); });
}

void TTerminalSim::SetRandomFaults(const std::optional<TSimRandomFaults>& random) {
  server_->Locked([&](TSimShared& shared) { shared.Faults.SetRandom(random); });
}

void TTerminalSim::ClearFaults() {
  server_->Locked([](TSimShared& shared) { shared.Faults.Clear(); });
}

std::vector<std::string> TTerminalSim::ReceivedLines() const { return server_->ReceivedLines(); }
void TTerminalSim::ClearReceivedLines() { server_->ClearReceivedLines(); }

std::uint64_t TTerminalSim::CommandCount() const {
  return server_->Locked([](TSimShared& shared) { return shared.CommandCount; });
}

void TTerminalSim::Restart() { server_->Restart(); }

void TTerminalSim::SetBootloaderFactory(TSimBootloaderFactory factory) {
  server_->SetBootloaderFactory(std::move(factory));
}

bool TTerminalSim::EnterBootloader() { return server_->EnterBootloader(); }
bool TTerminalSim::InBootloader() const { return server_->InBootloader(); }

void TTerminalSim::Replace() { server_->Replace(); }
void TTerminalSim::SetSilent(bool on) { server_->SetSilent(on); }
bool TTerminalSim::Silent() const { return server_->Silent(); }

}  // namespace quorvel::sim
