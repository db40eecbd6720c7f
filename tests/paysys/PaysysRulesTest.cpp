// Each payment system's page rules, checked in the core before anything is sent.
#include "Absolutplat.h"
#include "Bercut.h"
#include "Cyberplat.h"
#include "EPort.h"
#include "ErrorOf.h"
#include "Errors.h"
#include "Eurofon.h"
#include "Krasplat.h"
#include "MasterPort.h"
#include "OSMP.h"
#include "UbsPay.h"
#include "XPlat.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace quorvel;
using quorvel::test::ErrorOf;

namespace {

std::string Cyrillic(int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += "ю";
  return s;
}

template <class T>
struct Row {
  std::function<void(T&)> Change;
  std::string Expected;  // empty: accepted
};

template <class T>
void RunRows(const std::function<void(T&)>& valid, std::initializer_list<Row<T>> rows) {
  for (const Row<T>& row : rows) {
    TPaymentSystems systems;
    T& system = systems.Add<T>();
    valid(system);
    row.Change(system);
    EXPECT_EQ(ErrorOf([&] { system.Check(); }), row.Expected) << row.Expected;
  }
}

TEST(PaysysRules, EPort) {
  RunRows<TEPort>([](TEPort& s) { s.CardNumber = "400012341234", s.CardPin = "7777", s.Point = "42"; },
                  {
                      {[](TEPort&) {}, ""},
                      {[](TEPort& s) { s.CardNumber = Cyrillic(12); }, ""},
                      {[](TEPort& s) { s.CardNumber = "4000123412345"; },
                       "Поле \"Номер карты\": слишком длинное значение, 13 символов (не более 12)"},
                      {[](TEPort& s) { s.CardPin = std::string(21, '1'); },
                       "Поле \"PIN код карты\": слишком длинное значение, 21 символов (не более 20)"},
                      {[](TEPort& s) { s.CardPin = "7\"7"; },
                       "Поле \"PIN код карты\" содержит недопустимый символ: \"\"\" (код 34)"},
                      {[](TEPort& s) { s.Point = "Киоск 1"; },
                       "Поле \"Точка продажи\" должно содержать только цифры: \"Киоск 1\""},
                  });
}

TEST(PaysysRules, XPlat) {
  RunRows<TXPlat>(
      [](TXPlat& s) { s.Point = "1234567890123456789", s.Login = "cashier", s.Key = "01ABFF"; },
      {
          {[](TXPlat&) {}, ""},
          {[](TXPlat& s) { s.Login = Cyrillic(29), s.Password = Cyrillic(29); }, ""},
          {[](TXPlat& s) { s.Point = "12345678901234567890"; },
           "Поле \"Точка продажи\": слишком длинное значение, 20 символов (не более 19)"},
          {[](TXPlat& s) { s.Point = "P1"; }, "Поле \"Точка продажи\" должно содержать только цифры: \"P1\""},
          {[](TXPlat& s) { s.Login = std::string(30, 'l'); },
           "Поле \"Логин\": слишком длинное значение, 30 символов (не более 29)"},
          {[](TXPlat& s) { s.Password = Cyrillic(30); },
           "Поле \"Пароль\": слишком длинное значение, 30 символов (не более 29)"},
          {[](TXPlat& s) { s.Key = std::string(5000, 'A'); },
           "Поле \"Секретный ключ\": слишком длинное значение, 5000 символов (не более 4000)"},
      });
}

TEST(PaysysRules, OsmpAndPegasOsmp) {
  const auto valid = [](TOSMPProtocol& s) { s.Login = "user", s.Password = "p,w", s.TerminalID = "12345"; };
  const auto rows = {
      Row<TOSMPProtocol>{[](TOSMPProtocol&) {}, ""},
      Row<TOSMPProtocol>{[](TOSMPProtocol& s) { s.TerminalID = std::string(21, '9'); },
                         "Поле \"Номер терминала\": слишком длинное значение, 21 символов (не более 20)"},
      Row<TOSMPProtocol>{[](TOSMPProtocol& s) { s.TerminalID = "12-34"; },
                         "Поле \"Номер терминала\" должно содержать только цифры: \"12-34\""},
      Row<TOSMPProtocol>{[](TOSMPProtocol& s) { s.Login = "a\r\nb"; },
                         "Поле \"Логин\" содержит недопустимый символ: CR (код 13)"},
      Row<TOSMPProtocol>{[](TOSMPProtocol& s) { s.Password = "a\tb"; },
                         "Поле \"Пароль\" содержит недопустимый символ: TAB (код 9)"},
  };
  for (const auto& row : rows) {
    TPaymentSystems systems;
    for (TOSMPProtocol* s : {static_cast<TOSMPProtocol*>(&systems.Add<TOSMP>()),
                             static_cast<TOSMPProtocol*>(&systems.Add<TPegasOSMP>())}) {
      valid(*s);
      row.Change(*s);
      EXPECT_EQ(ErrorOf([&] { s->Check(); }), row.Expected);
    }
  }
}

TEST(PaysysRules, Cyberplat) {
  const auto valid = [](TCyberplat& s) {
    s.CyberplatPoint.SD = "17", s.CyberplatPoint.AP = "42", s.CyberplatPoint.OP = "7";
    s.SecretKey.KeyName = "SECRET", s.SecretKey.KeyNum = "0000017033", s.SecretKey.Key = "body";
  };
  RunRows<TCyberplat>(valid, {
                                 {[](TCyberplat&) {}, ""},
                                 {[](TCyberplat& s) { s.CyberplatPoint.SD = "1,2"; },
                                  "Поле \"Код дилера\" должно содержать только цифры: \"1,2\""},
                                 {[](TCyberplat& s) { s.CyberplatPoint.AP = ""; },
                                  "Поле \"Код точки\" должно содержать только цифры: \"\""},
                                 {[](TCyberplat& s) { s.CyberplatPoint.OP = "+7"; },
                                  "Поле \"Код оператора\" должно содержать только цифры: \"+7\""},
                                 {[](TCyberplat& s) { s.Password = "pa\"ss"; },
                                  "Поле \"Пароль\" содержит недопустимый символ: \"\"\" (код 34)"},
                                 {[](TCyberplat& s) { s.SecretKey.KeyNum = "17,1"; },
                                  "Поле \"Секретный ключ\" должно содержать только цифры: \"17,1\""},
                                 {[](TCyberplat& s) { s.PublicKey.Key = "line1\nline2"; },
                                  "Поле \"Открытый ключ\" содержит недопустимый символ: LF (код 10)"},
                             });
}

TEST(PaysysRules, MasterPort) {
  RunRows<TMasterPort>(
      [](TMasterPort& s) { s.SerialNumber = "12345678", s.ApplicationPrivateKey.D = "RA=="; },
      {
          {[](TMasterPort&) {}, ""},
          {[](TMasterPort& s) { s.SerialNumber = "1234,678"; },
           "Поле \"Серийный номер модема\" должно содержать только цифры: \"1234,678\""},
          {[](TMasterPort& s) { s.ServerPublicKey.Modulus = "cH\"Vi"; },
           "Поле \"Открытый ключ сервера\" содержит недопустимый символ: \"\"\" (код 34)"},
          {[](TMasterPort& s) { s.ApplicationPrivateKey.P = "UA\r\n"; },
           "Поле \"Закрытый ключ приложения\" содержит недопустимый символ: CR (код 13)"},
      });
}

TEST(PaysysRules, PerValueSystems) {
  const struct {
    std::function<void(const std::string&)> Check;
    const char* Caption;
  } rows[] = {
      {TKrasplat::CheckDeviceID, "Номер устройства"},
      {TBercut::CheckDeviceID, "Идентификатор устройства"},
      {TAbsolutplat::CheckAgentID, "Идентификатор агента"},
      {TAbsolutplat::CheckDeviceID, "Идентификатор устройства"},
      {TEurofon::CheckAgentID, "Идентификатор агента"},
      {TEurofon::CheckDeviceID, "Идентификатор устройства"},
      {TUbsPay::CheckAgentID, "Идентификатор агента"},
      {TUbsPay::CheckDeviceID, "Идентификатор устройства"},
      {TUbsPay::CheckURL, "URL"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ErrorOf([&] { row.Check("https://pay.example/a?b=1,2"); }), "");
    EXPECT_EQ(ErrorOf([&] { row.Check("id\",2,\"x"); }),
              std::string("Поле \"") + row.Caption + "\" содержит недопустимый символ: \"\"\" (код 34)");
    EXPECT_EQ(ErrorOf([&] { row.Check("id\r\n"); }),
              std::string("Поле \"") + row.Caption + "\" содержит недопустимый символ: CR (код 13)");
  }
}

}  // namespace
