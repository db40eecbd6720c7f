#include "xmlParser.h"

#include "Errors.h"
#include "TempDir.h"
#include "XmlTestFiles.h"

#include <gtest/gtest.h>

#include <regex>

using namespace quorvel;
using quorvel::test::ErrorOf;
using quorvel::test::ReadBytes;
using quorvel::test::RunCommand;
using quorvel::test::WriteBytes;

namespace {

// Text with Cyrillic, markup characters, a character windows-1251 lacks and one outside
// the Basic Multilingual Plane.
const std::string kMixed = "Привет, Ёж & <мир> \"漢\" 😀 №5";

std::string Quote(const std::string& path) { return "'" + path + "'"; }

void RequireTools() {
  if (!test::HaveProgram("xmllint") || !test::HaveProgram("iconv"))
    GTEST_SKIP() << "xmllint or iconv not installed";
}

}  // namespace

TEST(XmlSave, FreshDocumentIsDeclarationAndEmptyRoot) {
  RequireTools();
  test::TempDir dir;
  TXmlParser parser;
  parser.SaveToFile(dir.File("fresh.xml"));
  const std::string bytes = ReadBytes(dir.File("fresh.xml"));
  EXPECT_EQ(bytes, "<?xml version='1.0' encoding='windows-1251'?>\n<root/>\n");
  int status = -1;
  RunCommand("xmllint --noout " + Quote(dir.File("fresh.xml")) + " 2>&1", &status);
  EXPECT_EQ(status, 0);
}

TEST(XmlSave, SetRootNameReplacesTheRootAndKeepsTheDeclarationFirst) {
  test::TempDir dir;
  TXmlParser parser;
  parser.Root()->AddText("old", "gone");
  parser.SetRootName("settings");
  EXPECT_EQ(parser.Root()->Name(), "settings");
  EXPECT_EQ(parser.Root()->Count(), 0);
  parser.Root()->AddInt("ActiveSystemID", 3);
  parser.SaveToFile(dir.File("s.xml"));
  EXPECT_EQ(ReadBytes(dir.File("s.xml")),
            "<?xml version='1.0' "
            "encoding='windows-1251'?>\n<settings><ActiveSystemID>3</ActiveSystemID></settings>\n");

  EXPECT_THROW(parser.SetRootName("not a name"), Exception);
  EXPECT_EQ(parser.Root()->Name(), "settings") << "a refused name changes nothing";

  parser.NewDocument();
  EXPECT_EQ(parser.Root()->Name(), "root");
  EXPECT_EQ(parser.Root()->Count(), 0);
}

TEST(XmlSave, FilesAreWindows1251AndKeepEveryCharacter) {
  RequireTools();
  test::TempDir dir;
  const std::string file = dir.File("mixed.xml");
  TXmlParser parser;
  parser.SetRootName("Настройки");
  parser.Root()->AddText("Текст", kMixed)->Params().SetValue("Атрибут", kMixed);
  parser.SaveToFile(file);

  int status = -1;
  const std::string lint = RunCommand("xmllint --noout " + Quote(file) + " 2>&1", &status);
  EXPECT_EQ(status, 0) << lint;
  // Every byte is windows-1251; a UTF-8 file would still convert, so the Cyrillic is
  // checked after conversion too.
  const std::string utf8 = RunCommand("iconv -f WINDOWS-1251 -t UTF-8 " + Quote(file), &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(utf8.find("<Настройки><Текст Атрибут="), std::string::npos) << utf8;
  EXPECT_NE(utf8.find("Привет, Ёж &amp; &lt;мир&gt; \"&#28450;\" &#128512; №5</Текст>"), std::string::npos)
      << utf8;
  const std::string raw = ReadBytes(file);
  EXPECT_EQ(raw.find("\xD0\x9F"), std::string::npos) << "no UTF-8 bytes of 'П' in the file";

  // xmllint reads the references back as the original characters.
  const std::string text =
      RunCommand("xmllint --encode UTF-8 --xpath 'string(/*/*)' " + Quote(file), &status);
  EXPECT_EQ(text, kMixed + "\n");

  TXmlParser reloaded;
  reloaded.LoadFromFile(file);
  EXPECT_EQ(reloaded.Root()->Name(), "Настройки");
  EXPECT_EQ(reloaded.Root()->GetText("ТЕКСТ"), kMixed);
  EXPECT_EQ(reloaded.Root()->GetItem("Текст")->Params().GetValue("Атрибут"), kMixed);
}

TEST(XmlSave, NamesAndCommentsThatWindows1251CannotHoldAreRefusedBeforeWriting) {
  test::TempDir dir;
  const std::string file = dir.File("keep.xml");
  WriteBytes(file, "previous content");
  const struct {
    const char* name;
    const char* document;
  } rows[] = {
      {"element name", "<r><漢>1</漢></r>"},
      {"attribute name", "<r 漢='1'/>"},
      {"comment", "<r><!-- 漢 --></r>"},
      {"CDATA", "<r><![CDATA[漢]]></r>"},
      {"processing instruction", "<r><?pi 漢?></r>"},
      {"entity reference", "<!DOCTYPE r [<!ENTITY 漢 'x'>]><r>&漢;</r>"},
      {"entity declaration", "<!DOCTYPE r [<!ENTITY e '漢'>]><r/>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    TXmlParser parser;
    parser.LoadFromText(row.document, "utf8.xml");
    const std::string message = ErrorOf([&] { parser.SaveToFile(file); });
    EXPECT_EQ(message.rfind("Ошибка записи файла " + file + ".\r\n", 0), 0u) << message;
    EXPECT_NE(message.find("U+6F22"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(file), "previous content");
  }
}

TEST(XmlSave, UnwritablePlaceGivesTheWriteError) {
  test::TempDir dir;
  TXmlParser parser;
  const std::string file = dir.File("missing-dir/x.xml");
  EXPECT_EQ(ErrorOf([&] { parser.SaveToFile(file); }).rfind("Ошибка записи файла " + file + ".\r\n", 0), 0u);
}

TEST(XmlLoad, Windows1251FileWrittenByIconvLoads) {
  RequireTools();
  test::TempDir dir;
  WriteBytes(dir.File("utf8.xml"),
             "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n"
             "<Операторы имя=\"Сотовая связь\"><Оператор>МТС «Юг» №1 ёЁ</Оператор></Операторы>\n");
  int status = -1;
  RunCommand(
      "iconv -f UTF-8 -t WINDOWS-1251 " + Quote(dir.File("utf8.xml")) + " > " + Quote(dir.File("cp.xml")),
      &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(ReadBytes(dir.File("cp.xml")).find("\xD0\x9E"), std::string::npos) << "iconv did convert";

  TXmlParser parser;
  parser.LoadFromFile(dir.File("cp.xml"));
  EXPECT_EQ(parser.Root()->Name(), "Операторы");
  EXPECT_EQ(parser.Root()->Params().GetValue("имя"), "Сотовая связь");
  EXPECT_EQ(parser.Root()->GetText("оператор"), "МТС «Юг» №1 ёЁ");
}

TEST(XmlLoad, WhitespaceAndEveryNodeKindAreMirrored) {
  TXmlParser parser;
  parser.LoadFromText("<r>\n  <a>1</a>\n  <!--note-->\n  <![CDATA[<raw>]]>\n  <b/>\n</r>", "mem");
  TXmlItem* root = parser.Root();
  std::vector<std::string> names;
  for (int i = 0; i < root->Count(); ++i) names.push_back(root->Items(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"#text", "a", "#text", "#comment", "#text", "#cdata-section",
                                             "#text", "b", "#text"}));
  EXPECT_EQ(root->Items(0)->Text(), "\n  ");
  EXPECT_EQ(root->Items(5)->Text(), "<raw>");
  EXPECT_EQ(root->Items(1)->Count(), 1) << "the text inside <a> has its wrapper";
  EXPECT_EQ(root->Items(1)->Items(0)->Parent(), root->Items(1));

  // Whitespace survives a save unchanged.
  TXmlParser reloaded;
  reloaded.LoadFromText(parser.SaveToText(), "mem");
  EXPECT_EQ(reloaded.Root()->Count(), 9);
  EXPECT_EQ(reloaded.Root()->Text(), root->Text());
}

TEST(XmlLoad, BrokenFilesGiveTheReadErrorWithLineAndColumn) {
  test::TempDir dir;
  const struct {
    const char* name;
    std::string bytes;
    int line;
  } rows[] = {
      {"mismatch.xml", "<r>\n  <a>\n  </b>\n</r>", 3},
      {"unclosed.xml", "<r>\n<a>", 2},
      {"garbage.xml", "\n\nnot xml at all", 3},
      {"empty.xml", "", 1},
      {"undefined-entity.xml", "<r>\n&nope;</r>", 2},
      {"two-roots.xml", "<a/>\n<b/>", 2},
      {"bad-encoding.xml", "<?xml version='1.0' encoding='no-such-charset'?><r/>", 1},
      {"bad-char.xml", "<r>\n\n\x01</r>", 3},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string file = dir.File(row.name);
    WriteBytes(file, row.bytes);
    TXmlParser parser;
    parser.Root()->AddText("before", "kept");
    const std::string message = ErrorOf([&] { parser.LoadFromFile(file); });
    EXPECT_EQ(message.rfind("Ошибка чтения файла " + file + ".\r\n", 0), 0u) << message;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(message, m, std::regex("\r\nСтрока (\\d+), позиция (\\d+): \\S")))
        << message;
    EXPECT_EQ(std::stoi(m[1]), row.line) << message;
    EXPECT_EQ(parser.Root()->GetText("before"), "kept") << "the previous tree stays";
  }
}

TEST(XmlLoad, MissingFileGivesTheReadErrorWithTheReason) {
  test::TempDir dir;
  TXmlParser parser;
  const std::string file = dir.File("absent.xml");
  EXPECT_EQ(ErrorOf([&] { parser.LoadFromFile(file); }),
            "Ошибка чтения файла " + file + ".\r\nNo such file or directory");
  EXPECT_EQ(ErrorOf([&] {
              parser.LoadFromFile(dir.Path());
            }).rfind("Ошибка чтения файла " + dir.Path() + ".\r\n", 0),
            0u);
}

TEST(XmlLoad, OutsideFilesAreNeverRead) {
  test::TempDir dir;
  WriteBytes(dir.File("secret.txt"), "SECRET-CONTENT");
  WriteBytes(dir.File("evil.dtd"), "<!ENTITY leak SYSTEM 'secret.txt'><!ENTITY dtdtext 'FROM-DTD'>");
  const std::string docs[] = {
      "<!DOCTYPE r [<!ENTITY leak SYSTEM 'secret.txt'>]><r><v>&leak;</v></r>",
      "<!DOCTYPE r [<!ENTITY leak SYSTEM 'file://" + dir.File("secret.txt") + "'>]><r><v>&leak;</v></r>",
      "<!DOCTYPE r SYSTEM 'evil.dtd'><r><v>&leak;&dtdtext;</v></r>",
      "<!DOCTYPE r [<!ENTITY % p SYSTEM 'evil.dtd'> %p;]><r><v>&leak;</v></r>",
  };
  for (const std::string& doc : docs) {
    SCOPED_TRACE(doc);
    const std::string file = dir.File("doc.xml");
    WriteBytes(file, doc);
    TXmlParser parser;
    try {
      parser.LoadFromFile(file);
    } catch (const Exception& e) {
      EXPECT_EQ(std::string(e.what()).find("SECRET"), std::string::npos);
      continue;  // refusing the document is as good as not reading the file
    }
    const std::string text = parser.Root()->GetText("v");
    EXPECT_EQ(text.find("SECRET"), std::string::npos) << text;
    EXPECT_EQ(text.find("FROM-DTD"), std::string::npos) << text;
    EXPECT_EQ(parser.SaveToText().find("SECRET"), std::string::npos);
  }
}

TEST(XmlLoad, InternalEntitiesExpandInTextAndStayReferencesInTheTree) {
  TXmlParser parser;
  parser.LoadFromText("<!DOCTYPE r [<!ENTITY who 'мир'>]><r><v>привет, &who;!</v></r>", "mem");
  TXmlItem* v = parser.Root()->GetItem("v");
  EXPECT_EQ(v->Text(), "привет, мир!");
  ASSERT_EQ(v->Count(), 3);
  EXPECT_EQ(v->Items(1)->Name(), "who");
  EXPECT_EQ(v->Items(1)->Count(), 0);
  TXmlParser reloaded;
  reloaded.LoadFromText(parser.SaveToText(), "mem");
  EXPECT_EQ(reloaded.Root()->GetText("v"), "привет, мир!");
}

TEST(XmlLoad, EntityExpansionBombIsRefused) {
  std::string doc = "<!DOCTYPE r [<!ENTITY a0 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx'>";
  for (int i = 1; i <= 12; ++i)
    doc += "<!ENTITY a" + std::to_string(i) + " '" + [&] {
      std::string s;
      for (int k = 0; k < 10; ++k) s += "&a" + std::to_string(i - 1) + ";";
      return s;
    }() + "'>";
  doc += "]><r>&a12;</r>";
  TXmlParser parser;
  EXPECT_EQ(
      ErrorOf([&] { parser.LoadFromText(doc, "bomb.xml"); }).rfind("Ошибка чтения файла bomb.xml.\r\n", 0),
      0u);
}
