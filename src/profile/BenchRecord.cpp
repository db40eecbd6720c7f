#include "BenchRecord.h"

#include "BenchReport.h"
#include "Errors.h"
#include "MasterPort.h"
#include "Version.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <optional>

namespace quorvel {

namespace {

std::string KeyFingerprint(const TProfile& profile) {
  if (const auto* mp = dynamic_cast<const TMasterPortProtocol*>(&profile.System());
      mp != nullptr && !mp->ApplicationPrivateKey.Modulus.empty())
    return Sha256Hex(mp->ApplicationPrivateKey.Modulus);
  return {};
}

std::string FileDetails(const std::string& bytes) {
  return fmt::format("байт {}, SHA-256 {}", bytes.size(), Sha256Hex(bytes));
}

int LineCount(const std::string& lines) {
  int count = 0;
  for (std::size_t at = lines.find("\r\n"); at != std::string::npos; at = lines.find("\r\n", at + 2)) ++count;
  return count;
}

std::optional<TBenchState> StateOf(const std::string& text) {
  for (TBenchState state : {TBenchState::Waiting, TBenchState::Running, TBenchState::Passed, TBenchState::Failed,
                            TBenchState::Stopped})
    if (BenchStateText(state) == text) return state;
  return std::nullopt;
}

std::optional<TProfileGroup> GroupOf(const std::string& name) {
  for (TProfileGroup group : AllProfileGroups())
    if (ProfileGroupName(group) == name) return group;
  return std::nullopt;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TTerminalOutcome OutcomeOf(const TTerminalRecord& t) {
  TTerminalOutcome o;
  o.Port = t.Port;
  o.FactoryNumber = t.FactoryNumber;
  o.SerialNumber = t.SerialAfter.empty() ? t.SerialBefore : t.SerialAfter;
  o.State = StateOf(t.State).value_or(TBenchState::Failed);
  o.Message = t.Message;
  o.Seconds = t.Seconds;
  // A terminal whose program died under way shows it, not "идет" for ever.
  if (o.State == TBenchState::Running && o.Message.empty()) o.Message = "прогон не завершен";
  for (const TStepRecord& step : t.Steps) {
    const std::optional<TProfileGroup> group = GroupOf(step.Name);
    if (!group) continue;
    TGroupOutcome part;
    part.Group = *group;
    part.State = StateOf(step.State).value_or(TBenchState::Failed);
    part.Message = step.Message;
    part.Seconds = step.Seconds;
    o.Groups.push_back(std::move(part));
  }
  return o;
}

}  // namespace

std::string RecordedValues(const TValueRow& row, const TProfile& profile) {
  std::string text;
  for (const auto& [column, value] : row) {
    std::string shown = value;
    if (IsSecretColumn(column)) {
      shown = value.empty() ? "" : kSecretSetText;
    } else if (column == kPrivateKeyColumn) {
      const std::string fingerprint = KeyFingerprint(profile);
      if (!fingerprint.empty()) shown += " (SHA-256 модуля " + fingerprint + ")";
    }
    text += (text.empty() ? "" : "; ") + column + "=" + shown;
  }
  return text;
}

std::string GroupDetails(const TProfile& profile, TProfileGroup group) {
  switch (group) {
    case TProfileGroup::Firmware:
      return FileDetails(profile.Firmware);
    case TProfileGroup::XmlData:
      return FileDetails(profile.XmlData);
    case TProfileGroup::PhoneBase:
      return FileDetails(profile.PhoneBase);
    case TProfileGroup::Header:
      return fmt::format("строк {}", LineCount(profile.Header));
    case TProfileGroup::Trailer:
      return fmt::format("строк {}", LineCount(profile.Trailer));
    case TProfileGroup::Paysys:
      return fmt::format("{}, сервер {}:{}", profile.System().GetDisplayName(),
                         profile.System().ServerParams().Address, profile.System().ServerParams().Port);
    case TProfileGroup::Sim: {
      std::string text;
      for (int i = 0; i < profile.SimCards.Count(); ++i) {
        const TSimCard& card = profile.SimCards.Items(i);
        if (!card.Enabled) continue;
        text += fmt::format("{}слот {}: APN {}, PIN {}", text.empty() ? "" : "; ", card.SlotNumber, card.Apn,
                            card.Pin.empty() ? "не задан" : kSecretSetText);
      }
      return text;
    }
    case TProfileGroup::Credentials: {
      const std::string fingerprint = KeyFingerprint(profile);
      return fingerprint.empty() ? profile.System().GetDisplayName()
                                 : profile.System().GetDisplayName() + ", ключ: SHA-256 модуля " + fingerprint;
    }
    case TProfileGroup::Fees:
    case TProfileGroup::Scripts:
      break;
  }
  return {};
}

std::vector<TTerminalOutcome> RunOutcomes(const IServiceRecord& record, std::int64_t run) {
  // The chain of retries, the first run first.
  std::vector<std::int64_t> chain;
  for (std::int64_t id = run; id != 0;) {
    const std::optional<TRunRecord> found = record.Run(id);
    if (!found) throw Exception(fmt::format("Нет прогона {}", id));
    if (std::find(chain.begin(), chain.end(), id) != chain.end()) break;
    chain.insert(chain.begin(), id);
    id = found->RetryOf;
  }
  std::vector<TTerminalOutcome> outcomes;
  std::map<std::string, std::size_t> byPort;
  for (std::int64_t id : chain) {
    TTerminalQuery query;
    query.RunId = id;
    for (const TTerminalRecord& terminal : record.Terminals(query)) {
      const auto [at, added] = byPort.emplace(terminal.Port, outcomes.size());
      if (added)
        outcomes.push_back(OutcomeOf(terminal));
      else
        outcomes[at->second] = OutcomeOf(terminal);
    }
  }
  return outcomes;
}

std::string PoolOfValues(IServiceRecord& record, const TBenchValues& values, const std::string& bytes) {
  const std::string sha = Sha256Hex(bytes);
  TPoolTable table;
  table.KeyColumn = KeyColumn(values.Key());
  table.Name = fmt::format("{}-{}{}", BaseName(values.Name()), sha.substr(0, 12),
                           values.Key() == TValueKey::Port ? "-port" : "");
  table.Source = values.Name();
  table.SourceSha256 = sha;
  table.Columns = values.Columns();
  for (std::size_t i = 0; i < values.Rows().size(); ++i) {
    std::vector<std::string> cells;
    for (const std::string& column : table.Columns) {
      const std::string& value = values.Rows()[i].at(column);
      cells.push_back(IsSecretColumn(column) && !value.empty() ? kSecretSetText : value);
    }
    table.Rows.push_back(std::move(cells));
    table.Lines.push_back(values.LineOf(i));
  }
  record.ImportPool(table, true);
  return table.Name;
}

TRunStart RunStartOf(const TBenchPlan& plan, const std::string& operatorName) {
  TRunStart info;
  info.Host = HostName();
  info.Operator = operatorName;
  info.Version = FileVersionText();
  info.Profile = plan.ProfileName;
  info.ProfileSha256 = Sha256Hex(plan.ProfileText);
  for (TProfileGroup group : AllProfileGroups())
    if (plan.Groups.count(group) > 0)
      info.Groups += (info.Groups.empty() ? "" : ",") + ProfileGroupName(group);
  info.Pool = plan.Pool;
  return info;
}

std::string WriteRunReport(const std::string& path, std::int64_t runId, const IServiceRecord& record,
                           const std::vector<TTerminalOutcome>& outcomes) {
  std::string error;
  if (runId != 0) {
    try {
      if (const std::optional<TRunRecord> run = record.Run(runId)) {
        WriteBenchReport(path, RunOutcomes(record, runId), &*run);
        return {};
      }
    } catch (const ERecordError& e) {
      error = e.what();
    }
  }
  WriteBenchReport(path, outcomes);
  return error;
}

}  // namespace quorvel
