#include "Errors.h"
#include "SimFixture.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

constexpr const char* kGuid = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

class CommandsE2e : public SimTest {};

}  // namespace

TEST_F(CommandsE2e, IdentityReadsGiveTheTerminalsValues) {
  sim.Update([](sim::TSimState& s) {
    s.SerialNumber = "87654321";
    s.HardwareVersion = "HW 3.0";
    s.LoaderVersion = "LDR 2.00";
    s.Manufacturer = "Ортена";
    s.Model = "Ortena GSM-4";
    s.OsVersion = "OS 7.01";
    s.FactoryNumber = "354360000099999";
    s.ProductionDate = "2009/01/31";
    s.TerminalNumber = "2002";
    s.Clock = "26/12/09,06:40:00";
  });
  std::string v;
  const std::vector<std::pair<std::function<int(std::string&)>, std::string>> rows = {
      {[&](std::string& o) { return driver->GetSerialNumber(o); }, "87654321"},
      {[&](std::string& o) { return driver->GetHardwareVersion(o); }, "HW 3.0"},
      {[&](std::string& o) { return driver->GetLoaderVersion(o); }, "LDR 2.00"},
      {[&](std::string& o) { return driver->GetManufacturer(o); }, "Ортена"},
      {[&](std::string& o) { return driver->GetModel(o); }, "Ortena GSM-4"},
      {[&](std::string& o) { return driver->GetModelVersion(o); }, "OS 7.01"},
      {[&](std::string& o) { return driver->GetModemSerialNumber(o); }, "354360000099999"},
      {[&](std::string& o) { return driver->GetProductionDate(o); }, "2009/01/31"},
      {[&](std::string& o) { return driver->GetTerminalNumber(o); }, "2002"},
  };
  for (const auto& [read, expected] : rows) {
    v.clear();
    EXPECT_EQ(read(v), 0) << expected;
    EXPECT_EQ(v, expected);
  }
  EXPECT_EQ(driver->GetDateTime(v), 0);
  EXPECT_EQ(v, "26/12/09,06:40:00");

  EXPECT_EQ(driver->SetSerialNumber("11223344"), 0);
  EXPECT_EQ(sim.State().SerialNumber, "11223344");
}

TEST_F(CommandsE2e, DeviceState) {
  sim.Update([](sim::TSimState& s) {
    s.ModemState = 3;
    s.QueuedPayments = "12";
    s.FreePositions = "188";
    s.VoltageTenths = 118;
  });
  TDeviceStateRec state;
  ASSERT_EQ(driver->GetDeviceState(state), 0);
  EXPECT_TRUE(state.ModemStateValid);
  EXPECT_EQ(state.ModemState, 3);
  EXPECT_EQ(state.QueuedPayments, "12");
  EXPECT_EQ(state.FreePositions, "188");
  EXPECT_TRUE(state.HasVoltage);
  EXPECT_EQ(state.VoltageText, "11.8");

  sim.Update([](sim::TSimState& s) { s.VoltageTenths.reset(); });
  TDeviceStateRec noVoltage;
  noVoltage.VoltageText = "kept";
  ASSERT_EQ(driver->GetDeviceState(noVoltage), 0);
  EXPECT_FALSE(noVoltage.HasVoltage);
  EXPECT_EQ(noVoltage.VoltageText, "kept");
  EXPECT_EQ(noVoltage.FreePositions, "188");
}

TEST_F(CommandsE2e, BackupRestoresTheSettings) {
  EXPECT_EQ(driver->RestoreBackup(), 8);  // no backup yet: no data
  sim::TSimState backup = sim.State();
  backup.ServerAddress = "backup.example.ru";
  backup.ServerPort = 4430;
  sim.SetBackup(backup);
  ASSERT_EQ(driver->SetServer("live.example.ru", 80), 0);
  EXPECT_EQ(driver->RestoreBackup(), 0);
  EXPECT_EQ(sim.State().ServerAddress, "backup.example.ru");
  EXPECT_EQ(sim.State().ServerPort, 4430);
}

TEST_F(CommandsE2e, GuidsAndRsaParts) {
  EXPECT_EQ(driver->SetClientGuid(kGuid), 0);
  EXPECT_EQ(driver->SetSenderGuid("11111111-2222-3333-4444-555555555555"), 0);
  EXPECT_EQ(driver->SetReceiverGuid("aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee"), 0);
  const char* parts[] = {"PUBMOD", "PUBEXP", "PRTMOD", "PRTEXP", "PRTP", "PRTQ", "PRTDP", "PRTDQ", "PRTIQ", "PRTD"};
  int n = 0;
  for (const char* part : parts) EXPECT_EQ(driver->SetRsaPart(part, "ABCDEF0" + std::to_string(n++)), 0) << part;
  const auto s = sim.State();
  EXPECT_EQ(s.ClientGuid, kGuid);
  EXPECT_EQ(s.SenderGuid, "11111111-2222-3333-4444-555555555555");
  EXPECT_EQ(s.ReceiverGuid, "aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee");
  ASSERT_EQ(s.Rsa.size(), 10u);
  EXPECT_EQ(s.Rsa.at("PUBMOD"), "ABCDEF00");
  EXPECT_EQ(s.Rsa.at("PRTD"), "ABCDEF09");
}

TEST_F(CommandsE2e, ServerNameAndRetryCount) {
  std::string address, port, name;
  EXPECT_EQ(driver->GetServer(address, port), 8);
  EXPECT_EQ(address, "нет данных");
  ASSERT_EQ(driver->SetServer("pay.example.ru", 65535), 0);
  EXPECT_EQ(sim.State().ServerAddress, "pay.example.ru");
  EXPECT_EQ(sim.State().ServerPort, 65535);
  ASSERT_EQ(driver->GetServer(address, port), 0);
  EXPECT_EQ(address, "pay.example.ru");
  EXPECT_EQ(port, "65535");

  ASSERT_EQ(driver->SetServerName("Сервер платежей"), 0);
  EXPECT_EQ(sim.State().ServerName, "Сервер платежей");
  ASSERT_EQ(driver->GetServerName(name), 0);
  EXPECT_EQ(name, "Сервер платежей");

  int count = -1;
  EXPECT_EQ(driver->GetTryCount(count), 8);
  ASSERT_EQ(driver->SetTryCount(4), 0);
  EXPECT_EQ(sim.State().RetryCount, 4);
  ASSERT_EQ(driver->GetTryCount(count), 0);
  EXPECT_EQ(count, 4);
}

TEST_F(CommandsE2e, SimCardsWriteReadDelete) {
  TSimCardRec card;
  card.SlotNumber = 2;
  card.Enabled = true;
  card.Pin = "4321";
  card.Apn = "internet.мтс.ru";
  card.Login = "mts";
  card.Password = "пароль";
  card.Priority = true;
  ASSERT_EQ(driver->SetSimCard(card), 0);
  const auto slot = sim.State().Sims[1];
  EXPECT_TRUE(slot.Present && slot.Enabled && slot.Priority);
  EXPECT_EQ(slot.Pin, "4321");
  EXPECT_EQ(slot.Apn, "internet.мтс.ru");
  EXPECT_EQ(slot.Password, "пароль");

  TSimCardRec read;
  read.SlotNumber = 2;
  ASSERT_EQ(driver->GetSimCard(read), 0);
  EXPECT_EQ(read.Apn, card.Apn);
  EXPECT_EQ(read.Login, card.Login);
  EXPECT_EQ(read.Password, card.Password);
  EXPECT_TRUE(read.Enabled);
  EXPECT_TRUE(read.Priority);

  EXPECT_EQ(driver->DeleteSimCard(2), 0);
  EXPECT_FALSE(sim.State().Sims[1].Present);
  EXPECT_EQ(driver->GetSimCard(read), 8);
  EXPECT_EQ(read.Apn, "");
}

TEST_F(CommandsE2e, ReceiptLines) {
  std::string text = "caller";
  EXPECT_EQ(driver->GetHeaderLine(4, text), 8);
  EXPECT_EQ(text, "caller");
  ASSERT_EQ(driver->SetHeaderLine(4, "ООО «Ромашка», зал 2"), 0);
  ASSERT_EQ(driver->SetReklamLine(10, "Спасибо за покупку!"), 0);
  EXPECT_EQ(sim.State().Header[3], "ООО «Ромашка», зал 2");
  EXPECT_EQ(sim.State().Trailer[9], "Спасибо за покупку!");
  sim.Update([](sim::TSimState& s) { s.Header[0] = "Касса 1"; });
  ASSERT_EQ(driver->GetHeaderLine(1, text), 0);
  EXPECT_EQ(text, "Касса 1");
  ASSERT_EQ(driver->GetReklamLine(10, text), 0);
  EXPECT_EQ(text, "Спасибо за покупку!");
}

TEST_F(CommandsE2e, FeesAndSchemes) {
  ASSERT_EQ(driver->SetFee(3, 10, 500000, 2, 175), 0);
  ASSERT_EQ(driver->SetFeeScheme(3, 1), 0);
  const auto table = sim.State().Fees[2];
  ASSERT_TRUE(table.Rates[9].has_value());
  EXPECT_EQ(table.Rates[9]->MaxSum, 500000);
  EXPECT_EQ(table.Rates[9]->Type, 2);
  EXPECT_EQ(table.Rates[9]->Value, 175);
  EXPECT_EQ(table.Scheme, 1);
  int sum = 0, type = 0, value = 0, scheme = 0;
  ASSERT_EQ(driver->GetFee(3, 10, sum, type, value), 0);
  EXPECT_EQ(sum, 500000);
  EXPECT_EQ(type, 2);
  EXPECT_EQ(value, 175);
  ASSERT_EQ(driver->GetFeeScheme(3, scheme), 0);
  EXPECT_EQ(scheme, 1);
  EXPECT_EQ(driver->GetFee(3, 1, sum, type, value), 8);
}

TEST_F(CommandsE2e, ActivePaymentSystem) {
  ASSERT_EQ(driver->SetPaymentSystem(12), 0);
  EXPECT_EQ(sim.State().ActiveSystem, 12);
  int id = -5;
  ASSERT_EQ(driver->GetPaymentSystem(id), 0);
  EXPECT_EQ(id, 12);
  const int refused = driver->SetPaymentSystem(11);
  EXPECT_EQ(refused, 1);
  try {
    driver->CheckResultStrict(refused);
    ADD_FAILURE() << "refusal passed";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 1);
    EXPECT_STREQ(e.what(), "Ortena: Ошибка в переданных параметрах");
  }
  EXPECT_EQ(sim.State().ActiveSystem, 12);
}

TEST_F(CommandsE2e, PaymentSystemCredentials) {
  ASSERT_EQ(driver->SetCyberplatPoint("17033", "17034", "17035"), 0);
  ASSERT_EQ(driver->SetCyberplatSecretKey("0000000017033", "TEST KEY", "c2VjcmV0", "пароль"), 0);
  ASSERT_EQ(driver->SetCyberplatPublicKey("0000000017034", "BANK", "cHVibGlj"), 0);
  ASSERT_EQ(driver->SetEPortCard("1234567890", "0000"), 0);
  ASSERT_EQ(driver->SetEPortPoint("Точка 1"), 0);
  ASSERT_EQ(driver->SetXPlatCashier("P1", "cashier", "secret"), 0);
  ASSERT_EQ(driver->SetXPlatKey("xkey"), 0);
  ASSERT_EQ(driver->SetOsmpParams("osmp", "pw"), 0);
  ASSERT_EQ(driver->SetOsmpId("777"), 0);
  ASSERT_EQ(driver->SetKrasplatDeviceNumber("42"), 0);
  ASSERT_EQ(driver->SetBercutDeviceId("B-1"), 0);
  ASSERT_EQ(driver->SetAgentId(TAgentSystem::Absolutplat, "AA"), 0);
  ASSERT_EQ(driver->SetDeviceId(TAgentSystem::Absolutplat, "AD"), 0);
  ASSERT_EQ(driver->SetAgentId(TAgentSystem::Eurofon, "EA"), 0);
  ASSERT_EQ(driver->SetDeviceId(TAgentSystem::Eurofon, "ED"), 0);
  ASSERT_EQ(driver->SetAgentId(TAgentSystem::UbsPay, "UA"), 0);
  ASSERT_EQ(driver->SetDeviceId(TAgentSystem::UbsPay, "UD"), 0);
  ASSERT_EQ(driver->SetUbsPayUrl("https://ubs.example.ru/pay?x=1"), 0);
  const auto c = sim.State().Credentials;
  const std::vector<std::pair<const char*, std::string>> expected = {
      {sim::cred::kCyberSD, "17033"},        {sim::cred::kCyberAP, "17034"},
      {sim::cred::kCyberOP, "17035"},        {sim::cred::kSecKeyCode, "0000000017033"},
      {sim::cred::kSecKeyRest, "TEST KEY"},  {sim::cred::kSecKey, "c2VjcmV0"},
      {sim::cred::kSecPassword, "пароль"},   {sim::cred::kPubKeyCode, "0000000017034"},
      {sim::cred::kPubKeyRest, "BANK"},      {sim::cred::kPubKey, "cHVibGlj"},
      {sim::cred::kEPortCardNumber, "1234567890"}, {sim::cred::kEPortCardPin, "0000"},
      {sim::cred::kEPortPoint, "Точка 1"},   {sim::cred::kXPlatPoint, "P1"},
      {sim::cred::kXPlatLogin, "cashier"},   {sim::cred::kXPlatPassword, "secret"},
      {sim::cred::kXPlatKey, "xkey"},        {sim::cred::kOsmpLogin, "osmp"},
      {sim::cred::kOsmpPassword, "pw"},      {sim::cred::kOsmpTerminalId, "777"},
      {sim::cred::kKrasplatDeviceId, "42"},  {sim::cred::kBercutDeviceId, "B-1"},
      {sim::cred::kAbsolutplatAgentId, "AA"}, {sim::cred::kAbsolutplatDeviceId, "AD"},
      {sim::cred::kEurofonAgentId, "EA"},    {sim::cred::kEurofonDeviceId, "ED"},
      {sim::cred::kUbsPayAgentId, "UA"},     {sim::cred::kUbsPayDeviceId, "UD"},
      {sim::cred::kUbsPayUrl, "https://ubs.example.ru/pay?x=1"},
  };
  for (const auto& [key, value] : expected) {
    auto it = c.find(key);
    ASSERT_NE(it, c.end()) << key;
    EXPECT_EQ(it->second, value) << key;
  }
  // the ids read back, each system its own
  sim.Update([](sim::TSimState& s) { s.Credentials[sim::cred::kEurofonAgentId] = "агент"; });
  const std::vector<std::tuple<TAgentSystem, bool, std::string>> reads = {
      {TAgentSystem::Absolutplat, true, "AA"}, {TAgentSystem::Absolutplat, false, "AD"},
      {TAgentSystem::Eurofon, true, "агент"},  {TAgentSystem::Eurofon, false, "ED"},
      {TAgentSystem::UbsPay, true, "UA"},      {TAgentSystem::UbsPay, false, "UD"},
  };
  for (const auto& [system, agent, value] : reads) {
    std::string got;
    ASSERT_EQ(agent ? driver->GetAgentId(system, got) : driver->GetDeviceId(system, got), 0) << value;
    EXPECT_EQ(got, value);
  }
}
