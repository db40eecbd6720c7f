#include "BenchReport.h"

#include "Errors.h"
#include "FileText.h"

#include <fmt/format.h>

#include <algorithm>

namespace quorvel {

namespace {

std::string BasePath(const std::string& path) {
  for (const char* ext : {".csv", ".json"}) {
    const std::string e = ext;
    if (path.size() > e.size() && path.compare(path.size() - e.size(), e.size(), e) == 0)
      return path.substr(0, path.size() - e.size());
  }
  return path;
}

// Messages keep to one line, so that every terminal is one line of the table.
std::string CsvField(std::string text) {
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i] == '\r' || text[i] == '\n' ? ' ' : text[i];
  }
  text = line;
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\')
      out += std::string("\\") + static_cast<char>(c);
    else if (c < 0x20)
      out += fmt::format("\\u{:04x}", c);
    else
      out += static_cast<char>(c);
  }
  return out + "\"";
}

std::string Seconds(double seconds) { return fmt::format("{:.1f}", seconds); }

// The fields of a CSV line written by BenchReportCsv.
std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

std::string ReportCsvPath(const std::string& path) { return BasePath(path) + ".csv"; }
std::string ReportJsonPath(const std::string& path) { return BasePath(path) + ".json"; }

std::string BenchReportCsv(const std::vector<TTerminalOutcome>& outcomes) {
  std::vector<TProfileGroup> groups;
  for (const TTerminalOutcome& outcome : outcomes)
    for (const TGroupOutcome& group : outcome.Groups)
      if (std::find(groups.begin(), groups.end(), group.Group) == groups.end()) groups.push_back(group.Group);
  std::string out = "port,factory_number,serial,result,message,seconds";
  for (TProfileGroup group : groups) {
    const std::string name = ProfileGroupName(group);
    out += "," + name + "_result," + name + "_message," + name + "_seconds";
  }
  out += "\n";
  for (const TTerminalOutcome& o : outcomes) {
    out += CsvField(o.Port) + "," + CsvField(o.FactoryNumber) + "," + CsvField(o.SerialNumber) + "," +
           BenchStateText(o.State) + "," + CsvField(o.Message) + "," + Seconds(o.Seconds);
    for (TProfileGroup group : groups) {
      const auto it = std::find_if(o.Groups.begin(), o.Groups.end(),
                                   [group](const TGroupOutcome& g) { return g.Group == group; });
      if (it == o.Groups.end())
        out += ",,,";
      else
        out += "," + BenchStateText(it->State) + "," + CsvField(it->Message) + "," + Seconds(it->Seconds);
    }
    out += "\n";
  }
  return out;
}

std::string BenchReportJson(const std::vector<TTerminalOutcome>& outcomes) {
  std::string out = "[\n";
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const TTerminalOutcome& o = outcomes[i];
    out += fmt::format(
        "  {{\"port\": {}, \"factory_number\": {}, \"serial\": {}, \"result\": {}, \"message\": {}, "
        "\"seconds\": {}, \"groups\": [",
        JsonString(o.Port), JsonString(o.FactoryNumber), JsonString(o.SerialNumber),
        JsonString(BenchStateText(o.State)), JsonString(o.Message), Seconds(o.Seconds));
    for (std::size_t k = 0; k < o.Groups.size(); ++k) {
      const TGroupOutcome& g = o.Groups[k];
      out += fmt::format("{}{{\"group\": {}, \"result\": {}, \"message\": {}, \"seconds\": {}}}",
                         k ? ", " : "", JsonString(ProfileGroupName(g.Group)),
                         JsonString(BenchStateText(g.State)), JsonString(g.Message), Seconds(g.Seconds));
    }
    out += i + 1 < outcomes.size() ? "]},\n" : "]}\n";
  }
  return out + "]\n";
}

void WriteBenchReport(const std::string& path, const std::vector<TTerminalOutcome>& outcomes) {
  WriteFileText(ReportCsvPath(path), BenchReportCsv(outcomes), TWriteKind::Output);
  WriteFileText(ReportJsonPath(path), BenchReportJson(outcomes), TWriteKind::Output);
}

std::vector<std::string> FailedPortsOfReport(const std::string& path) {
  const std::string name = ReportCsvPath(path);
  const std::string text = ReadFileText(name);
  std::vector<std::string> ports;
  std::size_t start = 0;
  bool header = true;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    const std::vector<std::string> fields = SplitCsv(line);
    if (header) {
      if (fields.size() < 4 || fields[0] != "port" || fields[3] != "result")
        throw Exception(fmt::format("Файл отчета {}: это не отчет записи профиля", name));
      header = false;
      continue;
    }
    if (fields.size() < 4) throw Exception(fmt::format("Файл отчета {}: строка без результата", name));
    if (fields[3] != BenchStateText(TBenchState::Passed)) ports.push_back(fields[0]);
  }
  return ports;
}

}  // namespace quorvel
