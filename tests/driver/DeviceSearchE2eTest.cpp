#include "ComPort.h"
#include "Command.h"
#include "DeviceSearch.h"
#include "Pty.h"
#include "TerminalSim.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace quorvel;

namespace {

// Everything a search reported, in order, as "probe <row>" and "result <row> <found> <text>".
struct EventLog {
  TSearchEvents Events() {
    TSearchEvents events;
    events.OnProbe = [this](int row) { Add("probe " + std::to_string(row)); };
    events.OnResult = [this](int row, const std::string& text, bool found) {
      Add("result " + std::to_string(row) + " " + (found ? "found " : "none ") + text);
    };
    return events;
  }
  void Add(const std::string& line) {
    std::lock_guard lock(mutex);
    lines.push_back(line);
    threads.push_back(std::this_thread::get_id());
  }

  std::mutex mutex;
  std::vector<std::string> lines;
  std::vector<std::thread::id> threads;
};

// A simulator answering SMSN with its serial number, started.
std::unique_ptr<sim::TTerminalSim> StartedSim(const std::string& serial, sim::TSimOptions options = {}) {
  auto s = std::make_unique<sim::TTerminalSim>(std::move(options));
  s->Update([&](sim::TSimState& state) { state.SerialNumber = serial; });
  s->Start();
  return s;
}

// The port can be had by someone else now, so the search let go of it.
bool Free(const std::string& path) {
  TComm other;
  other.SetPortName(path);
  try {
    other.Open();
  } catch (const std::exception&) {
    return false;
  }
  other.Close();
  return true;
}

}  // namespace

TEST(DeviceSearch, EachCheckedPortIsProbedOnceAndReported) {
  auto terminal = StartedSim("12345678");
  auto refusing = StartedSim("87654321");
  refusing->ArmFault("SMSN", {sim::TSimFaultKind::Error, 2, 0});
  auto held = StartedSim("11111111");
  TComm holder;
  holder.SetPortName(held->SlavePath());
  holder.Open();
  test::Pty silent;
  auto skipped = StartedSim("22222222");

  const std::vector<TSearchPort> ports = {
      {terminal->SlavePath(), "terminal", true},      {skipped->SlavePath(), "unchecked", false},
      {refusing->SlavePath(), "ERROR to SMSN", true}, {held->SlavePath(), "busy", true},
      {"/dev/quorvel-no-such-port", "missing", true}, {silent.SlavePath(), "nobody answers", true},
  };
  std::atomic<bool> stop{false};
  EventLog log;
  const auto results = SearchDevices(ports, stop, log.Events());

  const std::string busy = "Порт " + held->SlavePath() + " недоступен: порт занят другой программой";
  const std::vector<std::string> expected = {
      "probe 0", "result 0 found Устройство найдено: 12345678",
      "probe 2", "result 2 found Устройство найдено",
      "probe 3", "result 3 none " + busy,
      "probe 4", "result 4 none Порт /dev/quorvel-no-such-port недоступен: нет такого устройства",
      "probe 5", std::string("result 5 none ") + kNoLinkText,
  };
  EXPECT_EQ(log.lines, expected);
  for (auto id : log.threads) EXPECT_EQ(id, std::this_thread::get_id());

  ASSERT_EQ(results.size(), ports.size());
  EXPECT_TRUE(results[0].Probed && results[0].Found);
  EXPECT_FALSE(results[1].Probed || results[1].Found);
  EXPECT_EQ(results[1].Text, "");
  EXPECT_TRUE(results[2].Found);
  EXPECT_EQ(results[2].Text, "Устройство найдено");
  EXPECT_FALSE(results[3].Found);
  EXPECT_EQ(results[3].Text, busy);
  EXPECT_FALSE(results[5].Found);
  EXPECT_TRUE(results[5].Probed);

  // one command per probed terminal, none for the unchecked row or the held one
  EXPECT_EQ(terminal->CommandCount(), 1u);
  EXPECT_EQ(refusing->CommandCount(), 1u);
  EXPECT_EQ(held->CommandCount(), 0u);
  EXPECT_EQ(skipped->CommandCount(), 0u);
  // every port the search opened is closed again; the held one is still its holder's
  EXPECT_TRUE(Free(terminal->SlavePath()));
  EXPECT_TRUE(Free(refusing->SlavePath()));
  EXPECT_TRUE(Free(silent.SlavePath()));
  EXPECT_FALSE(Free(held->SlavePath()));
  holder.Close();
}

TEST(DeviceSearch, NothingIsProbedOnceTheStopFlagIsSet) {
  auto first = StartedSim("12345678");
  auto second = StartedSim("87654321");
  const std::vector<TSearchPort> ports = {{first->SlavePath(), "a", true}, {second->SlavePath(), "b", true}};

  {
    // set while the first row is being shown: that row keeps the searching text
    std::atomic<bool> stop{false};
    EventLog log;
    TSearchEvents events = log.Events();
    events.OnProbe = [&](int row) {
      log.Add("probe " + std::to_string(row));
      stop = true;
    };
    const auto results = SearchDevices(ports, stop, events);
    EXPECT_EQ(log.lines, std::vector<std::string>{"probe 0"});
    EXPECT_EQ(results[0].Text, kSearchingText);
    EXPECT_FALSE(results[0].Probed);
    EXPECT_EQ(results[1].Text, "");
    EXPECT_EQ(first->CommandCount(), 0u);
  }
  {
    // set when the first probe has ended: the second row is never touched
    std::atomic<bool> stop{false};
    EventLog log;
    TSearchEvents events = log.Events();
    events.OnResult = [&](int row, const std::string& text, bool found) {
      log.Add("result " + std::to_string(row) + " " + (found ? "found " : "none ") + text);
      stop = true;
    };
    const auto results = SearchDevices(ports, stop, events);
    EXPECT_EQ(log.lines,
              (std::vector<std::string>{"probe 0", "result 0 found Устройство найдено: 12345678"}));
    EXPECT_FALSE(results[1].Probed);
    EXPECT_EQ(second->CommandCount(), 0u);
  }
  {
    // set before the search, or no row checked: nothing happens at all
    std::atomic<bool> stop{true};
    EventLog log;
    SearchDevices(ports, stop, log.Events());
    stop = false;
    std::vector<TSearchPort> unchecked = ports;
    for (auto& port : unchecked) port.Checked = false;
    const auto results = SearchDevices(unchecked, stop, log.Events());
    EXPECT_TRUE(log.lines.empty());
    for (const auto& r : results) EXPECT_FALSE(r.Probed || r.Found || !r.Text.empty());
    EXPECT_EQ(first->CommandCount(), 1u);
    EXPECT_EQ(second->CommandCount(), 0u);
  }
}

TEST(DeviceSearch, SearchPortsOfTheSystemAreCheckedAndNamedShort) {
  const std::vector<TComPortInfo> system = {{"ttyS0", "/dev/ttyS0", "", 1},
                                            {"ttyUSB0", "/dev/ttyUSB0", "usb-FTDI_FT232R-if00-port0", 33}};
  const auto rows = SearchPortsOf(system);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].Path, "/dev/ttyUSB0");
  EXPECT_EQ(rows[1].Caption, "ttyUSB0");
  EXPECT_TRUE(rows[0].Checked && rows[1].Checked);
}

TEST(DeviceSearchThread, StopLetsTheRunningProbeFinishAndProbesNoMore) {
  TDeviceSearch search;
  sim::TSimOptions options;
  // The stop comes while the terminal holds the first probe's command, before it answers.
  options.OnLineReceived = [&](const std::string&) { search.RequestStop(); };
  auto first = StartedSim("12345678", options);
  auto second = StartedSim("87654321");

  EventLog log;
  search.SetEvents(log.Events());
  std::mutex m;
  std::condition_variable cv;
  bool ended = false;
  std::thread::id endThread;
  search.SetOnEnd([&] {
    std::lock_guard lock(m);
    ended = true;
    endThread = std::this_thread::get_id();
    cv.notify_all();
  });
  EXPECT_FALSE(search.HasRun());
  search.Start({{first->SlavePath(), "a", true}, {second->SlavePath(), "b", true}});
  EXPECT_TRUE(search.HasRun());
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return ended; });
  }
  search.Stop();
  EXPECT_FALSE(search.Running());
  EXPECT_FALSE(search.Error());
  EXPECT_NE(endThread, std::this_thread::get_id());
  EXPECT_EQ(log.lines, (std::vector<std::string>{"probe 0", "result 0 found Устройство найдено: 12345678"}));
  auto results = search.Results();
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[0].Found);
  EXPECT_FALSE(results[1].Probed);
  EXPECT_EQ(second->CommandCount(), 0u);

  // A new start clears the stop flag of the last one and its rows.
  search.Start({{second->SlavePath(), "b", true}});
  search.Stop();  // may come at any point of that search
  ended = false;  // the worker has ended: nobody else touches it now
  search.Start({{second->SlavePath(), "b", true}});
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return ended; });
  }
  search.Stop();
  results = search.Results();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_TRUE(results[0].Found);
  EXPECT_EQ(results[0].Text, "Устройство найдено: 87654321");
}
