#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class TGprsProviders;

/// Message of SetName for a blank name.
inline constexpr const char* kGprsNameEmptyMessage = "Имя GPRS провайдера не может быть пустым";

/// One mobile operator's GPRS access settings.
/// Threads: model objects are used by one thread at a time.
class TGprsProvider {
 public:
  /// An empty operator without a list.
  TGprsProvider() = default;
  TGprsProvider(const TGprsProvider&) = delete;
  TGprsProvider& operator=(const TGprsProvider&) = delete;

  std::string Apn;
  std::string Login;
  std::string Password;

  /// The operator's name; empty only for an operator whose name was never set.
  const std::string& Name() const { return name_; }
  /// Raises Exception kGprsNameEmptyMessage when the text is blank (nothing but characters
  /// with codes up to 32); otherwise stores the text unchanged (untrimmed).
  void SetName(std::string_view text);

  /// The list the operator belongs to, or nullptr.
  TGprsProviders* Owner() const { return owner_; }

 private:
  friend class TGprsProviders;
  std::string name_;
  TGprsProviders* owner_ = nullptr;
};

/// The list of known GPRS operators, owned.
/// Threads: model objects are used by one thread at a time.
class TGprsProviders {
 public:
  TGprsProviders() = default;
  ~TGprsProviders();
  TGprsProviders(const TGprsProviders&) = delete;
  TGprsProviders& operator=(const TGprsProviders&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  /// The operator at position index; index must satisfy IsValidIndex.
  TGprsProvider& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  /// True for 0 <= index < Count().
  bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }
  /// Position of the operator in this list, or -1.
  int IndexOf(const TGprsProvider& provider) const;

  /// Appends a new empty operator and returns it.
  TGprsProvider& Add();
  /// Takes over an operator that belongs to no list and appends it (std::invalid_argument
  /// for a null pointer or an operator that is still in a list).
  TGprsProvider& Append(std::unique_ptr<TGprsProvider> provider);
  /// Removes the operator from this list and hands it to the caller (owner none);
  /// std::invalid_argument when it is not in this list.
  std::unique_ptr<TGprsProvider> Extract(const TGprsProvider& provider);
  /// Frees the operator at position index (ignored when the index is not valid).
  void Delete(int index);
  /// Frees all operators.
  void Clear();

  /// Position of the operator last chosen in the operator dialog; 0 at creation.
  std::int32_t ItemIndex = 0;

 private:
  std::vector<std::unique_ptr<TGprsProvider>> items_;
};

}  // namespace quorvel
