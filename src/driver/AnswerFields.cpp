#include "AnswerFields.h"

#include "Errors.h"
#include "TextUtils.h"

#include <fmt/printf.h>

#include <limits>

namespace quorvel {

int DataFieldCount(const TCommand& command) {
  const int count = static_cast<int>(command.Answer().Count());
  const bool hasChecksum = command.Sequenced() && command.CheckCrc();
  return hasChecksum && count > 0 ? count - 1 : count;
}

std::string DataField(const TCommand& command, int index) {
  const int code = command.ResultCode();
  if (code == kResultNoData || code == kResultError) return command.AnswerField(index);
  return index < DataFieldCount(command) ? command.AnswerField(index) : std::string();
}

std::string DataFieldRaw(const TCommand& command, int index) {
  const int code = command.ResultCode();
  if (code == kResultNoData || code == kResultError) return command.AnswerFieldRaw(index);
  return index < DataFieldCount(command) ? command.AnswerFieldRaw(index) : std::string();
}

void CheckDataIndex(const TCommand& command, int index) {
  if (index < 0 || index >= DataFieldCount(command))
    throw Exception(fmt::sprintf("%s, %d", kBadIndexText, index + 1));
}

std::int32_t DataInt(const TCommand& command, int index) {
  CheckDataIndex(command, index);
  return StrToInt(command.AnswerFieldRaw(index));
}

bool DataBool(const TCommand& command, int index) {
  CheckDataIndex(command, index);
  return command.AnswerFieldRaw(index) != "0";
}

std::int32_t DataIntOr(const TCommand& command, int index, std::int32_t fallback) {
  std::int64_t value = 0;
  if (!TryStrToInt64(DataFieldRaw(command, index), value)) return fallback;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    return fallback;
  return static_cast<std::int32_t>(value);
}

}  // namespace quorvel
