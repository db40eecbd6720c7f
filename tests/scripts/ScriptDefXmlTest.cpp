#include "ScriptDefXml.h"

#include "Errors.h"
#include "TempDir.h"
#include "xmlParser.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "LoopbackHttp.h"
#include "ScriptDefSignatures.h"

using namespace quorvel;
using quorvel::test::Signatures;

namespace {

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return {};
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// A definitions set unlike the built-in one, to see that reading replaces everything.
void Scramble(TScriptDefs& defs) {
  defs.FileVersion = "0";
  TScriptDef* def = defs.First();
  def->ModemVersion = "old";
  def->Methods().Clear();
  def->Methods().Add("OLD", kScriptTypeNone);
  def->Variables().Clear();
}

// One definition in the XML form, with the given text in place of the method list.
std::string DefsXml(const std::string& root, const std::string& methods) {
  return "<?xml version='1.0' encoding='windows-1251'?>\n<" + root +
         "><FileVersion>2.1</FileVersion><script><Methods>" + methods +
         "</Methods><Variables><variable><text>NUMBER</text><itemtype>256</itemtype>"
         "</variable></Variables><ModemVersion>Ver 9</ModemVersion></script></" +
         root + ">";
}

const char* kBeep =
    "<method><text>BEEP</text><type>0</type><params><variable><text>ms</text>"
    "<itemtype>3</itemtype></variable></params></method>";

TEST(ScriptDefXml, BuiltInSetSurvivesAFileRoundTrip) {
  test::TempDir dir;
  TScriptDefs written;
  written.SetDefaults();
  written.FileVersion = "2.5";
  written.Items(0)->Variables().Add("ЗАМЕТКА", kScriptTypeStringList);  // not ASCII on disk
  {
    TXmlParser parser;
    parser.SetRootName(kScriptDefsRootName);
    ScriptDefXml().WriteDefs(*parser.Root(), written);
    parser.SaveToFile(dir.File("otscripts.xml"));
  }
  TScriptDefs read;
  Scramble(read);
  ScriptDefXml().LoadFromUrl(dir.File("otscripts.xml"), read);
  EXPECT_EQ(read.FileVersion, "2.5");
  ASSERT_EQ(read.Count(), 1);
  EXPECT_EQ(read.Items(0)->ModemVersion, "Ver 2.0.909875");
  EXPECT_EQ(Signatures(*read.Items(0)), Signatures(*written.Items(0)));

  if (!test::HaveProgram("xmllint")) GTEST_SKIP() << "xmllint not installed";
  const std::string file = dir.File("otscripts.xml");
  int status = -1;
  test::RunCommand("xmllint --noout '" + file + "' 2>&1", &status);
  EXPECT_EQ(status, 0);
  const auto xpath = [&](const std::string& expr) {
    std::string out = test::RunCommand("xmllint --xpath '" + expr + "' '" + file + "' 2>&1");
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  };
  EXPECT_EQ(xpath("count(/OrtenaScripts/script/Methods/method)"), "10");
  EXPECT_EQ(xpath("string(/OrtenaScripts/script/Methods/method[4]/params/variable[5]/itemtype)"), "100");
  EXPECT_EQ(xpath("string(/OrtenaScripts/script/Methods/method[10]/params/variable/text)"), "Number");
  EXPECT_EQ(xpath("count(/OrtenaScripts/script/Variables/variable)"), "13");
  EXPECT_EQ(xpath("string(/OrtenaScripts/script/ModemVersion)"), "Ver 2.0.909875");
  EXPECT_EQ(xpath("string(/OrtenaScripts/FileVersion)"), "2.5");
}

TEST(ScriptDefXml, NamesIgnoreCaseAndOtherChildrenAreSkipped) {
  TXmlParser parser;
  parser.LoadFromText(
      "<ORTENASCRIPTS><fileversion>3</fileversion><!-- note --><Other/>"
      "<SCRIPT><methods><METHOD><TEXT>Beep</TEXT><Type>0</Type><PARAMS><junk/>"
      "<Variable><text>ms</text><ItemType>3</ItemType></Variable></PARAMS></METHOD>"
      "<not-a-method/></methods><variables><VARIABLE><text>X</text><itemtype>100</itemtype>"
      "</VARIABLE></variables><modemversion>V</modemversion></SCRIPT></ORTENASCRIPTS>",
      "mixed.xml");
  TScriptDefs defs;
  Scramble(defs);
  ScriptDefXml().ReadDefs(*parser.Root(), defs);
  EXPECT_EQ(defs.FileVersion, "3");
  ASSERT_EQ(defs.Count(), 1);
  EXPECT_EQ(Signatures(*defs.Items(0)), (std::vector<std::string>{"Beep:0(ms:3)", "X:100"}));
  EXPECT_EQ(defs.Items(0)->ModemVersion, "V");
  EXPECT_TRUE(defs.Items(0)->Check("beep(1); x = 'a';"));
}

TEST(ScriptDefXml, EveryScriptElementIsKept) {
  TScriptDefs written;
  written.SetDefaults();
  written.Add()->ModemVersion = "second";
  TXmlParser parser;
  ScriptDefXml().WriteDefs(*parser.Root(), written);
  TScriptDefs read;
  read.SetDefaults();
  ScriptDefXml().ReadDefs(*parser.Root(), read);
  ASSERT_EQ(read.Count(), 2);
  EXPECT_EQ(read.Items(0)->ModemVersion, "Ver 2.0.909875");
  EXPECT_EQ(read.Items(1)->ModemVersion, "second");
  EXPECT_EQ(Signatures(*read.Items(1)), Signatures(*written.Items(1)));
}

TEST(ScriptDefXml, BrokenDefinitionsGiveTheirErrorAndChangeNothing) {
  struct Case {
    const char* name;
    std::string xml;
    std::string message;
  };
  std::string noModemVersion = DefsXml("OrtenaScripts", kBeep);
  noModemVersion.replace(noModemVersion.find("<ModemVersion>"),
                         std::string("<ModemVersion>Ver 9</ModemVersion>").size(), "");
  const Case cases[] = {
      {"NoFileVersion", "<OrtenaScripts><script/></OrtenaScripts>", "Элемент не найден, FileVersion"},
      {"NoMethods", "<OrtenaScripts><FileVersion>1</FileVersion><script/></OrtenaScripts>",
       "Элемент не найден, Methods"},
      {"NoParams", DefsXml("OrtenaScripts", "<method><text>A</text><type>0</type></method>"),
       "Элемент не найден, params"},
      {"NoText", DefsXml("OrtenaScripts", "<method><type>0</type><params/></method>"),
       "Элемент не найден, text"},
      {"NoType", DefsXml("OrtenaScripts", "<method><text>A</text><params/></method>"),
       "Элемент не найден, type"},
      {"NoItemType",
       DefsXml("OrtenaScripts",
               "<method><text>A</text><type>0</type><params><variable><text>p</text>"
               "</variable></params></method>"),
       "Элемент не найден, itemtype"},
      {"TypeNotAnInteger",
       DefsXml("OrtenaScripts", "<method><text>A</text><type>x1</type><params/></method>"),
       "'x1' - неверное целое значение"},
      {"NoModemVersion", noModemVersion, "Элемент не найден, ModemVersion"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TXmlParser parser;
    parser.LoadFromText(c.xml, c.name);
    TScriptDefs defs;
    defs.SetDefaults();
    defs.FileVersion = "keep";
    EXPECT_EQ(ErrorOf([&] { ScriptDefXml().ReadDefs(*parser.Root(), defs); }), c.message);
    // The definitions in use stay whole: a broken file must not leave them half-cleared.
    EXPECT_EQ(defs.FileVersion, "keep");
    ASSERT_EQ(defs.Count(), 1);
    EXPECT_EQ(defs.Items(0)->Methods().Count(), 10);
    EXPECT_EQ(defs.Items(0)->Variables().Count(), 12);
    EXPECT_EQ(defs.Items(0)->ModemVersion, "Ver 2.0.909875");
  }
}

TEST(ScriptDefXml, TypeErrorIsAConversionError) {
  TXmlParser parser;
  parser.LoadFromText(DefsXml("OrtenaScripts", "<method><text>A</text><type> 3</type><params/></method>"),
                      "x");
  TScriptDefs defs;
  EXPECT_THROW(ScriptDefXml().ReadDefs(*parser.Root(), defs), EConvertError);
  EXPECT_EQ(defs.Count(), 0);
}

class ScriptDefHttp : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveProgram("python3")) GTEST_SKIP() << "python3 not installed";
    std::filesystem::create_directories(dir_.File("ortena"));
    WriteBytes(dir_.File("ortena/otscripts.xml"), DefsXml("OrtenaScripts", kBeep));
    WriteBytes(dir_.File("ortena/wrongroot.xml"), DefsXml("otscripts", kBeep));
    WriteBytes(dir_.File("ortena/broken.xml"), "<OrtenaScripts><FileVersion>");
    server_ = std::make_unique<test::LoopbackHttpServer>(dir_.Path());
    ASSERT_TRUE(server_->Ready()) << "python3 -m http.server did not start";
    xml_.Parser().SetHttpTimeouts({2000, 5000});
    defs_.SetDefaults();
  }

  void ExpectUnchanged() {
    EXPECT_EQ(defs_.FileVersion, "1.0");
    ASSERT_EQ(defs_.Count(), 1);
    EXPECT_EQ(defs_.Items(0)->Methods().Count(), 10);
  }

  test::TempDir dir_;
  std::unique_ptr<test::LoopbackHttpServer> server_;
  TScriptDefXml xml_;
  TScriptDefs defs_;
};

TEST_F(ScriptDefHttp, LoadsTheDefinitionsFile) {
  xml_.LoadFromUrl(server_->Url(kScriptDefsUrlPath), defs_);
  EXPECT_EQ(defs_.FileVersion, "2.1");
  ASSERT_EQ(defs_.Count(), 1);
  EXPECT_EQ(defs_.Items(0)->ModemVersion, "Ver 9");
  EXPECT_EQ(Signatures(*defs_.Items(0)), (std::vector<std::string>{"BEEP:0(ms:3)", "NUMBER:256"}));
}

TEST_F(ScriptDefHttp, FailuresLeaveTheDefinitionsAlone) {
  const std::string missing = server_->Url("/ortena/none.xml");
  EXPECT_EQ(ErrorOf([&] { xml_.LoadFromUrl(missing, defs_); }).rfind("Ошибка чтения файла " + missing, 0),
            0u);
  ExpectUnchanged();
  const std::string broken = server_->Url("/ortena/broken.xml");
  EXPECT_EQ(ErrorOf([&] { xml_.LoadFromUrl(broken, defs_); }).rfind("Ошибка чтения файла " + broken, 0), 0u);
  ExpectUnchanged();
  EXPECT_EQ(ErrorOf([&] { xml_.LoadFromUrl(server_->Url("/ortena/wrongroot.xml"), defs_); }),
            "Элемент не найден, OrtenaScripts");
  ExpectUnchanged();
}

}  // namespace
