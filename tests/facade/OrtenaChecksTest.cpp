#include "Errors.h"
#include "Ortenas.h"
#include "SimCard.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace quorvel;

namespace {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  return "<no error>";
}

struct SimRow {
  const char* Pin;
  std::string Apn;
  std::string Login;
  std::string Password;
  std::string Expected;  // empty: accepted
};

TEST(OrtenaChecks, SimCardRulesInTheirOrder) {
  const std::string apn50(50, 'a');
  const std::string cyr51 = [] {
    std::string s;
    for (int i = 0; i < 51; ++i) s += "ж";  // 51 characters, 102 bytes
    return s;
  }();
  const std::string cyr20 = [] {
    std::string s;
    for (int i = 0; i < 20; ++i) s += "п";
    return s;
  }();
  const SimRow rows[] = {
      {"0000", "internet", "", "", ""},
      {"9999", apn50, std::string(20, 'l'), std::string(20, 'p'), ""},
      {"1234", "internet", cyr20, cyr20, ""},  // limits count characters, not bytes
      {"12a4", "internet", "", "", kSimPinMessage},
      {"123", "internet", "", "", kSimPinMessage},
      {"12345", "internet", "", "", kSimPinMessage},
      {"", "internet", "", "", kSimPinMessage},
      {"+123", "internet", "", "", kSimPinMessage},  // a sign is not a digit
      {" 123", "internet", "", "", kSimPinMessage},
      {"-123", "internet", "", "", kSimPinMessage},
      {"1234", "", "", "", kSimApnEmptyMessage},
      {"1234", std::string(51, 'a'), "", "", "Слишком длинное имя точки доступа (51 > 50)"},
      {"1234", cyr51, "", "", "Слишком длинное имя точки доступа (51 > 50)"},
      {"1234", std::string(120, 'a'), "", "", "Слишком длинное имя точки доступа (120 > 50)"},
      {"1234", "internet", std::string(21, 'l'), "", kSimLoginLengthMessage},
      {"1234", "internet", "", std::string(21, 'p'), kSimPasswordLengthMessage},
      // the first failing rule wins
      {"12", "", std::string(21, 'l'), std::string(21, 'p'), kSimPinMessage},
      {"1234", "", std::string(21, 'l'), "", kSimApnEmptyMessage},
      {"1234", "internet", std::string(21, 'l'), std::string(21, 'p'), kSimLoginLengthMessage},
  };
  for (const auto& row : rows) {
    TSimCard card;
    card.SlotNumber = 1;
    card.Enabled = true;
    card.Pin = row.Pin;
    card.Apn = row.Apn;
    card.Login = row.Login;
    card.Password = row.Password;
    const std::string got = ErrorOf([&] { TOrtena::CheckSimCard(card); });
    EXPECT_EQ(got, row.Expected.empty() ? "<no error>" : row.Expected)
        << "PIN '" << row.Pin << "' APN " << row.Apn;
  }
}

TEST(OrtenaChecks, ServerPortRange) {
  for (std::int32_t port : {0, 1, 80, 65535}) EXPECT_NO_THROW(TOrtena::CheckServerPort(port)) << port;
  for (std::int32_t port : {-1, 65536, 70000, INT32_MIN}) {
    EXPECT_EQ(ErrorOf([&] { TOrtena::CheckServerPort(port); }), kServerPortMessage) << port;
  }
}

TEST(OrtenaChecks, SerialNumberLengthIsCheckedBeforeThePortIsTouched) {
  TOrtena facade;
  // A port that cannot be opened: any attempt to send would raise its own message instead.
  facade.SetPortName("/nonexistent/quorvel-port");
  EXPECT_EQ(ErrorOf([&] { facade.WriteSerialNumber("1234567"); }), kSerialNumberLengthMessage);
  EXPECT_EQ(ErrorOf([&] { facade.WriteSerialNumber("123456789"); }), kSerialNumberLengthMessage);
  EXPECT_EQ(ErrorOf([&] { facade.WriteSerialNumber(""); }), kSerialNumberLengthMessage);
  // the number travels unquoted: eight characters that are not all digits are refused too
  EXPECT_EQ(ErrorOf([&] { facade.WriteSerialNumber("1234567Ж"); }), kSerialNumberLengthMessage);
  EXPECT_EQ(ErrorOf([&] { facade.WriteSerialNumber("1234,678"); }), kSerialNumberLengthMessage);
  // eight digits pass the check and reach the port
  EXPECT_NE(ErrorOf([&] { facade.WriteSerialNumber("12345678"); }), kSerialNumberLengthMessage);
}

TEST(OrtenaChecks, SettingsPassToTheDriver) {
  TOrtena facade;
  facade.SetPortName("/dev/pts/77");
  EXPECT_EQ(facade.GetPortName(), "/dev/pts/77");
  EXPECT_EQ(facade.Driver().PortName(), "/dev/pts/77");
  facade.SetMaxRetryCount(4);
  EXPECT_EQ(facade.Driver().MaxRetryCount(), 4);
  EXPECT_THROW(facade.SetMaxRetryCount(6), Exception);
  EXPECT_EQ(facade.GetMaxRetryCount(), 4);
  EXPECT_EQ(&facade.DriverStatus(), &facade.Driver().Status());
  EXPECT_EQ(&facade.SerialPorts(), &facade.Driver().Ports());
  EXPECT_EQ(facade.SupportServer(), "http://www.ortena.ru");
  EXPECT_EQ(facade.Prompt(), nullptr);

  facade.DriverStatus().SetText("Запись...");
  facade.ClearStatus();
  EXPECT_EQ(facade.DriverStatus().Text(), "");
}

TEST(OrtenaChecks, OneSharedFacade) {
  TOrtena& first = Facade();
  EXPECT_EQ(&first, &Facade());
}

}  // namespace
