#pragma once

// A terminal played by the test on the master side of a pty: it reads command lines and
// writes the replies a responder computes. The frame helpers here are written from the
// terminal's side on purpose, so a fault in the host's frame code cannot hide behind them.

#include "Pty.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorvel::test {

/// Sum of the byte codes modulo 256.
inline int WireCrc(std::string_view text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return static_cast<int>(sum % 256);
}

/// A sequenced data line: "+<base>: <fields>,<crc>" + CR LF; fields given joined, without
/// the trailing comma.
inline std::string SeqData(std::string_view base, std::string_view fields) {
  std::string body = std::string(fields) + ",";
  return "+" + std::string(base) + ": " + body + std::to_string(WireCrc(body)) + "\r\n";
}

/// The error line of a terminal code.
inline std::string SmError(int code) {
  std::string body = std::to_string(code) + ",";
  return "+SMERROR: " + body + std::to_string(WireCrc(body)) + "\r\n";
}

/// A command line as the terminal sees it.
struct TWireLine {
  std::string Raw;      ///< the line without CR LF
  std::string Name;     ///< between "AT+" and "=" (or the end)
  std::string Args;     ///< everything after "=" ("" without parameters)
  int SeqNo = -1;       ///< sequenced form: the leading number; -1 when there is none
  std::string Params;   ///< sequenced form: between the number's comma and the checksum
  bool CrcOk = false;   ///< sequenced form: the checksum adds up
};

inline TWireLine ParseWireLine(const std::string& raw) {
  TWireLine line;
  line.Raw = raw;
  std::string rest = raw.rfind("AT+", 0) == 0 ? raw.substr(3) : raw;
  const auto eq = rest.find('=');
  line.Name = rest.substr(0, eq);
  if (eq == std::string::npos) return line;
  line.Args = rest.substr(eq + 1);
  const auto first = line.Args.find(',');
  const auto last = line.Args.rfind(',');
  if (first == std::string::npos) return line;
  const std::string number = line.Args.substr(0, first);
  const std::string crc = line.Args.substr(last + 1);
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return line;
  if (crc.empty() || crc.find_first_not_of("0123456789") != std::string::npos) return line;
  line.SeqNo = std::stoi(number);
  line.Params = line.Args.substr(first + 1, last - first);
  line.CrcOk = std::stoi(crc) == WireCrc(line.Args.substr(0, last + 1));
  return line;
}

/// The terminal thread. The responder gets each line (without CR LF) and returns the bytes
/// to write back ("" for silence). Lines are recorded in arrival order.
class ScriptedTerminal {
 public:
  using Responder = std::function<std::string(const TWireLine& line)>;

  ScriptedTerminal(Pty& pty, Responder responder) : pty_(pty), responder_(std::move(responder)) {
    thread_ = std::thread([this] { Loop(); });
  }
  ~ScriptedTerminal() { Stop(); }
  ScriptedTerminal(const ScriptedTerminal&) = delete;
  ScriptedTerminal& operator=(const ScriptedTerminal&) = delete;

  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }

  std::vector<TWireLine> Lines() const {
    std::lock_guard lock(lock_);
    return lines_;
  }

 private:
  void Loop() {
    std::string buffer;
    while (!stop_.load()) {
      if (pty_.MasterFd() < 0) return;
      const std::string c = pty_.Read(1, 20);
      if (c.empty()) continue;
      if (c == "\n") {
        if (!buffer.empty() && buffer.back() == '\r') buffer.pop_back();
        TWireLine line = ParseWireLine(buffer);
        buffer.clear();
        {
          std::lock_guard lock(lock_);
          lines_.push_back(line);
        }
        const std::string reply = responder_(line);
        if (!reply.empty()) pty_.Write(reply);
        continue;
      }
      buffer += c;
    }
  }

  Pty& pty_;
  Responder responder_;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<TWireLine> lines_;
  std::thread thread_;
};

/// Echo, the given lines, then OK.
inline std::string EchoReply(const TWireLine& line, const std::string& body) {
  return line.Raw + "\r\n" + body + "OK\r\n";
}

}  // namespace quorvel::test
