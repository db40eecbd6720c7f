#include "Command.h"

#include "Cp1251.h"
#include "Errors.h"
#include "TextUtils.h"

#include <chrono>

#include <fmt/format.h>

namespace quorvel {

namespace {

constexpr char kCr = 13;
constexpr char kLf = 10;
constexpr std::int32_t kMaxSeqNo = 99;  // sequence numbers run 1..99

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Position (0-based) of the first colon, or -1: the texts of data and error lines are taken
// relative to it the way the original did with a 1-based Pos that is 0 when missing.
std::ptrdiff_t ColonIndex(std::string_view line) {
  auto p = line.find(':');
  return p == std::string_view::npos ? -1 : static_cast<std::ptrdiff_t>(p);
}

// The wire has no escapes: a field that holds one of these ends early or breaks the line.
void CheckParamBytes(std::string_view bytes, std::string_view refused) {
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsWireControl(c) || refused.find(ch) != std::string_view::npos)
      throw Exception(fmt::format("{}: {}", kBadParamCharText, CharDescription(c)));
  }
}

std::string_view TailFrom(std::string_view line, std::ptrdiff_t start) {
  if (start < 0) start = 0;
  if (static_cast<std::size_t>(start) >= line.size()) return {};
  return line.substr(static_cast<std::size_t>(start));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCommandParams

void TCommandParams::Add(std::string_view utf8) {
  std::string bytes = Utf8ToCp1251(utf8);
  CheckParamBytes(bytes, "\",");
  items_.push_back(std::move(bytes));
}

void TCommandParams::AddRaw(std::string_view bytes) { items_.emplace_back(bytes); }

void TCommandParams::AppendInt(std::int32_t value) { items_.push_back(std::to_string(value)); }

void TCommandParams::AppendQuoted(std::string_view utf8) { AppendQuotedRaw(Utf8ToCp1251(utf8)); }

void TCommandParams::AppendQuotedRaw(std::string_view bytes) {
  CheckParamBytes(bytes, "\"");
  std::string field;
  field.reserve(bytes.size() + 2);
  field.push_back('"');
  field.append(bytes);
  field.push_back('"');
  items_.push_back(std::move(field));
}

void TCommandParams::AppendBool(bool value) { items_.emplace_back(value ? "1" : "0"); }

void TCommandParams::AppendGuid(std::string_view guid) {
  CheckGuid(guid);
  AppendQuoted(guid);
}

void TCommandParams::CheckGuid(std::string_view text) {
  // The form CLIDFromString accepts inside braces: 8-4-4-4-12 hexadecimal digits.
  static constexpr std::size_t kGuidLength = 36;
  bool ok = text.size() == kGuidLength;
  for (std::size_t i = 0; ok && i < text.size(); ++i) {
    bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
    ok = hyphenPlace ? text[i] == '-' : IsHexDigit(text[i]);
  }
  if (!ok) throw Exception(kBadGuidText);
}

std::string TCommandParams::FieldText(int index) const { return Cp1251ToUtf8(FieldRaw(index)); }

std::string TCommandParams::FieldRaw(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= items_.size()) return {};
  return items_[static_cast<std::size_t>(index)];
}

void TCommandParams::CheckIndex(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= items_.size())
    throw Exception(fmt::format("{}, {}", kBadIndexText, static_cast<std::int64_t>(index) + 1));
}

std::int32_t TCommandParams::FieldInt(int index) const {
  CheckIndex(index);
  // Converted first so that the conversion error's message quoting the field is UTF-8.
  return StrToInt(Cp1251ToUtf8(items_[static_cast<std::size_t>(index)]));
}

bool TCommandParams::FieldBool(int index) const {
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)] != "0";
}

bool TCommandParams::SplitFields(std::string_view bytes) {
  std::string field;
  bool quoted = false;
  bool justClosed = false;  // the last character was a closing quote
  bool wellFormed = true;
  for (char c : bytes) {
    // A closing quote is the frame's only when the field ends right after it; anything else
    // means the value held a quote of its own and has been cut.
    if (justClosed && c != ',') wellFormed = false;
    justClosed = false;
    if (c == '"') {
      justClosed = quoted;
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      items_.push_back(std::move(field));
      field.clear();
    } else {
      field.push_back(c);
    }
  }
  if (!field.empty()) items_.push_back(std::move(field));
  return wellFormed && !quoted;
}

std::string TCommandParams::JoinFields() const {
  std::string out;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) out.push_back(',');
    out += items_[i];
  }
  return out;
}

// ---------------------------------------------------------------------------------------------

std::string ResultCodeText(std::int32_t code) {
  switch (code) {
    case 0:
      return kNoErrorsText;
    case 1:
      return "Ortena: Ошибка в переданных параметрах";
    case 2:
      return "Ortena: Ошибка состояния терминала";
    case 3:
      return "Ortena: Ошибка проведения платежа";
    case 4:
      return "Ortena: Ошибка ожидания ответа";
    case 8:
      return "Ortena: Нет запрошенных данных";
    case 9:
      return "Ortena: Ошибка записи во флеш память";
    case 12:
      return "Ortena: Нет доступной памяти";
    case 251:
      return "Ortena: Неверный пароль";
    case kResultError:
      return "Ortena: Ошибка ERROR";
    case kResultBadCrc:
      return kBadCrcText;
    case kResultBadErrorCode:
      return kBadErrorCodeText;
    case kResultBadQuote:
      return kBadQuoteText;
    case kResultBreak:
      return kBreakText;
    case kResultNoLink:
      return kNoLinkText;
    default:
      return fmt::format("{}, {}", "Ortena: неизвестный код ошибки", code);
  }
}

// ---------------------------------------------------------------------------------------------
// TCommand: configuration and the command line

TCommand::TCommand() = default;

void TCommand::Reset() {
  std::lock_guard lk(lock_);
  name_.clear();
  lineBuffer_.clear();
  discarding_ = false;
  params_.Clear();
  timeout_ = kDefaultTimeoutMs;
  waitForOk_ = false;
  checkCrc_ = true;
  sequenced_ = false;
  textAnswer_ = false;
}

void TCommand::Prepare() {
  std::lock_guard lk(lock_);
  answer_.Clear();
  resultCode_ = 0;
  resultText_.clear();
  done_ = false;
  echoSeen_ = false;
  dataSeen_ = false;
  open_ = true;
  BuildLineLocked();
}

void TCommand::BuildLine() {
  std::lock_guard lk(lock_);
  BuildLineLocked();
}

void TCommand::BuildLineLocked() {
  if (name_.empty()) throw Exception(kEmptyNameText);
  std::string prefix = name_ == "AT" ? std::string("AT") : "AT+" + Utf8ToCp1251(name_);
  std::string line;
  if (!sequenced_) {
    line = params_.Empty() ? prefix : prefix + "=" + params_.JoinFields();
  } else {
    // "%d,%s" of the number and the joined parameters, a trailing "," when there are any,
    // then "%s=%s%d" of prefix, body and checksum.
    std::string body = std::to_string(seqNo_) + "," + params_.JoinFields();
    if (!params_.Empty()) body += ",";
    line = prefix + "=" + body + std::to_string(FrameCrc(body));
  }
  // The last guard before the port: whatever built the parameters, a line the terminal would
  // cut or whose echo could not come back is not sent.
  CheckParamBytes(line, {});
  if (line.size() > kMaxLineLength)
    throw Exception(fmt::format("{} ({} > {})", kLineTooLongText, line.size(), kMaxLineLength));
  commandLine_ = std::move(line);
}

void TCommand::NextSeq() {
  std::lock_guard lk(lock_);
  NextSeqLocked();
}

void TCommand::NextSeqLocked() { seqNo_ = seqNo_ >= kMaxSeqNo ? 1 : seqNo_ + 1; }

std::string TCommand::BaseName() const {
  std::lock_guard lk(lock_);
  return BaseNameLocked();
}

std::string TCommand::BaseNameLocked() const {
  std::size_t n = 0;
  while (n < name_.size()) {
    auto c = static_cast<unsigned char>(name_[n]);
    if (c < 65 || c > 122) break;
    ++n;
  }
  return name_.substr(0, n);
}

int TCommand::FrameCrc(std::string_view text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return static_cast<int>(sum % 256);
}

bool TCommand::CrcValid(std::string_view text) {
  auto comma = text.rfind(',');
  std::size_t k = comma == std::string_view::npos ? 0 : comma + 1;
  std::int64_t value = 0;
  // A checksum that is not a decimal number fails the test like a wrong one (the original
  // raised a conversion error here that dropped the rest of the received chunk).
  if (!TryStrToInt64(text.substr(k), value)) return false;
  return value == FrameCrc(text.substr(0, k));
}

// ---------------------------------------------------------------------------------------------
// TCommand: receiving

void TCommand::Feed(std::string_view chunk) {
  std::lock_guard lk(lock_);
  for (char c : chunk) {
    if (c == kCr || c == kLf) {
      if (discarding_) {
        discarding_ = false;
        continue;
      }
      if (lineBuffer_.empty()) continue;
      std::string line = Trim(lineBuffer_);
      lineBuffer_.clear();
      HandleLine(line);
    } else if (static_cast<unsigned char>(c) >= 32) {
      if (discarding_) continue;
      if (lineBuffer_.size() >= kMaxLineLength) {
        // No line of the protocol is this long: a stream without line ends (wrong baud rate,
        // noise). Drop what was gathered and the rest of it up to the next line end, so the
        // buffer stays bounded and the tail is not mistaken for a line of its own.
        lineBuffer_.clear();
        discarding_ = true;
        continue;
      }
      lineBuffer_.push_back(c);
    }
  }
}

void TCommand::HandleLine(std::string_view line) {
  if (StartsWith(line, "[debug]")) return;
  if (!commandLine_.empty() && StartsWith(line, commandLine_)) {
    openEcho_ = std::string(line);
    echoSeen_ = true;
    if (dataSeen_ && open_) SetDoneLocked();
    return;
  }
  if (StartsWith(line, "AT")) {
    // The echo of another command (a retry answered late, the previous command): its reply
    // follows up to its final line and must not be taken for this command's answer.
    openEcho_ = std::string(line);
    return;
  }
  // An echo line of this command cannot be told from a retry of the same line, so only an
  // open reply of a different line is foreign.
  bool foreign = !openEcho_.empty() && (commandLine_.empty() || !StartsWith(openEcho_, commandLine_));
  bool accept = open_ && !foreign;
  if (StartsWith(line, "ERROR")) {
    openEcho_.clear();
    if (!accept) return;
    SetResult(kResultError, kErrorLineText);
    SetDoneLocked();
  } else if (StartsWith(line, "OK")) {
    openEcho_.clear();
    if (!accept) return;
    // The final OK of a command that waits for it does not make a damaged value whole.
    if (resultCode_ != kResultBadQuote) SetResult(kResultOk, kNoErrorsText);
    if (echoSeen_) SetDoneLocked();
  } else if (StartsWith(line, "+SMERROR")) {
    openEcho_.clear();
    HandleErrorLine(line, accept);
  } else if (StartsWith(line, "+" + BaseNameLocked())) {
    HandleDataLine(line, accept);
  } else if (StartsWith(line, "+")) {
    return;  // unsolicited notification
  } else if (accept && !sequenced_) {
    answer_.AddRaw(line);
  }
}

void TCommand::HandleDataLine(std::string_view line, bool accept) {
  NextSeqLocked();
  if (!accept) return;
  dataSeen_ = true;
  answerText_ = Trim(TailFrom(line, ColonIndex(line) + 1));
  if (sequenced_ && checkCrc_ && !CrcValid(answerText_)) {
    SetResult(kResultBadCrc, kBadCrcText);
  } else if (!answer_.SplitFields(answerText_) && !textAnswer_) {
    // Splitting drops the quotes: the fields would be a silently changed value.
    SetResult(kResultBadQuote, fmt::format("{}: {}", kBadQuoteText, QuotedValue(Cp1251ToUtf8(answerText_))));
  }
  if (echoSeen_ && !waitForOk_) SetDoneLocked();
}

void TCommand::HandleErrorLine(std::string_view line, bool accept) {
  NextSeqLocked();
  if (!accept) return;
  // From two characters after the first colon (the colon and one blank), not trimmed.
  std::string_view text = TailFrom(line, ColonIndex(line) + 2);
  if (!CrcValid(text)) {
    SetResult(kResultBadCrc, kBadCrcText);
  } else {
    TCommandParams fields;
    fields.SplitFields(text);
    for (const auto& f : fields.Items()) answer_.AddRaw(f);
    std::int64_t code = 0;
    if (!fields.Empty() && TryStrToInt64(fields.Items().front(), code) && code >= INT32_MIN &&
        code <= INT32_MAX) {
      SetResult(static_cast<std::int32_t>(code), ResultCodeText(static_cast<std::int32_t>(code)));
    } else {
      SetResult(kResultBadErrorCode, kBadErrorCodeText);
    }
  }
  SetDoneLocked();
}

void TCommand::SetResult(std::int32_t code, std::string text) {
  resultCode_ = code;
  resultText_ = std::move(text);
}

void TCommand::SetDoneLocked() {
  open_ = false;
  done_ = true;  // last: the waiter takes everything set before it
  doneChanged_.notify_all();
}

// ---------------------------------------------------------------------------------------------
// TCommand: waiting and results

std::int32_t TCommand::WaitResult() {
  std::unique_lock lk(lock_);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_);
  if (doneChanged_.wait_until(lk, deadline, [this] { return done_; })) return resultCode_;
  // The exchange is over for this attempt: a reply that arrives now changes nothing until
  // the next Prepare, so the caller reads 1005 and the no-link message together.
  open_ = false;
  SetResult(kResultNoLink, kNoLinkText);
  return kResultNoLink;
}

void TCommand::Fail(std::int32_t code, const std::string& text) {
  std::lock_guard lk(lock_);
  if (!open_) return;
  SetResult(code, text);
  SetDoneLocked();
}

std::string TCommand::AnswerField(int index) const { return Cp1251ToUtf8(AnswerFieldRaw(index)); }

std::string TCommand::AnswerFieldRaw(int index) const {
  std::lock_guard lk(lock_);
  if (resultCode_ == kResultNoData || resultCode_ == kResultError) return Utf8ToCp1251(kNoDataText);
  return answer_.FieldRaw(index);
}

TCommandParams TCommand::Answer() const {
  std::lock_guard lk(lock_);
  return answer_;
}

std::string TCommand::Name() const {
  std::lock_guard lk(lock_);
  return name_;
}

void TCommand::SetName(const std::string& name) {
  std::lock_guard lk(lock_);
  name_ = name;
}

bool TCommand::Sequenced() const {
  std::lock_guard lk(lock_);
  return sequenced_;
}

void TCommand::SetSequenced(bool sequenced) {
  std::lock_guard lk(lock_);
  sequenced_ = sequenced;
}

std::int32_t TCommand::SeqNo() const {
  std::lock_guard lk(lock_);
  return seqNo_;
}

void TCommand::SetSeqNo(std::int32_t seqNo) {
  CheckRange(seqNo, 1, kMaxSeqNo, "SeqNo");
  std::lock_guard lk(lock_);
  seqNo_ = seqNo;
}

std::int32_t TCommand::Timeout() const {
  std::lock_guard lk(lock_);
  return timeout_;
}

void TCommand::SetTimeout(std::int32_t ms) {
  std::lock_guard lk(lock_);
  timeout_ = ms;
}

bool TCommand::WaitForOk() const {
  std::lock_guard lk(lock_);
  return waitForOk_;
}

void TCommand::SetWaitForOk(bool waitForOk) {
  std::lock_guard lk(lock_);
  waitForOk_ = waitForOk;
}

bool TCommand::CheckCrc() const {
  std::lock_guard lk(lock_);
  return checkCrc_;
}

void TCommand::SetCheckCrc(bool checkCrc) {
  std::lock_guard lk(lock_);
  checkCrc_ = checkCrc;
}

bool TCommand::TextAnswer() const {
  std::lock_guard lk(lock_);
  return textAnswer_;
}

void TCommand::SetTextAnswer(bool textAnswer) {
  std::lock_guard lk(lock_);
  textAnswer_ = textAnswer;
}

std::string TCommand::ProgressText() const {
  std::lock_guard lk(lock_);
  return progressText_;
}

void TCommand::SetProgressText(const std::string& text) {
  std::lock_guard lk(lock_);
  progressText_ = text;
}

std::string TCommand::CommandLine() const {
  std::lock_guard lk(lock_);
  return commandLine_;
}

std::string TCommand::LineBuffer() const {
  std::lock_guard lk(lock_);
  return lineBuffer_;
}

std::string TCommand::AnswerText() const {
  std::lock_guard lk(lock_);
  return answerText_;
}

bool TCommand::Done() const {
  std::lock_guard lk(lock_);
  return done_;
}

bool TCommand::EchoSeen() const {
  std::lock_guard lk(lock_);
  return echoSeen_;
}

bool TCommand::DataSeen() const {
  std::lock_guard lk(lock_);
  return dataSeen_;
}

std::int32_t TCommand::ResultCode() const {
  std::lock_guard lk(lock_);
  return resultCode_;
}

std::string TCommand::ResultText() const {
  std::lock_guard lk(lock_);
  return resultText_;
}

}  // namespace quorvel
