#pragma once

#include "CompareObject.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

class TServiceProviders;

/// Messages of the provider rules.
inline constexpr const char* kProviderIdEmptyMessage = "Идентификатор провайдера не может быть пустым";
inline constexpr const char* kProviderTextEmptyMessage = "Текст провайдера не может быть пустым";
/// Names given to CheckRange for an amount outside 0..30000.
inline constexpr const char* kProviderMinAmountName = "Неверная минимальная сумма платежа";
inline constexpr const char* kProviderMaxAmountName = "Неверная максимальная сумма платежа";

/// A payee the terminal offers for payment. Texts are UTF-8; their limits count characters.
/// Threads: model objects are used by one thread at a time.
class TServiceProvider : public TCompareObject {
 public:
  /// Longest identifier, in characters.
  static constexpr int kMaxIdentifierLength = 50;
  /// Characters of the receipt text that are kept.
  static constexpr int kTextLength = 19;
  /// Range of both amounts, in rubles.
  static constexpr std::int32_t kMinAmount = 0;
  static constexpr std::int32_t kMaxAmount = 30000;

  /// A provider without a list: empty texts, zeros, minimum 0 and maximum 30000.
  TServiceProvider() = default;
  TServiceProvider(const TServiceProvider&) = delete;
  TServiceProvider& operator=(const TServiceProvider&) = delete;

  /// The provider's identifier (XML `name`).
  const std::string& Identifier() const { return identifier_; }
  /// Empty raises kProviderIdEmptyMessage; more than 50 characters raises
  /// "Неверная длина идентификатора провайдера.\r\nМаксимальная длина идентификатора
  /// провайдера: 50"; otherwise stored.
  void SetIdentifier(std::string_view text);

  /// The text printed on the receipt, at most 19 characters.
  const std::string& Text() const { return text_; }
  /// Empty raises kProviderTextEmptyMessage; otherwise its first 19 characters are stored.
  void SetText(std::string_view text);

  /// Phone number prefixes separated by semicolons, for example "910;916"; not checked.
  std::string Prefixes;
  /// Stored and written as is.
  std::int32_t Button = 0;
  /// Fee table: 0 = none, n = the n-th table.
  std::int32_t FeeTableID = 0;
  /// Number of the input script used to enter the payment data.
  std::int32_t FormatID = 0;
  /// Free text.
  std::string Description;

  /// Minimum payment in rubles, 0..30000; 0 at creation.
  std::int32_t MinAmount() const { return minAmount_; }
  /// Outside 0..30000 raises the CheckRange message named kProviderMinAmountName. The
  /// minimum is not compared with the maximum.
  void SetMinAmount(std::int64_t n);
  /// Maximum payment in rubles, 0..30000; 30000 at creation.
  std::int32_t MaxAmount() const { return maxAmount_; }
  /// Outside 0..30000 raises the CheckRange message named kProviderMaxAmountName.
  void SetMaxAmount(std::int64_t n);

  /// Copies every field, in field order; identifier, text and both amounts through their
  /// setters, so a copy cuts the text and may raise (the fields before the failing one are
  /// then already copied).
  void Assign(const TServiceProvider& other);

  /// The list the provider is in, or nullptr.
  TServiceProviders* Owner() const { return owner_; }
  /// Position in the owner list, -1 without one.
  int Index() const;

 private:
  friend class TServiceProviders;
  std::string identifier_;
  std::string text_;
  std::int32_t minAmount_ = kMinAmount;
  std::int32_t maxAmount_ = kMaxAmount;
  TServiceProviders* owner_ = nullptr;
};

/// An ordered list of providers that owns them.
/// Threads: model objects are used by one thread at a time.
class TServiceProviders {
 public:
  TServiceProviders() = default;
  ~TServiceProviders();
  TServiceProviders(const TServiceProviders&) = delete;
  TServiceProviders& operator=(const TServiceProviders&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  /// The provider at position index; index must satisfy IsValidIndex.
  TServiceProvider& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  /// True for 0 <= index < Count().
  bool IsValidIndex(int index) const { return index >= 0 && index < Count(); }
  /// Position of the provider in this list, or -1.
  int IndexOf(const TServiceProvider& provider) const;

  /// Appends a provider with the defaults and returns it.
  TServiceProvider& Add();
  /// Frees the provider at position index (ignored when the index is not valid).
  void Delete(int index);
  /// Frees all providers.
  void Clear();
  /// Clears this list, then Add and Assign for each provider of the other list, in order. A
  /// provider that fails its setters raises; the copies made before it stay.
  void Assign(const TServiceProviders& other);

 private:
  std::vector<std::unique_ptr<TServiceProvider>> items_;
};

}  // namespace quorvel
