#pragma once

#include "CompareObject.h"
#include "ServiceProvider.h"

#include <memory>
#include <string>
#include <vector>

namespace quorvel {

/// A node of a payment system's provider tree: a caption, its own providers and its child
/// groups (owned, in order). The root has no parent and is level 0; the deepest allowed level
/// is kMaxLevel.
/// Threads: model objects are used by one thread at a time.
class TProviderGroup : public TCompareObject {
 public:
  /// Most ancestors a group may have.
  static constexpr int kMaxLevel = 9;

  /// A root group: no parent, empty text, no children, no providers.
  TProviderGroup() = default;
  ~TProviderGroup() override;
  TProviderGroup(const TProviderGroup&) = delete;
  TProviderGroup& operator=(const TProviderGroup&) = delete;

  /// Groups sort before providers: always -1.
  int Compare(const TCompareObject& other) const override;

  /// The group's caption (XML `Text`).
  std::string Text;
  /// The group's own providers.
  TServiceProviders& Providers() { return providers_; }
  const TServiceProviders& Providers() const { return providers_; }

  /// The parent group, nullptr for the root.
  TProviderGroup* Parent() const { return parent_; }
  /// Number of ancestors (0 for the root).
  int Level() const;
  /// Position among the parent's children, -1 for the root.
  int Index() const;

  int Count() const { return static_cast<int>(children_.size()); }
  /// The child group at position index (std::out_of_range for a position outside 0..Count-1).
  TProviderGroup& Items(int index) const { return *children_.at(static_cast<std::size_t>(index)); }

  /// A new empty group as the last child. When it would have more than kMaxLevel ancestors
  /// raises "Максимальный уровень вложенности групп 9" and the tree stays as it was.
  TProviderGroup& AddChild();
  /// Frees the child group at position index with its subtree (ignored when not valid).
  void Delete(int index);
  /// Frees all child groups.
  void Clear();
  /// Copies the text only; children and providers are not copied.
  void Assign(const TProviderGroup& other);

 private:
  TProviderGroup* parent_ = nullptr;
  std::vector<std::unique_ptr<TProviderGroup>> children_;
  TServiceProviders providers_;
};

}  // namespace quorvel
