#include "DeviceSearch.h"

#include "ModemDriver.h"

#include <exception>

namespace quorvel {

namespace {

// One SMSN read; any answer at all, even ERROR, means a terminal sits on the port.
TSearchResult Probe(TModemDriver& driver, const std::string& path) {
  TSearchResult result;
  result.Probed = true;
  try {
    driver.SetPortName(path);
    std::string serial;
    const int code = driver.GetSerialNumber(serial);
    result.Found = true;
    result.Text = code == kResultOk ? std::string(kDeviceFoundText) + ": " + serial : kDeviceFoundText;
  } catch (const std::exception& e) {
    result.Text = e.what();
  }
  // Leaving the port open would keep it locked against the program's own driver.
  driver.ClosePort();
  return result;
}

}  // namespace

std::vector<TSearchPort> SearchPortsOf(const std::vector<TComPortInfo>& ports) {
  std::vector<TSearchPort> rows;
  rows.reserve(ports.size());
  for (const auto& port : ports) rows.push_back({port.Path, port.Name, true});
  return rows;
}

std::vector<TSearchResult> SearchDevices(const std::vector<TSearchPort>& ports, const std::atomic<bool>& stop,
                                         const TSearchEvents& events) {
  std::vector<TSearchResult> results(ports.size());
  // Created even when no row is checked, so that a search always uses a fresh driver with
  // its defaults and never the program's own.
  TModemDriver driver;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (stop.load()) break;
    if (!ports[i].Checked) continue;
    const int row = static_cast<int>(i);
    results[i].Text = kSearchingText;
    if (events.OnProbe) events.OnProbe(row);
    // A stop that came while the row was being shown leaves it at the searching text.
    if (stop.load()) break;
    results[i] = Probe(driver, ports[i].Path);
    if (events.OnResult) events.OnResult(row, results[i].Text, results[i].Found);
  }
  return results;
}

TDeviceSearch::~TDeviceSearch() { Stop(); }

void TDeviceSearch::Start(std::vector<TSearchPort> ports) {
  Stop();
  thread_.reset();
  stop_.store(false);
  hasRun_ = true;
  {
    std::lock_guard lock(lock_);
    results_.assign(ports.size(), TSearchResult{});
  }
  thread_ = std::make_unique<TNotifyThread>();
  // The worker keeps its own copy of the handlers: SetEvents may run meanwhile.
  thread_->SetOnExecute([this, ports = std::move(ports), user = events_](TNotifyThread&) {
    TSearchEvents events;
    events.OnProbe = [this, &user](int row) {
      {
        std::lock_guard lock(lock_);
        results_[static_cast<std::size_t>(row)].Text = kSearchingText;
      }
      if (user.OnProbe) user.OnProbe(row);
    };
    events.OnResult = [this, &user](int row, const std::string& text, bool found) {
      {
        std::lock_guard lock(lock_);
        auto& result = results_[static_cast<std::size_t>(row)];
        result.Probed = true;
        result.Found = found;
        result.Text = text;
      }
      if (user.OnResult) user.OnResult(row, text, found);
    };
    SearchDevices(ports, stop_, events);
  });
  thread_->SetOnTerminate([end = onEnd_](TNotifyThread&) {
    if (end) end();
  });
  thread_->Start();
}

void TDeviceSearch::Stop() {
  stop_.store(true);
  if (thread_) thread_->WaitFor();
}

std::vector<TSearchResult> TDeviceSearch::Results() const {
  std::lock_guard lock(lock_);
  return results_;
}

}  // namespace quorvel
