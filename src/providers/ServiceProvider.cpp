#include "ServiceProvider.h"

#include "Errors.h"
#include "TextUtils.h"

#include <fmt/printf.h>

namespace quorvel {

namespace {

// The first `count` characters of a UTF-8 text (continuation bytes stay with their lead).
std::string Utf8Prefix(std::string_view text, std::size_t count) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && chars++ == count)
      return std::string(text.substr(0, i));
  }
  return std::string(text);
}

}  // namespace

void TServiceProvider::SetIdentifier(std::string_view text) {
  if (text.empty()) throw Exception(kProviderIdEmptyMessage);
  if (Utf8Length(text) > static_cast<std::size_t>(kMaxIdentifierLength))
    throw Exception(fmt::sprintf("%s.\r\n%s: %d", "Неверная длина идентификатора провайдера",
                                 "Максимальная длина идентификатора провайдера", kMaxIdentifierLength));
  identifier_ = std::string(text);
}

void TServiceProvider::SetText(std::string_view text) {
  if (text.empty()) throw Exception(kProviderTextEmptyMessage);
  text_ = Utf8Prefix(text, kTextLength);
}

void TServiceProvider::SetMinAmount(std::int64_t n) {
  CheckRange(n, kMinAmount, kMaxAmount, kProviderMinAmountName);
  minAmount_ = static_cast<std::int32_t>(n);
}

void TServiceProvider::SetMaxAmount(std::int64_t n) {
  CheckRange(n, kMinAmount, kMaxAmount, kProviderMaxAmountName);
  maxAmount_ = static_cast<std::int32_t>(n);
}

void TServiceProvider::Assign(const TServiceProvider& other) {
  SetIdentifier(other.identifier_);
  SetText(other.text_);
  Prefixes = other.Prefixes;
  Button = other.Button;
  FeeTableID = other.FeeTableID;
  FormatID = other.FormatID;
  Description = other.Description;
  SetMinAmount(other.minAmount_);
  SetMaxAmount(other.maxAmount_);
}

int TServiceProvider::Index() const { return owner_ ? owner_->IndexOf(*this) : -1; }

TServiceProviders::~TServiceProviders() { Clear(); }

int TServiceProviders::IndexOf(const TServiceProvider& provider) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == &provider) return static_cast<int>(i);
  return -1;
}

TServiceProvider& TServiceProviders::Add() {
  auto provider = std::make_unique<TServiceProvider>();
  provider->owner_ = this;
  items_.push_back(std::move(provider));
  return *items_.back();
}

void TServiceProviders::Delete(int index) {
  if (IsValidIndex(index)) items_.erase(items_.begin() + index);
}

void TServiceProviders::Clear() { items_.clear(); }

void TServiceProviders::Assign(const TServiceProviders& other) {
  if (&other == this) return;
  Clear();
  for (const auto& provider : other.items_) Add().Assign(*provider);
}

}  // namespace quorvel
