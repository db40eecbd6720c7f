#include "SimServer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "Errors.h"
#include "FactoryNumber.h"

namespace quorvel::sim {

namespace {

constexpr int kBitsPerByte = 10;                                // 8N1: start, 8 data, stop
constexpr auto kNoisePeriod = std::chrono::milliseconds(1500);  // idle "+" lines
constexpr int kChunkMicros = 2000;  // paced output goes out in slices of about this much line time
constexpr auto kStreamSlack = std::chrono::milliseconds(20);  // later than this, the line was idle

// The ppoll timeout until a deadline; nullptr waits without limit.
const timespec* TimeoutUntil(std::chrono::steady_clock::time_point now,
                             std::optional<std::chrono::steady_clock::time_point> deadline,
                             timespec& storage) {
  if (!deadline) return nullptr;
  const auto ns = *deadline <= now
                      ? 0LL
                      : static_cast<long long>(
                            std::chrono::duration_cast<std::chrono::nanoseconds>(*deadline - now).count());
  storage.tv_sec = static_cast<time_t>(ns / 1000000000LL);
  storage.tv_nsec = static_cast<long>(ns % 1000000000LL);
  return &storage;
}

void KeepEarliest(std::optional<std::chrono::steady_clock::time_point>& deadline,
                  std::chrono::steady_clock::time_point t) {
  if (!deadline || t < *deadline) deadline = t;
}

}  // namespace

TSimServer::TSimServer(TSimOptions options) : options_(std::move(options)) {
  shared_.State = options_.Factory;
  shared_.DebugLines = options_.DebugLines;
  shared_.UnsolicitedLines = options_.UnsolicitedLines;
  shared_.BootloaderOnSync = options_.BootloaderOnSync;
  shared_.Faults.Reseed(options_.Seed);
  baud_ = std::max(0, options_.BaudRate);
  terminal_ = std::make_unique<TSimTerminal>(
      shared_, [this](std::string_view trigger) { return EnterBootloaderLocked(trigger); });
}

TSimServer::~TSimServer() { Stop(); }

TSimServer::TClock::duration TSimServer::ByteTime(std::size_t count) const {
  if (baud_ <= 0) return TClock::duration::zero();
  const auto ns = static_cast<long long>(count) * kBitsPerByte * 1000000000LL / baud_;
  return std::chrono::duration_cast<TClock::duration>(std::chrono::nanoseconds(ns));
}

void TSimServer::Start() {
  std::lock_guard<std::mutex> lock(mu_);
  if (thread_.joinable()) return;
  pty_ = std::make_unique<TSimPty>();
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pty_.reset();
    throw Exception("Simulator: pipe2 failed");
  }
  ResetLine();
  terminal_->Restart();
  if (options_.StartInBootloader) EnterBootloaderLocked({});
  stop_ = false;
  masterBroken_ = false;
  thread_ = std::thread([this] { Serve(); });
}

void TSimServer::Stop() {
  std::thread thread;
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!thread_.joinable()) return;
    stop_ = true;
    WakeLocked();
    thread = std::move(thread_);
  }
  thread.join();
  std::lock_guard<std::mutex> lock(mu_);
  pty_.reset();
  close(wake_[0]);
  close(wake_[1]);
  wake_[0] = wake_[1] = -1;
  ResetLine();
  bootloader_.reset();
}

bool TSimServer::Running() const {
  std::lock_guard<std::mutex> lock(mu_);
  return thread_.joinable();
}

std::string TSimServer::SlavePath() const {
  std::lock_guard<std::mutex> lock(mu_);
  return pty_ ? pty_->SlavePath() : std::string();
}

void TSimServer::ResetLine() {
  input_.clear();
  output_.clear();
  pendingGapMs_ = 0;
  chunkDue_.reset();
  chunkLen_ = 0;
  rxClock_ = txClock_ = TClock::now();
  nextNoise_ = TClock::now() + kNoisePeriod;
}

void TSimServer::SetBaudRate(int baudRate) {
  std::lock_guard<std::mutex> lock(mu_);
  baud_ = std::max(0, baudRate);
  chunkDue_.reset();
  WakeLocked();
}

void TSimServer::Wake() {
  std::lock_guard<std::mutex> lock(mu_);
  WakeLocked();
}

void TSimServer::WakeLocked() {
  if (wake_[1] < 0) return;
  const char byte = 1;
  [[maybe_unused]] const auto n = write(wake_[1], &byte, 1);
}

std::vector<std::string> TSimServer::ReceivedLines() const {
  std::lock_guard<std::mutex> lock(mu_);
  return received_;
}

void TSimServer::ClearReceivedLines() {
  std::lock_guard<std::mutex> lock(mu_);
  received_.clear();
}

void TSimServer::Restart() {
  std::lock_guard<std::mutex> lock(mu_);
  if (pty_) pty_->Flush();
  ResetLine();
  bootloader_.reset();
  leaveBootloader_ = false;
  terminal_->Restart();
  WakeLocked();
}

void TSimServer::Replace() {
  std::lock_guard<std::mutex> lock(mu_);
  TSimState fresh = options_.Factory;
  fresh.FactoryNumber = NextFactoryNumber(shared_.State.FactoryNumber);
  shared_.State = std::move(fresh);
  shared_.Backup.reset();
  shared_.Faults.DisarmCommands();
  // what the old terminal had not yet read or sent is not the new one's
  if (pty_) pty_->Flush();
  ResetLine();
  bootloader_.reset();
  leaveBootloader_ = false;
  terminal_->Restart();
  if (options_.StartInBootloader) EnterBootloaderLocked({});
  WakeLocked();
}

void TSimServer::SetSilent(bool on) {
  std::lock_guard<std::mutex> lock(mu_);
  if (on && !silent_) {
    if (pty_) pty_->Flush();
    input_.clear();
    output_.clear();
    pendingGapMs_ = 0;
    chunkDue_.reset();
    terminal_->DropLine();
  }
  silent_ = on;
  WakeLocked();
}

bool TSimServer::Silent() const {
  std::lock_guard<std::mutex> lock(mu_);
  return silent_;
}

void TSimServer::SetBootloaderFactory(TSimBootloaderFactory factory) {
  std::lock_guard<std::mutex> lock(mu_);
  bootloaderFactory_ = std::move(factory);
}

bool TSimServer::EnterBootloader() {
  std::lock_guard<std::mutex> lock(mu_);
  return EnterBootloaderLocked({});
}

bool TSimServer::InBootloader() const {
  std::lock_guard<std::mutex> lock(mu_);
  return bootloader_ != nullptr;
}

bool TSimServer::EnterBootloaderLocked(std::string_view trigger) {
  if (!bootloaderFactory_) return false;
  bootloader_ = bootloaderFactory_();
  if (!bootloader_) return false;
  leaveBootloader_ = false;
  if (!trigger.empty()) bootloader_->Feed(trigger, *this);
  return true;
}

void TSimServer::Send(std::string_view bytes) {
  if (bytes.empty() || silent_) return;
  TOutput out;
  out.Bytes = std::string(bytes);
  out.GapMs = pendingGapMs_;
  pendingGapMs_ = 0;
  output_.push_back(std::move(out));
}

void TSimServer::Pause(int delayMs) { pendingGapMs_ += std::max(0, delayMs); }

void TSimServer::LogReceivedLine(const std::string& line) {
  received_.push_back(line);
  if (options_.OnLineReceived) options_.OnLineReceived(line);
}

void TSimServer::LeaveBootloader() { leaveBootloader_ = true; }

// Bytes from the host reach the terminal only when they would have crossed the line: the
// host's writes are instant on a pty, so each chunk gets its arrival time on a receive
// clock that advances by the line time of its bytes.
void TSimServer::ReadInput(TClock::time_point now) {
  std::array<char, 4096> buffer{};
  while (true) {
    const ssize_t n = read(pty_->Master(), buffer.data(), buffer.size());
    if (n > 0 && silent_) continue;
    if (n > 0) {
      // cut after every line end, so a line is handled when its own last byte arrived and
      // not when the whole chunk has
      const std::string_view chunk(buffer.data(), static_cast<std::size_t>(n));
      std::size_t from = 0;
      while (from < chunk.size()) {
        auto end = chunk.find_first_of("\r\n", from);
        end = end == std::string_view::npos ? chunk.size() : end + 1;
        rxClock_ = std::max(rxClock_, now) + ByteTime(end - from);
        input_.emplace_back(rxClock_, std::string(chunk.substr(from, end - from)));
        from = end;
      }
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    masterBroken_ = true;  // no more reading: the loop then waits on its timers and Stop only
    return;
  }
}

void TSimServer::FeedArrived(TClock::time_point now) {
  while (!input_.empty() && input_.front().first <= now) {
    const std::string bytes = std::move(input_.front().second);
    input_.pop_front();
    if (bootloader_) {
      bootloader_->Feed(bytes, *this);
    } else {
      terminal_->Feed(bytes, *this);
    }
    if (leaveBootloader_) {
      leaveBootloader_ = false;
      bootloader_.reset();
      terminal_->Restart();
    }
  }
}

void TSimServer::FlushOutput(TClock::time_point now, std::optional<TClock::time_point>& deadline,
                             bool& wantWritable) {
  while (!output_.empty()) {
    TOutput& head = output_.front();
    if (!head.Started) {
      head.Started = true;
      head.ReadyAt = now + std::chrono::milliseconds(head.GapMs);
    }
    if (now < head.ReadyAt) return KeepEarliest(deadline, head.ReadyAt);
    if (head.Sent == head.Bytes.size()) {
      output_.pop_front();
      continue;
    }
    std::size_t n = head.Bytes.size() - head.Sent;
    if (baud_ > 0) {
      if (!chunkDue_) {
        const std::size_t slice =
            std::max<std::size_t>(1, static_cast<std::size_t>(baud_) * kChunkMicros / kBitsPerByte / 1000000);
        chunkLen_ = std::min(n, slice);
        // the slice leaves when its last byte would have crossed the line; a line busy
        // until just now keeps its own clock, so wake-up latency does not add up
        const bool streaming = txClock_ + kStreamSlack >= now;
        chunkDue_ = (streaming ? txClock_ : now) + ByteTime(chunkLen_);
      }
      if (now < *chunkDue_) return KeepEarliest(deadline, *chunkDue_);
      n = std::min(n, chunkLen_);
    }
    const ssize_t w = write(pty_->Master(), head.Bytes.data() + head.Sent, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        wantWritable = true;
        return;
      }
      output_.clear();  // the line is gone; nothing more can be delivered
      chunkDue_.reset();
      return;
    }
    head.Sent += static_cast<std::size_t>(w);
    if (chunkDue_) {
      chunkLen_ -= std::min(chunkLen_, static_cast<std::size_t>(w));
      if (chunkLen_ == 0) {
        txClock_ = *chunkDue_;
        chunkDue_.reset();
      }
    }
  }
}

void TSimServer::Serve() {
  while (!stop_) {
    std::optional<TClock::time_point> deadline;
    bool wantWritable = false;
    int master = -1;
    {
      std::lock_guard<std::mutex> lock(mu_);
      const auto now = TClock::now();
      FeedArrived(now);
      FlushOutput(now, deadline, wantWritable);
      if (!input_.empty()) KeepEarliest(deadline, input_.front().first);
      if (shared_.UnsolicitedLines && !bootloader_) {
        if (output_.empty() && now >= nextNoise_) {
          terminal_->IdleNoise(*this);
          nextNoise_ = now + kNoisePeriod;
          continue;
        }
        KeepEarliest(deadline, nextNoise_);
      }
      master = masterBroken_ ? -1 : pty_->Master();
    }
    std::array<pollfd, 2> fds{};
    fds[0] = {wake_[0], POLLIN, 0};
    fds[1] = {master, static_cast<short>(POLLIN | (wantWritable ? POLLOUT : 0)), 0};
    timespec storage{};
    const timespec* timeout = TimeoutUntil(TClock::now(), deadline, storage);
    if (ppoll(fds.data(), master >= 0 ? 2 : 1, timeout, nullptr) < 0 && errno != EINTR) break;
    if (fds[0].revents != 0) {
      std::array<char, 64> drain{};
      while (read(wake_[0], drain.data(), drain.size()) > 0) {
      }
    }
    if (master >= 0 && (fds[1].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
      std::lock_guard<std::mutex> lock(mu_);
      ReadInput(TClock::now());
    }
  }
}

}  // namespace quorvel::sim
