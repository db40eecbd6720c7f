#include "ISPInterface.h"

#include "BootloaderPty.h"
#include "ComPort.h"
#include "RandomBytes.h"
#include "SerialPort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace quorvel;

namespace {

using quorvel::test::RandomBytes;

// The host's whole port stack (termios port, client fan-out, the protocol's own client)
// against the simulated part behind a pty.
class ISPInterfacePty : public ::testing::Test {
 protected:
  void SetUp() override {
    part.Start();
    comm.SetPortName(part.SlavePath());
    ports = std::make_unique<TSerialPorts>(comm);
    ports->AddPort();  // the driver's spare client comes first, as in the program
    TSerialPort& client = ports->AddPort();
    comm.Open();
    isp = std::make_unique<TISPInterface>(client);
  }
  void TearDown() override {
    isp.reset();
    comm.Close();
    part.Stop();
  }

  std::shared_ptr<sim::TBootloaderFlash> memory = std::make_shared<sim::TBootloaderFlash>();
  sim::TBootloaderPty part{memory};
  TComm comm;
  std::unique_ptr<TSerialPorts> ports;
  std::unique_ptr<TISPInterface> isp;
};

}  // namespace

TEST_F(ISPInterfacePty, SynchronizeIdentifyEraseWriteCopyAndReadBack) {
  ASSERT_EQ(isp->Synchronize(12000), 0);
  std::string id;
  ASSERT_EQ(isp->ReadPartId(id), 0);
  EXPECT_EQ(id, std::to_string(sim::kBootPartId));
  ASSERT_EQ(isp->UnlockCommands(), 0);
  memory->LoadFlash(0x10000, std::string(16, '\0'));  // something the erase must remove
  ASSERT_EQ(isp->PrepareSectors(0, 27), 0);
  ASSERT_EQ(isp->EraseSectors(0, 27), 0);
  EXPECT_EQ(memory->Flash(), std::string(sim::TBootloaderFlash::kFlashSize, '\xFF'));
  std::string page = RandomBytes(1024, 1);
  page[100] = '\xFF';  // 0xFF crosses the port's break marking as data
  page[101] = '\xFF';
  page[102] = '\0';
  ASSERT_NO_THROW(isp->WritePage(0x10400, page));
  std::string text, first, second;
  ASSERT_EQ(isp->ReadMemory(0x10400, 512, text, first), 0);
  ASSERT_EQ(isp->ReadMemory(0x10400 + 512, 512, text, second), 0);
  EXPECT_TRUE(first + second == page);
  EXPECT_TRUE(memory->Flash().substr(0x10400, 1024) == page);
}

TEST_F(ISPInterfacePty, ResendOnOneBlockStillWritesTheData) {
  sim::TBootloaderFaults faults;
  faults.ResendOnBlock = 2;
  part.SetFaults(faults);
  ASSERT_EQ(isp->Synchronize(12000), 0);
  ASSERT_EQ(isp->UnlockCommands(), 0);
  ASSERT_EQ(isp->PrepareSectors(3, 3), 0);
  ASSERT_EQ(isp->EraseSectors(3, 3), 0);
  std::string page = RandomBytes(1024, 2);
  ASSERT_NO_THROW(isp->WritePage(0x3000, page));
  EXPECT_TRUE(memory->Flash().substr(0x3000, 1024) == page);
  std::vector<std::string> lines = part.ReceivedLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), std::to_string(TISPInterface::ByteSum(page.substr(512)))),
            2)
      << "the second half's block went twice";
}

TEST_F(ISPInterfacePty, ABlockIsSentThreeTimesAtMost) {
  struct Row {
    int resends;
    int code;   // of WriteRam
    int sends;  // of the block's checksum line
  };
  for (const Row& row : {Row{2, 0, 3}, Row{3, kIspResendExceeded, 3}}) {
    SCOPED_TRACE(row.resends);
    sim::TBootloaderFaults faults;
    faults.ResendOnBlock = 1;
    faults.ResendTimes = row.resends;
    part.Restart();
    part.SetFaults(faults);
    ASSERT_EQ(isp->Synchronize(12000), 0);
    const std::string block = RandomBytes(400, 4 + row.resends);
    const std::size_t before = part.ReceivedLines().size();
    std::string encoded;
    EXPECT_EQ(isp->WriteRam(TISPInterface::kRamBuffer, block, encoded), row.code);
    std::vector<std::string> lines = part.ReceivedLines();
    EXPECT_EQ(std::count(lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end(),
                         std::to_string(TISPInterface::ByteSum(block))),
              row.sends);
    if (row.code == 0) {
      EXPECT_TRUE(memory->Ram(TISPInterface::kRamBuffer, 400) == block);
    }
  }
}

TEST_F(ISPInterfacePty, SlowEraseAndPacedLineStillSucceed) {
  sim::TBootloaderFaults faults;
  faults.EraseDelayMs = 1500;
  part.SetFaults(faults);
  part.SetBaudRate(115200);
  ASSERT_EQ(isp->Synchronize(12000), 0);
  ASSERT_EQ(isp->UnlockCommands(), 0);
  ASSERT_EQ(isp->PrepareSectors(0, 27), 0);
  EXPECT_EQ(isp->EraseSectors(0, 27), 0);
  std::string page = RandomBytes(1024, 3);
  ASSERT_NO_THROW(isp->WritePage(0, page));
  EXPECT_TRUE(memory->Flash().substr(0, 1024) == page);
}

TEST_F(ISPInterfacePty, WrongEchoIsReportedAndTheDialogueGoesOn) {
  sim::TBootloaderFaults faults;
  faults.WrongEchoOnLine = 1;
  part.SetFaults(faults);
  ASSERT_EQ(isp->Synchronize(12000), 0);
  EXPECT_EQ(isp->UnlockCommands(), kIspBadEcho);
  EXPECT_EQ(isp->UnlockCommands(), 0);
}

TEST_F(ISPInterfacePty, DeadLineGivesNoLinkAfterTheByteTimeout) {
  sim::TBootloaderFaults faults;
  faults.NoAnswer = true;
  part.SetFaults(faults);
  EXPECT_EQ(isp->ByteTimeout(), 3000);
  int rc = isp->Synchronize(12000);
  EXPECT_EQ(rc, kIspNoLink);
  try {
    TISPInterface::RaiseOnError(rc);
    ADD_FAILURE() << "no exception";
  } catch (const EISPProgrammerException& e) {
    EXPECT_EQ(e.ReturnCode(), -1);
    EXPECT_NE(std::string(e.what()).find("Перезапустите терминал"), std::string::npos);
  }
}
