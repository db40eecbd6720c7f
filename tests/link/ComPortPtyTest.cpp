#include "ArbitraryBaud.h"
#include "ComPort.h"

#include "Errors.h"
#include "LogFile.h"
#include "Pty.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fmt/printf.h>

#include <termios.h>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

using namespace quorvel;
namespace fs = std::filesystem;

namespace {

constexpr int kWaitMs = 10000;  // upper bound for anything the tests wait for

std::string ErrorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

std::size_t Entries(const char* dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

// The slave's settings, read through the master (termios calls on a master act on its slave).
termios SettingsOf(int masterFd) {
  termios t{};
  EXPECT_EQ(tcgetattr(masterFd, &t), 0);
  return t;
}

speed_t OutSpeed(int masterFd) {
  const termios t = SettingsOf(masterFd);
  return cfgetospeed(&t);
}

speed_t InSpeed(int masterFd) {
  const termios t = SettingsOf(masterFd);
  return cfgetispeed(&t);
}

std::string AllBytes() {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  return all;
}

// What the port delivered through its handlers, and a way to wait for it.
class Received {
 public:
  // OnRxChar takes every byte offered; OnBreak and OnError are counted.
  void Attach(TCustomComm& port) {
    port.OnRxChar = [this](TCustomComm& p, std::size_t count) { Add(p.Read(count)); };
    port.OnBreak = [this](TCustomComm&) { Count(breaks_); };
    port.OnError = [this](TCustomComm& p, unsigned errors) {
      if (errors & kCommErrLost) {
        std::lock_guard lock(m_);
        connectedWhenLost_ = p.Connected();
      }
      Count(errors & kCommErrLost ? lost_ : frameErrors_);
    };
  }
  void Add(const std::string& bytes) {
    {
      std::lock_guard lock(m_);
      data_ += bytes;
    }
    changed_.notify_all();
  }
  // Waits until at least size bytes arrived (at most kWaitMs); true when they did.
  bool WaitForSize(std::size_t size) {
    std::unique_lock lock(m_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return data_.size() >= size; });
  }
  bool WaitForLost() {
    std::unique_lock lock(m_);
    return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return lost_ > 0; });
  }
  std::string Data() const {
    std::lock_guard lock(m_);
    return data_;
  }
  int Breaks() const { return Get(breaks_); }
  int FrameErrors() const { return Get(frameErrors_); }
  int Lost() const { return Get(lost_); }
  bool ConnectedWhenLost() const {
    std::lock_guard lock(m_);
    return connectedWhenLost_;
  }

 private:
  void Count(int& counter) {
    {
      std::lock_guard lock(m_);
      ++counter;
    }
    changed_.notify_all();
  }
  int Get(const int& counter) const {
    std::lock_guard lock(m_);
    return counter;
  }
  mutable std::mutex m_;
  std::condition_variable changed_;
  std::string data_;
  int breaks_ = 0;
  int frameErrors_ = 0;
  int lost_ = 0;
  bool connectedWhenLost_ = true;
};

class ComPortPty : public ::testing::Test {
 protected:
  void OpenPort() {
    port.SetPortName(pty.SlavePath());
    received.Attach(port);
    port.Open();
    ASSERT_TRUE(port.Connected());
  }
  // Bytes from the port to the master and back, to show the line works.
  void ExpectExchangeWorks(TCustomComm& p, Received& r, const std::string& tag) {
    p.Write("ping " + tag);
    EXPECT_EQ(pty.Read(5 + tag.size()), "ping " + tag);
    const std::size_t had = r.Data().size();
    ASSERT_TRUE(pty.Write("pong " + tag));
    ASSERT_TRUE(r.WaitForSize(had + 5 + tag.size()));
    EXPECT_EQ(r.Data().substr(had), "pong " + tag);
  }
  termios SlaveSettings() { return SettingsOf(pty.MasterFd()); }
  // One open and close of a port of its own, so that what the process creates once on first
  // use (a sanitizer's helper thread, the log file object) is not counted as a leak.
  void WarmUp() {
    TComm once;
    once.SetPortName(pty.SlavePath());
    once.Open();
    once.Close();
  }

  test::Pty pty;
  Received received;
  TComm port;  // declared last: closed before what its handlers use goes away
};

}  // namespace

TEST_F(ComPortPty, OpenSetsARawEightBitLineWithMarkedBreaks) {
  OpenPort();
  const termios t = SlaveSettings();
  EXPECT_EQ(t.c_iflag & (IGNBRK | BRKINT | IGNPAR | ISTRIP | IXON | IXOFF | ICRNL | INLCR | IGNCR), 0u);
  EXPECT_NE(t.c_iflag & PARMRK, 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
  port.Open();  // open already: nothing changes
  EXPECT_TRUE(port.Connected());
  ExpectExchangeWorks(port, received, "1");
}

TEST_F(ComPortPty, BaudRateChangesApplyWhileOpen) {
  OpenPort();
  const std::pair<int, speed_t> rates[] = {{230400, B230400}, {57600, B57600},  {38400, B38400},
                                           {19200, B19200},   {9600, B9600},    {4800, B4800},
                                           {2400, B2400},     {115200, B115200}};
  for (const auto& [rate, speed] : rates) {
    port.SetBaudRate(rate);
    EXPECT_TRUE(port.Connected()) << rate;
    EXPECT_EQ(OutSpeed(pty.MasterFd()), speed) << rate;
    EXPECT_EQ(InSpeed(pty.MasterFd()), speed) << rate;
    EXPECT_NE(SlaveSettings().c_iflag & PARMRK, 0u) << rate;
  }
  port.SetBaudRate(9600);
  EXPECT_FALSE(ErrorOf([&] { port.SetBaudRate(12345); }).empty());
  EXPECT_EQ(port.BaudRate(), 9600);
  EXPECT_EQ(OutSpeed(pty.MasterFd()), static_cast<speed_t>(B9600));
  ExpectExchangeWorks(port, received, "after rates");
}

TEST_F(ComPortPty, RatesWithoutATermiosConstantAreSetExactly) {
  OpenPort();
  for (int rate : {28800, 14400, 7200}) {
    port.SetBaudRate(rate);
    EXPECT_EQ(port.BaudRate(), rate);
    EXPECT_EQ(GetArbitraryBaudRate(pty.MasterFd()), rate);
  }
  // Back to a standard rate the usual way.
  port.SetBaudRate(115200);
  EXPECT_EQ(OutSpeed(pty.MasterFd()), static_cast<speed_t>(B115200));
  ExpectExchangeWorks(port, received, "after arbitrary rates");
}

TEST_F(ComPortPty, SecondOpenerIsRefusedAndTheFirstKeepsWorking) {
  OpenPort();
  test::TempDir dir;
  fs::create_symlink(pty.SlavePath(), dir.File("terminal"));
  for (const std::string& path : {pty.SlavePath(), dir.File("terminal")}) {
    TComm second;
    second.SetPortName(path);
    EXPECT_EQ(ErrorOf([&] { second.Open(); }), fmt::sprintf(kPortUnavailableFmt, path) + ": " + kPortBusy);
    EXPECT_FALSE(second.Connected());
  }
  ExpectExchangeWorks(port, received, "first");

  port.Close();
  Received secondReceived;  // outlives the port whose handlers use it
  TComm second;
  secondReceived.Attach(second);
  second.SetPortName(dir.File("terminal"));  // through a link: the same device
  ASSERT_NO_THROW(second.Open());
  ExpectExchangeWorks(second, secondReceived, "second");
  EXPECT_EQ(ErrorOf([&] { port.Open(); }),
            fmt::sprintf(kPortUnavailableFmt, pty.SlavePath()) + ": " + kPortBusy);
}

TEST_F(ComPortPty, EveryByteValueCrossesBothWaysUnchanged) {
  OpenPort();
  const std::string all = AllBytes();
  port.Write(all);
  EXPECT_EQ(pty.Read(all.size()), all);

  // Byte sequences that look like the kernel's marks must come through as plain data.
  const std::string tricky = all + std::string("\xFF\x00\x00\xFF\xFF\xFF\x00\x41\xFF", 9) + all;
  ASSERT_TRUE(pty.Write(tricky));
  ASSERT_TRUE(received.WaitForSize(tricky.size()));
  EXPECT_EQ(received.Data(), tricky);
  EXPECT_EQ(received.Breaks(), 0);
  EXPECT_EQ(received.FrameErrors(), 0);
}

TEST_F(ComPortPty, ManySmallChunksArriveComplete) {
  OpenPort();
  std::string sent;
  std::thread terminal([&] {
    for (int i = 0; i < 2000; ++i) {
      std::string chunk;
      for (int j = 0; j <= i % 7; ++j) chunk.push_back(static_cast<char>((i * 31 + j * 17) & 0xFF));
      sent += chunk;
      if (!pty.Write(chunk)) break;
    }
  });
  terminal.join();
  ASSERT_TRUE(received.WaitForSize(sent.size())) << received.Data().size() << " of " << sent.size();
  EXPECT_EQ(received.Data(), sent);
}

TEST_F(ComPortPty, BytesArrivingWhileTheHandlerIsBusyAreDelivered) {
  std::mutex m;
  std::condition_variable cv;
  bool entered = false;
  bool release = false;
  TComm comm;  // after what its handler uses, so it closes first on every way out
  comm.SetPortName(pty.SlavePath());
  comm.OnRxChar = [&](TCustomComm& p, std::size_t count) {
    std::unique_lock lock(m);
    if (!entered) {
      entered = true;
      cv.notify_all();
      cv.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return release; });
    }
    lock.unlock();
    received.Add(p.Read(count));
  };
  comm.Open();
  ASSERT_TRUE(pty.Write("first"));
  {
    std::unique_lock lock(m);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return entered; }));
  }
  ASSERT_TRUE(pty.Write("second"));
  ASSERT_TRUE(pty.Write("third"));
  {
    std::lock_guard lock(m);
    release = true;
  }
  cv.notify_all();
  ASSERT_TRUE(received.WaitForSize(16));
  EXPECT_EQ(received.Data(), "firstsecondthird");
}

TEST_F(ComPortPty, HandlerLeavingBytesIsCalledAgain) {
  std::vector<std::size_t> offered;  // receiving thread only until the port is closed
  TComm comm;
  comm.SetPortName(pty.SlavePath());
  comm.OnRxChar = [&](TCustomComm& p, std::size_t count) {
    offered.push_back(count);
    received.Add(p.Read(1));
  };
  comm.Open();
  ASSERT_TRUE(pty.Write("abcdef"));
  ASSERT_TRUE(received.WaitForSize(6));
  EXPECT_EQ(received.Data(), "abcdef");
  comm.Close();
  ASSERT_FALSE(offered.empty());
  EXPECT_EQ(offered.back(), 1u);  // the last call offered the last byte
  for (std::size_t i = 1; i < offered.size(); ++i) EXPECT_NE(offered[i], 0u);
}

TEST_F(ComPortPty, HandlerErrorIsLoggedAndReceivingGoesOn) {
  test::TempDir dir;
  LogFile().SetFileName(dir.File("trace.log"));
  LogFile().SetEnabled(true);
  std::promise<void> failed;
  bool first = true;  // receiving thread only
  TComm comm;
  comm.SetPortName(pty.SlavePath());
  comm.OnRxChar = [&](TCustomComm& p, std::size_t count) {
    if (first) {
      first = false;
      failed.set_value();
      throw Exception("boom");  // nothing read
    }
    received.Add(p.Read(count));
  };
  comm.Open();
  ASSERT_TRUE(pty.Write("one"));
  ASSERT_EQ(failed.get_future().wait_for(std::chrono::milliseconds(kWaitMs)), std::future_status::ready);
  // The bytes the failed call left behind come with the next arrival.
  ASSERT_TRUE(pty.Write("two"));
  ASSERT_TRUE(received.WaitForSize(6));
  EXPECT_EQ(received.Data(), "onetwo");
  comm.Close();
  LogFile().SetEnabled(false);
  std::ifstream in(dir.File("trace.log"));
  std::stringstream log;
  log << in.rdbuf();
  EXPECT_NE(log.str().find("[ERROR] TCommEventThread.DoOnSignal: boom"), std::string::npos) << log.str();
  LogFile().SetFileName(dir.File("unused.log"));
}

TEST_F(ComPortPty, BytesWaitForReadWithoutHandler) {
  port.SetPortName(pty.SlavePath());
  port.Open();
  port.SetReadTimeout(kWaitMs);
  ASSERT_TRUE(pty.Write("queued"));
  std::string got;
  while (got.size() < 6) {
    const std::string part = port.Read(6 - got.size());
    if (part.empty()) break;
    got += part;
  }
  EXPECT_EQ(got, "queued");
  port.SetReadTimeout(1);
  EXPECT_EQ(port.Read(10), "");  // nothing more came
}

TEST_F(ComPortPty, LargeTransfersBothWaysAtOnce) {
  OpenPort();
  std::string out(256 * 1024, '\0');
  std::string in(256 * 1024, '\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char>(i * 7 + i / 256);
    in[i] = static_cast<char>(i * 13 + 1);
  }
  std::string atTerminal;
  std::thread reader([&] { atTerminal = pty.Read(out.size(), kWaitMs); });
  std::thread writer([&] { EXPECT_TRUE(pty.Write(in, kWaitMs)); });
  port.Write(out);
  writer.join();
  reader.join();
  EXPECT_TRUE(atTerminal == out) << atTerminal.size() << " bytes of " << out.size();
  ASSERT_TRUE(received.WaitForSize(in.size()));
  EXPECT_TRUE(received.Data() == in);
}

TEST_F(ComPortPty, RtsIsANoOpOnAPseudoTerminal) {
  OpenPort();
  EXPECT_NO_THROW(port.SetRTS(true));
  EXPECT_NO_THROW(port.SetRTS(false));
  EXPECT_TRUE(port.Connected());
  ExpectExchangeWorks(port, received, "rts");
}

TEST_F(ComPortPty, SameSettingsKeepTheOpenPortOthersClose) {
  OpenPort();
  port.SetPortName(pty.SlavePath());
  port.SetPort(port.Port());
  port.SetBaudRate(port.BaudRate());
  EXPECT_TRUE(port.Connected());
  port.SetPort(port.Port() + 1);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(ErrorOf([&] { port.Write("x"); }), kPortNotOpen);
}

TEST_F(ComPortPty, OtherEndClosingIsReportedOnceAndThePortRecovers) {
  OpenPort();
  ASSERT_TRUE(pty.Write("last words"));
  ASSERT_TRUE(received.WaitForSize(10));
  pty.CloseMaster();
  ASSERT_TRUE(received.WaitForLost());
  EXPECT_FALSE(received.ConnectedWhenLost());
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(received.Data(), "last words");
  const std::string unavailable = fmt::sprintf(kPortUnavailableFmt, pty.SlavePath());
  EXPECT_EQ(ErrorOf([&] { port.Write("AT\r\n"); }), unavailable);
  EXPECT_EQ(ErrorOf([&] { port.Read(1); }), unavailable);
  EXPECT_EQ(ErrorOf([&] { port.SetRTS(true); }), unavailable);
  EXPECT_NO_THROW(port.PurgeInput());
  EXPECT_NO_THROW(port.SetBaudRate(9600));  // stored for the next open
  port.Close();
  EXPECT_EQ(received.Lost(), 1);  // the thread has ended: no second report can follow
  EXPECT_EQ(ErrorOf([&] { port.Write("x"); }), kPortNotOpen);

  // A new terminal behind another path: the same object opens it.
  test::Pty next;
  port.SetPortName(next.SlavePath());
  ASSERT_NO_THROW(port.Open());
  EXPECT_EQ(OutSpeed(next.MasterFd()), static_cast<speed_t>(B9600));
  port.Write("again");
  EXPECT_EQ(next.Read(5), "again");
}

TEST_F(ComPortPty, OpenAfterTheDeviceWentAwayCleansUpFirst) {
  WarmUp();
  const std::size_t fds = Entries("/proc/self/fd");
  const std::size_t threads = Entries("/proc/self/task");
  {
    test::Pty other;
    Received r;
    TComm lostPort;
    r.Attach(lostPort);
    lostPort.SetPortName(other.SlavePath());
    lostPort.Open();
    other.CloseMaster();
    ASSERT_TRUE(r.WaitForLost());
    // The pty's path is gone with its master: the reopen fails, and leaves the port closed.
    EXPECT_EQ(ErrorOf([&] { lostPort.Open(); }),
              fmt::sprintf(kPortUnavailableFmt, other.SlavePath()) + ": " + kPortNoDevice);
    EXPECT_FALSE(lostPort.Connected());
    EXPECT_EQ(ErrorOf([&] { lostPort.Write("x"); }), kPortNotOpen);
    EXPECT_EQ(Entries("/proc/self/task"), threads);
  }
  {
    test::Pty other;
    Received r;
    TComm lostPort;  // destroyed while lost, never closed by hand
    r.Attach(lostPort);
    lostPort.SetPortName(other.SlavePath());
    lostPort.Open();
    other.CloseMaster();
    ASSERT_TRUE(r.WaitForLost());
  }
  EXPECT_EQ(Entries("/proc/self/fd"), fds);
  EXPECT_EQ(Entries("/proc/self/task"), threads);
}

TEST_F(ComPortPty, WriteToAVanishedTerminalFailsInsteadOfHanging) {
  port.SetPortName(pty.SlavePath());
  port.Open();  // no handlers: the write may run before the thread noticed anything
  pty.CloseMaster();
  const std::string error = ErrorOf([&] { port.Write(std::string(1000, 'x')); });
  EXPECT_NE(error, "(no error)");
  EXPECT_NE(error.find(pty.SlavePath()), std::string::npos) << error;
}

TEST_F(ComPortPty, CloseWhileTheTerminalKeepsSending) {
  OpenPort();
  std::atomic<bool> stop{false};
  std::thread terminal([&] {
    const std::string burst(512, '\xFF');
    while (!stop) pty.Write(burst, 100);
  });
  EXPECT_TRUE(received.WaitForSize(4096));
  port.Close();
  EXPECT_FALSE(port.Connected());
  stop = true;
  terminal.join();
  const std::string data = received.Data();
  EXPECT_EQ(data.find_first_not_of('\xFF'), std::string::npos);
  EXPECT_EQ(received.Lost(), 0);
}

TEST_F(ComPortPty, OpenCloseLoopLeaksNothing) {
  port.SetPortName(pty.SlavePath());
  received.Attach(port);
  WarmUp();
  const std::size_t fds = Entries("/proc/self/fd");
  const std::size_t threads = Entries("/proc/self/task");
  for (int i = 0; i < 50; ++i) {
    port.Open();
    ASSERT_TRUE(pty.Write("x"));
    ASSERT_TRUE(received.WaitForSize(static_cast<std::size_t>(i) + 1)) << i;
    port.Close();
  }
  EXPECT_EQ(received.Data(), std::string(50, 'x'));
  EXPECT_EQ(Entries("/proc/self/fd"), fds);
  EXPECT_EQ(Entries("/proc/self/task"), threads);
}
