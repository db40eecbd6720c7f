#include "CommandDriver.h"

#include "Errors.h"

#include <fmt/printf.h>

namespace quorvel {

TCommandDriver::TCommandDriver(TSerialPort& client) : client_(client), command_(std::make_unique<TCommand>()) {
  client_.SetOnBreak([this](TSerialPort&) { breakPending_.store(true); });
  client_.SetOnData([this](ISerialPort&, const std::string& data) { command_->Feed(data); });
  // Without this a pulled cable would only show as a timeout of the running exchange.
  client_.SetOnLost([this](TSerialPort& sender) {
    command_->Fail(kResultNoLink, fmt::sprintf(kPortLostFmt, sender.DevicePath()));
  });
}

TCommandDriver::~TCommandDriver() {
  client_.SetOnBreak(nullptr);
  client_.SetOnData(nullptr);
  client_.SetOnLost(nullptr);
}

void TCommandDriver::CheckBreak() {
  if (breakPending_.exchange(false)) throw EDriverError(kBreakText, kResultBreak);
}

void TCommandDriver::Send(std::string_view line) {
  CheckBreak();
  std::string data(line);
  data += "\r\n";
  client_.Write(data);
}

int TCommandDriver::Execute() {
  Send(command_->CommandLine());
  return command_->WaitResult();
}

}  // namespace quorvel
