#include "CommEventThread.h"

#include "ComPort.h"
#include "Errors.h"
#include "LogFile.h"
#include "LogPort.h"

#include <fmt/format.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <cerrno>
#include <exception>
#include <system_error>

namespace quorvel {

namespace {
constexpr std::size_t kReadChunk = 4096;     // one read() call
constexpr std::size_t kMaxDispatch = 65536;  // bytes gathered before the handlers run
constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;

thread_local const TCustomComm* tReceivingPort = nullptr;
}  // namespace

TCommEventThread::TCommEventThread(TCustomComm& port, int fd) : port_(port), fd_(fd) {
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    throw Exception(fmt::format("Не удалось создать поток порта: {}", std::system_category().message(errno)));
  }
  try {
    thread_ = std::thread([this, port = LogThreadPort()] {
      TLogPortScope scope(port);
      Execute();
    });
  } catch (...) {
    close(wakeFd_);
    throw;
  }
}

TCommEventThread::~TCommEventThread() {
  Terminate();
  WaitFor();
  close(wakeFd_);
}

void TCommEventThread::Terminate() {
  terminated_ = true;
  const std::uint64_t one = 1;
  // eventfd write only fails when the counter would overflow, which one wake-up per close
  // cannot reach.
  [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
}

void TCommEventThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

bool TCommEventThread::IsReceivingThreadOf(const TCustomComm& port) { return tReceivingPort == &port; }

void TCommEventThread::DoOnSignal(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    LogFile().Error(std::string("TCommEventThread.DoOnSignal: ") + e.what());
  } catch (...) {
    LogFile().Error("TCommEventThread.DoOnSignal: неизвестная ошибка");
  }
}

void TCommEventThread::Execute() {
  tReceivingPort = &port_;
  std::string raw;
  while (!terminated_) {
    pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      // poll itself failing on a valid descriptor set is not recoverable; stop instead of
      // spinning on the same error.
      port_.DeviceLost(*this, fmt::format("poll: {}", std::system_category().message(errno)));
      break;
    }
    if (terminated_) break;
    if (fds[0].revents == 0) continue;
    raw.clear();
    std::string reason;
    const bool alive = ReadAvailable(fds[0].revents, raw, reason);
    if (!raw.empty()) port_.Dispatch(*this, raw);
    if (!alive) {
      port_.DeviceLost(*this, reason);
      break;
    }
  }
  tReceivingPort = nullptr;
}

bool TCommEventThread::ReadAvailable(short revents, std::string& raw, std::string& reason) {
  char buf[kReadChunk];
  while (raw.size() < kMaxDispatch) {
    const ssize_t n = read(fd_, buf, sizeof buf);
    if (n > 0) {
      raw.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) {
      // A hung-up tty (USB adapter pulled) reads as end of file for ever.
      reason = "read: end of file";
      return false;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN) {
      // A hang-up or error reported by poll with nothing left to read would wake poll again
      // at once: treat it as the device being gone rather than loop.
      if (raw.empty() && (revents & kGoneEvents) != 0) {
        reason = fmt::format("poll revents 0x{:x}", static_cast<unsigned>(revents));
        return false;
      }
      return true;
    }
    reason = fmt::format("read: {}", std::system_category().message(errno));
    return false;
  }
  return true;
}

}  // namespace quorvel
