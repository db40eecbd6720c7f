// A stop requested from another thread ends each kind of packet transfer before its next
// packet: the simulator's own thread asks for it as it receives the n-th packet, so the
// moment is exact without any waiting.
#include "Errors.h"
#include "ModemDriver.h"
#include "RandomBytes.h"
#include "SimFixture.h"
#include "TerminalSim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <random>
#include <string>

using namespace quorvel;

namespace {

using quorvel::test::RandomBytes;

class TransferStopE2e : public test::SimTest {
 protected:
  TransferStopE2e() : SimTest(Options()) {}

  // From now on the n-th line starting with prefix asks the driver to stop (0: never).
  void StopAt(const char* prefix, int n) {
    seen_.store(0);
    prefix_.store(prefix);
    stopAt_.store(n);
  }

  int LinesStartingWith(const std::string& prefix) const {
    int count = 0;
    for (const auto& line : sim.ReceivedLines()) count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
  }

  std::atomic<TModemDriver*> stopTarget_{nullptr};

 private:
  sim::TSimOptions Options() {
    sim::TSimOptions options;
    // Runs on the simulator's thread before the line is answered.
    options.OnLineReceived = [this](const std::string& line) {
      const char* prefix = prefix_.load();
      if (prefix == nullptr || line.rfind(prefix, 0) != 0) return;
      if (seen_.fetch_add(1) + 1 == stopAt_.load())
        if (TModemDriver* target = stopTarget_.load()) target->RequestStop();
    };
    return options;
  }

  std::atomic<const char*> prefix_{nullptr};
  std::atomic<int> stopAt_{0};
  std::atomic<int> seen_{0};
};

struct StopRow {
  const char* Name;
  const char* Prefix;  // the packet lines of the transfer
  int StopAt;          // the packet during which the stop is asked for
  std::function<void(TModemDriver&, sim::TTerminalSim&)> Prepare;
  std::function<void(TModemDriver&)> Run;
  // What the terminal holds after the stopped transfer.
  std::function<void(const sim::TSimState&)> CheckState;
};

TEST_F(TransferStopE2e, EachTransferStopsBeforeItsNextPacket) {
  const std::string data = RandomBytes(10 * kDataPacketSize, 1);  // ten packets
  const std::string script(10 * kScriptPacketSize, 'z');          // ten packets and the end mark
  const std::string key = RandomBytes(2000, 2);                   // fourteen Base64 packets
  const std::vector<StopRow> rows = {
      {"provider file write", "AT+SAVEXML=", 3, nullptr,
       [&](TModemDriver& d) { d.WriteDataFile(TDataFile::Xml, data); },
       [&](const sim::TSimState& s) {
         ASSERT_TRUE(s.XmlData.has_value());
         EXPECT_TRUE(*s.XmlData == data.substr(0, 3 * kDataPacketSize)) << "the packets sent stay sent";
       }},
      {"phone base write", "AT+SAVEPHONEBASE=", 1, nullptr,
       [&](TModemDriver& d) { d.WriteDataFile(TDataFile::PhoneBase, data); },
       [&](const sim::TSimState& s) {
         ASSERT_TRUE(s.PhoneBase.has_value());
         EXPECT_EQ(s.PhoneBase->size(), kDataPacketSize);
       }},
      {"provider file read", "AT+LOADXML=", 4,
       [&](TModemDriver&, sim::TTerminalSim& t) { t.Update([&](sim::TSimState& s) { s.XmlData = data; }); },
       [&](TModemDriver& d) { (void)d.ReadDataFile(TDataFile::Xml); }, nullptr},
      {"phone base read", "AT+LOADPHONEBASE=", 2,
       [&](TModemDriver&, sim::TTerminalSim& t) { t.Update([&](sim::TSimState& s) { s.PhoneBase = data; }); },
       [&](TModemDriver& d) { (void)d.ReadDataFile(TDataFile::PhoneBase); }, nullptr},
      {"script write", "AT+SMSCRIPT=", 5, nullptr, [&](TModemDriver& d) { d.WriteScript(7, script); },
       [&](const sim::TSimState& s) { EXPECT_EQ(sim::ScriptText(s, 7), "") << "no end mark, no script"; }},
      {"script write stopped before its end mark", "AT+SMSCRIPT=", 10, nullptr,
       [&](TModemDriver& d) { d.WriteScript(7, script); },
       [&](const sim::TSimState& s) { EXPECT_EQ(sim::ScriptText(s, 7), ""); }},
      {"key file", "AT+SMEASYPAY=", 6, nullptr,
       [&](TModemDriver& d) { d.WriteKeyFileData(TKeyFile::EasyPayKey, key); },
       [&](const sim::TSimState& s) { EXPECT_EQ(s.Files.count(sim::files::kEasyPayKey), 0u); }},
  };
  stopTarget_.store(driver.get());
  for (const StopRow& row : rows) {
    SCOPED_TRACE(row.Name);
    driver->ResetStop();
    StopAt(nullptr, 0);
    if (row.Prepare) row.Prepare(*driver, sim);
    sim.ClearReceivedLines();
    StopAt(row.Prefix, row.StopAt);
    try {
      row.Run(*driver);
      ADD_FAILURE() << "the transfer was not stopped";
    } catch (const EAbort& e) {
      EXPECT_STREQ(e.what(), kAbortMessage);
    }
    EXPECT_TRUE(driver->StopRequested());
    EXPECT_EQ(LinesStartingWith(row.Prefix), row.StopAt) << "no packet after the request";
    if (row.CheckState) row.CheckState(sim.State());

    // The request stays: the next transfer stops before its first packet.
    sim.ClearReceivedLines();
    StopAt(nullptr, 0);
    EXPECT_THROW(row.Run(*driver), EAbort);
    EXPECT_EQ(LinesStartingWith(row.Prefix), 0);
  }

  // Withdrawn, the transfers run whole again.
  driver->ResetStop();
  EXPECT_FALSE(driver->StopRequested());
  driver->WriteDataFile(TDataFile::Xml, data);
  EXPECT_EQ(driver->ReadDataFile(TDataFile::Xml), data);
  driver->WriteScript(7, script);
  EXPECT_EQ(sim::ScriptText(sim.State(), 7), script);
}

// The single commands around the transfers do not look at the request.
TEST_F(TransferStopE2e, SingleCommandsIgnoreTheRequest) {
  driver->RequestStop();
  std::string serial;
  EXPECT_EQ(driver->GetSerialNumber(serial), 0);
  EXPECT_TRUE(driver->StopRequested());
}

}  // namespace
