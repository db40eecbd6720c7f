#include "ProviderGroup.h"

#include "Errors.h"

#include <fmt/printf.h>

namespace quorvel {

TProviderGroup::~TProviderGroup() { Clear(); }

int TProviderGroup::Compare(const TCompareObject& /*other*/) const { return -1; }

int TProviderGroup::Level() const {
  int level = 0;
  for (const TProviderGroup* g = parent_; g; g = g->parent_) ++level;
  return level;
}

int TProviderGroup::Index() const {
  if (!parent_) return -1;
  for (std::size_t i = 0; i < parent_->children_.size(); ++i)
    if (parent_->children_[i].get() == this) return static_cast<int>(i);
  return -1;
}

TProviderGroup& TProviderGroup::AddChild() {
  // Checked before linking, so a refused group never appears in the tree.
  if (Level() + 1 > kMaxLevel)
    throw Exception(fmt::sprintf("%s %d", "Максимальный уровень вложенности групп", kMaxLevel));
  auto child = std::make_unique<TProviderGroup>();
  child->parent_ = this;
  children_.push_back(std::move(child));
  return *children_.back();
}

void TProviderGroup::Delete(int index) {
  if (index >= 0 && index < Count()) children_.erase(children_.begin() + index);
}

void TProviderGroup::Clear() { children_.clear(); }

void TProviderGroup::Assign(const TProviderGroup& other) { Text = other.Text; }

}  // namespace quorvel
