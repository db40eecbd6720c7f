#include "SimTerminal.h"

#include "Cp1251.h"
#include "Errors.h"

namespace quorvel::sim {

TSimCall::TSimCall(std::string name, bool sequenced, std::vector<TSimArg> args,
                   TSimState& state, TSimPending& pending,
                   const std::optional<TSimState>& backup)
    : S(state),
      P(pending),
      Backup(backup),
      name_(std::move(name)),
      sequenced_(sequenced),
      args_(std::move(args)) {}

void TSimCall::Refuse(std::int32_t code) { throw TSimRefusal{code}; }

void TSimCall::Expect(std::size_t min, std::size_t max) const {
  if (args_.size() < min || args_.size() > max) Refuse(1);
}

const TSimArg& TSimCall::Arg(std::size_t i) const {
  if (i >= args_.size()) Refuse(1);
  return args_[i];
}

std::int32_t TSimCall::Int(std::size_t i, std::int64_t min, std::int64_t max) const {
  const TSimArg& arg = Arg(i);
  if (arg.Quoted) Refuse(1);
  std::string_view text = arg.Text;
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  std::int64_t value = 0;
  if (!ParseCanonical(text, 2147483648LL, value)) Refuse(1);
  if (negative) {
    if (value == 0) Refuse(1);  // "-0" is not how a number is written
    value = -value;
  }
  if (value < min || value > max) Refuse(1);
  return static_cast<std::int32_t>(value);
}

std::string TSimCall::TextBytes(std::size_t i) const {
  const TSimArg& arg = Arg(i);
  if (!arg.Quoted) Refuse(1);
  return arg.Text;
}

std::string TSimCall::Text(std::size_t i) const { return Cp1251ToUtf8(TextBytes(i)); }

std::string TSimCall::Raw(std::size_t i) const {
  const TSimArg& arg = Arg(i);
  if (arg.Quoted) Refuse(1);
  return Cp1251ToUtf8(arg.Text);
}

void TSimCall::Data(const std::string& fields) {
  std::string base;
  for (char c : name_) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 65 || code > 122) break;
    base += c;
  }
  if (sequenced_) {
    checksumIndex_ = static_cast<int>(lines_.size());
    lines_.push_back(ChecksumLine(base, fields + ","));
  } else {
    lines_.push_back("+" + base + ": " + fields);
  }
}

void TSimCall::Line(const std::string& bytes) { lines_.push_back(bytes); }

std::string TSimCall::W(const std::string& utf8) {
  try {
    return Utf8ToCp1251(utf8);
  } catch (const EEncodingError&) {
    Refuse(2);  // state set through the API that the terminal cannot put on the wire
  }
}

std::string TSimCall::Q(const std::string& utf8) { return QuoteField(W(utf8)); }

void TSimCall::Need(const std::string& value) {
  if (value.empty()) Refuse(8);
}

}  // namespace quorvel::sim
