#include "BenchReport.h"

#include "Errors.h"
#include "FileText.h"

#include <fmt/format.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// The length of the well-formed UTF-8 sequence at text[i] (RFC 3629: no overlong forms, no
// surrogates, nothing past U+10FFFF), or 0.
std::size_t Utf8SequenceAt(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte, narrower after some leads
  unsigned char high = 0xBF;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF)
    length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF)
    length = 3;
  else if (lead >= 0xF0 && lead <= 0xF4)
    length = 4;
  else
    return 0;
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (i + length > text.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

// A port name is the system's bytes, not always UTF-8: a byte outside a well-formed sequence
// is written as the code point of its value, so the file stays JSON and shows the byte.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8SequenceAt(text, i);
    if (length == 0 || c < 0x20 || c == 0x7F)
      out += fmt::format("\\u{:04x}", c);
    else if (c == '"' || c == '\\')
      out += std::string("\\") + static_cast<char>(c);
    else
      out.append(text, i, length);
    i += length == 0 ? 1 : length;
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

const char* const kRunColumns[] = {"run", "date", "host", "operator", "version", "profile", "profile_sha256"};

std::vector<std::string> RunFields(const TRunRecord& run) {
  return {std::to_string(run.Id), RecordTimeLocal(run.Started), run.Host,         run.Operator,
          run.Version,            run.Profile,                   run.ProfileSha256};
}

// The folder a file is in ("." for a bare name).
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat x {}, y {};
  return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

}  // namespace

std::string ReportCsvField(const std::string& text) { return CsvField(text); }
std::string ReportJsonString(const std::string& text) { return JsonString(text); }

std::string ReportCsvPath(const std::string& path) { return BasePath(path) + ".csv"; }
std::string ReportJsonPath(const std::string& path) { return BasePath(path) + ".json"; }

std::string BenchReportCsv(const std::vector<TTerminalOutcome>& outcomes, const TRunRecord* run) {
  std::vector<TProfileGroup> groups;
  for (const TTerminalOutcome& outcome : outcomes)
    for (const TGroupOutcome& group : outcome.Groups)
      if (std::find(groups.begin(), groups.end(), group.Group) == groups.end()) groups.push_back(group.Group);
  std::string out = "port,factory_number,serial,result,message,seconds";
  for (TProfileGroup group : groups) {
    const std::string name = ProfileGroupName(group);
    out += "," + name + "_result," + name + "_message," + name + "_seconds";
  }
  std::string runFields;
  if (run != nullptr) {
    for (const char* column : kRunColumns) out += std::string(",") + column;
    for (const std::string& field : RunFields(*run)) runFields += "," + CsvField(field);
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
    out += runFields + "\n";
  }
  return out;
}

std::string BenchReportJson(const std::vector<TTerminalOutcome>& outcomes, const TRunRecord* run) {
  std::string out;
  std::string indent = "  ";
  if (run != nullptr) {
    out = "{\n";
    const std::vector<std::string> fields = RunFields(*run);
    out += fmt::format("  \"run\": {},\n", run->Id);
    for (std::size_t i = 1; i < fields.size(); ++i)
      out += fmt::format("  \"{}\": {},\n", kRunColumns[i], JsonString(fields[i]));
    out += "  \"terminals\": ";
    indent = "    ";
  }
  out += "[\n";
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const TTerminalOutcome& o = outcomes[i];
    out += indent + fmt::format(
        "{{\"port\": {}, \"factory_number\": {}, \"serial\": {}, \"result\": {}, \"message\": {}, "
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
  if (run == nullptr) return out + "]\n";
  return out + "  ]\n}\n";
}

void WriteBenchReport(const std::string& path, const std::vector<TTerminalOutcome>& outcomes,
                      const TRunRecord* run) {
  WriteFileText(ReportCsvPath(path), BenchReportCsv(outcomes, run), TWriteKind::Output);
  WriteFileText(ReportJsonPath(path), BenchReportJson(outcomes, run), TWriteKind::Output);
}

void CheckReportPath(const std::string& path, const std::vector<std::string>& files) {
  for (const std::string& report : {ReportCsvPath(path), ReportJsonPath(path)}) {
    const auto fail = [&report](const std::string& reason) {
      throw Exception(fmt::format("Отчет {}: {}", report, reason));
    };
    const std::string folder = FolderOf(report);
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) fail(fmt::format("нет папки {}", folder));
    if (::access(folder.c_str(), W_OK) != 0) fail(fmt::format("папка {} закрыта для записи", folder));
    if (::stat(report.c_str(), &info) == 0) {
      if (S_ISDIR(info.st_mode)) fail("это папка");
      if (S_ISREG(info.st_mode) && ::access(report.c_str(), W_OK) != 0) fail("файл закрыт для записи");
    }
    for (const std::string& file : files)
      if (!file.empty() && (SameFile(report, file) || ResolveLinks(report) == ResolveLinks(file)))
        fail(fmt::format("это файл {}, который читает запись; отчет его заменил бы", file));
  }
}

TReportRetry FailedOfReport(const std::string& path) {
  const std::string name = ReportCsvPath(path);
  const std::string text = ReadFileText(name);
  TReportRetry retry;
  std::size_t start = 0;
  std::vector<std::string> header;
  std::size_t portAt = 0, resultAt = 0, runAt = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    const std::vector<std::string> fields = SplitCsv(line);
    if (header.empty()) {
      header = fields;
      const auto at = [&header](const char* column) {
        return static_cast<std::size_t>(std::find(header.begin(), header.end(), column) - header.begin());
      };
      portAt = at("port");
      resultAt = at("result");
      runAt = at("run");
      if (portAt >= header.size() || resultAt >= header.size())
        throw Exception(fmt::format("Файл отчета {}: это не отчет записи профиля", name));
      continue;
    }
    if (fields.size() <= std::max(portAt, resultAt))
      throw Exception(fmt::format("Файл отчета {}: строка без результата", name));
    if (fields[resultAt] != BenchStateText(TBenchState::Passed)) retry.Ports.push_back(fields[portAt]);
    if (runAt < fields.size() && retry.Run == 0) retry.Run = std::atoll(fields[runAt].c_str());
  }
  if (header.empty()) throw Exception(fmt::format("Файл отчета {}: это не отчет записи профиля", name));
  return retry;
}

std::vector<std::string> FailedPortsOfReport(const std::string& path) { return FailedOfReport(path).Ports; }

}  // namespace quorvel
