// Profiles as files and as the document's settings, and the per-terminal values tables that
// are checked before a bench touches any terminal.
#include "AppDoc.h"
#include "Base64.h"
#include "BenchRun.h"
#include "BenchValues.h"
#include "EasyPay.h"
#include "ErrorOf.h"
#include "MasterPort.h"
#include "Money.h"
#include "OSMP.h"
#include "PrivateKey.h"
#include "Profile.h"
#include "ProfileDocument.h"
#include "ProfileTransfer.h"
#include "TempDir.h"
#include "TextUtils.h"
#include "XPlat.h"

#include <gtest/gtest.h>

#include <fstream>

namespace quorvel {
namespace {

using test::ErrorOf;

TEST(Profile, CredentialsKeepWhatTheDocumentNeverStoresAndFirmwareKeepsItsBytes) {
  TProfile profile;
  profile.SetActiveSystem(4);  // OSMP
  auto& osmp = dynamic_cast<TOSMP&>(profile.System());
  osmp.Login = "cashier";
  osmp.Password = "pa\"ss<word>";
  osmp.TerminalID = "1234567";
  profile.Firmware = ":00000001FF\r\n";
  profile.Groups = {TProfileGroup::Credentials, TProfileGroup::Firmware, TProfileGroup::Paysys};

  TProfile read;
  read.LoadFromText(profile.SaveToText(), "p.xml");
  EXPECT_EQ(read.Groups, profile.Groups);
  const auto& back = dynamic_cast<TOSMP&>(read.System());
  EXPECT_EQ(back.Password, osmp.Password);
  EXPECT_EQ(back.TerminalID, "1234567");
  EXPECT_EQ(read.Firmware, profile.Firmware);

  // A system whose page sends files carries their contents, bytes as they are.
  TProfile easyPay;
  easyPay.SetActiveSystem(5);
  easyPay.Files.Key = std::string("key\0\xFF\r\n", 7);
  easyPay.Files.Certificate = "cert";
  easyPay.Groups = {TProfileGroup::Credentials};
  TProfile easyBack;
  easyBack.LoadFromText(easyPay.SaveToText(), "e.xml");
  EXPECT_EQ(easyBack.Files.Key, easyPay.Files.Key);
  EXPECT_EQ(easyBack.Files.Certificate, "cert");
  EXPECT_EQ(easyBack.Files.CodeWord, "");
}

TEST(ProfileDocument, SettingsGoThroughAProfileIntoAnotherDocumentAndKeyFilesAreRead) {
  test::TempDir dir;
  TAppDoc from(dir.File("a/Quorvel.xml"));
  from.SaveOnDestroy = false;
  from.PaymentSystems().ActiveSystemID = 5;  // EasyPay
  std::ofstream(dir.File("key.pem")) << "KEY";
  std::ofstream(dir.File("cert.pem")) << "CERT";
  from.EasyPay().KeyFileName = dir.File("key.pem");
  from.EasyPay().CerFileName = dir.File("cert.pem");
  from.EasyPay().ServerParams().Address = "10.1.2.3";
  from.SimCards().FindSlot(1).Apn = "internet.client";
  from.FeeTables().Items(3).Fees().Add().SetValues(0, Money::FromKopecks(100000), 2.5);
  from.Header = "Магазин\r\n";

  TProfile profile;
  ProfileFromDocument(from, ParseProfileGroups(""), profile);
  // The document holds no provider file or phone base, and no firmware without a HEX file.
  EXPECT_EQ(profile.Groups.count(TProfileGroup::XmlData), 0u);
  EXPECT_EQ(profile.Groups.count(TProfileGroup::Firmware), 0u);
  EXPECT_EQ(profile.Files.Key, "KEY");
  EXPECT_EQ(profile.Files.Certificate, "CERT");

  TProfile loaded;
  loaded.LoadFromText(profile.SaveToText(), "p.xml");
  TAppDoc to(dir.File("b/Quorvel.xml"));
  to.SaveOnDestroy = false;
  ProfileToDocument(loaded, to);
  EXPECT_EQ(to.PaymentSystems().ActiveSystemID, 5);
  EXPECT_EQ(to.EasyPay().ServerParams().Address, "10.1.2.3");
  EXPECT_EQ(to.EasyPay().KeyFileName, dir.File("key.pem"));
  EXPECT_EQ(to.SimCards().FindSlot(1).Apn, "internet.client");
  ASSERT_EQ(to.FeeTables().Items(3).Fees().Count(), 1);
  EXPECT_DOUBLE_EQ(to.FeeTables().Items(3).Fees().Items(0).FeeValue, 2.5);
  EXPECT_EQ(to.Header, "Магазин\r\n");

  // A key file that has gone is an error; one not chosen yet leaves the other groups
  // savable, and the profile's check refuses the credentials before any terminal.
  from.EasyPay().KeyFileName = dir.File("gone.pem");
  TProfile failed;
  EXPECT_NE(ErrorOf([&] { ProfileFromDocument(from, {TProfileGroup::Credentials}, failed); }), "");
  from.EasyPay().KeyFileName.clear();
  TProfile partial;
  ProfileFromDocument(from, ParseProfileGroups(""), partial);
  EXPECT_EQ(partial.Files.Certificate, "CERT");
  EXPECT_EQ(ErrorOf([&] { CheckProfileGroups(partial, {TProfileGroup::Sim}); }), "");
  EXPECT_EQ(ErrorOf([&] { CheckProfileGroups(partial, partial.Groups); }),
            "credentials: в профиле нет файла ключа");
}

TEST(BenchValues, ATableIsRefusedWholeForAnyFaultNamingItsLine) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"factory_number,colour\n1,red\n", "строка 1: неизвестный столбец \"colour\""},
      {"serial,serial\n12345678,1\n", "строка 1: столбец \"serial\" назван дважды"},
      {"serial\n12345678\n12345678\n", "строка 3: значение \"12345678\" столбца serial уже есть в строке 2"},
      {"factory_number,serial\n1,12345678\n2\n", "строка 3: полей 1, а в заголовке 2"},
      {"factory_number,serial\n1,1234\n", "строка 2: Серийный номер должен состоять из восьми цифр"},
      {"factory_number,device_id\n1,D1\n\n2,D1\n",
       "строка 4: значение \"D1\" столбца device_id уже есть в строке 2"},
      {"factory_number,server_port\n1,80a\n", "строка 2: порт сервера \"80a\" не число"},
  };
  for (const auto& c : cases)
    EXPECT_NE(ErrorOf([&] { TBenchValues::Parse(c.text, "v.csv", TValueKey::FactoryNumber); }).find(c.error),
              std::string::npos)
        << c.text;

  // A table keyed by port must have the column; one naming no terminal is handed out in order.
  EXPECT_NE(ErrorOf([] { TBenchValues::Parse("serial\n12345678\n", "v.csv", TValueKey::Port); })
                .find("строка 1: нет столбца \"port\""),
            std::string::npos);
  EXPECT_EQ(TBenchValues::Parse("serial\n12345678\n", "v.csv", TValueKey::FactoryNumber).Key(), TValueKey::None);

  // Quoted fields keep commas and doubled quotes; CR LF lines are lines.
  const TBenchValues table = TBenchValues::Parse(
      "port,sim_apn,sim_password\r\n/dev/ttyUSB0,\"a,b\",\"x\"\"y\"\r\n", "v.csv", TValueKey::Port);
  const TValueRow* row = table.Find("/dev/ttyUSB0");
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->at("sim_apn"), "a,b");
  EXPECT_EQ(row->at("sim_password"), "x\"y");
  EXPECT_EQ(table.Find("/dev/ttyUSB1"), nullptr);
}

// A bench over ports that are never opened: constructing the run is the check before any terminal.
TBenchPlan PlanOf(const TProfile& profile, const std::string& csv) {
  TBenchPlan p;
  p.ProfileText = profile.SaveToText();
  p.ProfileName = "p.xml";
  p.Groups = ParseProfileGroups("");
  p.Ports = {"/dev/null-port-never-opened"};
  p.Values =
      std::make_shared<const TBenchValues>(TBenchValues::Parse(csv, "v.csv", TValueKey::FactoryNumber));
  return p;
}

TEST(BenchValues, ARowIsCheckedAgainstTheProfileBeforeAnyTerminalIsTouched) {
  TProfile profile;
  profile.SetActiveSystem(4);  // OSMP
  profile.SimCards.FindSlot(1).Enabled = true;
  profile.SimCards.FindSlot(1).Apn = "internet";
  profile.SimCards.FindSlot(1).Pin = "0000";
  profile.Groups = {TProfileGroup::Sim, TProfileGroup::Credentials};
  const auto plan = [&](const std::string& csv) { return PlanOf(profile, csv); };
  // A PIN of the third line that no terminal would take stops the run before it starts.
  EXPECT_NE(ErrorOf([&] {
              TBenchRun run(plan("factory_number,sim_pin\n1,1234\n2,12\n"));
            }).find("Файл значений v.csv, строка 3: sim: PIN-код SIM-карты должен состоять из четырех цифр"),
            std::string::npos);
  // A value for a system that is not the profile's.
  EXPECT_NE(ErrorOf([&] {
              TBenchRun run(plan("factory_number,agent_id\n1,A\n"));
            }).find("столбец agent_id не относится к платежной системе"),
            std::string::npos);
  EXPECT_EQ(ErrorOf([&] { TBenchRun run(plan("factory_number,terminal_id,password\n1,77,secret\n")); }), "");
  // An empty identifier of a row never falls back to the profile's own.
  dynamic_cast<TOSMP&>(profile.System()).TerminalID = "76";
  EXPECT_NE(ErrorOf([&] { TBenchRun run(plan("factory_number,terminal_id\n1,75\n2,\n")); })
                .find("строка 3: столбец terminal_id пуст"),
            std::string::npos);
  dynamic_cast<TOSMP&>(profile.System()).TerminalID.clear();

  // A terminal's own identifier never goes to two terminals: neither from the profile itself
  // to every port, nor from the profile to every row that does not name its own.
  dynamic_cast<TOSMP&>(profile.System()).TerminalID = "77";
  TBenchPlan shared = plan("factory_number\n1\n");
  shared.Values = nullptr;
  shared.Ports.push_back("/dev/another-port-never-opened");
  EXPECT_NE(ErrorOf([&] {
              TBenchRun run(std::move(shared));
            }).find("значение \"77\" (terminal_id) получил бы каждый"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] {
              TBenchRun run(plan("factory_number,sim_pin\n1,1234\n2,4321\n"));
            }).find("строка 3: credentials: значение \"77\" (terminal_id) уже получает терминал строки 2"),
            std::string::npos);
  EXPECT_EQ(ErrorOf([&] { TBenchRun run(plan("factory_number,terminal_id\n1,78\n2,79\n")); }), "");
}

// MasterPort's identity per terminal, its key as a PEM file per row: the key read is the one
// openssl wrote, and two files holding one key are one key for two terminals.
TEST(BenchValues, AMasterPortKeyOfTheTableGoesToOneTerminalOnly) {
  if (!test::HaveProgram("openssl")) GTEST_SKIP() << "openssl is not installed";
  test::TempDir dir;
  const std::string first = dir.File("first.pem");
  const std::string second = dir.File("second.pem");
  const std::string copy = dir.File("copy.pem");
  for (const std::string& pem : {first, second})
    test::RunCommand("openssl genrsa -traditional -out '" + pem + "' 1024 2>/dev/null");
  test::RunCommand("cp '" + first + "' '" + copy + "'");
  TProfile profile;
  profile.SetActiveSystem(0);  // MasterPort
  dynamic_cast<TMasterPortProtocol&>(profile.System()).ReceiverID = "00000000-0000-0000-0000-0000000000AA";
  profile.Groups = {TProfileGroup::Credentials};
  const auto csv = [&](const std::string& firstKey, const std::string& secondKey) {
    return "factory_number,serial,application_id,sender_id,private_key\n"
           "1,10000001,00000000-0000-0000-0000-000000000001,00000000-0000-0000-0000-000000000011," +
           firstKey +
           "\n"
           "2,10000002,00000000-0000-0000-0000-000000000002,00000000-0000-0000-0000-000000000012," +
           secondKey + "\n";
  };

  const TBenchValues values = TBenchValues::Parse(csv(first, second), "v.csv", TValueKey::FactoryNumber);
  TProfile applied;
  applied.LoadFromText(profile.SaveToText(), "p.xml");
  ApplyValues(values.Rows()[1], applied);
  EXPECT_EQ("Modulus=" +
                StrToHex(Base64Decode(
                    dynamic_cast<TMasterPortProtocol&>(applied.System()).ApplicationPrivateKey.Modulus)) +
                "\n",
            test::RunCommand("openssl rsa -in '" + second + "' -noout -modulus 2>/dev/null"));
  EXPECT_EQ(ErrorOf([&] { TBenchRun run(PlanOf(profile, csv(first, second))); }), "");

  EXPECT_NE(ErrorOf([&] { TBenchRun run(PlanOf(profile, csv(first, copy))); })
                .find("строка 3: credentials: значение \"" + copy +
                      "\" (private_key) уже получает терминал строки 2"),
            std::string::npos);
  const std::string gone = ErrorOf([&] { TBenchRun run(PlanOf(profile, csv(first, dir.File("gone.pem")))); });
  EXPECT_EQ(gone.rfind("Файл значений v.csv, строка 3: ", 0), 0u) << gone;
  EXPECT_NE(gone.find("gone.pem"), std::string::npos) << gone;
}

}  // namespace
}  // namespace quorvel
