#include "LogMask.h"

#include <array>
#include <vector>

namespace quorvel {

namespace {

// One kind of line that carries secrets. Field indices count the command's parameters (the
// sequence number of a command and the checksum at the end are not counted).
struct TMaskRule {
  std::string_view Name;
  bool Answer;                              // "+NAME: fields" rather than "AT+NAME=seq,fields"
  int MinFields;                            // fewer parameters: another form of the command
  std::vector<std::string_view> Selectors;  // field 0 must be one of them (unquoted); empty: any
  std::vector<int> Masked;
};

const std::vector<TMaskRule>& Rules() {
  static const std::vector<TMaskRule> rules = {
      {"SMRSA", false, 2, {"PRTP", "PRTQ", "PRTDP", "PRTDQ", "PRTIQ", "PRTD"}, {1}},
      {"SMSIMSETUP", false, 7, {}, {2, 5}},
      {"SMSIMSETUP", true, 5, {}, {4}},
      {"SMCRSECSET", false, 4, {}, {2, 3}},
      {"EPCARD", false, 2, {}, {1}},
      {"XPCASSIR", false, 3, {}, {2}},
      {"XPKEY", false, 1, {}, {0}},
      {"OSMPPARAMS", false, 2, {}, {1}},
      {"SMEASYPAY", false, 3, {"1"}, {2}},
      {"SMKRASPLAT", false, 3, {"1", "3"}, {2}},
      {"SMABSOLUTPLAT", false, 3, {"3"}, {2}},
      {"SMEUROFON", false, 3, {"3"}, {2}},
  };
  return rules;
}

constexpr std::string_view kCommandStart = "AT+";

bool IsNameChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '?'; }

// Fields separated by commas; a comma inside quotes belongs to its field (the wire has no
// escape inside quotes, so a quote always opens or closes).
std::vector<std::string_view> SplitFields(std::string_view text) {
  std::vector<std::string_view> fields;
  bool quoted = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == ',' && !quoted) {
      fields.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  fields.push_back(text.substr(start));
  return fields;
}

std::string_view Unquoted(std::string_view field) {
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    return field.substr(1, field.size() - 2);
  return field;
}

bool Applies(const TMaskRule& rule, const std::vector<std::string_view>& params) {
  if (static_cast<int>(params.size()) < rule.MinFields) return false;
  if (rule.Selectors.empty()) return true;
  for (std::string_view selector : rule.Selectors)
    if (Unquoted(params[0]) == selector) return true;
  return false;
}

std::string MaskLine(std::string_view line) {
  const bool answer = line.starts_with('+');
  if (!answer && !line.starts_with(kCommandStart)) return std::string(line);
  const std::size_t nameStart = answer ? 1 : kCommandStart.size();
  const std::size_t mark = line.find(answer ? ':' : '=', nameStart);
  if (mark == std::string_view::npos) return std::string(line);
  const std::string_view name = line.substr(nameStart, mark - nameStart);
  std::size_t bodyStart = mark + 1;
  if (answer && bodyStart < line.size() && line[bodyStart] == ' ') ++bodyStart;
  std::vector<std::string_view> fields = SplitFields(line.substr(bodyStart));
  // Parameters: after the command's sequence number, before the checksum.
  const std::size_t first = answer ? 0 : 1;
  if (fields.size() < first + 1) return std::string(line);
  const std::vector<std::string_view> params(fields.begin() + static_cast<std::ptrdiff_t>(first),
                                             fields.end() - 1);
  std::vector<bool> masked(fields.size(), false);
  for (const TMaskRule& rule : Rules()) {
    if (rule.Name != name || rule.Answer != answer || !Applies(rule, params)) continue;
    for (int index : rule.Masked)
      if (static_cast<std::size_t>(index) < params.size())
        masked[first + static_cast<std::size_t>(index)] = true;
  }
  std::string out(line.substr(0, bodyStart));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    if (!masked[i])
      out += fields[i];
    else if (fields[i].starts_with('"'))
      out += std::string("\"") + kMaskedValue + "\"";
    else
      out += kMaskedValue;
  }
  return out;
}

// Whether an unfinished line may still turn into one that MaskLine changes.
bool MayCarrySecret(std::string_view partial) {
  std::string_view rest;
  if (partial.starts_with('+')) {
    rest = partial.substr(1);
  } else if (partial.size() <= kCommandStart.size()) {
    return kCommandStart.starts_with(partial);
  } else if (partial.starts_with(kCommandStart)) {
    rest = partial.substr(kCommandStart.size());
  } else {
    return false;
  }
  std::size_t n = 0;
  while (n < rest.size() && IsNameChar(rest[n])) ++n;
  const std::string_view name = rest.substr(0, n);
  const bool nameComplete = n < rest.size();
  for (const TMaskRule& rule : Rules())
    if (nameComplete ? rule.Name == name : rule.Name.starts_with(name)) return true;
  return false;
}

// A line longer than this is let through as it is: no command of the terminal is that long.
constexpr std::size_t kMaxHeldLine = 64 * 1024;

}  // namespace

std::string MaskSecrets(std::string_view wireText) {
  std::string out;
  out.reserve(wireText.size());
  std::size_t start = 0;
  while (start < wireText.size()) {
    std::size_t end = wireText.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = wireText.size();
    out += MaskLine(wireText.substr(start, end - start));
    std::size_t next = wireText.find_first_not_of("\r\n", end);
    if (next == std::string_view::npos) next = wireText.size();
    out.append(wireText.substr(end, next - end));
    start = next;
  }
  return out;
}

std::string TLogLineMask::Feed(std::string_view chunk) {
  pending_.append(chunk);
  const std::size_t lastBreak = pending_.find_last_of("\r\n");
  const std::size_t partialStart = lastBreak == std::string::npos ? 0 : lastBreak + 1;
  const std::string_view partial = std::string_view(pending_).substr(partialStart);
  // The tail of a line whose start went out already is no line start to judge by.
  const bool lineStart = partialStart > 0 || !midLine_;
  std::size_t cut = pending_.size();
  if (lineStart && !partial.empty() && partial.size() < kMaxHeldLine && MayCarrySecret(partial))
    cut = partialStart;
  if (cut == 0) return {};
  std::string out = MaskSecrets(std::string_view(pending_).substr(0, cut));
  midLine_ = out.back() != '\r' && out.back() != '\n';
  pending_.erase(0, cut);
  return out;
}

}  // namespace quorvel
