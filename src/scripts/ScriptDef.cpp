#include "ScriptDef.h"

#include "Errors.h"
#include "XmlText.h"

#include <fmt/format.h>

#include <initializer_list>
#include <utility>

namespace quorvel {

namespace {

template <typename List>
auto* ItemAt(const List& items, int index, const char* what) {
  if (index < 0 || index >= static_cast<int>(items.size()))
    throw Exception(fmt::format("{}: индекс вне диапазона ({})", what, index));
  return items[static_cast<std::size_t>(index)].get();
}

struct TParamRow {
  const char* name;
  std::int32_t type;
};

struct TMethodRow {
  const char* name;
  std::int32_t resultType;
  std::initializer_list<TParamRow> params;
};

// The vocabulary of terminal firmware "Ver 2.0.909875", in the order it is listed.
const std::initializer_list<TMethodRow> kBuiltInMethods = {
    {"SELECT", kScriptTypeNone, {{"p", kScriptTypeStringList}}},
    {"GOTO", kScriptTypeNone, {{"n", kScriptTypeInteger}}},
    {"NEXT_WND", kScriptTypeNone, {{"n", kScriptTypeInteger}}},
    {"LIST",
     kScriptTypeNone,
     {{"x", kScriptTypeInteger},
      {"y", kScriptTypeInteger},
      {"cx", kScriptTypeInteger},
      {"cy", kScriptTypeInteger},
      {"p", kScriptTypeStringList}}},
    {"MASKEDIT",
     kScriptTypeString,
     {{"x", kScriptTypeInteger},
      {"y", kScriptTypeInteger},
      {"cx", kScriptTypeInteger},
      {"cy", kScriptTypeInteger},
      {"p", kScriptTypeString},
      {"n", kScriptTypeInteger}}},
    {"PAYPARAMS", kScriptTypeNone, {}},
    {"STATIC",
     kScriptTypeNone,
     {{"x", kScriptTypeInteger},
      {"y", kScriptTypeInteger},
      {"cx", kScriptTypeInteger},
      {"cy", kScriptTypeInteger},
      {"p", kScriptTypeString},
      {"n", kScriptTypeInteger}}},
    {"SUMEDIT",
     kScriptTypeString,
     {{"x", kScriptTypeInteger},
      {"y", kScriptTypeInteger},
      {"cx", kScriptTypeInteger},
      {"cy", kScriptTypeInteger},
      {"min", kScriptTypeFloat},
      {"max", kScriptTypeFloat},
      {"n", kScriptTypeInteger}}},
    {"TESTNUMBER", kScriptTypeNone, {}},
    {"WINDOW", kScriptTypeNone, {{"Number", kScriptTypeInteger}}},
};

const std::initializer_list<const char*> kBuiltInVariables = {
    "PROTOCOL", "NUMBER",  "ACCOUNT", "AMOUNT", "AMOUNT_ALL", "SESSION",
    "REQ_TYPE", "COMMENT", "EXT_ID",  "SUMM",   "COMMISION",  "COMMVALUE"};

void CopyVariables(const TScriptVariables& from, TScriptVariables& to) {
  to.Clear();
  for (int i = 0; i < from.Count(); ++i) to.Add(from.Items(i)->Name, from.Items(i)->ItemType);
}

}  // namespace

bool TScriptVariable::Accepts(std::int32_t literalType) const {
  return literalType == ItemType || (literalType == kScriptTypeString && ItemType == kScriptTypeStringList);
}

TScriptVariable* TScriptVariables::Add(const std::string& name, std::int32_t itemType) {
  items_.push_back(std::make_unique<TScriptVariable>(name, itemType));
  return items_.back().get();
}

TScriptVariable* TScriptVariables::Find(std::string_view name) const {
  for (const auto& v : items_)
    if (SameTextIgnoreCase(v->Name, name)) return v.get();
  return nullptr;
}

TScriptVariable* TScriptVariables::Items(int index) const {
  return ItemAt(items_, index, "TScriptVariables");
}

std::int32_t TScriptMethod::MinArgs() const { return Params.Count(); }

std::int32_t TScriptMethod::MaxArgs() const {
  const int n = Params.Count();
  if (n > 0 && Params.Items(n - 1)->ItemType == kScriptTypeStringList) return kScriptUnlimitedArgs;
  return n;
}

bool TScriptMethod::ArgAccepts(std::int32_t position, std::int32_t literalType) const {
  const int n = Params.Count();
  if (n == 0 || position < 0) return false;
  return Params.Items(position < n ? position : n - 1)->Accepts(literalType);
}

TScriptMethod* TScriptMethods::Add(const std::string& name, std::int32_t resultType) {
  items_.push_back(std::make_unique<TScriptMethod>(name, resultType));
  return items_.back().get();
}

TScriptMethod* TScriptMethods::Find(std::string_view name) const {
  for (const auto& m : items_)
    if (SameTextIgnoreCase(m->Name, name)) return m.get();
  return nullptr;
}

TScriptMethod* TScriptMethods::Items(int index) const { return ItemAt(items_, index, "TScriptMethods"); }

TScriptError* TScriptErrors::Add(std::int32_t line, std::int32_t startPos, const std::string& message,
                                 const std::string& tokenText, std::int32_t endPos) {
  auto error = std::make_unique<TScriptError>();
  error->Message = message;
  error->Token = tokenText;
  error->Line = line;
  error->StartPos = startPos;
  error->EndPos = endPos;
  items_.push_back(std::move(error));
  return items_.back().get();
}

TScriptError* TScriptErrors::Items(int index) const { return ItemAt(items_, index, "TScriptErrors"); }

TScriptDef::TScriptDef()
    : parser_(std::make_unique<TTextParser>()),
      errors_(std::make_unique<TScriptErrors>()),
      methods_(std::make_unique<TScriptMethods>()),
      variables_(std::make_unique<TScriptVariables>()) {
  SetDefaults();
}

TScriptDef::~TScriptDef() = default;

void TScriptDef::SetDefaults() {
  curMethod_ = nullptr;
  curVariable_ = nullptr;
  ModemVersion = kBuiltInModemVersion;
  methods_->Clear();
  variables_->Clear();
  for (const auto& row : kBuiltInMethods) {
    TScriptMethod* method = methods_->Add(row.name, row.resultType);
    for (const auto& p : row.params) method->Params.Add(p.name, p.type);
  }
  for (const char* name : kBuiltInVariables) variables_->Add(name, kScriptTypeString);
}

void TScriptDef::Assign(const TScriptDef& other) {
  if (&other == this) return;
  curMethod_ = nullptr;
  curVariable_ = nullptr;
  ModemVersion = other.ModemVersion;
  methods_->Clear();
  for (int i = 0; i < other.methods_->Count(); ++i) {
    const TScriptMethod* from = other.methods_->Items(i);
    CopyVariables(from->Params, methods_->Add(from->Name, from->ResultType)->Params);
  }
  CopyVariables(*other.variables_, *variables_);
}

std::string TScriptDef::GetKeywords() const {
  std::string keywords;
  for (int i = 0; i < methods_->Count(); ++i) keywords += methods_->Items(i)->Name + "\r\n";
  for (int i = 0; i < variables_->Count(); ++i) keywords += variables_->Items(i)->Name + "\r\n";
  return keywords;
}

TScriptDef* TScriptDefs::Add() {
  items_.push_back(std::make_unique<TScriptDef>());
  return items_.back().get();
}

TScriptDef* TScriptDefs::Items(int index) const { return ItemAt(items_, index, "TScriptDefs"); }

void TScriptDefs::SetDefaults() {
  items_.clear();
  FileVersion = kDefaultScriptFileVersion;
  Add();
}

TScriptDef* TScriptDefs::First() {
  if (items_.empty()) SetDefaults();
  return items_.front().get();
}

}  // namespace quorvel
