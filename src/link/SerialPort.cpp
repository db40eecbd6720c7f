#include "SerialPort.h"

#include "Cp1251.h"
#include "LogFile.h"

namespace quorvel {

namespace {

// Wire bytes are windows-1251; the log takes UTF-8 and writes them back as they were.
void LogMaskedTraffic(const char* arrow, std::string_view masked) {
  if (!masked.empty()) LogFile().Debug(std::string(arrow) + Cp1251ToUtf8(masked));
}

}  // namespace

TSerialPort::TSerialPort(TSerialPorts& owner, TCustomComm& port) : owner_(owner), port_(port) {}

void TSerialPort::Purge() { port_.PurgeInput(); }

void TSerialPort::Open() { port_.Open(); }

void TSerialPort::Close() { port_.Close(); }

void TSerialPort::Write(std::string_view data) {
  if (LogFile().Enabled()) LogMaskedTraffic("-> ", MaskSecrets(data));
  port_.Write(data);
}

int TSerialPort::GetBaudRate() const { return port_.BaudRate(); }

void TSerialPort::SetBaudRate(int baudRate) { port_.SetBaudRate(baudRate); }

void TSerialPort::SetRTS(bool on) { port_.SetRTS(on); }

ISerialPort::TDataEvent TSerialPort::GetOnData() const {
  std::lock_guard lock(owner_.lock_);
  return onData_;
}

void TSerialPort::SetOnData(TDataEvent handler) {
  std::lock_guard lock(owner_.lock_);
  onData_ = std::move(handler);
}

bool TSerialPort::Connected() const { return port_.Connected(); }

bool TSerialPort::Active() const {
  std::lock_guard lock(owner_.lock_);
  return active_;
}

void TSerialPort::SetActive(bool active) {
  std::lock_guard lock(owner_.lock_);
  active_ = active;
}

void TSerialPort::SetOnBreak(TClientEvent handler) {
  std::lock_guard lock(owner_.lock_);
  onBreak_ = std::move(handler);
}

void TSerialPort::SetOnLost(TClientEvent handler) {
  std::lock_guard lock(owner_.lock_);
  onLost_ = std::move(handler);
}

std::string TSerialPort::DevicePath() const { return port_.DevicePath(); }

TSerialPorts::TSerialPorts(TCustomComm& port) : port_(port) {
  port_.OnBreak = [this](TCustomComm&) { HandleBreak(); };
  port_.OnRxChar = [this](TCustomComm&, std::size_t count) { HandleRxChar(count); };
  port_.OnError = [this](TCustomComm&, unsigned errors) { HandleError(errors); };
}

TSerialPorts::~TSerialPorts() {
  // The receiving thread must not call into a destroyed fan-out.
  port_.Close();
  port_.OnBreak = nullptr;
  port_.OnRxChar = nullptr;
  port_.OnError = nullptr;
}

TSerialPort& TSerialPorts::AddPort() {
  std::lock_guard lock(lock_);
  clients_.push_back(std::make_unique<TSerialPort>(*this, port_));
  return *clients_.back();
}

std::size_t TSerialPorts::Count() const {
  std::lock_guard lock(lock_);
  return clients_.size();
}

void TSerialPorts::HandleBreak() {
  std::lock_guard lock(lock_);
  for (auto& client : clients_)
    if (client->active_ && client->onBreak_) client->onBreak_(*client);
}

void TSerialPorts::HandleRxChar(std::size_t count) {
  std::string chunk = port_.Read(count);
  if (chunk.empty()) return;
  if (LogFile().Enabled()) LogMaskedTraffic("<- ", rxLogMask_.Feed(chunk));
  std::lock_guard lock(lock_);
  // An error in one client's handler ends this chunk's delivery; the port's thread logs it.
  for (auto& client : clients_)
    if (client->active_ && client->onData_) client->onData_(*client, chunk);
}

void TSerialPorts::HandleError(unsigned errors) {
  if (!(errors & kCommErrLost)) return;
  LogFile().Error("Порт " + port_.DevicePath() + " закрыт: устройство отключено");
  std::lock_guard lock(lock_);
  for (auto& client : clients_)
    if (client->active_ && client->onLost_) client->onLost_(*client);
}

}  // namespace quorvel
