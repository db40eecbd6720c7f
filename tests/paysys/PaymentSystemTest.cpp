#include "Absolutplat.h"
#include "Bercut.h"
#include "Cyberplat.h"
#include "EPort.h"
#include "EasyPay.h"
#include "Eurofon.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "PaymentSystem.h"
#include "UbsPay.h"
#include "XPlat.h"

#include "Errors.h"
#include "Paths.h"
#include "TempDir.h"
#include "TextUtils.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <limits>

using namespace quorvel;

namespace {

struct SystemRow {
  std::function<TPaymentSystem&(TPaymentSystems&)> add;
  std::int32_t code;
  std::string displayName;
  std::string shortName;
  std::string scriptsPath;  // "" when the system has no list
  std::string providersPath;
};

std::vector<SystemRow> SystemTable() {
  return {
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TMasterPort>(); }, 0, "Мастерпорт",
       "Masterport", "/ortena/masterport_scripts.xml", "/ortena/masterport_providers.xml"},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TCyberplat>(); }, 1, "Cyberplat", "Cyberplat",
       "/ortena/cyberplat_scripts.xml", "/ortena/cyberplat_providers.xml"},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TEPort>(); }, 2, "EPort", "EPort",
       "/ortena/scripts/eport_scripts.xml", "/ortena/eport_providers.xml"},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TXPlat>(); }, 3, "XPlat", "XPlat",
       "/ortena/xplat_scripts.xml", "/ortena/xplat_providers.xml"},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TOSMP>(); }, 4, "ОСМП", "OSMP",
       "/ortena/osmp_scripts.xml", "/ortena/osmp_providers.xml"},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TEasyPay>(); }, 5, "ЛЕГКО И УДОБНО",
       "EASYPAY", "", ""},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TKrasplat>(); }, 6, "ПлатеЖКа", "KRASPLAT",
       "", ""},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TBercut>(); }, 7, "BERCUT", "BERCUT", "", ""},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TAbsolutplat>(); }, 8, "", "ABSOLUTPLAT", "",
       ""},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TEurofon>(); }, 9, "", "EUROFON", "", ""},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TUbsPay>(); }, 12, "", "UBSPAY", "", ""},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TPegasMP>(); }, 0,
       "Pegaspay, протокол Мастерпорт", "Masterport", "/ortena/pegaspay_scripts.xml",
       "/ortena/masterport_providers.xml"},
      {[](TPaymentSystems& r) -> TPaymentSystem& { return r.Add<TPegasOSMP>(); }, 4,
       "Pegaspay, протокол ОСМП", "PEGASPAY", "/ortena/pegaspay_scripts.xml",
       "/ortena/pegaspay_providers.xml"},
  };
}

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
    return "";
  } catch (const Exception& e) {
    return e.what();
  }
}

}  // namespace

TEST(PaymentSystems, CodesNamesAndSupportServerPaths) {
  TPaymentSystems registry;
  for (const auto& row : SystemTable()) {
    TPaymentSystem& system = row.add(registry);
    SCOPED_TRACE(row.shortName + " " + std::to_string(row.code));
    EXPECT_EQ(system.GetSystemID(), row.code);
    EXPECT_EQ(system.GetShortName(), row.shortName);
    if (!row.displayName.empty()) {
      EXPECT_EQ(system.GetDisplayName(), row.displayName);
    }
    EXPECT_EQ(system.GetScriptsURL(),
              row.scriptsPath.empty() ? "" : std::string(kDefaultSupportServer) + row.scriptsPath);
    EXPECT_EQ(system.GetProvidersURL(),
              row.providersPath.empty() ? "" : std::string(kDefaultSupportServer) + row.providersPath);
    EXPECT_TRUE(StartsWith(system.GetSiteURL(), "http://")) << system.GetSiteURL();
  }
  EXPECT_EQ(registry.Count(), 13);
}

TEST(PaymentSystems, DomainBrandedDisplayNames) {
  TAbsolutplat absolutplat;
  TEurofon eurofon;
  TUbsPay ubsPay;
  // the brand is the operator's web domain, the same one its site address carries
  EXPECT_FALSE(absolutplat.GetDisplayName().empty());
  EXPECT_NE(absolutplat.GetSiteURL().find(absolutplat.GetDisplayName()), std::string::npos);
  ASSERT_TRUE(StartsWith(eurofon.GetDisplayName(), "EUROFON, "));
  EXPECT_NE(eurofon.GetSiteURL().find(eurofon.GetDisplayName().substr(9)), std::string::npos);
  ASSERT_TRUE(StartsWith(ubsPay.GetDisplayName(), "ОБС, "));
  EXPECT_NE(ubsPay.GetSiteURL().find(ubsPay.GetDisplayName().substr(std::string("ОБС, ").size())),
            std::string::npos);
}

TEST(PaymentSystems, SupportServerComesFromTheRegistry) {
  TPaymentSystems registry;
  TOSMP& osmp = registry.Add<TOSMP>();
  TBercut& bercut = registry.Add<TBercut>();
  registry.SupportServer = "http://127.0.0.1:8080/";
  EXPECT_EQ(osmp.GetScriptsURL(), "http://127.0.0.1:8080/ortena/osmp_scripts.xml");
  EXPECT_EQ(osmp.GetProvidersURL(), "http://127.0.0.1:8080/ortena/osmp_providers.xml");
  EXPECT_EQ(bercut.GetScriptsURL(), "");  // no list stays no list
  TOSMP loose;
  EXPECT_EQ(loose.Owner(), nullptr);
  EXPECT_EQ(loose.GetScriptsURL(), std::string(kDefaultSupportServer) + "/ortena/osmp_scripts.xml");
}

TEST(PaymentSystemName, KnownAndUnknownCodes) {
  struct Row {
    std::int32_t code;
    const char* text;
  } rows[] = {
      {0, "Мастерпорт"},
      {1, "Cyberplat"},
      {2, "EPort"},
      {3, "XPlat"},
      {4, "ОСМП"},
      {5, "ЛЕГКО И УДОБНО"},
      {6, "ПлатеЖКа"},
      {7, "Неизвестная платежная система, ID=7"},
      {8, "Неизвестная платежная система, ID=8"},
      {9, "Неизвестная платежная система, ID=9"},
      {10, "Неизвестная платежная система, ID=10"},
      {12, "Неизвестная платежная система, ID=12"},
      {-1, "Неизвестная платежная система, ID=-1"},
      {std::numeric_limits<std::int32_t>::min(), "Неизвестная платежная система, ID=-2147483648"},
  };
  for (const auto& r : rows) EXPECT_EQ(PaymentSystemName(r.code), r.text) << r.code;
}

TEST(PaymentSystems, OwnershipAndLookup) {
  TPaymentSystems registry;
  EXPECT_EQ(registry.ActiveSystemID, 0);
  // the application document's creation order puts OSMP before PegasOSMP
  TPegasMP& pegasMP = registry.Add<TPegasMP>();
  TOSMP& osmp = registry.Add<TOSMP>();
  TPegasOSMP& pegasOSMP = registry.Add<TPegasOSMP>();
  TMasterPort& masterPort = registry.Add<TMasterPort>();
  EXPECT_EQ(masterPort.Owner(), &registry);
  EXPECT_EQ(&registry.Items(0), &pegasMP);

  EXPECT_EQ(registry.Find<TMasterPort>(), &masterPort);  // the sibling PegasMP does not match
  EXPECT_EQ(registry.Find<TPegasMP>(), &pegasMP);
  EXPECT_EQ(registry.Find<TOSMP>(), &osmp);
  EXPECT_EQ(registry.Find<TPegasOSMP>(), &pegasOSMP);
  EXPECT_EQ(registry.Find<TCyberplat>(), nullptr);
  EXPECT_EQ(registry.Find<TMasterPortProtocol>(), nullptr);  // only exact classes

  EXPECT_EQ(registry.FindBySystemID(0), &pegasMP);  // shared codes: the first added wins
  EXPECT_EQ(registry.FindBySystemID(4), &osmp);
  EXPECT_EQ(registry.FindBySystemID(1), nullptr);
}

TEST(PaymentSystems, SystemForPageNumbers) {
  TPaymentSystems registry;
  for (const auto& row : SystemTable()) row.add(registry);
  struct Row {
    std::int32_t number;
    std::string shortName;
    std::int32_t code;
  } rows[] = {
      {0, "Masterport", 0},  {1, "Cyberplat", 1}, {2, "EPort", 2},       {3, "XPlat", 3},
      {4, "OSMP", 4},        {5, "EASYPAY", 5},   {6, "KRASPLAT", 6},    {7, "BERCUT", 7},
      {8, "ABSOLUTPLAT", 8}, {9, "EUROFON", 9},   {10, "Masterport", 0}, {12, "UBSPAY", 12},
  };
  for (const auto& r : rows) {
    const TPaymentSystem& system = registry.SystemForPage(r.number);
    EXPECT_EQ(system.GetShortName(), r.shortName) << r.number;
    EXPECT_EQ(system.GetSystemID(), r.code) << r.number;
  }
  EXPECT_EQ(&registry.SystemForPage(10), registry.Find<TPegasMP>());
  EXPECT_EQ(&registry.SystemForPage(0), registry.Find<TMasterPort>());
  for (std::int32_t bad : {11, 13, -1}) {
    EXPECT_EQ(MessageOf([&] { registry.SystemForPage(bad); }),
              "Неверный номер платежной системы, " + std::to_string(bad));
  }
  TPaymentSystems empty;
  EXPECT_EQ(MessageOf([&] { empty.SystemForPage(3); }), "Неверный номер платежной системы, 3");
}

TEST(PaymentSystems, FreshSystemParts) {
  TPaymentSystems registry;
  for (const auto& row : SystemTable()) {
    const TPaymentSystem& system = row.add(registry);
    SCOPED_TRACE(system.GetShortName());
    EXPECT_EQ(system.ProviderGroup().Text, "Провайдеры");
    EXPECT_EQ(system.ProviderGroup().Count(), 0);
    EXPECT_EQ(system.ProviderGroup().Providers().Count(), 0);
    EXPECT_EQ(system.ProviderGroup().Parent(), nullptr);
    EXPECT_EQ(system.Providers().Count(), 0);
    ASSERT_EQ(system.Scripts().Count(), 2);
    EXPECT_EQ(system.Scripts().Items(0).Name(), "Ввод номера");
    EXPECT_EQ(system.Scripts().Items(1).Name(), "Ввод счета");
    EXPECT_EQ(system.ServerParams().RetryCount(), 1);
    EXPECT_EQ(system.ServerParams().Port, 0);
    EXPECT_EQ(system.ServerParams().Address, "");
  }
}

TEST(PaymentSystems, FreshMasterPortPairAndCyberplat) {
  TMasterPort masterPort;
  TPegasMP pegasMP;
  for (const TMasterPortProtocol* s : {static_cast<const TMasterPortProtocol*>(&masterPort),
                                       static_cast<const TMasterPortProtocol*>(&pegasMP)}) {
    EXPECT_FALSE(s->TestSettings);
    EXPECT_EQ(s->SenderID, "");
    EXPECT_EQ(s->ReceiverID, "");
    EXPECT_EQ(s->SerialNumber, "");
    EXPECT_EQ(s->ApplicationID, "");
    EXPECT_EQ(s->ServerPublicKey, TPublicKey());
    EXPECT_EQ(s->ApplicationPrivateKey, TPrivateKey());
    EXPECT_EQ(s->TestConfigFileName, ProgramHome() + "/Paysys/MasterPort/MasterPort_TestConfig.Xml");
  }
  EXPECT_EQ(masterPort.TestConfigFileName, pegasMP.TestConfigFileName);

  TCyberplat cyberplat;
  EXPECT_EQ(cyberplat.SecretKey.KeyType, kCyberplatSecretKey);
  EXPECT_EQ(cyberplat.PublicKey.KeyType, kCyberplatPublicKey);
  EXPECT_EQ(cyberplat.SecretKey.Key, "");
  EXPECT_EQ(cyberplat.CyberplatPoint.SD, "");
  EXPECT_EQ(cyberplat.Password, "");
}

TEST(XPlatLoadKeyFile, BytesBecomeUpperCaseHex) {
  test::TempDir dir;
  struct Row {
    std::string bytes;
    std::string key;
  } rows[] = {
      {std::string("\x01\xAB\xFF", 3), "01ABFF"},
      {std::string("\x00\x00\x0a", 3), "00000A"},
      {std::string("\r\n\x1a", 3), "0D0A1A"},  // no text-mode translation
      {"", ""},
  };
  TXPlat xplat;
  for (const auto& r : rows) {
    xplat.Key = "old";
    std::ofstream(dir.File("key.bin"), std::ios::binary | std::ios::trunc) << r.bytes;
    xplat.LoadKeyFile(dir.File("key.bin"));
    EXPECT_EQ(xplat.Key, r.key);
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::ofstream(dir.File("all.bin"), std::ios::binary) << all;
  xplat.LoadKeyFile(dir.File("all.bin"));
  ASSERT_EQ(xplat.Key.size(), 512u);
  EXPECT_EQ(xplat.Key.substr(0, 8), "00010203");
  EXPECT_EQ(xplat.Key.substr(504), "FCFDFEFF");
  EXPECT_EQ(HexToStr(xplat.Key), all);
}

TEST(XPlatLoadKeyFile, UnreadableFileKeepsTheKey) {
  test::TempDir dir;
  TXPlat xplat;
  xplat.Key = "0102";
  const std::string missing = MessageOf([&] { xplat.LoadKeyFile(dir.File("missing.key")); });
  EXPECT_NE(missing.find("missing.key"), std::string::npos) << missing;
  EXPECT_EQ(xplat.Key, "0102");
  EXPECT_NE(MessageOf([&] { xplat.LoadKeyFile(dir.Path()); }), "");  // a folder is no key file
  EXPECT_EQ(xplat.Key, "0102");
}
