#include "ModemDriver.h"

#include "Errors.h"
#include "Version.h"

#include <fmt/printf.h>

namespace quorvel {

TModemDriver::TModemDriver()
    : maxRetryCount_(1),
      comm_(std::make_unique<TComm>()),
      status_(std::make_unique<TDriverStatus>()),
      ports_(std::make_unique<TSerialPorts>(*comm_)) {
  sparePort_ = &ports_->AddPort();
  commandDriver_ = std::make_unique<TCommandDriver>(ports_->AddPort());
}

TModemDriver::~TModemDriver() {
  // The receiving thread calls into the clients and the command: it has to be gone before
  // they are. The members then go in reverse order (command driver, clients, status, port),
  // the port last because the clients' fan-out unhooks itself from it.
  try {
    comm_->Close();
  } catch (...) {
    // Destruction must not throw; Close only raises when called on the receiving thread.
  }
}

void TModemDriver::SetMaxRetryCount(int value) {
  if (value == maxRetryCount_) return;
  CheckRange(value, kMinRetryCount, kMaxRetryCount, "MaxRetryCount");
  maxRetryCount_ = value;
}

int TModemDriver::PortNumber() const { return comm_->Port(); }

void TModemDriver::SetPortNumber(int number) { comm_->SetPort(number); }

std::string TModemDriver::PortName() const { return comm_->PortName(); }

void TModemDriver::SetPortName(const std::string& path) { comm_->SetPortName(path); }

std::string TModemDriver::DevicePath() const { return comm_->DevicePath(); }

void TModemDriver::ClosePort() { comm_->Close(); }

void TModemDriver::EnsureOpen() {
  if (!comm_->Connected()) comm_->Open();
  comm_->SetRTS(true);
}

int TModemDriver::Run() {
  EnsureOpen();
  TCommand& command = Command();
  const std::string progress = command.ProgressText();
  const int attempts = maxRetryCount_;
  status_->SetText(progress + "...");
  int result = kResultOk;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    if (attempt > 1) status_->SetText(fmt::sprintf(kRetryFmt, progress, attempt));
    command.Prepare();
    result = commandDriver_->Execute();
    if (result != kResultNoLink && result != kResultBadCrc) break;
    // A port that went away will not answer a retry; its own message says what happened.
    if (result == kResultNoLink && (attempt == attempts || !comm_->Connected()))
      RaiseDriverError(command.ResultText(), kResultNoLink);
  }
  return result;
}

void TModemDriver::RaiseResult(int code) const {
  const TCommand& command = commandDriver_->Command();
  // The code is normally the one Run just returned; one from elsewhere still gets its own text.
  const std::string text = command.ResultCode() == code ? command.ResultText() : ResultCodeText(code);
  RaiseDriverError(text, code);
}

void TModemDriver::CheckResult(int code) const {
  if (code == kResultOk || code == kResultNoData || code == kResultError) return;
  CheckResultStrict(code);
}

void TModemDriver::CheckResultStrict(int code) const {
  if (code != kResultOk) RaiseResult(code);
}

bool TModemDriver::CheckData(int code) const {
  if (code == kResultOk) return true;
  if (code == kResultNoData) return false;
  RaiseResult(code);
}

TCommand& TModemDriver::Begin(const char* name, bool sequenced) {
  TCommand& command = Command();
  command.Reset();
  command.SetName(name);
  command.SetSequenced(sequenced);
  return command;
}

int TModemDriver::RunWith(const std::string& progressText) {
  Command().SetProgressText(progressText);
  return Run();
}

void RaiseDriverError(const std::string& text, std::int64_t code) { throw EDriverError(text, code); }

std::string FileVersionText() {
  return fmt::sprintf("%d.%d.%d.%d", kVersionMajor, kVersionMinor, kVersionPatch, kVersionTweak);
}

}  // namespace quorvel
