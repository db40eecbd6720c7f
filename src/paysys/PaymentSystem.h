#pragma once

#include "ProviderGroup.h"
#include "Scripts.h"
#include "ServerParams.h"
#include "ServiceProvider.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <vector>

namespace quorvel {

class TPaymentSystems;

/// Base address of the maker's support web server when none is configured; the script and
/// provider list paths of the systems are appended to it.
inline constexpr const char* kDefaultSupportServer = "http://www.ortena.ru";
/// Caption of a new system's root provider group.
inline constexpr const char* kProvidersRootText = "Провайдеры";

/// One payment system the terminal can work with: its constants (code, names, support-server
/// addresses), its payment server, input scripts, providers and provider tree. Subclasses add
/// the credentials and keys. Systems are created by TPaymentSystems::Add.
/// Threads: model objects are used by one thread at a time.
class TPaymentSystem {
 public:
  virtual ~TPaymentSystem();
  TPaymentSystem(const TPaymentSystem&) = delete;
  TPaymentSystem& operator=(const TPaymentSystem&) = delete;

  /// The web site of the payment system's operator.
  virtual std::string GetSiteURL() const = 0;
  /// The system's code on the terminal.
  virtual std::int32_t GetSystemID() const = 0;
  /// The Russian display name.
  virtual std::string GetDisplayName() const = 0;
  /// The short name: names the system's section in documents and support-server lists.
  virtual std::string GetShortName() const = 0;
  /// http address of the system's input-script list on the support server, empty when none.
  virtual std::string GetScriptsURL() const = 0;
  /// http address of the system's provider list on the support server, empty when none.
  virtual std::string GetProvidersURL() const = 0;

  /// The input scripts; the two built-in ones from the start.
  TScripts& Scripts() { return scripts_; }
  const TScripts& Scripts() const { return scripts_; }
  /// The payment server address, port, retry count and server name.
  TServerParams& ServerParams() { return serverParams_; }
  const TServerParams& ServerParams() const { return serverParams_; }
  /// Root of the provider tree, captioned kProvidersRootText at creation.
  TProviderGroup& ProviderGroup() { return providerGroup_; }
  const TProviderGroup& ProviderGroup() const { return providerGroup_; }
  /// The flat provider list.
  TServiceProviders& Providers() { return providers_; }
  const TServiceProviders& Providers() const { return providers_; }

  /// The registry that owns the system, or nullptr for a system made on its own (tests).
  TPaymentSystems* Owner() const { return owner_; }

 protected:
  TPaymentSystem();

  /// The support-server address of a list: the owner's SupportServer (kDefaultSupportServer
  /// without an owner) followed by path; empty when path is empty.
  std::string SupportURL(std::string_view path) const;

 private:
  friend class TPaymentSystems;
  TScripts scripts_;
  TServerParams serverParams_;
  TProviderGroup providerGroup_;
  TServiceProviders providers_;
  TPaymentSystems* owner_ = nullptr;
};

/// Owner of all payment-system objects (freed with it), in the order they were added.
/// Threads: model objects are used by one thread at a time.
class TPaymentSystems {
 public:
  TPaymentSystems();
  ~TPaymentSystems();
  TPaymentSystems(const TPaymentSystems&) = delete;
  TPaymentSystems& operator=(const TPaymentSystems&) = delete;

  /// Creates a system of class T owned by this registry, appends it and returns it.
  template <class T>
  T& Add() {
    static_assert(std::is_base_of_v<TPaymentSystem, T>);
    auto system = std::make_unique<T>();
    T& result = *system;
    Append(std::move(system));
    return result;
  }

  int Count() const { return static_cast<int>(items_.size()); }
  /// The system at position index (std::out_of_range outside 0..Count-1).
  TPaymentSystem& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }

  /// The first system of exactly class T (a sibling class sharing a code does not match), or
  /// nullptr.
  template <class T>
  T* Find() const {
    for (const auto& system : items_)
      if (typeid(*system) == typeid(T)) return static_cast<T*>(system.get());
    return nullptr;
  }
  /// The first system, in order of adding, whose GetSystemID is code, or nullptr. Codes are
  /// shared (PegasMP has 0 like MasterPort, PegasOSMP 4 like OSMP).
  TPaymentSystem* FindBySystemID(std::int32_t code) const;

  /// The system whose pages the main window shows for an active-system number: 0 MasterPort,
  /// 1 Cyberplat, 2 EPort, 3 XPlat, 4 OSMP, 5 EasyPay, 6 Krasplat, 7 Bercut, 8 Absolutplat,
  /// 9 Eurofon, 10 PegasMP, 12 UbsPay. Any other number, or a system this registry lacks,
  /// raises "Неверный номер платежной системы, <number>".
  TPaymentSystem& SystemForPage(std::int32_t number) const;

  /// The terminal's active-system code as last stored in the configuration document; 0 at
  /// start; not used otherwise.
  std::int32_t ActiveSystemID = 0;
  /// Base address of the support web server (scheme and host, no trailing path); the systems'
  /// GetScriptsURL and GetProvidersURL start with it.
  std::string SupportServer = kDefaultSupportServer;

 private:
  void Append(std::unique_ptr<TPaymentSystem> system);

  std::vector<std::unique_ptr<TPaymentSystem>> items_;
};

/// Display text of a terminal active-system code: 0 "Мастерпорт", 1 "Cyberplat", 2 "EPort",
/// 3 "XPlat", 4 "ОСМП", 5 "ЛЕГКО И УДОБНО", 6 "ПлатеЖКа"; any other code
/// "Неизвестная платежная система, ID=<code>" (7, 8, 9 and 12 included).
std::string PaymentSystemName(std::int32_t code);

}  // namespace quorvel
