#include "SimWireFormat.h"


#include <fmt/format.h>

namespace quorvel::sim {

std::uint8_t WireSum(std::string_view bytes) {
  unsigned sum = 0;
  for (unsigned char c : bytes) sum += c;
  return static_cast<std::uint8_t>(sum & 0xFF);
}

bool SplitCommandLine(std::string_view line, TSimCommandLine& out) {
  out = {};
  if (line == "AT") {
    out.Name = "AT";
    return true;
  }
  if (line.substr(0, 3) != "AT+" || line.size() == 3) return false;
  std::string_view rest = line.substr(3);
  const auto eq = rest.find('=');
  out.Name = std::string(rest.substr(0, eq));
  if (out.Name.empty()) return false;
  if (eq != std::string_view::npos) {
    out.HasParams = true;
    out.Params = std::string(rest.substr(eq + 1));
  }
  return true;
}

namespace {

// The protocol has no escaping: a quoted field may hold double quotes of its own (input
// scripts and receipt lines quote text), so a field that opens with a quote closes at a quote
// followed by a comma or the end of the text. Where several quotes qualify, the first one
// after which the rest of the line still splits wins; the outcome per position is memoised
// so a line full of quotes stays quadratic at worst.
class ArgSplitter {
public:
  explicit ArgSplitter(std::string_view text) : text_(text), memo_(text.size() + 1, kUnknown) {}

  bool Split(std::vector<TSimArg>& out) {
    out.clear();
    if (!Fits(0)) return false;
    for (std::size_t pos = 0;;) {
      TSimArg arg;
      std::size_t next = Next(pos, &arg);
      out.push_back(std::move(arg));
      if (next > text_.size()) return true;
      pos = next;
    }
  }

private:
  static constexpr signed char kUnknown = -1;

  // The position after the comma that ends the field at pos, text_.size() + 1 at the end of
  // the text, or npos when no reading of the field lets the rest split.
  std::size_t Next(std::size_t pos, TSimArg* arg) {
    if (pos < text_.size() && text_[pos] == '"') {
      for (std::size_t q = text_.find('"', pos + 1); q != std::string_view::npos; q = text_.find('"', q + 1)) {
        const bool atEnd = q + 1 == text_.size();
        if (!atEnd && text_[q + 1] != ',') continue;
        if (!atEnd && !Fits(q + 2)) continue;
        if (arg) {
          arg->Text = std::string(text_.substr(pos + 1, q - pos - 1));
          arg->Quoted = true;
        }
        return atEnd ? text_.size() + 1 : q + 2;
      }
      return std::string_view::npos;
    }
    const std::size_t comma = text_.find(',', pos);
    const std::size_t stop = comma == std::string_view::npos ? text_.size() : comma;
    if (text_.substr(pos, stop - pos).find('"') != std::string_view::npos) return std::string_view::npos;
    if (comma != std::string_view::npos && !Fits(comma + 1)) return std::string_view::npos;
    if (arg) arg->Text = std::string(text_.substr(pos, stop - pos));
    return comma == std::string_view::npos ? text_.size() + 1 : comma + 1;
  }

  // True when the text from pos on splits into fields.
  bool Fits(std::size_t pos) {
    if (memo_[pos] == kUnknown) memo_[pos] = Next(pos, nullptr) != std::string_view::npos ? 1 : 0;
    return memo_[pos] == 1;
  }

  std::string_view text_;
  std::vector<signed char> memo_;
};

}  // namespace

bool SplitArgs(std::string_view text, std::vector<TSimArg>& out) { return ArgSplitter(text).Split(out); }

bool ParseCanonical(std::string_view text, std::int64_t max, std::int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  if (text.size() > 1 && text[0] == '0') return false;
  std::int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v > max) return false;
  value = v;
  return true;
}

bool ParseSequenced(std::string_view params, int& seq, std::vector<TSimArg>& args) {
  args.clear();
  const auto lastComma = params.rfind(',');
  if (lastComma == std::string_view::npos) return false;
  std::int64_t sum = 0;
  if (!ParseCanonical(params.substr(lastComma + 1), 255, sum)) return false;
  const std::string_view covered = params.substr(0, lastComma + 1);
  if (WireSum(covered) != sum) return false;
  std::vector<TSimArg> fields;
  if (!SplitArgs(covered.substr(0, covered.size() - 1), fields)) return false;
  std::int64_t number = 0;
  if (fields.empty() || fields[0].Quoted || !ParseCanonical(fields[0].Text, 99, number) ||
      number < 1) {
    return false;
  }
  seq = static_cast<int>(number);
  args.assign(fields.begin() + 1, fields.end());
  return true;
}

std::string ChecksumLine(std::string_view name, std::string_view body) {
  return fmt::format("+{}: {}{}", name, body, static_cast<unsigned>(WireSum(body)));
}

std::string ErrorLine(std::int32_t code) {
  return ChecksumLine("SMERROR", fmt::format("{},", code));
}

std::string QuoteField(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  out += bytes;
  out += '"';
  return out;
}

}  // namespace quorvel::sim
