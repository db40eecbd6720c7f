#include "SimTerminal.h"

#include <algorithm>
#include <utility>

namespace quorvel::sim {

namespace {

constexpr std::size_t kMaxLine = 16384;  // longer input is dropped and answered with ERROR

const char* const kDebugLines[] = {"[debug] gsm: registered", "[debug] queue: idle",
                                   "[debug] pc-link: command accepted"};
const char* const kUnsolicitedLines[] = {"+WIND: 4", "+CREG: 1", "+WIND: 7"};

// The checksum after the last comma, made wrong.
std::string CorruptChecksum(const std::string& line) {
  const auto comma = line.rfind(',');
  std::int64_t sum = 0;
  if (comma == std::string::npos || !ParseCanonical(line.substr(comma + 1), 255, sum)) {
    return line + "X";
  }
  return line.substr(0, comma + 1) + std::to_string((sum + 1) % 256);
}

// Moves the large stored values (the XML data, the phone base, the files) from one state
// to the other; from is left without them.
void MoveFiles(TSimState& from, TSimState& to) {
  to.XmlData = std::exchange(from.XmlData, std::nullopt);
  to.PhoneBase = std::exchange(from.PhoneBase, std::nullopt);
  to.Files = std::exchange(from.Files, {});
}

// A copy of everything but the large stored values.
TSimState WithoutFiles(TSimState& state) {
  TSimState moved;
  MoveFiles(state, moved);
  TSimState copy = state;
  MoveFiles(moved, state);
  return copy;
}

}  // namespace

TSimTerminal::TSimTerminal(TSimShared& shared, TEnterBootloader enterBootloader)
    : shared_(shared), enterBootloader_(std::move(enterBootloader)) {}

void TSimTerminal::Restart() {
  line_.clear();
  overflow_ = false;
  pending_ = TSimPending{};
  bootWindow_ = true;
}

void TSimTerminal::DropLine() {
  line_.clear();
  overflow_ = false;
}

void TSimTerminal::Feed(std::string_view bytes, ISimWire& wire) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') {
      if (line_.size() < kMaxLine) {
        line_ += c;
      } else {
        overflow_ = true;
      }
      continue;
    }
    if (line_.empty() && !overflow_) continue;
    std::string line;
    line.swap(line_);
    const bool overflow = overflow_;
    overflow_ = false;
    if (overflow) {
      ++shared_.CommandCount;
      wire.LogReceivedLine(line);
      wire.Send("ERROR\r\n");
      continue;
    }
    if (bootWindow_ || shared_.BootloaderOnSync) {
      bootWindow_ = false;
      if (line == "?") {
        ++shared_.CommandCount;
        wire.LogReceivedLine(line);
        // the bootloader takes over from this line on, with the rest of the bytes
        if (enterBootloader_ && enterBootloader_("?" + std::string(bytes.substr(i)))) return;
        wire.Send("?\r\nERROR\r\n");
        continue;
      }
    }
    HandleLine(line, wire);
  }
}

void TSimTerminal::HandleLine(const std::string& line, ISimWire& wire) {
  ++shared_.CommandCount;
  wire.LogReceivedLine(line);
  TSimCommandLine parsed;
  const bool isCommand = SplitCommandLine(line, parsed);
  const std::string faultName = isCommand ? parsed.Name : std::string();
  const TSimFaultHit hit = shared_.Faults.Take(faultName);
  std::vector<std::string> lines;
  int checksumIndex = -1;
  if (hit.Outcome == TSimFaultKind::Silence) return;
  if (hit.Outcome == TSimFaultKind::Error) {
    lines.push_back("ERROR");
  } else if (hit.Outcome == TSimFaultKind::SmError) {
    lines.push_back(ErrorLine(hit.Code));
    checksumIndex = 0;
  } else {
    lines = Execute(line, checksumIndex);
  }
  if (checksumIndex >= 0 && (hit.BadChecksum || shared_.Faults.TakeBadChecksum(faultName))) {
    auto& target = lines[static_cast<std::size_t>(checksumIndex)];
    target = CorruptChecksum(target);
  }
  SendReply(line, lines, hit, wire);
}

std::vector<std::string> TSimTerminal::Execute(const std::string& line, int& checksumIndex) {
  TSimCommandLine parsed;
  const TSimCommandDef* def = SplitCommandLine(line, parsed) ? FindSimCommand(parsed.Name) : nullptr;
  if (!def) return {"ERROR"};
  std::vector<TSimArg> args;
  bool wellFormed = true;
  if (def->Sequenced) {
    int seq = 0;
    wellFormed = parsed.HasParams && ParseSequenced(parsed.Params, seq, args);
  } else if (parsed.HasParams) {
    wellFormed = SplitArgs(parsed.Params, args);
  }
  if (!wellFormed) {
    checksumIndex = 0;
    return {ErrorLine(1)};
  }
  // The command works on a copy of the small values, so a refusal half way leaves them as
  // they were. The stored files and the transfers in progress are moved, not copied (a
  // command must not cost the size of a 10 MB phone base): the handlers change them only
  // after their last check, and a refusal hands them back.
  TSimState state = WithoutFiles(shared_.State);
  TSimPending pending = std::exchange(pending_, {});
  MoveFiles(shared_.State, state);
  const auto giveBack = [&] {
    MoveFiles(state, shared_.State);
    pending_ = std::move(pending);
  };
  TSimCall call(def->Name, def->Sequenced, std::move(args), state, pending, shared_.Backup);
  try {
    def->Run(call);
  } catch (const TSimRefusal& refusal) {
    giveBack();
    checksumIndex = 0;
    return {ErrorLine(refusal.Code)};
  } catch (...) {
    giveBack();
    throw;
  }
  shared_.State = std::move(state);
  pending_ = std::move(pending);
  std::vector<std::string> lines = call.Lines();
  checksumIndex = call.ChecksumIndex();
  lines.push_back("OK");
  return lines;
}

void TSimTerminal::Noise(std::vector<std::string>& out) {
  if (shared_.DebugLines && shared_.Faults.Next(3) == 0) {
    out.emplace_back(kDebugLines[shared_.Faults.Next(std::size(kDebugLines))]);
  }
}

void TSimTerminal::SendReply(const std::string& echo, const std::vector<std::string>& lines,
                             const TSimFaultHit& hit, ISimWire& wire) {
  std::vector<std::string> out;
  Noise(out);
  out.push_back(echo);
  out.insert(out.end(), lines.begin(), lines.end());
  if (shared_.UnsolicitedLines && shared_.Faults.Next(4) == 0) {
    out.emplace_back(kUnsolicitedLines[shared_.Faults.Next(std::size(kUnsolicitedLines))]);
  }
  std::string bytes;
  for (const auto& line : out) bytes += line + "\r\n";
  if (hit.DelayMs > 0) wire.Pause(hit.DelayMs);
  if (!hit.Split || bytes.size() < 2) {
    wire.Send(bytes);
    return;
  }
  std::vector<std::size_t> cuts;
  const std::uint32_t count = 1 + shared_.Faults.Next(3);
  for (std::uint32_t k = 0; k < count; ++k) {
    cuts.push_back(1 + shared_.Faults.Next(static_cast<std::uint32_t>(bytes.size() - 1)));
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  std::size_t from = 0;
  for (std::size_t cut : cuts) {
    wire.Send(std::string_view(bytes).substr(from, cut - from));
    wire.Pause(2 + static_cast<int>(shared_.Faults.Next(4)));
    from = cut;
  }
  wire.Send(std::string_view(bytes).substr(from));
}

void TSimTerminal::IdleNoise(ISimWire& wire) {
  if (!shared_.UnsolicitedLines || !line_.empty()) return;
  wire.Send(std::string(kUnsolicitedLines[shared_.Faults.Next(std::size(kUnsolicitedLines))]) + "\r\n");
}

}  // namespace quorvel::sim
