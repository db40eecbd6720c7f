// The facade object, its identity and status operations and the active payment system.
#include "Ortenas.h"

#include "Errors.h"
#include "LogFile.h"
#include "OrtenaGuards.h"
#include "PaymentSystem.h"
#include "TextUtils.h"

#include <fmt/printf.h>

#include <algorithm>

namespace quorvel {

TOrtena::TOrtena() : driver_(std::make_unique<TModemDriver>()), supportServer_(kDefaultSupportServer) {}

TOrtena::~TOrtena() = default;

void TOrtena::ClearStatus() { DriverStatus().SetText(""); }

std::string TOrtena::GetPortName() const { return driver_->PortName(); }

void TOrtena::SetPortName(const std::string& path) { driver_->SetPortName(path); }

int TOrtena::GetMaxRetryCount() const { return driver_->MaxRetryCount(); }

void TOrtena::SetMaxRetryCount(int value) { driver_->SetMaxRetryCount(value); }

bool TOrtena::Ask(const std::string& question) { return prompt_ != nullptr && prompt_->Confirm(question); }

std::string TOrtena::ReadSerialNumber() {
  TClearStatusGuard clear(*this);
  std::string serial;
  driver_->CheckResultStrict(driver_->GetSerialNumber(serial));
  return serial;
}

void TOrtena::CheckSerialNumber(const std::string& serial) {
  // Digits only: the number travels unquoted, where a comma would make a field of its own.
  const bool digits = std::all_of(serial.begin(), serial.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (serial.size() != 8 || !digits) throw Exception(kSerialNumberLengthMessage);
}

void TOrtena::WriteSerialNumber(const std::string& serial) {
  CheckSerialNumber(serial);
  driver_->CheckResultStrict(driver_->SetSerialNumber(serial));
}

std::string TOrtena::QuerySerialNumber() {
  std::string serial;
  driver_->CheckResult(driver_->GetSerialNumber(serial));
  return serial;
}

std::string TOrtena::QueryHardwareVersion() {
  std::string version;
  driver_->CheckResult(driver_->GetHardwareVersion(version));
  return version;
}

std::int32_t TOrtena::ReadActiveSystem() {
  TClearStatusGuard clear(*this);
  int id = 0;
  driver_->CheckResultStrict(driver_->GetPaymentSystem(id));
  return id;
}

void TOrtena::SetActiveSystem(const TPaymentSystem& system) {
  TClearStatusGuard clear(*this);
  driver_->CheckResultStrict(driver_->SetPaymentSystem(system.GetSystemID()));
}

void TOrtena::EnsureActiveSystem(const TPaymentSystem& system) {
  int current = 0;
  driver_->CheckResultStrict(driver_->GetPaymentSystem(current));
  if (current == system.GetSystemID()) return;
  const std::string question =
      fmt::sprintf("%s %s.\r\n%s %s?", kActiveSystemNowText, PaymentSystemName(current),
                   kMakeActiveSystemText, system.GetDisplayName());
  if (!Ask(question)) RaiseAbort();
  SetActiveSystem(system);
}

void TOrtena::ReadStatus(TOrtenaStatus& status) {
  status = TOrtenaStatus();
  TModemDriver& d = *driver_;
  d.CheckResult(d.GetLoaderVersion(status.LoaderVersion));
  d.CheckResult(d.GetModelVersion(status.OsVersion));
  d.CheckResult(d.GetHardwareVersion(status.HardwareVersion));
  d.CheckResult(d.GetModemSerialNumber(status.FactoryNumber));
  d.CheckResult(d.GetModel(status.Model));
  d.CheckResult(d.GetManufacturer(status.Manufacturer));
  d.CheckResult(d.GetDateTime(status.DateTime));
  d.CheckResult(d.GetProductionDate(status.ProductionDate));
  d.CheckResult(d.GetTerminalNumber(status.TerminalNumber));
  d.CheckResult(d.GetSerialNumber(status.SerialNumber));
  d.CheckResult(d.GetServer(status.ServerAddress, status.ServerPort));

  // These three are shown when the terminal has them; a refusal leaves the field at its start
  // value and the report goes on.
  int active = 0;
  d.GetPaymentSystem(active);
  status.ActiveSystem = active;
  int retries = 0;
  d.GetTryCount(retries);
  status.RetryCount = retries;
  d.GetDeviceState(status.DeviceState);

  status.Sim1.SlotNumber = 1;
  status.Sim1.Result = d.GetSimCard(status.Sim1);
  d.CheckResult(status.Sim1.Result);
  status.Sim2.SlotNumber = 2;
  status.Sim2.Result = d.GetSimCard(status.Sim2);
  d.CheckResult(status.Sim2.Result);
}

TOrtenaStatus TOrtena::ReadStatus() {
  TOrtenaStatus status;
  ReadStatus(status);
  return status;
}

TOrtena& Facade() {
  // The log is created first so that it outlives the facade: closing the facade's port at
  // program end may still write to it.
  LogFile();
  static TOrtena instance;
  return instance;
}

}  // namespace quorvel
