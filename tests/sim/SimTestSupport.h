#pragma once

// Helpers of the simulator tests: the host's side of a line written out by hand, so the
// expected bytes never come from the simulator's own code.

#include <string>
#include <string_view>
#include <vector>

#include "SimPortHandler.h"

namespace quorvel::sim::test {

/// Sum of the byte values modulo 256, the checksum of the PC-link lines.
inline unsigned HandSum(std::string_view text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return sum % 256;
}

/// "AT+NAME=seq,p1,...,pn,sum" as the host builds it.
inline std::string SeqLine(const std::string& name, int seq, const std::vector<std::string>& params) {
  std::string body = std::to_string(seq) + ",";
  for (const auto& p : params) body += p + ",";
  return "AT+" + name + "=" + body + std::to_string(HandSum(body));
}

/// "+NAME: fields,sum".
inline std::string DataLine(const std::string& name, const std::string& fields) {
  return "+" + name + ": " + fields + "," + std::to_string(HandSum(fields + ","));
}

/// A wire that records what the terminal sends: every Send as one chunk, pauses between.
class TRecordingWire : public ISimWire {
 public:
  void Send(std::string_view bytes) override {
    chunks.emplace_back(bytes);
    all += bytes;
  }
  void Pause(int delayMs) override { pauses.push_back(delayMs); }
  void LogReceivedLine(const std::string& line) override { lines.push_back(line); }
  void LeaveBootloader() override { ++leaves; }
  int BaudRate() const override { return 0; }

  std::string Take() {
    std::string out;
    out.swap(all);
    chunks.clear();
    pauses.clear();
    return out;
  }

  std::string all;
  std::vector<std::string> chunks;
  std::vector<int> pauses;
  std::vector<std::string> lines;
  int leaves = 0;
};

}  // namespace quorvel::sim::test
