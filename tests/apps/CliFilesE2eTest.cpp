// quorvel-cli commands that move whole files and lists: the provider XML file and the phone
// base, the fee file, input scripts, and the lists of the support server.
#include "CliFixture.h"
#include "LoopbackHttp.h"

#include <filesystem>

namespace {

using quorvel::Utf8ToCp1251;
using quorvel::sim::TSimState;

class CliFiles : public quorvel::test::CliTest {
 protected:
  // Every byte value, CR, LF and NUL among them, in a file of count bytes.
  static std::string AllBytes(std::size_t count) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return bytes;
  }

  // A windows-1251 XML file.
  std::string WriteXml(const std::string& name, const std::string& body) {
    return WriteFile(name, "<?xml version='1.0' encoding='windows-1251'?>\n" + Utf8ToCp1251(body));
  }

  // settings.xml pointing the support server at address.
  void UseSupportServer(const std::string& address) {
    WriteXml("settings.xml",
             "<settings><Driver><PortNumber>1</PortNumber><MaxRetryCount>1</MaxRetryCount><LogEnabled>0</"
             "LogEnabled>"
             "<LogFileName>" +
                 dir.File("q.log") + "</LogFileName><SupportServer>" + address +
                 "</SupportServer></Driver></settings>");
  }
};

TEST_F(CliFiles, DataFilesTravelByteForByte) {
  struct Row {
    const char* command;
    std::size_t size;  // 700: a short last packet; 512: two full packets, then an empty one
  };
  for (const Row& row : {Row{"xmldata", 700}, Row{"phonebase", 512}}) {
    SCOPED_TRACE(row.command);
    const std::string bytes = AllBytes(row.size);
    const std::string file = WriteFile("data.bin", bytes);
    auto r = Cli(std::string(row.command) + " write " + Quote(file));
    ASSERT_EQ(r.Status, 0) << r.Err;
    const TSimState s = sim.State();
    const std::optional<std::string>& stored =
        std::string(row.command) == "xmldata" ? s.XmlData : s.PhoneBase;
    ASSERT_TRUE(stored.has_value());
    EXPECT_TRUE(*stored == bytes);

    r = Cli(std::string(row.command) + " read");
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_TRUE(r.Out == bytes);
    const std::string out = dir.File("back.bin");
    r = Cli(std::string(row.command) + " read " + Quote(out));
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "");
    EXPECT_TRUE(ReadFile(out) == bytes);
  }
  // nothing in the terminal: its "no data" is the error, and no file is left behind
  const std::string none = dir.File("none.bin");
  sim.Update([](TSimState& s) { s.XmlData.reset(); });
  const auto r = Cli("xmldata read " + Quote(none));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Ortena: Нет запрошенных данных\n");
  EXPECT_FALSE(std::filesystem::exists(none));
}

TEST_F(CliFiles, FeeFileImportsIntoTheDocumentAndExportsFromIt) {
  const std::string fees =
      WriteXml("fees.xml",
               "<root><FeeTables><ItemIndex>1</ItemIndex>"
               "<FeeTable><SchemeType>0</SchemeType><fees/></FeeTable>"
               "<FeeTable><SchemeType>2</SchemeType><fees>"
               "<Fee><FeeSum>300</FeeSum><FeeValue>10.5</FeeValue><FeeType>1</FeeType></Fee>"
               "<Fee><FeeSum>100.25</FeeSum><FeeValue>2.5</FeeValue><FeeType>0</FeeType></Fee>"
               "</fees></FeeTable></FeeTables></root>");
  auto r = Cli("fees import " + Quote(fees));
  ASSERT_EQ(r.Status, 0) << r.Err;
  auto doc = Document();
  ASSERT_EQ(doc->FeeTables().Items(1).Fees().Count(), 2);
  EXPECT_EQ(doc->FeeTables().Items(1).SchemeType(), 2);

  // the document's tables reach the terminal in the file's order, in kopecks and hundredths
  ASSERT_EQ(Cli("fees write").Status, 0);
  const TSimState s = sim.State();
  ASSERT_TRUE(s.Fees[1].Rates[0].has_value() && s.Fees[1].Rates[1].has_value());
  EXPECT_EQ(s.Fees[1].Rates[0]->MaxSum, 30000);
  EXPECT_EQ(s.Fees[1].Rates[0]->Type, 1);
  EXPECT_EQ(s.Fees[1].Rates[0]->Value, 1050);
  EXPECT_EQ(s.Fees[1].Rates[1]->MaxSum, 10025);
  EXPECT_EQ(s.Fees[1].Rates[1]->Value, 250);
  EXPECT_EQ(s.Fees[1].Scheme, 2);

  const std::string exported = dir.File("export.xml");
  ASSERT_EQ(Cli("fees export " + Quote(exported)).Status, 0);
  const std::string text = ReadFile(exported);
  EXPECT_NE(text.find("<FeeSum>100.25</FeeSum>"), std::string::npos) << text;
  EXPECT_NE(text.find("<ItemIndex>1</ItemIndex>"), std::string::npos) << text;

  // a file that is not XML changes nothing and says why
  r = Cli("fees import " + Quote(WriteFile("broken.xml", "<root><FeeTables>")));
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err.rfind("Ошибка чтения файла", 0), 0u) << r.Err;
  EXPECT_EQ(Document()->FeeTables().Items(1).Fees().Count(), 2);
}

TEST_F(CliFiles, ScriptsImportWriteReadAndExport) {
  const std::string scripts =
      WriteXml("scripts.xml",
               "<Masterport><scripts>"
               "<script><id>12</id><text>Оплата</text><data>ВВОД('Сумма');&#13;&#10;// к "
               "оплате&#13;&#10;КОНЕЦ;</data></script>"
               "<script><id>10</id><text>Телефон</text><data>ТЕЛ;</data></script>"
               "</scripts></Masterport>");
  auto r = Cli("scripts import masterport " + Quote(scripts));
  ASSERT_EQ(r.Status, 0) << r.Err;

  r = Cli("scripts write masterport");
  ASSERT_EQ(r.Status, 0) << r.Err;
  // comments and line breaks stay on the PC
  EXPECT_EQ(quorvel::sim::ScriptText(sim.State(), 12), "ВВОД('Сумма');КОНЕЦ;");
  EXPECT_EQ(quorvel::sim::ScriptText(sim.State(), 10), "ТЕЛ;");

  sim.Update([](TSimState& s) { quorvel::sim::SetScriptText(s, 10, "ТЕЛЕФОН(10);"); });
  r = Cli("scripts read masterport");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "[10] Телефон\nТЕЛЕФОН(10);\n\n[12] Оплата\nВВОД('Сумма');КОНЕЦ;\n\n");

  const std::string exported = dir.File("out.xml");
  ASSERT_EQ(Cli("scripts export masterport " + Quote(exported)).Status, 0);
  EXPECT_NE(ReadFile(exported).find(Utf8ToCp1251("ТЕЛЕФОН(10);")), std::string::npos);

  // another system's scripts need its code active: No leaves the terminal alone
  sim.ClearReceivedLines();
  r = Cli("--no scripts write osmp");
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(CountOf("SMSCRIPT="), 0);
}

TEST_F(CliFiles, SupportServerListsReplaceTheDocumentsLists) {
  const std::string www = dir.File("www");
  std::filesystem::create_directories(www + "/ortena");
  WriteXml("www/ortena/masterport_scripts.xml",
           "<Masterport><scripts><script><id>33</id><text>С сервера</text><data>ТЕКСТ;</data></script>"
           "</scripts></Masterport>");
  WriteXml("www/ortena/gprsconfig.xml",
           "<ServiceProviders><ServiceProvider name=\"МТС\" apn=\"internet.mts.ru\" login=\"mts\" "
           "password=\"mts\"/>"
           "<ServiceProvider name=\"Билайн\" apn=\"internet.beeline.ru\" login=\"\" "
           "password=\"\"/></ServiceProviders>");
  WriteXml(
      "www/ortena/otscripts.xml",
      "<OrtenaScripts><FileVersion>2.1</FileVersion><script><Methods><method><text>BEEP</text><type>0</type>"
      "<params/></method></Methods><Variables/><ModemVersion>Ver 9</ModemVersion></script></OrtenaScripts>");
  quorvel::test::LoopbackHttpServer server(www);
  if (!server.Ready()) GTEST_SKIP() << "python3 http.server did not start";
  UseSupportServer(server.Url(""));

  auto r = Cli("scripts update masterport");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "[33] С сервера\nТЕКСТ;\n\n");
  r = Cli("gprs update");
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, "МТС: internet.mts.ru\nБилайн: internet.beeline.ru\n");
  r = Cli("defs update");
  ASSERT_EQ(r.Status, 0) << r.Err;

  auto doc = Document();
  ASSERT_NE(doc->MasterPort().Scripts().FindByNumber(33), nullptr);
  EXPECT_EQ(doc->GprsProviders().Count(), 2);
  EXPECT_EQ(doc->ScriptDefs().FileVersion, "2.1");

  // a system without a list on the server, and a server without the file
  r = Cli("scripts update easypay");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Для платежной системы ЛЕГКО И УДОБНО на сервере нет списка скриптов\n");
  r = Cli("scripts update osmp");
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err.rfind("Ошибка чтения файла", 0), 0u) << r.Err;
}

}  // namespace
