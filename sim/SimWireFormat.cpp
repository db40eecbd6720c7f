#include "SimWireFormat.h"

#include <algorithm>

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

bool FinishArg(std::string_view raw, std::vector<TSimArg>& out) {
  TSimArg arg;
  const auto quotes = std::count(raw.begin(), raw.end(), '"');
  if (quotes == 0) {
    arg.Text = std::string(raw);
  } else if (quotes == 2 && raw.size() >= 2 && raw.front() == '"' && raw.back() == '"') {
    arg.Text = std::string(raw.substr(1, raw.size() - 2));
    arg.Quoted = true;
  } else {
    return false;
  }
  out.push_back(std::move(arg));
  return true;
}

}  // namespace

bool SplitArgs(std::string_view text, std::vector<TSimArg>& out) {
  out.clear();
  bool inQuotes = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') {
      inQuotes = !inQuotes;
    } else if (text[i] == ',' && !inQuotes) {
      if (!FinishArg(text.substr(start, i - start), out)) return false;
      start = i + 1;
    }
  }
  if (inQuotes) return false;
  return FinishArg(text.substr(start), out);
}

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
