#pragma once

#include "Command.h"

#include <cstdint>
#include <string>

namespace quorvel {

/// Reading the answer fields of a finished command. In the sequenced form with the checksum
/// tested, the last answer field is the reply's checksum, never data: these helpers count
/// only the data fields, so a terminal that leaves out a trailing field cannot make its
/// checksum pass for that field's value.
/// Threads: the caller's thread, after Run.

/// Number of data fields of the answer (checksum field excluded where there is one).
int DataFieldCount(const TCommand& command);
/// Data field as UTF-8: "нет данных" after results 8 and 1000; "" when missing.
std::string DataField(const TCommand& command, int index);
/// Data field as wire bytes (windows-1251); "" when missing.
std::string DataFieldRaw(const TCommand& command, int index);
/// Raises Exception "Неверный индекс параметра, <index + 1>" when the data field is missing.
void CheckDataIndex(const TCommand& command, int index);
/// CheckDataIndex, then the field as a decimal 32-bit integer (EConvertError otherwise).
std::int32_t DataInt(const TCommand& command, int index);
/// CheckDataIndex, then true unless the field is exactly "0".
bool DataBool(const TCommand& command, int index);
/// The field as a decimal 32-bit integer, or fallback when it is missing or not one.
std::int32_t DataIntOr(const TCommand& command, int index, std::int32_t fallback);

}  // namespace quorvel
