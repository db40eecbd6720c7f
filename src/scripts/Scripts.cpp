#include "Scripts.h"

#include "Errors.h"

#include <algorithm>

#include <fmt/printf.h>

namespace quorvel {

int TScript::Index() const { return owner_ ? owner_->IndexOf(*this) : -1; }

void TScript::SetNumber(std::int32_t n) {
  CheckEditable();
  if (n == number_) return;
  if (n < kMinUserNumber || n > kMaxUserNumber)
    throw Exception(fmt::sprintf("%s (%d)\r\n%s: %d..%d", "Неверный номер скрипта", n, "Допустимые значения",
                                 kMinUserNumber, kMaxUserNumber));
  if (owner_) {
    for (int i = 0; i < owner_->Count(); ++i) {
      const TScript& other = owner_->Items(i);
      if (&other != this && other.number_ == n) throw Exception(kScriptNumberNotUniqueMessage);
    }
  }
  number_ = n;
}

void TScript::SetName(std::string_view name) {
  CheckEditable();
  name_ = std::string(name);
}

void TScript::SetText(std::string_view text) {
  CheckEditable();
  text_ = std::string(text);
}

void TScript::CheckEditable() const {
  if (!editable_) throw Exception(kScriptNotEditableMessage);
}

void TScript::Assign(const TScript& other) {
  number_ = other.number_;
  name_ = other.name_;
  text_ = other.text_;
}

TScripts::TScripts() {
  AddFixed(0, "Ввод номера", "");
  AddFixed(1, "Ввод счета", "");
}

TScripts::~TScripts() { Clear(); }

int TScripts::IndexOf(const TScript& script) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == &script) return static_cast<int>(i);
  return -1;
}

TScript& TScripts::AddNew() {
  if (Count() >= kMaxScripts)
    throw Exception(fmt::sprintf("%s %d", "Количество скриптов ввода не может быть больше", kMaxScripts));
  const std::int32_t number = FirstFreeNumber();
  auto script = std::make_unique<TScript>();
  script->owner_ = this;
  // The free number is checked against the list before the script joins it, so SetNumber
  // cannot fail here unless every number is taken, and then nothing is added.
  script->SetNumber(number);
  items_.push_back(std::move(script));
  return *items_.back();
}

TScript& TScripts::AddFixed(std::int32_t number, std::string_view name, std::string_view text) {
  TScript& script = AddNew();
  script.number_ = number;
  script.name_ = std::string(name);
  script.text_ = std::string(text);
  script.editable_ = false;
  return script;
}

std::int32_t TScripts::FirstFreeNumber() const {
  for (std::int32_t n = TScript::kMinUserNumber; n < TScript::kMaxUserNumber; ++n)
    if (!FindByNumber(n)) return n;
  return TScript::kMaxUserNumber;
}

TScript* TScripts::FindByNumber(std::int32_t number) const {
  for (const auto& script : items_)
    if (script->number_ == number) return script.get();
  return nullptr;
}

void TScripts::Sort() {
  std::stable_sort(items_.begin(), items_.end(),
                   [](const std::unique_ptr<TScript>& a, const std::unique_ptr<TScript>& b) {
                     return a->number_ < b->number_;
                   });
}

void TScripts::Delete(const TScript& script) {
  const int index = IndexOf(script);
  if (index >= 0) items_.erase(items_.begin() + index);
}

void TScripts::ClearEditable() {
  std::erase_if(items_, [](const std::unique_ptr<TScript>& s) { return s->editable_; });
}

bool TScripts::HasEditable() const {
  return std::any_of(items_.begin(), items_.end(), [](const auto& s) { return s->editable_; });
}

void TScripts::Clear() { items_.clear(); }

}  // namespace quorvel
