#include "GprsProvider.h"

#include "Errors.h"
#include "TextUtils.h"

#include <stdexcept>

namespace quorvel {

void TGprsProvider::SetName(std::string_view text) {
  if (Trim(text).empty()) throw Exception(kGprsNameEmptyMessage);
  name_ = std::string(text);
}

TGprsProviders::~TGprsProviders() { Clear(); }

int TGprsProviders::IndexOf(const TGprsProvider& provider) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == &provider) return static_cast<int>(i);
  return -1;
}

TGprsProvider& TGprsProviders::Add() { return Append(std::make_unique<TGprsProvider>()); }

TGprsProvider& TGprsProviders::Append(std::unique_ptr<TGprsProvider> provider) {
  if (!provider || provider->owner_)
    throw std::invalid_argument("TGprsProviders::Append: the operator belongs to a list");
  provider->owner_ = this;
  items_.push_back(std::move(provider));
  return *items_.back();
}

std::unique_ptr<TGprsProvider> TGprsProviders::Extract(const TGprsProvider& provider) {
  const int index = IndexOf(provider);
  if (index < 0) throw std::invalid_argument("TGprsProviders::Extract: the operator is not in this list");
  std::unique_ptr<TGprsProvider> taken = std::move(items_[static_cast<std::size_t>(index)]);
  items_.erase(items_.begin() + index);
  taken->owner_ = nullptr;
  return taken;
}

void TGprsProviders::Delete(int index) {
  if (IsValidIndex(index)) items_.erase(items_.begin() + index);
}

void TGprsProviders::Clear() { items_.clear(); }

}  // namespace quorvel
