#include "Cp1251.h"
#include "DriverFixture.h"
#include "Errors.h"

#include <gtest/gtest.h>

#include <functional>

using namespace quorvel;
using namespace quorvel::test;

namespace {

constexpr const char* kGuid = "6F9619FF-8B86-D011-B42D-00C04FC964FF";

// One operation and the line the terminal must see: name, form, the parameters (sequenced:
// between the number and the checksum; plain: everything after "="), and the progress text.
struct WireRow {
  const char* label;
  std::function<void(TModemDriver&)> call;
  const char* name;
  bool sequenced;
  std::string params;  // UTF-8; converted to windows-1251 for the comparison
  const char* progress;
};

std::vector<WireRow> WireRows() {
  std::string s;
  int i = 0;
  TSimCardRec sim;
  sim.SlotNumber = 2;
  sim.Enabled = true;
  sim.Pin = "1234";
  sim.Apn = "internet.beeline.ru";
  sim.Login = "beeline";
  sim.Password = "пароль";
  sim.Priority = false;
  TDeviceStateRec state;
  return {
      {"SMSN read", [s](TModemDriver& d) mutable { d.GetSerialNumber(s); }, "SMSN", true, "", "Запрос серийного номера"},
      {"SMSN write", [](TModemDriver& d) { d.SetSerialNumber("00012345"); }, "SMSN", true, "00012345,",
       "Запись серийного номера"},
      {"WDWL?", [s](TModemDriver& d) mutable { d.GetLoaderVersion(s); }, "WDWL?", false, "", "Запрос версии загрузчика"},
      {"CGMI", [s](TModemDriver& d) mutable { d.GetManufacturer(s); }, "CGMI", false, "",
       "Запрос названия производителя"},
      {"CGMM", [s](TModemDriver& d) mutable { d.GetModel(s); }, "CGMM", false, "", "Запрос названия модели"},
      {"CGMR", [s](TModemDriver& d) mutable { d.GetModelVersion(s); }, "CGMR", false, "", "Запрос версии модели"},
      {"CGSN", [s](TModemDriver& d) mutable { d.GetModemSerialNumber(s); }, "CGSN", false, "",
       "Запрос серийного номера модема"},
      {"CCLK?", [s](TModemDriver& d) mutable { d.GetDateTime(s); }, "CCLK?", false, "", "Запрос даты и времени"},
      {"WDOP", [s](TModemDriver& d) mutable { d.GetProductionDate(s); }, "WDOP", false, "", "Запрос даты выпуска"},
      {"SMSNTERM", [s](TModemDriver& d) mutable { d.GetTerminalNumber(s); }, "SMSNTERM", true, "",
       "Запрос номера терминала"},
      {"SMSTATE", [state](TModemDriver& d) mutable { d.GetDeviceState(state); }, "SMSTATE", true, "",
       "Запрос состояния модема"},
      {"SMBACKLOAD", [](TModemDriver& d) { d.RestoreBackup(); }, "SMBACKLOAD", true, "",
       "Восстановление текущих настроек из резервной копии"},
      {"GUID client", [](TModemDriver& d) { d.SetClientGuid(kGuid); }, "SMGUID", true,
       std::string("\"CLIENT\",\"") + kGuid + "\",", "Запись GUID клиента"},
      {"GUID sender", [](TModemDriver& d) { d.SetSenderGuid("6f9619ff-8b86-d011-b42d-00c04fc964ff"); }, "SMGUID",
       true, "\"SENDER\",\"6f9619ff-8b86-d011-b42d-00c04fc964ff\",", "Запись GUID отправителя"},
      {"GUID receiver", [](TModemDriver& d) { d.SetReceiverGuid(kGuid); }, "SMGUID", true,
       std::string("\"RECEIVER\",\"") + kGuid + "\",", "Запись GUID получателя"},
      {"SMRSA", [](TModemDriver& d) { d.SetRsaPart("PUBEXP", "010001"); }, "SMRSA", true, "\"PUBEXP\",\"010001\",",
       "Запись ключа RSA"},
      {"SMSERV write", [](TModemDriver& d) { d.SetServer("pay.example.ru", 65535); }, "SMSERV", true,
       "\"pay.example.ru\",65535,", "Запись параметров сервера"},
      {"SMSERV read", [s](TModemDriver& d) mutable { d.GetServer(s, s); }, "SMSERV", true, "",
       "Запрос параметров сервера"},
      {"SMSERVERNAME read", [s](TModemDriver& d) mutable { d.GetServerName(s); }, "SMSERVERNAME", true, "1,",
       "Чтение адреса сервера"},
      {"SMSERVERNAME write", [](TModemDriver& d) { d.SetServerName("Сервер 1"); }, "SMSERVERNAME", true,
       "2,\"Сервер 1\",", "Запись адреса сервера"},
      {"SMTRYCOUNT?", [i](TModemDriver& d) mutable { d.GetTryCount(i); }, "SMTRYCOUNT?", false, "",
       "Получение количества повторов"},
      {"SMTRYCOUNT", [](TModemDriver& d) { d.SetTryCount(3); }, "SMTRYCOUNT", false, "3", "Запись количества повторов"},
      {"SIM write", [sim](TModemDriver& d) { d.SetSimCard(sim); }, "SMSIMSETUP", true,
       "2,1,1234,\"internet.beeline.ru\",\"beeline\",\"пароль\",0,", "Запись параметров SIM-карты"},
      {"SIM delete", [](TModemDriver& d) { d.DeleteSimCard(1); }, "SMSIMSETUP", true, "1,2,", "Удаление SIM-карты"},
      {"SIM read", [sim](TModemDriver& d) mutable { d.GetSimCard(sim); }, "SMSIMSETUP", true, "2,",
       "Запрос параметров SIM-карты"},
      {"header read", [s](TModemDriver& d) mutable { d.GetHeaderLine(3, s); }, "SMHEADER", true, "3,",
       "Чтение строки клише"},
      {"header write", [](TModemDriver& d) { d.SetHeaderLine(10, "ООО «Ромашка», касса"); }, "SMHEADER", true,
       "10,\"ООО «Ромашка», касса\",", "Запись строки клише"},
      {"reklam read", [s](TModemDriver& d) mutable { d.GetReklamLine(1, s); }, "SMREKLAM", true, "1,",
       "Чтение строки рекламного текста"},
      {"reklam write", [](TModemDriver& d) { d.SetReklamLine(2, ""); }, "SMREKLAM", true, "2,\"\",",
       "Запись строки рекламного текста"},
      {"fee write", [](TModemDriver& d) { d.SetFee(4, 10, 100000, 2, -150); }, "SMFEE", true, "1,4,10,100000,2,-150,",
       "Запись ставки комиссии"},
      {"fee read", [i](TModemDriver& d) mutable { d.GetFee(4, 1, i, i, i); }, "SMFEE", true, "0,4,1,",
       "Чтение ставки комиссии"},
      {"scheme write", [](TModemDriver& d) { d.SetFeeScheme(2, 1); }, "SMFEESCHEME", true, "2,1,",
       "Запись схемы комиссий"},
      {"scheme read", [i](TModemDriver& d) mutable { d.GetFeeScheme(2, i); }, "SMFEESCHEME", true, "2,",
       "Чтение схемы комиссий"},
      {"GLOBALOP?", [i](TModemDriver& d) mutable { d.GetPaymentSystem(i); }, "GLOBALOP?", false, "",
       "Запрос активной платежной системы"},
      {"GLOBALOP", [](TModemDriver& d) { d.SetPaymentSystem(12); }, "GLOBALOP", false, "12",
       "Установка активной платежной системы"},
      {"cyber point", [](TModemDriver& d) { d.SetCyberplatPoint("17033", "17034", "17035"); }, "SMCRSALEPOINT", true,
       "17033,17034,17035,", "Запись параметров точки CyberPlat"},
      {"cyber secret", [](TModemDriver& d) { d.SetCyberplatSecretKey("0000000017033", "TEST", "KEYBODY", "1111111111"); },
       "SMCRSECSET", true, "\"0000000017033\",TEST,\"KEYBODY\",\"1111111111\",", "Запись секретного ключа CyberPlat"},
      {"cyber public", [](TModemDriver& d) { d.SetCyberplatPublicKey("0000000017033", "BANK", "PUB"); }, "SMCRPUBSET",
       true, "\"0000000017033\",BANK,\"PUB\",", "Запись открытого ключа CyberPlat"},
      {"EPCARD", [](TModemDriver& d) { d.SetEPortCard("9999", "0000"); }, "EPCARD", true, "\"9999\",\"0000\",",
       "Запись параметров карты e-port"},
      {"EPPOINT", [](TModemDriver& d) { d.SetEPortPoint("Точка"); }, "EPPOINT", true, "\"Точка\",",
       "Запись названия точки e-port"},
      {"XPCASSIR", [](TModemDriver& d) { d.SetXPlatCashier("p", "l", "w"); }, "XPCASSIR", true, "\"p\",\"l\",\"w\",",
       "Запись параметров точки X-Plat"},
      {"XPKEY", [](TModemDriver& d) { d.SetXPlatKey("k"); }, "XPKEY", true, "\"k\",", "Запись секретного ключа X-Plat"},
      {"OSMPPARAMS", [](TModemDriver& d) { d.SetOsmpParams("login", "pw"); }, "OSMPPARAMS", true, "\"login\",\"pw\",",
       "Запись логина и пароля ОСМП"},
      {"OSMPID", [](TModemDriver& d) { d.SetOsmpId("777"); }, "OSMPID", true, "\"777\",", "Запись номера терминала ОСМП"},
      {"easypay key", [](TModemDriver& d) { d.SendKeyFilePacket(TKeyFile::EasyPayKey, 1, "QUJD"); }, "SMEASYPAY", true,
       "1,1,\"QUJD\",", "Запись ключа системы \"Легко и удобно\""},
      {"easypay cert", [](TModemDriver& d) { d.SendKeyFilePacket(TKeyFile::EasyPayCertificate, 2, ""); }, "SMEASYPAY",
       true, "2,2,\"\",", "Запись сертификата системы \"Легко и удобно\""},
      {"krasplat key", [](TModemDriver& d) { d.SendKeyFilePacket(TKeyFile::KrasplatKey, 3, "x"); }, "SMKRASPLAT", true,
       "1,3,\"x\",", "Запись ключа системы \"ПлатеЖКа\""},
      {"krasplat cert", [](TModemDriver& d) { d.SendKeyFilePacket(TKeyFile::KrasplatCertificate, 1, "x"); },
       "SMKRASPLAT", true, "2,1,\"x\",", "Запись сертификата системы \"ПлатеЖКа\""},
      {"krasplat word", [](TModemDriver& d) { d.SendKeyFilePacket(TKeyFile::KrasplatCodeWord, 1, "x"); }, "SMKRASPLAT",
       true, "3,1,\"x\",", "Запись кодового слова системы \"ПлатеЖКа\""},
      {"krasplat device", [](TModemDriver& d) { d.SetKrasplatDeviceNumber("42"); }, "SMKRASPLAT", true, "4,0,\"42\",",
       "Запись номера устройства системы \"ПлатеЖКа\""},
      {"bercut", [](TModemDriver& d) { d.SetBercutDeviceId("B1"); }, "SMBERCUT", true, "2,\"B1\",",
       "BERCUT: запись ID устройства"},
      {"absolut agent", [](TModemDriver& d) { d.SetAgentId(TAgentSystem::Absolutplat, "A"); }, "SMABSOLUTPLAT", true,
       "1,\"A\",", "ABSOLUTPLAT: запись ID агента"},
      {"absolut device", [](TModemDriver& d) { d.SetDeviceId(TAgentSystem::Absolutplat, "D"); }, "SMABSOLUTPLAT", true,
       "2,\"D\",", "ABSOLUTPLAT: запись ID устройства"},
      {"absolut word", [](TModemDriver& d) { d.SendKeyFilePacket(TKeyFile::AbsolutplatCodeWord, 1, "w"); },
       "SMABSOLUTPLAT", true, "3,1,\"w\",", "ABSOLUTPLAT: запись кодового слова"},
      {"absolut agent read", [s](TModemDriver& d) mutable { d.GetAgentId(TAgentSystem::Absolutplat, s); },
       "SMABSOLUTPLAT", true, "4,", "ABSOLUTPLAT: чтение ID агента"},
      {"absolut device read", [s](TModemDriver& d) mutable { d.GetDeviceId(TAgentSystem::Absolutplat, s); },
       "SMABSOLUTPLAT", true, "5,", "ABSOLUTPLAT: чтение ID устройства"},
      {"eurofon agent", [](TModemDriver& d) { d.SetAgentId(TAgentSystem::Eurofon, "A"); }, "SMEUROFON", true, "1,\"A\",",
       "EUROFON: запись ID агента"},
      {"eurofon device", [](TModemDriver& d) { d.SetDeviceId(TAgentSystem::Eurofon, "D"); }, "SMEUROFON", true,
       "2,\"D\",", "EUROFON: запись ID устройства"},
      {"eurofon word", [](TModemDriver& d) { d.SendKeyFilePacket(TKeyFile::EurofonCodeWord, 2, "w"); }, "SMEUROFON",
       true, "3,2,\"w\",", "EUROFON: запись кодового слова"},
      {"eurofon agent read", [s](TModemDriver& d) mutable { d.GetAgentId(TAgentSystem::Eurofon, s); }, "SMEUROFON",
       true, "4,", "EUROFON: чтение ID агента"},
      {"eurofon device read", [s](TModemDriver& d) mutable { d.GetDeviceId(TAgentSystem::Eurofon, s); }, "SMEUROFON",
       true, "5,", "EUROFON: чтение ID устройства"},
      {"ubs agent", [](TModemDriver& d) { d.SetAgentId(TAgentSystem::UbsPay, "A"); }, "SMSPB", true, "1,\"A\",",
       "ОБС: запись ID агента"},
      {"ubs device", [](TModemDriver& d) { d.SetDeviceId(TAgentSystem::UbsPay, "D"); }, "SMSPB", true, "2,\"D\",",
       "ОБС: запись ID устройства"},
      {"ubs url", [](TModemDriver& d) { d.SetUbsPayUrl("https://x/y?a=1"); }, "SMSPB", true, "3,\"https://x/y?a=1\",",
       "ОБС: запись URL"},
      {"ubs agent read", [s](TModemDriver& d) mutable { d.GetAgentId(TAgentSystem::UbsPay, s); }, "SMSPB", true, "4,",
       "ОБС: чтение ID агента"},
      {"ubs device read", [s](TModemDriver& d) mutable { d.GetDeviceId(TAgentSystem::UbsPay, s); }, "SMSPB", true, "5,",
       "ОБС: чтение ID устройства"},
      {"script write", [](TModemDriver& d) { d.WriteScriptPacket(7, 2, "\xEC\xE0\xEC\xE0"); }, "SMSCRIPT", true,
       "1,7,2,\"мама\",", "Запись сценария ввода 7"},
      {"script read", [s](TModemDriver& d) mutable { d.ReadScriptPacket(7, 1, s); }, "SMSCRIPT", true, "2,7,1,",
       "Чтение сценария ввода 7"},
      {"xml save", [](TModemDriver& d) { d.SaveDataPacket(TDataFile::Xml, 3, std::string("\x00\xFFz", 3)); },
       "SAVEXML", true, "3,3,\"00FF7A\",", "Запись данных XML файла, пакет 3"},
      {"xml load", [s](TModemDriver& d) mutable { d.LoadDataPacket(TDataFile::Xml, 5, s); }, "LOADXML", true, "5,",
       "Чтение данных XML файла, пакет 5"},
      {"phones save", [](TModemDriver& d) { d.SaveDataPacket(TDataFile::PhoneBase, 0, ""); }, "SAVEPHONEBASE", true,
       "0,0,\"\",", "Запись данных базы номеров, пакет 0"},
      {"phones load", [s](TModemDriver& d) mutable { d.LoadDataPacket(TDataFile::PhoneBase, 1, s); }, "LOADPHONEBASE",
       true, "1,", "Чтение данных базы номеров, пакет 1"},
  };
}

}  // namespace

TEST(CommandWirePty, EveryOperationSendsItsLineAndShowsItsProgressText) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  std::size_t seen = 0;
  for (const WireRow& row : WireRows()) {
    SCOPED_TRACE(row.label);
    try {
      row.call(*fx.driver);
    } catch (const Exception&) {
      // reads of an empty answer may raise their index errors; the line is what counts here
    }
    auto lines = WaitForLines(terminal, seen + 1);
    ASSERT_EQ(lines.size(), seen + 1);
    const TWireLine& line = lines[seen++];
    EXPECT_EQ(line.Name, row.name);
    if (row.sequenced) {
      EXPECT_TRUE(line.CrcOk) << line.Raw;
      EXPECT_EQ(line.Params, Utf8ToCp1251(row.params)) << line.Raw;
    } else {
      EXPECT_EQ(line.SeqNo, -1) << line.Raw;
      EXPECT_EQ(line.Args, Utf8ToCp1251(row.params)) << line.Raw;
      EXPECT_EQ(line.Raw.find('='), row.params.empty() ? std::string::npos : line.Name.size() + 3) << line.Raw;
    }
    EXPECT_EQ(fx.driver->Status().Text(), std::string(row.progress) + "...");
  }
}

TEST(CommandWirePty, BadInputRaisesBeforeAnythingIsSent) {
  DriverOnPty fx;
  ScriptedTerminal terminal(fx.pty, AcceptAll);
  try {
    fx.driver->SetClientGuid("{" + std::string(kGuid) + "}");
    ADD_FAILURE() << "braces accepted";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Неверное значение GUID");
  }
  EXPECT_THROW(fx.driver->SetHeaderLine(1, "€ и ₽"), EEncodingError);  // ₽ is not in windows-1251
  EXPECT_THROW(fx.driver->SetSerialNumber("日本"), EEncodingError);
  EXPECT_THROW(fx.driver->WriteScript(1, "PRINT \"ok\" ₽"), EEncodingError);
  EXPECT_EQ(fx.driver->RestoreBackup(), 0);  // the first line to arrive is this one
  auto lines = WaitForLines(terminal, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Name, "SMBACKLOAD");
}
