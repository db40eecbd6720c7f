#include "BootloaderPty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace quorvel::sim {

namespace {

struct TSegment {
  int DelayMs = 0;
  std::string Bytes;
};

}  // namespace

// Collects what one Feed produces; the server writes it out after the handler returns,
// so the handler's lock is never held while the line is slow.
class TBootloaderPty::TWire : public ISimWire {
 public:
  TWire(TBootloaderPty& owner) : owner_(owner) {}
  void Send(std::string_view bytes) override {
    if (segments_.empty()) segments_.push_back({});
    segments_.back().Bytes += bytes;
  }
  void Pause(int delayMs) override { segments_.push_back({delayMs, {}}); }
  void LogReceivedLine(const std::string& line) override { owner_.lines_.push_back(line); }
  void LeaveBootloader() override {}
  int BaudRate() const override { return owner_.baudRate_.load(); }
  std::vector<TSegment>& Segments() { return segments_; }

 private:
  TBootloaderPty& owner_;
  std::vector<TSegment> segments_;
};

TBootloaderPty::TBootloaderPty(std::shared_ptr<TBootloaderFlash> memory, int baudRate)
    : memory_(std::move(memory)), baudRate_(baudRate), handler_(std::make_unique<TBootloader>(memory_)) {}

TBootloaderPty::~TBootloaderPty() { Stop(); }

void TBootloaderPty::Start() {
  if (thread_.joinable()) return;
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error(std::string("no pseudo-terminal: ") + std::strerror(errno));
  slavePath_ = ptsname(master_);
  // Held open so that the master never sees a hang-up while no host is attached.
  slave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  termios tio{};
  if (slave_ >= 0 && tcgetattr(slave_, &tio) == 0) {
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
  }
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("no pipe");
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
}

void TBootloaderPty::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    [[maybe_unused]] ssize_t n = write(wake_[1], "x", 1);
    thread_.join();
  }
  for (int* fd : {&master_, &slave_, &wake_[0], &wake_[1]}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

std::string TBootloaderPty::SlavePath() const { return slavePath_; }

void TBootloaderPty::Restart() {
  std::lock_guard<std::mutex> guard(lock_);
  memory_->Reset();
  handler_ = std::make_unique<TBootloader>(memory_);
  handler_->SetFaults(faults_);
}

void TBootloaderPty::SetFaults(const TBootloaderFaults& faults) {
  std::lock_guard<std::mutex> guard(lock_);
  faults_ = faults;
  handler_->SetFaults(faults);
}

void TBootloaderPty::SetBaudRate(int baudRate) { baudRate_ = baudRate; }

bool TBootloaderPty::SessionEnded() const {
  std::lock_guard<std::mutex> guard(lock_);
  return handler_->Ended();
}

std::vector<std::string> TBootloaderPty::ReceivedLines() const {
  std::lock_guard<std::mutex> guard(lock_);
  return lines_;
}

namespace {

std::chrono::microseconds LineTime(int baud, std::size_t bytes) {
  return std::chrono::microseconds(bytes * 10'000'000ULL / static_cast<unsigned>(baud));
}

}  // namespace

// Sleeps unless Stop comes first; false when stopping.
bool TBootloaderPty::SleepUntil(Clock::time_point due) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(due - Clock::now()).count();
    if (left <= 0 || stop_) return !stop_;
    timespec ts{static_cast<time_t>(left / 1'000'000'000), static_cast<long>(left % 1'000'000'000)};
    pollfd p{wake_[0], POLLIN, 0};
    ppoll(&p, 1, &ts, nullptr);
  }
}

bool TBootloaderPty::WriteOut(const std::string& bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    int baud = baudRate_.load();
    // Slices of about 10 ms of line time keep the pacing smooth without a write per byte;
    // each slice reaches the host when its last byte would have crossed the line.
    std::size_t slice = baud > 0 ? std::max(1, baud / 1000) : bytes.size() - pos;
    slice = std::min(slice, bytes.size() - pos);
    if (baud > 0) {
      outFree_ += LineTime(baud, slice);
      if (!SleepUntil(outFree_)) return false;
    }
    std::size_t done = 0;
    while (done < slice) {
      ssize_t n = write(master_, bytes.data() + pos + done, slice - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      pollfd p[2] = {{master_, POLLOUT, 0}, {wake_[0], POLLIN, 0}};
      poll(p, 2, 100);
      if (stop_) return false;
    }
    pos += slice;
  }
  return true;
}

void TBootloaderPty::Serve() {
  char buf[4096];
  while (!stop_) {
    pollfd p[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(p, 2, -1) < 0 && errno != EINTR) return;
    if (stop_) return;
    if (!(p[0].revents & POLLIN)) continue;
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) continue;
    int baud = baudRate_.load();
    auto now = Clock::now();
    outFree_ = std::max(outFree_, now);
    if (baud > 0) {
      // The bytes are handled once they have crossed the line; the echo runs alongside
      // them, one byte behind, as on a full-duplex line.
      Clock::time_point inStart = std::max(now, inFree_);
      inFree_ = inStart + LineTime(baud, static_cast<std::size_t>(n));
      if (!SleepUntil(inFree_)) return;
      outFree_ = std::max(outFree_, inStart + LineTime(baud, 1));
    }
    TWire wire(*this);
    bool hangUp = false;
    {
      std::lock_guard<std::mutex> guard(lock_);
      const std::size_t seen = lines_.size();
      handler_->Feed(std::string_view(buf, static_cast<std::size_t>(n)), wire);
      const std::string& trigger = faults_.HangUpOnLine;
      for (std::size_t i = seen; i < lines_.size() && !trigger.empty(); ++i)
        hangUp = hangUp || lines_[i].rfind(trigger, 0) == 0;
    }
    if (hangUp) {
      // The cable is pulled: the host's side of the pty sees a hang-up, nothing more is said.
      close(master_);
      master_ = -1;
      return;
    }
    for (const TSegment& s : wire.Segments()) {
      if (s.DelayMs > 0) {
        outFree_ = std::max(outFree_, Clock::now()) + std::chrono::milliseconds(s.DelayMs);
        if (!SleepUntil(outFree_)) return;
      }
      if (!WriteOut(s.Bytes)) return;
    }
  }
}

}  // namespace quorvel::sim
