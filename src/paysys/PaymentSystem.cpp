#include "PaymentSystem.h"

#include "Absolutplat.h"
#include "Bercut.h"
#include "Cyberplat.h"
#include "EPort.h"
#include "EasyPay.h"
#include "Errors.h"
#include "Eurofon.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "UbsPay.h"
#include "XPlat.h"

#include <stdexcept>

#include <fmt/printf.h>

namespace quorvel {

TPaymentSystem::TPaymentSystem() { providerGroup_.Text = kProvidersRootText; }

TPaymentSystem::~TPaymentSystem() = default;

std::string TPaymentSystem::SupportURL(std::string_view path) const {
  if (path.empty()) return {};
  std::string base = owner_ ? owner_->SupportServer : std::string(kDefaultSupportServer);
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + std::string(path);
}

TPaymentSystems::TPaymentSystems() = default;

TPaymentSystems::~TPaymentSystems() = default;

void TPaymentSystems::Append(std::unique_ptr<TPaymentSystem> system) {
  system->owner_ = this;
  items_.push_back(std::move(system));
}

TPaymentSystem* TPaymentSystems::FindBySystemID(std::int32_t code) const {
  for (const auto& system : items_)
    if (system->GetSystemID() == code) return system.get();
  return nullptr;
}

TPaymentSystem& TPaymentSystems::SystemForPage(std::int32_t number) const {
  TPaymentSystem* system = nullptr;
  switch (number) {
    case 0:
      system = Find<TMasterPort>();
      break;
    case 1:
      system = Find<TCyberplat>();
      break;
    case 2:
      system = Find<TEPort>();
      break;
    case 3:
      system = Find<TXPlat>();
      break;
    case 4:
      system = Find<TOSMP>();
      break;
    case 5:
      system = Find<TEasyPay>();
      break;
    case 6:
      system = Find<TKrasplat>();
      break;
    case 7:
      system = Find<TBercut>();
      break;
    case 8:
      system = Find<TAbsolutplat>();
      break;
    case 9:
      system = Find<TEurofon>();
      break;
    case 10:
      system = Find<TPegasMP>();
      break;
    case 12:
      system = Find<TUbsPay>();
      break;
    default:
      break;
  }
  if (!system) throw Exception(fmt::sprintf("Неверный номер платежной системы, %d", number));
  return *system;
}

std::string PaymentSystemName(std::int32_t code) {
  switch (code) {
    case 0:
      return "Мастерпорт";
    case 1:
      return "Cyberplat";
    case 2:
      return "EPort";
    case 3:
      return "XPlat";
    case 4:
      return "ОСМП";
    case 5:
      return "ЛЕГКО И УДОБНО";
    case 6:
      return "ПлатеЖКа";
    default:
      return fmt::sprintf("%s, ID=%d", "Неизвестная платежная система", code);
  }
}

}  // namespace quorvel
