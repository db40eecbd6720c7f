#include "SimControl.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "Errors.h"
#include "TerminalSim.h"

namespace quorvel::sim {

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t at = 0;
  while (at < line.size()) {
    const auto start = line.find_first_not_of(" \t\r", at);
    if (start == std::string_view::npos) break;
    auto end = line.find_first_of(" \t\r", start);
    if (end == std::string_view::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    at = end;
  }
  return words;
}

}  // namespace

std::optional<TSimControlCommand> ParseSimControl(std::string_view line) {
  const auto words = Words(line);
  if (words.size() == 1 && words[0] == "replace") return TSimControlCommand::Replace;
  if (words.size() == 2 && words[0] == "silent") {
    if (words[1] == "on") return TSimControlCommand::SilentOn;
    if (words[1] == "off") return TSimControlCommand::SilentOff;
  }
  return std::nullopt;
}

void ApplySimControl(TTerminalSim& sim, TSimControlCommand command) {
  switch (command) {
    case TSimControlCommand::Replace:
      sim.Replace();
      break;
    case TSimControlCommand::SilentOn:
      sim.SetSilent(true);
      break;
    case TSimControlCommand::SilentOff:
      sim.SetSilent(false);
      break;
  }
}

TSimControlFifo::TSimControlFifo(std::string path) : path_(std::move(path)) {
  if (::mkfifo(path_.c_str(), 0600) == 0) {
    created_ = true;
  } else if (errno != EEXIST) {
    throw Exception("Simulator: cannot create the FIFO " + path_ + ": " + std::strerror(errno));
  }
  // O_RDWR: a FIFO opened only for reading reports end of file each time its last writer
  // closes, and a poll() on it would then never sleep again
  fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISFIFO(st.st_mode)) {
    const std::string reason = fd_ < 0 ? std::strerror(errno) : "not a FIFO";
    if (fd_ >= 0) ::close(fd_);
    if (created_) ::unlink(path_.c_str());
    throw Exception("Simulator: cannot use " + path_ + " as the control FIFO: " + reason);
  }
}

TSimControlFifo::~TSimControlFifo() {
  ::close(fd_);
  if (created_) ::unlink(path_.c_str());
}

std::vector<std::string> TSimControlFifo::ReadLines() {
  std::vector<std::string> lines;
  std::array<char, 512> buffer{};
  while (true) {
    const ssize_t n = ::read(fd_, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t i = 0; i < n; ++i) {
      const char c = buffer[static_cast<std::size_t>(i)];
      if (c != '\n') {
        if (partial_.size() < kMaxLine) {
          partial_ += c;
        } else {
          overlong_ = true;
        }
        continue;
      }
      if (!partial_.empty()) lines.push_back(std::move(partial_));
      partial_.clear();
      overlong_ = false;
    }
  }
  return lines;
}

}  // namespace quorvel::sim
