#pragma once

// Messages of the script checker (TScriptDef::Check, declared in ScriptDef.h).

namespace quorvel {

inline constexpr const char* kScriptNoParams = "нет параметров";
inline constexpr const char* kScriptExpectedSemicolon = "ожидается ; но найдено ";  ///< + token
inline constexpr const char* kScriptSyntaxError = "ошибка синтаксиса";
inline constexpr const char* kScriptTooFewParams = "недостаточное количество параметров";
inline constexpr const char* kScriptTooManyParams = "слишком много параметров";
inline constexpr const char* kScriptWrongType = "неверный тип";
inline constexpr const char* kScriptIndexNotInteger = "индекс должен иметь целое значение";
/// Follows the name and ", ".
inline constexpr const char* kScriptUnknownIdent = "неизвестный идентификатор";
/// A state the state machine cannot reach (a literal argument without a current method).
inline constexpr const char* kScriptInternalError = "internal error";

}  // namespace quorvel
