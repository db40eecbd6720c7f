// Values the wire cannot carry unchanged are refused before the operation's first command:
// the simulated terminal receives nothing and keeps what it held.
#include "Cyberplat.h"
#include "EasyPay.h"
#include "FacadeFixture.h"
#include "FeeTable.h"
#include "Fees.h"
#include "OSMP.h"
#include "SimCard.h"
#include "TempDir.h"
#include "XPlat.h"

#include <fmt/format.h>

#include <fstream>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// The parts of the terminal's state the operations below could touch, as one comparable text.
std::string Fingerprint(const sim::TSimState& s) {
  std::string out = fmt::format("{}|{}|{}|{}|{}|", s.ActiveSystem, s.ServerAddress, s.ServerPort,
                                s.ServerName, s.RetryCount.value_or(-1));
  for (const auto& slot : s.Sims)
    out += fmt::format("{}{}{}{}{}{}|", slot.Present, slot.Enabled, slot.Pin, slot.Apn, slot.Login,
                       slot.Password);
  for (const auto& line : s.Header) out += line + "|";
  for (const auto& line : s.Trailer) out += line + "|";
  for (const auto& [key, value] : s.Credentials) out += key + "=" + value + "|";
  for (const auto& [key, value] : s.Files) out += key + "=" + value + "|";
  for (const auto& [number, packets] : s.Scripts)
    out += fmt::format("{}:{}|", number, sim::ScriptText(s, number));
  return out;
}

class FacadeWireE2e : public FacadeTest {
 protected:
  void SetUp() override {
    FacadeTest::SetUp();
    sim.Update([](sim::TSimState& s) {
      s.ActiveSystem = 4;
      s.ServerAddress = "10.0.0.1";
      s.ServerPort = 443;
      s.ServerName = "pay.example";
      s.RetryCount = 3;
      s.Header[0] = "Старая строка 1";
      s.Header[1] = "Старая строка 2";
      s.Sims[0].Present = true;
      s.Sims[0].Apn = "internet";
      s.Credentials[sim::cred::kCyberSD] = "5";
      s.Credentials[sim::cred::kOsmpLogin] = "old";
      sim::SetScriptText(s, 10, "OLD()");
    });
    before_ = Fingerprint(sim.State());
  }

  // The operation fails with the message, nothing reached the terminal and its state is as before.
  void ExpectRefused(const std::function<void()>& action, const std::string& message) {
    EXPECT_EQ(ErrorOf(action), message);
    EXPECT_EQ(Commands(), std::vector<std::string>{});
    EXPECT_EQ(Fingerprint(sim.State()), before_);
  }

  TPaymentSystems systems;
  std::string before_;
};

TEST_F(FacadeWireE2e, ServerFields) {
  TOSMP& osmp = systems.Add<TOSMP>();
  TServerParams& params = osmp.ServerParams();
  params.SetRetryCount(5);
  params.Port = 9000;
  params.Address = "1.2.3.4\",9999,\"x";
  ExpectRefused([&] { facade->WriteServerParams(osmp); },
                "Поле \"IP-адрес сервера\" содержит недопустимый символ: \"\"\" (код 34)");
  params.Address = "1.2.3.4";
  params.ServerName = "pay 😀";  // the third field: nothing of the first two is written either
  ExpectRefused(
      [&] { facade->WriteServerParams(osmp); },
      "Поле \"WWW адрес сервера\": Символ \"😀\" (U+1F600) нельзя записать в кодировке windows-1251");
  params.ServerName = "pay.example.org";
  params.Port = 70000;
  ExpectRefused([&] { facade->WriteServerParams(osmp); }, kServerPortMessage);
}

TEST_F(FacadeWireE2e, SimCards) {
  TSimCards cards;
  TSimCard& first = cards.Items(0);
  first.Enabled = true;
  first.Pin = "1234";
  first.Apn = "internet.mts.ru";
  first.Login = "mts\r\nAT+SMSN=1";
  ExpectRefused([&] { facade->WriteSimCards(cards); },
                "Поле \"Имя пользователя\" содержит недопустимый символ: CR (код 13)");
  first.Login = "mts";
  TSimCard& second = cards.Items(1);
  second.Enabled = true;
  second.Pin = "4321";
  second.Apn = "inter\"net";  // the second slot refused: the first is not written alone
  ExpectRefused([&] { facade->WriteSimCards(cards); },
                "Поле \"Точка доступа, APN\" содержит недопустимый символ: \"\"\" (код 34)");
}

TEST_F(FacadeWireE2e, ReceiptLines) {
  ExpectRefused([&] { facade->WriteHeader("Магазин\tN1\r\n"); },
                "Поле \"Клише, строка 1\" содержит недопустимый символ: TAB (код 9)");
  ExpectRefused([&] { facade->WriteTrailer("Спасибо\r\nСкидка 5 € 😀\r\n"); },
                "Поле \"Рекламный текст, строка 2\": Символ \"😀\" (U+1F600) нельзя записать в кодировке "
                "windows-1251");
  ExpectRefused([&] { facade->WriteHeader("1\r\n2\r\n" + std::string(5000, 'x')); },
                "Поле \"Клише, строка 3\": слишком длинное значение, 5000 символов (не более 4000)");
  // Lines past the tenth are never sent, so they are not checked either.
  facade->WriteHeader("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n\t\"");
  EXPECT_EQ(sim.State().Header[9], "10");
}

TEST_F(FacadeWireE2e, PaymentSystemsWithAnActiveSystemStep) {
  TCyberplat& cyberplat = systems.Add<TCyberplat>();
  cyberplat.CyberplatPoint = {"1,2", "42", "7"};
  ExpectRefused([&] { facade->WriteCyberplat(cyberplat); },
                "Поле \"Код дилера\" должно содержать только цифры: \"1,2\"");
  TXPlat& xplat = systems.Add<TXPlat>();
  xplat.Point = "19";
  xplat.Login = std::string(30, 'l');
  ExpectRefused([&] { facade->WriteXPlat(xplat); },
                "Поле \"Логин\": слишком длинное значение, 30 символов (не более 29)");
  TOSMP& osmp = systems.Add<TOSMP>();
  osmp.Login = "new";
  osmp.TerminalID = "T-1";
  ExpectRefused([&] { facade->WriteOSMP(osmp); },
                "Поле \"Номер терминала\" должно содержать только цифры: \"T-1\"");
  EXPECT_TRUE(prompt.Questions.empty());  // no question about a system whose values are refused
}

TEST_F(FacadeWireE2e, FeeTablesAreAllConvertedBeforeTheFirstIsWritten) {
  TFeeTables tables;
  tables.Items(0).Fees().Add().SetValues(kFeePercent, Money::Parse("50"), 1);
  TFee& huge = tables.Items(2).Fees().Add();  // beyond the wire's 32-bit kopecks
  huge.FeeSum = Money::Parse("30000000");
  huge.FeeValue = 1;
  EXPECT_NE(ErrorOf([&] { facade->WriteFeeTables(tables); }), "");
  EXPECT_EQ(Commands(), std::vector<std::string>{});
  EXPECT_EQ(sim.State().Fees[0].Scheme, std::nullopt);
}

TEST_F(FacadeWireE2e, EasyPayReadsBothFilesFirst) {
  TempDir dir;
  const std::string key = dir.File("easypay.key");
  std::ofstream(key) << "KEY";
  TEasyPay& easypay = systems.Add<TEasyPay>();
  easypay.KeyFileName = key;
  easypay.CerFileName = dir.File("missing.cer");
  EXPECT_NE(ErrorOf([&] { facade->WriteEasyPay(easypay); }), "");
  EXPECT_EQ(Commands(), std::vector<std::string>{});
  EXPECT_EQ(Fingerprint(sim.State()), before_);
}

TEST_F(FacadeWireE2e, Scripts) {
  TOSMP& osmp = systems.Add<TOSMP>();
  TScript& good = osmp.Scripts().AddNew();
  good.SetText("INPUT('Номер',\t10)");
  TScript& bad = osmp.Scripts().AddNew();
  bad.SetText("INPUT('Но\tмер')");
  ExpectRefused(
      [&] { facade->WriteScripts(osmp); },
      fmt::format("Поле \"Сценарий ввода {}\" содержит недопустимый символ: TAB (код 9)", bad.Number()));
  bad.SetText("INPUT('Сумма')");
  facade->WriteScripts(osmp);
  EXPECT_EQ(sim::ScriptText(sim.State(), good.Number()), "INPUT('Номер', 10)");
}

}  // namespace
