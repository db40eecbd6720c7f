// The background firmware update over the terminal driver's port: the worker thread, the
// muted spare client and the port's rate after the run.
#include "ISPWriter.h"

#include "BootloaderPty.h"
#include "Errors.h"
#include "ModemDriver.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

using namespace quorvel;
using quorvel::test::HaveProgram;
using quorvel::test::RunCommand;
using quorvel::test::TempDir;

namespace {

class ISPUpdatePty : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveProgram("objcopy")) GTEST_SKIP() << "objcopy is not installed";
    part.Start();
    driver.SetPortName(part.SlavePath());
    driver.SparePort().SetOnData([this](ISerialPort&, const std::string& data) { spareBytes += data.size(); });
    // Every change of a running status comes from the worker, so the spare client must be
    // muted at each of them.
    status.SetOnChange([this] {
      const bool running = status.Snapshot().Running;
      if (running && driver.SparePort().Active()) ++heardWhileRunning;
      if (std::this_thread::get_id() != caller) return;
      ++changesOnCaller;
      if (!running) ++idleOnCaller;
    });
    watcher = &driver.Ports().AddPort();
    watcher->SetOnData([this](ISerialPort&, const std::string& data) { watcherBytes += data.size(); });
  }
  void TearDown() override {
    driver.ClosePort();
    part.Stop();
  }

  std::string MakeHex(std::size_t size) {
    std::string bin = dir.File("image.bin");
    std::string hex = dir.File("image.hex");
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    std::ofstream(bin, std::ios::binary) << bytes;
    RunCommand("objcopy -I binary -O ihex " + bin + " " + hex);
    return hex;
  }

  // Starts the update and waits for the worker's end. What Start itself did to the status
  // is seen on this thread, before any worker change: it must read Running, so a display
  // never sees an idle status before the worker has begun.
  TUpdateStatus::TSnapshot RunInBackground(TISPUpdate& update, const TISPParams& params) {
    changesOnCaller = 0;
    idleOnCaller = 0;
    update.Start(params);
    EXPECT_GT(changesOnCaller, 0);
    EXPECT_EQ(idleOnCaller, 0) << "running from Start on, before the worker is seen";
    update.WaitFor();
    EXPECT_EQ(heardWhileRunning, 0) << "the spare client was active while the status read Running";
    return status.Snapshot();
  }

  // Sends "?" to a freshly reset part through the driver's port, so that it answers.
  void ProvokeAnAnswer() {
    part.Restart();
    const std::size_t before = watcherBytes;
    driver.SparePort().Write("?");
    for (int i = 0; i < 300 && watcherBytes == before; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  TempDir dir;
  std::shared_ptr<sim::TBootloaderFlash> memory = std::make_shared<sim::TBootloaderFlash>();
  sim::TBootloaderPty part{memory};
  TModemDriver driver;
  TUpdateStatus status;
  TSerialPort* watcher = nullptr;
  std::atomic<std::size_t> spareBytes{0};
  std::atomic<std::size_t> watcherBytes{0};
  std::atomic<int> heardWhileRunning{0};
  const std::thread::id caller = std::this_thread::get_id();
  int changesOnCaller = 0;
  int idleOnCaller = 0;
};

}  // namespace

TEST_F(ISPUpdatePty, SpareClientHearsNothingDuringTheRunAndEverythingAfter) {
  driver.Comm().SetBaudRate(38400);
  std::atomic<bool> finishedOnWorker{false};
  const auto caller = std::this_thread::get_id();
  TISPUpdate update(driver, status);
  update.SetOnFinished([&] { finishedOnWorker = std::this_thread::get_id() != caller; });

  TUpdateStatus::TSnapshot s = RunInBackground(update, {MakeHex(3000), 115200, 12000, true});
  EXPECT_FALSE(s.Failed) << s.Text;
  EXPECT_EQ(s.Text, kWriteSucceeded);
  EXPECT_EQ(s.Position, 6);
  EXPECT_TRUE(update.Finished());
  EXPECT_TRUE(finishedOnWorker) << "the run happens on a worker thread";
  EXPECT_EQ(memory->Flash()[2999], static_cast<char>(2999 * 7 + 3));

  EXPECT_EQ(spareBytes, 0u) << "the bootloader's replies never reached the spare client";
  EXPECT_GT(watcherBytes, 0u) << "other active clients still heard them";
  EXPECT_TRUE(driver.SparePort().Active());
  EXPECT_EQ(driver.Comm().BaudRate(), 38400) << "the port's rate is set back";

  ProvokeAnAnswer();
  EXPECT_GT(spareBytes, 0u) << "the spare client hears the terminal again after the run";
}

TEST_F(ISPUpdatePty, AFailedRunStillRestoresTheSpareClientAndTheRate) {
  TISPUpdate update(driver, status);
  const std::size_t clients = driver.Ports().Count();
  struct Row {
    const char* what;
    std::string file;
  };
  const Row rows[] = {{"missing file", dir.File("missing.hex")}, {"no end record", ""}};
  std::string truncated = MakeHex(100);
  RunCommand("grep -v ':00000001FF' " + truncated + " > " + dir.File("cut.hex"));
  for (Row row : rows) {
    if (row.file.empty()) row.file = dir.File("cut.hex");
    TUpdateStatus::TSnapshot s = RunInBackground(update, {row.file, 57600, 12000, true});
    EXPECT_TRUE(s.Failed) << row.what;
    EXPECT_TRUE(s.Done) << row.what;
    EXPECT_FALSE(s.Text.empty()) << row.what;
    EXPECT_TRUE(driver.SparePort().Active()) << row.what;
    EXPECT_EQ(driver.Comm().BaudRate(), 115200) << row.what;
  }
  EXPECT_TRUE(part.ReceivedLines().empty()) << "nothing reached the part";
  EXPECT_EQ(driver.Ports().Count(), clients + 1) << "one client serves every run";
  ProvokeAnAnswer();
  EXPECT_GT(spareBytes, 0u);
}

TEST_F(ISPUpdatePty, APortThatCannotBeOpenedRaisesAndLeavesTheStatusIdle) {
  driver.SetPortName(dir.File("no-such-device"));
  TISPUpdate update(driver, status);
  EXPECT_THROW(update.Start({MakeHex(100), 115200, 12000, true}), Exception);
  EXPECT_FALSE(status.Snapshot().Running);
  EXPECT_TRUE(update.Finished());
  EXPECT_TRUE(driver.SparePort().Active());
}

// A stop asked for from another thread ends the run before its next page, writing or
// verifying; the pages written stay in the flash.
TEST_F(ISPUpdatePty, AStopRequestEndsTheRunBeforeTheNextPage) {
  const struct {
    const char* StopAt;  // the status text during which the stop is asked for
    std::size_t PagesCopied;
  } rows[] = {{"Запись данных 0x00000400", 2}, {"Чтение данных 0x00000000", 3}};
  const std::string file = MakeHex(3000);  // three pages
  for (const auto& row : rows) {
    SCOPED_TRACE(row.StopAt);
    part.Restart();
    const auto copies = [this] {
      std::size_t count = 0;
      for (const std::string& line : part.ReceivedLines()) count += line.rfind("C ", 0) == 0 ? 1 : 0;
      return count;
    };
    const std::size_t copiedBefore = copies();
    status.ResetStop();
    // On the worker thread, as the text of the page is shown.
    status.SetOnChange([this, stopAt = std::string(row.StopAt)] {
      if (status.Snapshot().Text == stopAt) status.RequestStop();
    });
    TISPUpdate update(driver, status);
    update.Start({file, 115200, 12000, true});
    update.WaitFor();
    const TUpdateStatus::TSnapshot s = status.Snapshot();
    EXPECT_TRUE(s.Failed);
    EXPECT_EQ(s.Text, kAbortMessage);
    EXPECT_EQ(copies() - copiedBefore, row.PagesCopied);
    EXPECT_EQ(memory->Flash()[1500], static_cast<char>(1500 * 7 + 3)) << "the pages written stay";
    EXPECT_TRUE(driver.SparePort().Active());
  }
}
