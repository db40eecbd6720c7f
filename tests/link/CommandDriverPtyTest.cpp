#include "CommandDriver.h"
#include "ComPort.h"
#include "Errors.h"
#include "Pty.h"
#include "SerialPort.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

using namespace quorvel;

namespace {

// Reads one line (up to LF) from the terminal side; "" on timeout.
std::string ReadLine(test::Pty& pty, int timeoutMs = 5000) {
  std::string line;
  for (;;) {
    std::string c = pty.Read(1, timeoutMs);
    if (c.empty()) return "";
    line += c;
    if (c == "\n") return line;
  }
}

// Waits (up to a generous bound) until cond holds; the caller asserts afterwards.
template <typename Cond>
void WaitUntil(Cond cond) {
  for (int i = 0; i < 5000 && !cond(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

struct Link {
  test::Pty pty;
  TComm comm;
  std::unique_ptr<TSerialPorts> ports;
  TSerialPort* spare = nullptr;
  std::unique_ptr<TCommandDriver> driver;

  Link() {
    comm.SetPortName(pty.SlavePath());
    ports = std::make_unique<TSerialPorts>(comm);
    spare = &ports->AddPort();
    driver = std::make_unique<TCommandDriver>(ports->AddPort());
    comm.Open();
  }

  TCommand& Configure(const std::string& name, bool sequenced, int timeoutMs = 5000) {
    TCommand& c = driver->Command();
    c.Reset();
    c.SetName(name);
    c.SetSequenced(sequenced);
    c.SetTimeout(timeoutMs);
    c.Prepare();
    return c;
  }
};

}  // namespace

TEST(CommandDriverPty, EchoDataAndOkCompleteTheExchange) {
  Link link;
  TCommand& cmd = link.Configure("SMSTATE", true);
  std::thread terminal([&] {
    std::string line = ReadLine(link.pty);
    EXPECT_EQ(line, "AT+SMSTATE=1,93\r\n");
    link.pty.Write("AT+SMSTATE=1,93\r\n+SMSTATE: 3,ABC,81\r\nOK\r\n");
  });
  EXPECT_EQ(link.driver->Execute(), 0);
  terminal.join();
  EXPECT_EQ(cmd.AnswerField(0), "3");
  EXPECT_EQ(cmd.AnswerField(1), "ABC");
  EXPECT_EQ(cmd.SeqNo(), 2);
}

TEST(CommandDriverPty, ReplyInManySmallChunksAndCyrillicData) {
  Link link;
  TCommand& cmd = link.Configure("CGMI", false);
  // windows-1251 "Ортена" and a byte 0xFF ('я') that the port must un-escape
  const std::string reply = "AT+CGMI\r\n\xCE\xF0\xF2\xE5\xED\xE0 \xFF\r\nOK\r\n";
  std::thread terminal([&] {
    EXPECT_EQ(ReadLine(link.pty), "AT+CGMI\r\n");
    for (char c : reply) {
      link.pty.Write(std::string(1, c));
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });
  cmd.SetWaitForOk(true);
  EXPECT_EQ(link.driver->Execute(), 0);
  terminal.join();
  EXPECT_EQ(cmd.AnswerField(0), "Ортена я");
}

TEST(CommandDriverPty, NoReplyEndsWithNoLinkAfterTheTimeout) {
  Link link;
  TCommand& cmd = link.Configure("SMSN", true, 100);
  EXPECT_EQ(link.driver->Execute(), 1005);
  EXPECT_EQ(cmd.ResultCode(), 1005);
  EXPECT_NE(cmd.ResultText().find("Нет связи с устройством"), std::string::npos);
  EXPECT_EQ(ReadLine(link.pty), "AT+SMSN=1,93\r\n");  // the line did go out
}

TEST(CommandDriverPty, TerminalSideClosingMidExchangeIsAClearErrorNotAHang) {
  Link link;
  // A long timeout: the lost port must end the exchange, not the clock.
  TCommand& cmd = link.Configure("SMSTATE", true, 60000);
  std::thread terminal([&] {
    ReadLine(link.pty);
    link.pty.Write("AT+SMSTATE=1,93\r\n");
    link.pty.CloseMaster();
  });
  EXPECT_EQ(link.driver->Execute(), 1005);
  terminal.join();
  EXPECT_NE(cmd.ResultText().find("потеряна"), std::string::npos) << cmd.ResultText();
  EXPECT_FALSE(link.comm.Connected());
  // the next command cannot silently go nowhere
  link.Configure("SMSN", true, 60000);
  EXPECT_THROW(link.driver->Execute(), Exception);
  link.comm.Close();
  EXPECT_FALSE(link.comm.Connected());
}

TEST(CommandDriverPty, MutedClientGetsNothingAndOthersSeeTheSameChunks) {
  // declared before the link: the receiving thread's handlers use them until the port closes
  std::mutex m;
  std::vector<std::string> spareChunks;
  std::vector<std::string> thirdChunks;
  Link link;
  link.spare->SetOnData([&](ISerialPort&, const std::string& d) {
    std::lock_guard l(m);
    spareChunks.push_back(d);
  });
  TSerialPort& third = link.ports->AddPort();
  third.SetOnData([&](ISerialPort&, const std::string& d) {
    std::lock_guard l(m);
    thirdChunks.push_back(d);
  });
  TSerialPort& noHandler = link.ports->AddPort();  // skipped, must not stop the others
  (void)noHandler;

  link.spare->SetActive(false);
  TCommand& cmd = link.Configure("CGMI", false);
  std::thread terminal([&] {
    ReadLine(link.pty);
    link.pty.Write("AT+CGMI\r\nORTENA\r\nOK\r\n");
  });
  cmd.SetWaitForOk(true);
  EXPECT_EQ(link.driver->Execute(), 0);
  terminal.join();
  // the third client comes after the command driver's in the delivery order, so the exchange
  // can be complete a moment before it has its copy
  const std::string first = "AT+CGMI\r\nORTENA\r\nOK\r\n";
  auto joined = [&](const std::vector<std::string>& chunks) {
    std::lock_guard l(m);
    std::string all;
    for (auto& c : chunks) all += c;
    return all;
  };
  WaitUntil([&] { return joined(thirdChunks) == first; });
  EXPECT_EQ(joined(thirdChunks), first);
  EXPECT_EQ(joined(spareChunks), "");

  link.spare->SetActive(true);
  link.Configure("CGMR", false);
  std::thread terminal2([&] {
    ReadLine(link.pty);
    link.pty.Write("AT+CGMR\r\n1.0\r\nOK\r\n");
  });
  link.driver->Command().SetWaitForOk(true);
  EXPECT_EQ(link.driver->Execute(), 0);
  terminal2.join();
  WaitUntil([&] { return joined(thirdChunks) == first + "AT+CGMR\r\n1.0\r\nOK\r\n"; });
  std::lock_guard l(m);
  // both active clients were offered exactly the same chunks
  std::vector<std::string> thirdSecond(thirdChunks.end() - static_cast<long>(spareChunks.size()), thirdChunks.end());
  EXPECT_EQ(spareChunks, thirdSecond);
  std::string all;
  for (auto& c : spareChunks) all += c;
  EXPECT_EQ(all, "AT+CGMR\r\n1.0\r\nOK\r\n");
}

TEST(CommandDriverPty, BreakFailsExactlyOneSend) {
  Link link;
  ASSERT_TRUE(link.comm.OnBreak);
  link.comm.OnBreak(link.comm);  // what the receiving thread does when it decodes a BREAK
  try {
    link.driver->Send("AT+SMSN=1,93");
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1004);
    EXPECT_STREQ(e.what(), "Линия находится в состоянии BREAK");
  }
  link.driver->Send("AT+SMSN=1,93");
  EXPECT_EQ(ReadLine(link.pty), "AT+SMSN=1,93\r\n");  // only the second one was written
}

TEST(CommandDriverPty, HandlersCanBeSwappedWhileChunksFlow) {
  std::atomic<int> calls{0};
  std::atomic<bool> stop{false};
  Link link;
  std::thread terminal([&] {
    while (!stop) link.pty.Write("+X: noise\r\n", 1000);
  });
  for (int i = 0; i < 200; ++i) {
    link.spare->SetOnData([&](ISerialPort&, const std::string&) { ++calls; });
    link.spare->SetOnData(nullptr);
    link.spare->SetActive(i % 2 == 0);
  }
  stop = true;
  terminal.join();
  link.spare->SetOnData(nullptr);
  int after = calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(calls.load(), after);  // a detached handler is never called again
}
