// The checker half of TScriptDef: a fixed state machine over the tokens of one script.
#include "ScriptChecker.h"

#include "Cp1251.h"
#include "ScriptDef.h"

#include <string_view>

namespace quorvel {

bool TScriptDef::Check(std::string_view utf8) {
  errors_->Clear();
  return CheckCp1251(Utf8ToCp1251(utf8));
}

bool TScriptDef::CheckCp1251(std::string_view bytes) {
  errors_->Clear();
  Reset();
  // The lists may have been replaced since the last check; never keep pointers into them.
  curMethod_ = nullptr;
  curVariable_ = nullptr;
  parser_->SetCp1251Text(bytes);
  while (parser_->NextToken()) {
    token_ = parser_->Token();
    if (token_.Text.empty()) continue;
    switch (token_.Kind) {
      case TTokenType::ttNone:
        HandleSign();
        break;
      case TTokenType::ttIdent:
        HandleName();
        break;
      case TTokenType::ttString:
        HandleLiteral(kScriptTypeString);
        break;
      case TTokenType::ttInteger:
        HandleLiteral(kScriptTypeInteger);
        break;
      case TTokenType::ttFloat:
        HandleLiteral(kScriptTypeFloat);
        break;
      case TTokenType::ttComment:
        break;
    }
  }
  // A last statement without its ";" is not reported: the end state is not examined.
  return errors_->Count() == 0;
}

void TScriptDef::Reset() {
  argCount_ = 0;
  state_ = TCheckState::Statement;
}

void TScriptDef::Error(const std::string& message) {
  errors_->Add(token_.Line, token_.StartPos, message, token_.Text, token_.EndPos);
  state_ = TCheckState::Skip;
}

void TScriptDef::CloseCall() {
  if (curMethod_ == nullptr) return Error(kScriptInternalError);
  if (argCount_ < curMethod_->MinArgs()) return Error(kScriptTooFewParams);
  state_ = TCheckState::End;
}

namespace {

// The sign transitions that only change the state.
struct TSignMove {
  TCheckState from;
  std::string_view sign;
  TCheckState to;
};

constexpr TSignMove kSignMoves[] = {
    {TCheckState::Statement, ";", TCheckState::Statement},  // empty statement
    {TCheckState::AfterVariable, "[", TCheckState::Index},
    {TCheckState::AfterVariable, "=", TCheckState::Value},
    {TCheckState::AfterIndex, "]", TCheckState::AfterBracket},
    {TCheckState::AfterBracket, "=", TCheckState::Value},
    {TCheckState::AfterMethod, "(", TCheckState::Argument},
    {TCheckState::AfterArgument, ",", TCheckState::Argument},
};

}  // namespace

void TScriptDef::HandleSign() {
  const std::string& s = token_.Text;
  switch (state_) {
    case TCheckState::Skip:
      if (s == ";") Reset();
      return;
    case TCheckState::End:
      if (s == ";") return Reset();
      return Error(kScriptExpectedSemicolon + s);
    case TCheckState::AfterMethod:
      if (s != ";") break;
      if (curMethod_ != nullptr && curMethod_->MinArgs() > 0) return Error(kScriptNoParams);
      return Reset();
    case TCheckState::Argument:
    case TCheckState::AfterArgument:
      if (s == ")") return CloseCall();
      break;
    default:
      break;
  }
  for (const TSignMove& move : kSignMoves) {
    if (move.from == state_ && move.sign == s) {
      state_ = move.to;
      return;
    }
  }
  Error(kScriptSyntaxError);
}

void TScriptDef::HandleName() {
  if (state_ == TCheckState::Skip) return;
  if (state_ == TCheckState::End) return Error(kScriptExpectedSemicolon + token_.Text);
  TScriptMethod* method = methods_->Find(token_.Text);
  TScriptVariable* variable = variables_->Find(token_.Text);
  // An unknown name is reported as such wherever it stands.
  if (method == nullptr && variable == nullptr) return Error(token_.Text + ", " + kScriptUnknownIdent);
  const std::int32_t type = variable != nullptr ? variable->ItemType : method->ResultType;
  HandleNameInState(method, variable, type);
}

void TScriptDef::HandleNameInState(TScriptMethod* method, TScriptVariable* variable, std::int32_t type) {
  if (state_ == TCheckState::Statement) {
    expectedType_ = type;
    if (method != nullptr) {
      curMethod_ = method;
      state_ = TCheckState::AfterMethod;
    } else {
      curVariable_ = variable;
      state_ = TCheckState::AfterVariable;
    }
    return;
  }
  if (state_ != TCheckState::Value) return Error(kScriptSyntaxError);
  if (type != expectedType_) return Error(kScriptWrongType);
  if (method != nullptr) {
    curMethod_ = method;
    state_ = TCheckState::AfterMethod;
  } else {
    curVariable_ = variable;
    state_ = TCheckState::End;
  }
}

void TScriptDef::HandleLiteral(std::int32_t literalType) {
  switch (state_) {
    case TCheckState::Skip:
      return;
    case TCheckState::End:
      return Error(kScriptExpectedSemicolon + token_.Text);
    case TCheckState::Index:
      if (literalType != kScriptTypeInteger) return Error(kScriptIndexNotInteger);
      state_ = TCheckState::AfterIndex;
      return;
    case TCheckState::Value:
      if (curVariable_ == nullptr) return Error(kScriptInternalError);
      if (!curVariable_->Accepts(literalType)) return Error(kScriptWrongType);
      state_ = TCheckState::End;
      return;
    case TCheckState::Argument:
      return HandleArgument(literalType);
    default:
      return Error(kScriptSyntaxError);
  }
}

void TScriptDef::HandleArgument(std::int32_t literalType) {
  if (curMethod_ == nullptr) return Error(kScriptInternalError);
  if (argCount_ >= curMethod_->MaxArgs()) return Error(kScriptTooManyParams);
  if (!curMethod_->ArgAccepts(argCount_, literalType)) return Error(kScriptWrongType);
  ++argCount_;
  state_ = TCheckState::AfterArgument;
}

}  // namespace quorvel
