#include "Errors.h"
#include "RandomBytes.h"
#include "SimFixture.h"
#include "TextUtils.h"

#include <random>

using namespace quorvel;
using namespace quorvel::test;

namespace {

class TransfersE2e : public SimTest {};

using quorvel::test::RandomBytes;

}  // namespace

TEST_F(TransfersE2e, DataFilesRoundTrip) {
  // 700 bytes with every byte value: 0xFF and control bytes must survive the wire
  const std::string xml = RandomBytes(700, 11);
  const std::string phones = RandomBytes(512, 12);  // a whole number of packets
  driver->WriteDataFile(TDataFile::Xml, xml);
  driver->WriteDataFile(TDataFile::PhoneBase, phones);
  const auto state = sim.State();
  ASSERT_TRUE(state.XmlData && state.PhoneBase);
  EXPECT_EQ(*state.XmlData, xml);
  EXPECT_EQ(*state.PhoneBase, phones);
  EXPECT_EQ(driver->ReadDataFile(TDataFile::Xml), xml);
  EXPECT_EQ(driver->ReadDataFile(TDataFile::PhoneBase), phones);

  driver->WriteDataFile(TDataFile::Xml, "");
  EXPECT_EQ(sim.State().XmlData, std::string());
  EXPECT_EQ(driver->ReadDataFile(TDataFile::Xml), "");
}

TEST_F(TransfersE2e, ScriptsRoundTripStripped) {
  std::string source = "// заголовок\r\nINPUT 'Номер телефона' // comment\r\n";
  for (int i = 0; i < 40; ++i) source += "PRINT строка " + std::to_string(i) + ";\r\n";
  driver->WriteScript(5, source);
  const std::string stripped = Cp1251ToUtf8(StripScriptText(Utf8ToCp1251(source)));
  EXPECT_GT(Utf8Length(stripped), 600u);  // more than two packets
  EXPECT_EQ(sim::ScriptText(sim.State(), 5), stripped);
  EXPECT_EQ(driver->ReadScript(5), stripped);

  EXPECT_EQ(driver->ReadScript(6), "");  // no such script: code 8 ends the read
  // quotes and commas of a stored script come back as they are
  sim.Update([](sim::TSimState& s) { sim::SetScriptText(s, 6, "ВВОД \"Сумма, руб\";"); });
  EXPECT_EQ(driver->ReadScript(6), "ВВОД \"Сумма, руб\";");
}

TEST_F(TransfersE2e, KeyFilesArriveDecoded) {
  const std::vector<std::pair<TKeyFile, const char*>> rows = {
      {TKeyFile::EasyPayKey, sim::files::kEasyPayKey},
      {TKeyFile::EasyPayCertificate, sim::files::kEasyPayCertificate},
      {TKeyFile::KrasplatKey, sim::files::kKrasplatKey},
      {TKeyFile::KrasplatCertificate, sim::files::kKrasplatCertificate},
      {TKeyFile::KrasplatCodeWord, sim::files::kKrasplatCodeWord},
      {TKeyFile::AbsolutplatCodeWord, sim::files::kAbsolutplatCodeWord},
      {TKeyFile::EurofonCodeWord, sim::files::kEurofonCodeWord},
  };
  unsigned seed = 20;
  for (const auto& [file, key] : rows) {
    const std::string bytes = RandomBytes(300 + seed, seed);
    ++seed;
    driver->WriteKeyFileData(file, bytes);
    const auto files = sim.State().Files;
    auto it = files.find(key);
    ASSERT_NE(it, files.end()) << key;
    EXPECT_EQ(it->second, bytes) << key;
  }
}

TEST_F(TransfersE2e, RetriesRecoverFromABadChecksumAndSilence) {
  driver->SetMaxRetryCount(3);
  sim.ArmFault("LOADXML", {sim::TSimFaultKind::BadChecksum, 2, 1, 0});
  sim.ArmFault("SMSTATE", {sim::TSimFaultKind::Silence, 2, 2, 0});
  sim.Update([](sim::TSimState& s) { s.XmlData = std::string(300, 'x'); });
  EXPECT_EQ(driver->ReadDataFile(TDataFile::Xml), std::string(300, 'x'));
  std::vector<std::string> texts;
  driver->Status().SetOnChange([&](TDriverStatus& s) { texts.push_back(s.Text()); });
  TDeviceStateRec state;
  EXPECT_EQ(driver->GetDeviceState(state), 0);  // third attempt answered
  EXPECT_EQ(texts,
            (std::vector<std::string>{"Запрос состояния модема...", "Запрос состояния модема, retry 2...",
                                      "Запрос состояния модема, retry 3..."}));
}

TEST_F(TransfersE2e, RefusedPacketEndsTheTransfer) {
  sim.ArmFault("SMSCRIPT", {sim::TSimFaultKind::SmError, 12, 1, 0});
  try {
    driver->WriteScript(3, std::string(700, 'z'));
    FAIL() << "no error";
  } catch (const EDriverError& e) {
    EXPECT_EQ(e.ResultCode(), 12);
  }
  std::size_t scriptLines = 0;
  for (const auto& line : sim.ReceivedLines()) scriptLines += line.rfind("AT+SMSCRIPT=", 0) == 0;
  EXPECT_EQ(scriptLines, 1u);  // the first packet failed: nothing more went out
}

TEST_F(TransfersE2e, SplitRepliesAndNoiseLinesChangeNothing) {
  sim.SetDebugLines(true);
  sim.SetUnsolicitedLines(true);
  sim.ArmFault("*", {sim::TSimFaultKind::Split, 0, 0, 0});
  const std::string data = RandomBytes(1000, 30);
  driver->WriteDataFile(TDataFile::PhoneBase, data);
  EXPECT_EQ(driver->ReadDataFile(TDataFile::PhoneBase), data);
  TSimCardRec card;
  card.SlotNumber = 1;
  card.Enabled = true;
  card.Pin = "0000";
  card.Apn = "apn";
  ASSERT_EQ(driver->SetSimCard(card), 0);
  ASSERT_EQ(driver->GetSimCard(card), 0);
  EXPECT_EQ(card.Apn, "apn");
}
