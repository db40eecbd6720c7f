#include "ComPort.h"

#include "ArbitraryBaud.h"
#include "BreakDecoder.h"
#include "CommEventThread.h"
#include "Errors.h"
#include "LogFile.h"
#include "LowLatency.h"

#include <fmt/format.h>
#include <fmt/printf.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace quorvel {

namespace {

constexpr int kPortCount = 32;         // COM1..COM32 of old settings
constexpr int kWriteMsPerByte = 10;    // a write may wait for room 10 ms per byte ...
constexpr int kWriteConstantMs = 100;  // ... plus 100 ms
constexpr const char* kBadBaudRateFmt = "Скорость %d бит/с не поддерживается";
// Follows kBadBaudRateFmt when the port's driver refused a rate termios has no constant for.
constexpr const char* kRateRefusedFmt = " (драйвер порта: %s)";
constexpr const char* kWriteTimeoutFmt = "Тайм-аут записи в порт %s";

// The group whose members may open the device ("dialout" when it cannot be told).
std::string DeviceGroup(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (const group* g = ::getgrgid(st.st_gid)) return g->gr_name;
  }
  return kSerialGroup;
}

// Why open() or realpath() refused the device, for the user.
std::string OpenFailureReason(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return kPortNoDevice;
    case EACCES:
    case EPERM:
      return fmt::sprintf(kPortNoPermissionFmt, DeviceGroup(path));
    case EBUSY:
      return kPortBusy;
    case EISDIR:
      return kPortNotTerminal;
    default:
      return std::strerror(error);
  }
}

struct TBaudRate {
  int Rate;
  speed_t Speed;
};

constexpr TBaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

// Rates the bootloader is offered that termios has no constant for; they go through the
// arbitrary-rate interface (B0 here).
constexpr int kArbitraryRates[] = {7200, 14400, 28800};

speed_t SpeedOf(int rate) {
  for (const TBaudRate& b : kBaudRates) {
    if (b.Rate == rate) return b.Speed;
  }
  for (int r : kArbitraryRates)
    if (r == rate) return B0;
  throw Exception(fmt::sprintf(kBadBaudRateFmt, rate));
}

// Owns a descriptor until it is handed over, so every failed step of Open closes it.
class TUniqueFd {
 public:
  explicit TUniqueFd(int fd) : fd_(fd) {}
  ~TUniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  TUniqueFd(const TUniqueFd&) = delete;
  TUniqueFd& operator=(const TUniqueFd&) = delete;
  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// A pseudo-terminal has no modem lines and answers the modem ioctls with ENOTTY (some
// drivers with EINVAL); there the call is a no-op.
bool ModemLineCallFailed(int fd, unsigned long request, int bits) {
  if (ioctl(fd, request, &bits) == 0) return false;
  return errno != ENOTTY && errno != EINVAL;
}

}  // namespace

struct TCustomComm::Impl {
  std::atomic<int> fd{-1};
  std::atomic<bool> lost{false};
  std::unique_ptr<TCommEventThread> thread;
  TBreakDecoder decoder;  // receiving thread only

  std::mutex queueLock;
  std::condition_variable queueChanged;
  std::string queue;  // decoded bytes not yet taken by Read
};

TCustomComm::TCustomComm() : impl_(std::make_unique<Impl>()) {}

TCustomComm::~TCustomComm() {
  try {
    Close();
  } catch (...) {
    // Close only refuses to run on the receiving thread; a destructor cannot do better.
  }
}

void TCustomComm::Open() {
  if (impl_->fd >= 0) {
    if (!impl_->lost) return;
    // The device went away under the open port: collect the ended thread and the dead
    // descriptor before opening anew.
    Close();
  }
  // No pause after starting the thread and no reopen delay: the line settings are applied
  // before the thread starts, and Linux releases a closed tty at once.
  OpenDevice();
}

void TCustomComm::OpenDevice() {
  const std::string path = DevicePath();
  const auto unavailable = [&path](const std::string& reason) {
    return Exception(fmt::sprintf(kPortUnavailableFmt, path) + ": " + reason);
  };
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) throw unavailable(OpenFailureReason(path, errno));
  TUniqueFd fd(open(resolved, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) throw unavailable(OpenFailureReason(resolved, errno));
  if (!isatty(fd.Get())) throw unavailable(kPortNotTerminal);
  // flock refuses a second opener even when it runs as root, which TIOCEXCL does not.
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) throw unavailable(kPortBusy);
  if (ioctl(fd.Get(), TIOCEXCL) != 0) throw unavailable(kPortBusy);

  impl_->fd = fd.Get();
  try {
    ApplySettings();
    if (ModemLineCallFailed(fd.Get(), TIOCMBIC, TIOCM_DTR | TIOCM_RTS)) RaiseSystemError("TIOCMBIC", errno);
    if (tcflush(fd.Get(), TCIOFLUSH) != 0) RaiseSystemError("tcflush", errno);
    // Short lines answered at once are the whole dialogue; a refusal changes nothing.
    RequestLowLatency(fd.Get());
    impl_->decoder.Reset();
    impl_->thread = std::make_unique<TCommEventThread>(*this, fd.Get());
  } catch (...) {
    impl_->fd = -1;
    ioctl(fd.Get(), TIOCNXCL);
    throw;
  }
  fd.Release();
}

void TCustomComm::Close() {
  if (impl_->fd < 0) return;
  if (TCommEventThread::IsReceivingThreadOf(*this)) {
    throw std::logic_error("TCustomComm::Close on the receiving thread");
  }
  impl_->thread.reset();
  const int fd = impl_->fd.exchange(-1);
  ioctl(fd, TIOCNXCL);  // fails harmlessly on a device that is gone
  close(fd);            // also drops the flock
  {
    std::lock_guard lock(impl_->queueLock);
    impl_->queue.clear();
    impl_->lost = false;
  }
  impl_->queueChanged.notify_all();
}

bool TCustomComm::Connected() const { return impl_->fd >= 0 && !impl_->lost; }

void TCustomComm::SetPort(int port) {
  if (port == port_) return;
  if (port < 1 || port > kPortCount) throw Exception(kBadPortNumber);
  Close();
  port_ = port;
  portName_.clear();
}

std::string TCustomComm::DevicePath() const {
  if (!portName_.empty()) return portName_;
  return fmt::format("/dev/ttyS{}", port_ - 1);
}

void TCustomComm::SetPortName(const std::string& path) {
  if (path == portName_) return;
  Close();
  portName_ = path;
}

void TCustomComm::SetBaudRate(int baudRate) {
  if (baudRate == baudRate_) return;
  SpeedOf(baudRate);
  const int old = baudRate_;
  baudRate_ = baudRate;
  try {
    ApplySettings();
  } catch (...) {
    baudRate_ = old;
    throw;
  }
}

void TCustomComm::SetEventChars(const TCommEventChars& chars) {
  eventChars_ = chars;
  ApplySettings();
}

void TCustomComm::ApplySettings() {
  if (!Connected()) return;
  const int fd = impl_->fd;
  termios t{};
  if (tcgetattr(fd, &t) != 0) RaiseSystemError("tcgetattr", errno);
  cfmakeraw(&t);
  // Break and framing errors come in-band (PARMRK) so that OnBreak and OnError can be
  // raised; INPCK lets the UART driver mark framing errors at all.
  t.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | ISTRIP | IXON | IXOFF | IXANY);
  t.c_iflag |= PARMRK | INPCK;
  t.c_cflag &= ~(CSTOPB | CRTSCTS | HUPCL);
  t.c_cflag |= CLOCAL | CREAD;
  // VMIN 1 makes a read without data fail with EAGAIN, so that a read of 0 bytes always
  // means the device hung up.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  t.c_cc[VSTART] = static_cast<cc_t>(eventChars_.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(eventChars_.XoffChar);
  const speed_t speed = SpeedOf(baudRate_);
  // An arbitrary rate is set after the rest of the line; until then the line keeps its rate.
  if (speed != B0) {
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
  }
  if (tcsetattr(fd, TCSANOW, &t) != 0) RaiseSystemError("tcsetattr", errno);
  if (speed == B0) {
    const int error = SetArbitraryBaudRate(fd, baudRate_);
    if (error != 0)
      throw Exception(fmt::sprintf(kBadBaudRateFmt, baudRate_) + fmt::sprintf(kRateRefusedFmt, std::strerror(error)));
    return;
  }
  // tcsetattr succeeds when any part of the request was taken; the speed must have been.
  termios applied{};
  if (tcgetattr(fd, &applied) != 0) RaiseSystemError("tcgetattr", errno);
  if (cfgetospeed(&applied) != speed) throw Exception(fmt::sprintf(kBadBaudRateFmt, baudRate_));
}

void TCustomComm::Write(std::string_view data) {
  if (data.empty()) return;
  std::lock_guard io(ioLock_);
  CheckUsable();
  const int fd = impl_->fd;
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::milliseconds(kWriteMsPerByte * static_cast<long long>(data.size()) + kWriteConstantMs);
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      bytesWritten_ += static_cast<std::uint64_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) RaiseSystemError("write", errno);
    CheckUsable();
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw Exception(fmt::sprintf(kWriteTimeoutFmt, DevicePath()));
    pollfd p{fd, POLLOUT, 0};
    const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), INT_MAX)));
    if (r < 0 && errno != EINTR) RaiseSystemError("poll", errno);
    // Without POLLOUT a hang-up would bring poll back at once; the next write reports it.
    if (r > 0 && (p.revents & POLLOUT) == 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      throw Exception(fmt::sprintf(kPortUnavailableFmt, DevicePath()));
    }
  }
}

std::string TCustomComm::Read(std::size_t count) {
  if (count == 0) return {};
  if (impl_->fd < 0) throw Exception(kPortNotOpen);
  std::unique_lock lock(impl_->queueLock);
  // Only the receiving thread fills the queue: waiting on it would merely stall it.
  if (impl_->queue.empty() && !TCommEventThread::IsReceivingThreadOf(*this)) {
    impl_->queueChanged.wait_for(lock, std::chrono::milliseconds(readTimeout_),
                                 [this] { return !impl_->queue.empty() || impl_->fd < 0 || impl_->lost; });
  }
  if (impl_->queue.empty()) {
    if (impl_->fd < 0) throw Exception(kPortNotOpen);
    if (impl_->lost) throw Exception(fmt::sprintf(kPortUnavailableFmt, DevicePath()));
    return {};
  }
  const std::size_t n = std::min(count, impl_->queue.size());
  std::string result = impl_->queue.substr(0, n);
  impl_->queue.erase(0, n);
  return result;
}

void TCustomComm::PurgeInput() {
  const int fd = impl_->fd;
  if (fd < 0) return;
  tcflush(fd, TCIFLUSH);  // a device that went away has nothing left to discard
  std::lock_guard lock(impl_->queueLock);
  impl_->queue.clear();
}

void TCustomComm::SetRTS(bool on) {
  CheckUsable();
  if (ModemLineCallFailed(impl_->fd, on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS)) {
    RaiseSystemError(on ? "TIOCMBIS" : "TIOCMBIC", errno);
  }
}

void TCustomComm::CheckUsable() const {
  if (impl_->fd < 0) throw Exception(kPortNotOpen);
  if (impl_->lost) throw Exception(fmt::sprintf(kPortUnavailableFmt, DevicePath()));
}

void TCustomComm::RaiseSystemError(const char* operation, int error) const {
  throw Exception(fmt::format("Ошибка порта {} ({}): {}", DevicePath(), operation,
                              std::system_category().message(error)));
}

void TCustomComm::Dispatch(TCommEventThread& thread, std::string_view raw) {
  TBreakDecoder::TResult decoded = impl_->decoder.Decode(raw);
  std::size_t from = 0;
  // Data before a mark is delivered before the mark's handler runs, so a handler sees the
  // line's events in the order they happened.
  const auto deliver = [&](std::size_t to) {
    if (to > from) {
      {
        std::lock_guard lock(impl_->queueLock);
        impl_->queue.append(decoded.Data, from, to - from);
      }
      impl_->queueChanged.notify_all();
      from = to;
    }
    DeliverRxChar(thread);
  };
  for (const TBreakDecoder::TEvent& event : decoded.Events) {
    deliver(event.Offset);
    if (thread.Terminated()) return;
    if (event.Mark == TBreakDecoder::TMark::Break) {
      if (OnBreak) TCommEventThread::DoOnSignal([this] { OnBreak(*this); });
    } else if (OnError) {
      TCommEventThread::DoOnSignal([this] { OnError(*this, kCommErrFrame); });
    }
  }
  deliver(decoded.Data.size());
}

void TCustomComm::DeliverRxChar(TCommEventThread& thread) {
  if (!OnRxChar) return;  // the bytes wait for a Read from another thread
  const auto waiting = [this] {
    std::lock_guard lock(impl_->queueLock);
    return impl_->queue.size();
  };
  std::size_t count = waiting();
  // A handler that leaves bytes behind is called again with the rest; one that takes nothing
  // is not called again until more bytes arrive, so a broken handler cannot spin this thread.
  while (count > 0 && !thread.Terminated()) {
    TCommEventThread::DoOnSignal([this, count] { OnRxChar(*this, count); });
    const std::size_t left = waiting();
    if (left >= count) break;
    count = left;
  }
}

void TCustomComm::DeviceLost(TCommEventThread& thread, const std::string& reason) {
  {
    std::lock_guard lock(impl_->queueLock);
    impl_->lost = true;
  }
  impl_->queueChanged.notify_all();
  if (thread.Terminated()) return;  // closing anyway: nobody waits for the news
  LogFile().Error(fmt::format("Порт {} потерян: {}", DevicePath(), reason));
  if (OnError) TCommEventThread::DoOnSignal([this] { OnError(*this, kCommErrLost); });
}

}  // namespace quorvel
