// The configuration document as a whole: round trip, layout, encoding on disk.
#include "AppDoc.h"
#include "AppDocXml.h"
#include "Cp1251.h"
#include "TempDir.h"
#include "xmlParser.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>

#include "AppDocTestSupport.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

std::vector<std::string> ChildElementNames(TXmlItem& item) {
  std::vector<std::string> names;
  for (int i = 0; i < item.Count(); ++i)
    if (!item.Items(i)->Name().starts_with('#')) names.push_back(item.Items(i)->Name());
  return names;
}

std::string Quote(const std::string& path) { return "'" + path + "'"; }

}  // namespace

TEST(AppDocFile, FullDocumentLoadsBackEqualExceptTheNeverWrittenFields) {
  TempDir dir;
  const std::string file = dir.File("Quorvel.xml");
  TAppDoc fresh(dir.File("none.xml"));
  fresh.SaveOnDestroy = false;
  {
    TAppDoc written(file);
    FillDocument(written);
    written.Save();
    ForgetUnsaved(written, fresh);
    const auto expected = Dump(written);
    ASSERT_NE(expected, Dump(fresh));

    TAppDoc read(file);
    read.SaveOnDestroy = false;
    EXPECT_EQ(read.LoadError(), "");
    ExpectSameDump(Dump(read), expected);
    EXPECT_EQ(read.MasterPort().TestConfigFileName, fresh.MasterPort().TestConfigFileName);
  }
  const std::string bytes = ReadBytes(file);
  for (const char* secret : {"секрет", "xplat-secret", "01ABFF", "osmp-secret", "/tmp/test-MP.xml"})
    EXPECT_EQ(bytes.find(Utf8ToCp1251(secret)), std::string::npos) << secret << " must never be written";
}

TEST(AppDocFile, DocumentIsWindows1251XmlThatXmllintAccepts) {
  if (!HaveProgram("xmllint") || !HaveProgram("iconv")) GTEST_SKIP() << "xmllint or iconv not installed";
  TempDir dir;
  const std::string file = dir.File("Quorvel.xml");
  {
    TAppDoc doc(file);
    FillDocument(doc);
    doc.Save();
  }
  const std::string bytes = ReadBytes(file);
  EXPECT_TRUE(bytes.starts_with("<?xml version='1.0' encoding='windows-1251'?>\n<settings>"));
  EXPECT_NE(bytes.find(Utf8ToCp1251("Добро пожаловать")), std::string::npos) << "Cyrillic is stored as 8-bit";
  EXPECT_NE(bytes.find("&#10003;"), std::string::npos) << "a character windows-1251 lacks is a reference";
  EXPECT_FALSE(std::regex_search(bytes.substr(bytes.find('\n')), std::regex(">[ \t\r\n]+<")))
      << "no indentation";

  int status = -1;
  const std::string out = RunCommand("xmllint --noout " + Quote(file) + " 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  const std::string utf8 = RunCommand("xmllint --encode UTF-8 " + Quote(file), &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(utf8.find("Line1=\"Добро пожаловать\""), std::string::npos);
  EXPECT_NE(utf8.find("<data>SELECT(\"Билайн\", \"МТС\");&#13;\n\tGOTO(1); // &lt;&amp;&gt;&#13;\n</data>"),
            std::string::npos)
      << "CR LF inside script text survives as a character reference";
  RunCommand("iconv -f windows-1251 -t UTF-8 " + Quote(file) + " >/dev/null 2>&1", &status);
  EXPECT_EQ(status, 0);
}

TEST(AppDocFile, FirstStartWritesTheWholeLayoutInItsOrder) {
  TempDir dir;
  const std::string file = dir.File("sub/Quorvel.xml");  // the folder is created by the save
  {
    TAppDoc doc(file);
    EXPECT_EQ(doc.LoadError(), "");
    EXPECT_EQ(doc.FeeTables().Count(), 10);
    EXPECT_EQ(doc.SimCards().Count(), 2);
    EXPECT_EQ(doc.ScriptDefs().Count(), 1);
    EXPECT_EQ(doc.PaymentSystems().Count(), 13);
    EXPECT_EQ(&doc.PaymentSystems().Items(0), &doc.OSMP()) << "systems are created in their order";
    EXPECT_EQ(&doc.PaymentSystems().Items(12), &doc.UbsPay());
  }  // saved by the destructor
  TXmlParser parser;
  parser.LoadFromFile(file);
  TXmlItem& root = *parser.Root();
  EXPECT_EQ(root.Name(), "settings");
  const std::vector<std::string> four = {"server", "scripts", "providers", "ProviderGroup"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  EXPECT_EQ(ChildElementNames(root),
            with(with({"ActiveSystemID", "ServiceProviders", "Masterport", "Cyberplat", "CardNumber",
                       "CardPin", "Point"},
                      four),
                 {"XPlat", "OSMP", "FeeTables", "UpdateParams", "SimCards", "otscripts", "EASYPAY",
                  "KRASPLAT", "BERCUT", "ABSOLUTPLAT", "EUROFON", "UBSPAY", "PegasMP", "PEGASPAY"}));
  const std::vector<std::string> mp = {"TestSettings", "SerialNumber",    "ApplicationID",        "SenderID",
                                       "ReceiverID",   "ServerPublicKey", "ApplicationPrivateKey"};
  const std::map<std::string, std::vector<std::string>> sections = {
      {"Masterport", with(mp, four)},
      {"PegasMP", with(mp, four)},
      {"Cyberplat", with({"PublicKey", "SecretKey", "CyberplatPoint"}, four)},
      {"XPlat", with({"Point", "Login"}, four)},
      {"OSMP", with({"TerminalID", "Login"}, four)},
      {"PEGASPAY", with({"TerminalID", "Login"}, four)},
      {"EASYPAY", with(four, {"KeyFileName", "CerFileName"})},
      {"KRASPLAT", with(four, {"KeyFileName", "CerFileName", "WordFileName", "DeviceID"})},
      {"BERCUT", with(four, {"DeviceID"})},
      {"ABSOLUTPLAT", with(four, {"AgentID", "DeviceID", "WordFileName"})},
      {"EUROFON", with(four, {"AgentID", "DeviceID", "WordFileName"})},
      {"UBSPAY", with(four, {"AgentID", "DeviceID", "URL"})},
      {"UpdateParams", {"HexFileName", "PageIndex", "Header", "Trailer"}},
  };
  for (const auto& [name, children] : sections)
    EXPECT_EQ(ChildElementNames(*root.Find(name)), children) << name;
  TXmlItem& masterPort = *root.Find("Masterport");
  EXPECT_EQ(ChildElementNames(*masterPort.Find("ApplicationPrivateKey")->Find("RSAKeyValue")),
            (std::vector<std::string>{"Modulus", "Exponent", "P", "Q", "D", "DP", "DQ", "InverseQ"}));
  EXPECT_EQ(ChildElementNames(*masterPort.Find("server")),
            (std::vector<std::string>{"ip", "port", "trycount", "ServerName"}));
  EXPECT_EQ(ChildElementNames(*root.Find("Cyberplat")->Find("PublicKey")),
            (std::vector<std::string>{"Key", "Sig", "KeyNum", "SigNum", "KeyName", "SigName"}));
  EXPECT_EQ(root.Find("FeeTables")->Find("FeeTable")->Find("fees")->Name(), "fees");
  EXPECT_EQ(ChildElementNames(*root.Find("FeeTables")).size(), 11u) << "ItemIndex and always ten tables";
  EXPECT_EQ(root.Find("otscripts")->Find("script")->GetText("ModemVersion"), kBuiltInModemVersion);
}

TEST(AppDocFile, NumbersAndItemsAreWrittenInTheirFormats) {
  TempDir dir;
  TAppDoc doc(dir.File("q.xml"));
  doc.SaveOnDestroy = false;
  TFee& fee = doc.FeeTables().Items(0).Fees().Add();
  fee.FeeSum = Money::Parse("1000.5");
  fee.FeeValue = 1e-7;
  fee.FeeType = 1;
  TServiceProvider& p = doc.EPort().Providers().Add();
  p.SetIdentifier("id");
  p.SetText("t");
  TGprsProvider& op = doc.GprsProviders().Add();
  op.SetName("Оп");
  doc.SimCards().Items(0).Enabled = true;
  doc.Save();
  const std::string xml = Cp1251ToUtf8(ReadBytes(dir.File("q.xml")));
  EXPECT_NE(xml.find("<Fee><FeeSum>1000.5</FeeSum><FeeValue>1e-07</FeeValue><FeeType>1</FeeType></Fee>"),
            std::string::npos);
  EXPECT_NE(xml.find("<provider><name>id</name><text>t</text><Prefixes/><description/><button>0</button>"
                     "<FeeTableID>0</FeeTableID><FormatID>0</FormatID><MinAmount>0</MinAmount>"
                     "<MaxAmount>30000</MaxAmount></provider>"),
            std::string::npos);
  EXPECT_NE(xml.find("<ServiceProviders><ServiceProvider name=\"Оп\" apn=\"\" login=\"\" password=\"\"/>"),
            std::string::npos);
  EXPECT_NE(xml.find("<SimCard><slotnumber>1</slotnumber><pin/><apn/><login/><password/><enabled>1</enabled>"
                     "<priority>0</priority></SimCard>"),
            std::string::npos);
  EXPECT_NE(xml.find("<Header/><Trailer/>"), std::string::npos) << "no lines, no attributes";
  EXPECT_EQ(ElementText(xml, "scripts"), "<scripts/>") << "built-in scripts are never written";
}

TEST(AppDocFile, BlankEntriesDoNotStopTheNextLoad) {
  TempDir dir;
  const std::string file = dir.File("q.xml");
  {
    TAppDoc doc(file);
    doc.EPort().Providers().Add();  // a new provider before its values were entered
    doc.EPort().ProviderGroup().AddChild().Providers().Add();
    doc.GprsProviders().Add();
    doc.UbsPay().URL = "after";
  }
  TAppDoc doc(file);
  doc.SaveOnDestroy = false;
  EXPECT_EQ(doc.LoadError(), "");
  ASSERT_EQ(doc.EPort().Providers().Count(), 1);
  EXPECT_EQ(doc.EPort().Providers().Items(0).Identifier(), "");
  EXPECT_EQ(doc.EPort().ProviderGroup().Items(0).Providers().Count(), 1);
  EXPECT_EQ(doc.GprsProviders().Count(), 0) << "an operator without a name is not kept";
  EXPECT_EQ(doc.UbsPay().URL, "after");
}

TEST(AppDocFile, SharedDocumentLivesInTheProgramFolder) {
  TempDir dir;
  WriteBytes(dir.File("Quorvel.xml"), "<settings><ActiveSystemID>9</ActiveSystemID></settings>");
  ::setenv("QUORVEL_HOME", dir.Path().c_str(), 1);
  TAppDoc& doc = AppDoc();
  doc.SaveOnDestroy = false;  // the folder is gone when the program ends
  EXPECT_EQ(doc.GetFileName(), dir.File("Quorvel.xml"));
  EXPECT_EQ(doc.PaymentSystems().ActiveSystemID, 9) << "loaded at creation";
  EXPECT_EQ(doc.LoadError(), "Элемент не найден, ServiceProviders");
  EXPECT_EQ(&AppDoc(), &doc);
}
