#include "Bootloader.h"

#include <algorithm>
#include <charconv>

namespace quorvel::sim {

namespace {

constexpr std::uint32_t kUnlockCode = 23130;  // the ISP unlock code
constexpr std::size_t kLineBytes = 45;        // bytes per UU line
constexpr int kLinesPerBlock = 20;            // a checksum line follows every 20 data lines

bool ParseNumber(const std::string& text, std::uint32_t& value) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t pos = 0;
  while (pos < line.size()) {
    std::size_t start = line.find_first_not_of(' ', pos);
    if (start == std::string::npos) break;
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    words.push_back(line.substr(start, end - start));
    pos = end;
  }
  return words;
}

// Parameters 1..n of a command as numbers; false when any is missing or not a number.
bool Numbers(const std::vector<std::string>& words, std::size_t count, std::vector<std::uint32_t>& out) {
  if (words.size() != count + 1) return false;
  out.assign(count, 0);
  for (std::size_t i = 0; i < count; ++i)
    if (!ParseNumber(words[i + 1], out[i])) return false;
  return true;
}

std::uint32_t Sum(std::string_view bytes) {
  std::uint32_t sum = 0;
  for (unsigned char b : bytes) sum += b;
  return sum;
}

}  // namespace

std::string BootUUEncode(std::string_view bytes) {
  static constexpr char kAlphabet[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
  std::string out(1, kAlphabet[bytes.size() & 0x3F]);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned char b[3] = {0, 0, 0};
    for (std::size_t k = 0; k < 3 && i + k < bytes.size(); ++k)
      b[k] = static_cast<unsigned char>(bytes[i + k]);
    out += kAlphabet[b[0] >> 2];
    out += kAlphabet[((b[0] & 0x03) << 4) | (b[1] >> 4)];
    out += kAlphabet[((b[1] & 0x0F) << 2) | (b[2] >> 6)];
    out += kAlphabet[b[2] & 0x3F];
  }
  return out;
}

std::string BootUUDecode(std::string_view line) {
  auto six = [&line](std::size_t i) -> unsigned {
    return i < line.size() ? (static_cast<unsigned char>(line[i]) - 0x20u) & 0x3Fu : 0u;
  };
  if (line.empty()) return {};
  std::size_t count = six(0);
  std::string out;
  for (std::size_t i = 1; out.size() < count; i += 4) {
    unsigned a = six(i), b = six(i + 1), c = six(i + 2), d = six(i + 3);
    out += static_cast<char>((a << 2 | b >> 4) & 0xFF);
    out += static_cast<char>((b << 4 | c >> 2) & 0xFF);
    out += static_cast<char>((c << 6 | d) & 0xFF);
  }
  out.resize(count);
  return out;
}

std::function<std::unique_ptr<ISimPortHandler>()> BootloaderFactory(std::shared_ptr<TBootloaderFlash> memory,
                                                                    const TBootloaderFaults& faults) {
  return [memory, faults]() -> std::unique_ptr<ISimPortHandler> {
    memory->Reset();
    auto part = std::make_unique<TBootloader>(memory);
    part->SetFaults(faults);
    return part;
  };
}

TBootloader::TBootloader(std::shared_ptr<TBootloaderFlash> memory, bool synchronized)
    : memory_(std::move(memory)), state_(synchronized ? TState::Command : TState::Autobaud) {}

void TBootloader::SetFaults(const TBootloaderFaults& faults) {
  std::lock_guard<std::mutex> guard(faultsLock_);
  faults_ = faults;
}

bool TBootloader::Ended() const {
  std::lock_guard<std::mutex> guard(faultsLock_);
  return ended_;
}

void TBootloader::Flush(ISimWire& wire) {
  if (pending_.empty()) return;
  wire.Send(pending_);
  pending_.clear();
}

void TBootloader::Feed(std::string_view bytes, ISimWire& wire) {
  TBootloaderFaults faults;
  {
    std::lock_guard<std::mutex> guard(faultsLock_);
    faults = faults_;
  }
  for (char c : bytes) {
    if (faults.NoAnswer || state_ == TState::Ended) continue;
    if (state_ == TState::Autobaud) {
      // The part measures the bit rate on "?" and answers before any echo is on.
      if (c == '?') {
        Emit("Synchronized\r\n");
        state_ = TState::SyncWord;
        line_.clear();
      }
      continue;
    }
    if (c != '\n') {
      line_ += c;
      continue;
    }
    if (state_ == TState::WriteData && ++dataLines_ == faults.CorruptDataLine && line_.size() > 1)
      line_[1] = line_[1] == '!' ? '"' : '!';
    std::string raw = line_ + "\n";
    std::string line;
    std::copy_if(line_.begin(), line_.end(), std::back_inserter(line), [](char x) { return x != '\r'; });
    line_.clear();
    wire.LogReceivedLine(line);
    if (state_ == TState::Command && !line.empty() && ++commandLines_ == faults.WrongEchoOnLine)
      raw[0] = static_cast<char>(raw[0] ^ 0x20);
    if (echo_) Emit(raw);
    HandleLine(line, wire);
  }
  Flush(wire);
}

void TBootloader::HandleLine(const std::string& line, ISimWire& wire) {
  if (line.empty()) return;
  switch (state_) {
    case TState::SyncWord: {
      std::string word = line.substr(std::min(line.find_first_not_of('?'), line.size()));
      if (word == "Synchronized") {
        Emit("OK\r\n");
        state_ = TState::Crystal;
      } else {
        state_ = TState::Autobaud;
      }
      break;
    }
    case TState::Crystal: {
      std::uint32_t kHz = 0;
      if (ParseNumber(line, kHz)) {
        Emit("OK\r\n");
        state_ = TState::Command;
      } else {
        state_ = TState::Autobaud;
      }
      break;
    }
    case TState::Command:
      HandleCommand(line, wire);
      break;
    case TState::WriteData:
      HandleDataLine(line);
      break;
    case TState::WriteSum:
      HandleWriteSum(line);
      break;
    case TState::ReadAck:
      HandleReadAck(line, wire);
      break;
    default:
      break;
  }
}

void TBootloader::HandleCommand(const std::string& line, ISimWire& wire) {
  std::vector<std::string> words = SplitWords(line);
  std::vector<std::uint32_t> p;
  const std::string& cmd = words[0];
  if (cmd.size() != 1) return Reply(kIspInvalidCommand);
  switch (cmd[0]) {
    case 'U':
      if (!Numbers(words, 1, p)) return Reply(kIspParamError);
      if (p[0] != kUnlockCode) return Reply(kIspInvalidCode);
      unlocked_ = true;
      return Reply(kIspSuccess);
    case 'A':
      if (!Numbers(words, 1, p) || p[0] > 1) return Reply(kIspParamError);
      echo_ = p[0] == 1;
      return Reply(kIspSuccess);
    case 'B':
      return Reply(Numbers(words, 2, p) ? kIspSuccess : kIspParamError);
    case 'J':
      Reply(kIspSuccess);
      return Emit(std::to_string(kBootPartId) + "\r\n");
    case 'K':
      Reply(kIspSuccess);
      return Emit("9\r\n2\r\n");  // boot code 2.9, minor byte first
    case 'P':
      if (!Numbers(words, 2, p)) return Reply(kIspParamError);
      return Reply(memory_->Prepare(p[0], p[1]));
    case 'E':
      if (!Numbers(words, 2, p)) return Reply(kIspParamError);
      return HandleErase(p, wire);
    case 'I':
      if (!Numbers(words, 2, p)) return Reply(kIspParamError);
      return HandleBlankCheck(p);
    case 'W':
      if (!Numbers(words, 2, p)) return Reply(kIspParamError);
      return HandleWriteCommand(p);
    case 'R':
      if (!Numbers(words, 2, p)) return Reply(kIspParamError);
      return HandleReadCommand(p);
    case 'C':
      if (!Numbers(words, 3, p)) return Reply(kIspParamError);
      if (!unlocked_) return Reply(kIspCmdLocked);
      return Reply(memory_->Copy(p[0], p[1], p[2]));
    case 'M':
      if (!Numbers(words, 3, p)) return Reply(kIspParamError);
      return HandleCompare(p);
    case 'G':
      return HandleGo(words, wire);
    default:
      return Reply(kIspInvalidCommand);
  }
}

void TBootloader::HandleErase(const std::vector<std::uint32_t>& p, ISimWire& wire) {
  if (!unlocked_) return Reply(kIspCmdLocked);
  int code = memory_->Erase(p[0], p[1]);
  int delayMs = 0;
  {
    std::lock_guard<std::mutex> guard(faultsLock_);
    delayMs = faults_.EraseDelayMs;
  }
  if (delayMs > 0) {
    Flush(wire);
    wire.Pause(delayMs);
  }
  Reply(code);
}

void TBootloader::HandleBlankCheck(const std::vector<std::uint32_t>& p) {
  std::uint32_t offset = 0, content = 0;
  int code = memory_->BlankCheck(p[0], p[1], offset, content);
  Reply(code);
  if (code == kIspSectorNotBlank) Emit(std::to_string(offset) + "\r\n" + std::to_string(content) + "\r\n");
}

void TBootloader::HandleCompare(const std::vector<std::uint32_t>& p) {
  std::uint32_t offset = 0;
  int code = memory_->Compare(p[0], p[1], p[2], offset);
  Reply(code);
  if (code == kIspCompareError) Emit(std::to_string(offset) + "\r\n");
}

void TBootloader::HandleWriteCommand(const std::vector<std::uint32_t>& p) {
  int code = memory_->CheckRamWrite(p[0], p[1]);
  {
    std::lock_guard<std::mutex> guard(faultsLock_);
    if (++writeCommands_ == faults_.WriteErrorOnCommand) code = faults_.WriteErrorCode;
  }
  Reply(code);
  if (code != kIspSuccess) return;
  writeAddress_ = p[0];
  writeLeft_ = p[1];
  writeBlock_.clear();
  writeBlockLines_ = 0;
  state_ = writeLeft_ > 0 ? TState::WriteData : TState::WriteSum;
}

void TBootloader::HandleDataLine(const std::string& line) {
  std::string bytes = BootUUDecode(line);
  bytes.resize(std::min<std::size_t>(bytes.size(), writeLeft_ - writeBlock_.size()));
  writeBlock_ += bytes;
  if (++writeBlockLines_ == kLinesPerBlock || writeBlock_.size() >= writeLeft_) state_ = TState::WriteSum;
}

void TBootloader::HandleWriteSum(const std::string& line) {
  std::uint32_t sum = 0;
  bool ok = ParseNumber(line, sum) && sum == Sum(writeBlock_);
  {
    std::lock_guard<std::mutex> guard(faultsLock_);
    ++writeBlocks_;
    if (faults_.ResendOnBlock > 0 && writeBlocks_ >= faults_.ResendOnBlock &&
        writeBlocks_ < faults_.ResendOnBlock + faults_.ResendTimes)
      ok = false;
  }
  if (ok) {
    memory_->WriteRam(writeAddress_, writeBlock_);
    writeAddress_ += static_cast<std::uint32_t>(writeBlock_.size());
    writeLeft_ -= static_cast<std::uint32_t>(writeBlock_.size());
    Emit("OK\r\n");
  } else {
    Emit("RESEND\r\n");  // the host sends the same block again
  }
  writeBlock_.clear();
  writeBlockLines_ = 0;
  state_ = writeLeft_ > 0 ? TState::WriteData : (ok ? TState::Command : TState::WriteSum);
}

void TBootloader::HandleReadCommand(const std::vector<std::uint32_t>& p) {
  int code = memory_->Read(p[0], p[1], readData_);
  Reply(code);
  if (code != kIspSuccess || readData_.empty()) return;
  std::int64_t weak = 0;
  {
    std::lock_guard<std::mutex> guard(faultsLock_);
    weak = faults_.WeakByteAt;
  }
  if (weak >= p[0] && weak < std::int64_t{p[0]} + p[1]) readData_[static_cast<std::size_t>(weak - p[0])] ^= 1;
  readBlockStart_ = 0;
  SendReadBlock();
  state_ = TState::ReadAck;
}

void TBootloader::SendReadBlock() {
  readBlockEnd_ = std::min(readData_.size(), readBlockStart_ + kLinesPerBlock * kLineBytes);
  std::string_view block =
      std::string_view(readData_).substr(readBlockStart_, readBlockEnd_ - readBlockStart_);
  for (std::size_t i = 0; i < block.size(); i += kLineBytes)
    Emit(BootUUEncode(block.substr(i, kLineBytes)) + "\r\n");
  std::uint32_t sum = Sum(block);
  {
    std::lock_guard<std::mutex> guard(faultsLock_);
    if (++readBlocks_ == faults_.BadReadSumOnBlock) ++sum;
  }
  Emit(std::to_string(sum) + "\r\n");
}

void TBootloader::HandleReadAck(const std::string& line, ISimWire& wire) {
  if (line == "RESEND") return SendReadBlock();
  if (line == "OK") {
    readBlockStart_ = readBlockEnd_;
    if (readBlockStart_ < readData_.size()) return SendReadBlock();
    state_ = TState::Command;
    return;
  }
  // A host that goes on with a new command has given up on the rest.
  state_ = TState::Command;
  HandleCommand(line, wire);
}

void TBootloader::HandleGo(const std::vector<std::string>& words, ISimWire& wire) {
  std::uint32_t address = 0;
  if (words.size() != 3 || !ParseNumber(words[1], address) || (words[2] != "T" && words[2] != "A"))
    return Reply(kIspParamError);
  if (!unlocked_) return Reply(kIspCmdLocked);
  if (address % 4 != 0 && words[2] == "A") return Reply(kIspAddrError);
  Reply(kIspSuccess);
  if (words[2] == "A" && memory_->IsFlashReadoutRoutine(address)) {
    memory_->MapUserFlash();  // the routine returns into the bootloader
    return;
  }
  Flush(wire);
  state_ = TState::Ended;
  {
    std::lock_guard<std::mutex> guard(faultsLock_);
    ended_ = true;
  }
  wire.LeaveBootloader();
}

}  // namespace quorvel::sim
