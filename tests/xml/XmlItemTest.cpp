#include "xmlParser.h"

#include "Errors.h"
#include "XmlTestFiles.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quorvel;
using quorvel::test::ErrorOf;

namespace {

std::vector<std::string> ChildNames(TXmlItem* item) {
  std::vector<std::string> names;
  for (int i = 0; i < item->Count(); ++i) names.push_back(item->Items(i)->Name());
  return names;
}

const char* const kSettings =
    "<settings>\n"
    "  <SimCards>\n"
    "    <SimCard><Login>user</Login></SimCard>\n"
    "  </SimCards>\n"
    "  <Данные>1</Данные>\n"
    "  <text>element named text</text>\n"
    "  <!-- a comment -->\n"
    "</settings>";

}  // namespace

TEST(XmlItemFind, LooksAtTheItemItselfThenOneLevelDown) {
  TXmlParser parser;
  parser.LoadFromText(kSettings, "mem");
  TXmlItem* root = parser.Root();
  TXmlItem* simCards = root->Find("SIMCARDS");
  ASSERT_NE(simCards, nullptr);
  EXPECT_EQ(simCards->Name(), "SimCards");
  EXPECT_EQ(simCards->Parent(), root);
  EXPECT_EQ(simCards->Find("simcards"), simCards) << "the element itself matches first";
  EXPECT_EQ(root->Find("Settings"), root);

  // Login is a grandchild of SimCards and two levels below the root.
  EXPECT_EQ(root->Find("Login"), nullptr);
  EXPECT_EQ(simCards->Find("Login"), nullptr);
  EXPECT_NE(simCards->Find("SimCard")->Find("login"), nullptr);

  // Cyrillic letters compare without case, as the 8-bit code page does.
  ASSERT_NE(root->Find("ДАННЫЕ"), nullptr);
  EXPECT_EQ(root->Find("данные")->Text(), "1");
  EXPECT_EQ(root->Find("Данны"), nullptr) << "a prefix is not a match";

  // Text and comment nodes carry DOM names, so a lookup of "text" or "comment" finds
  // only elements of that name.
  ASSERT_NE(root->Find("text"), nullptr);
  EXPECT_EQ(root->Find("text")->Text(), "element named text");
  EXPECT_EQ(root->Find("comment"), nullptr);
  EXPECT_EQ(root->Find("#comment")->Text(), " a comment ");
}

TEST(XmlItemFind, GetItemAndTypedReadsRaiseForMissingElements) {
  TXmlParser parser;
  parser.LoadFromText(kSettings, "mem");
  TXmlItem* root = parser.Root();
  EXPECT_EQ(ErrorOf([&] { root->GetItem("Login"); }), "Элемент не найден, Login");
  EXPECT_EQ(ErrorOf([&] { root->GetText("Port"); }), "Элемент не найден, Port");
  EXPECT_EQ(ErrorOf([&] { root->GetInt("Port"); }), "Элемент не найден, Port");
  EXPECT_EQ(ErrorOf([&] { root->GetBool("Enabled"); }), "Элемент не найден, Enabled");
  EXPECT_EQ(root->GetText("SimCards"), "\n    user\n  ") << "text of all descendants, blanks kept";
}

TEST(XmlItemConvert, GetIntReadsStrictDecimal32BitIntegers) {
  struct Row {
    const char* text;
    bool ok;
    std::int32_t value;
  };
  const Row rows[] = {
      {"0", true, 0},
      {"42", true, 42},
      {"-7", true, -7},
      {"+5", true, 5},
      {"007", true, 7},
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},
      {"", false, 0},
      {" 5", false, 0},
      {"5 ", false, 0},
      {"4x", false, 0},
      {"0x10", false, 0},
      {"1.5", false, 0},
      {"-", false, 0},
      {"٣", false, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    TXmlParser parser;
    parser.Root()->AddText("Port", row.text);
    if (row.ok) {
      EXPECT_EQ(parser.Root()->GetInt("Port"), row.value);
    } else {
      try {
        parser.Root()->GetInt("Port");
        ADD_FAILURE() << "no error";
      } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), std::string("'") + row.text + "' - неверное целое значение");
      }
    }
  }
}

TEST(XmlItemConvert, BooleansAreOneAndZeroOnly) {
  TXmlParser parser;
  TXmlItem* root = parser.Root();
  EXPECT_EQ(root->AddBool("Yes", true)->Text(), "1");
  EXPECT_EQ(root->AddBool("No", false)->Text(), "0");
  EXPECT_EQ(root->AddInt("Big", -9000000000LL)->Text(), "-9000000000");
  EXPECT_TRUE(root->GetBool("Yes"));
  EXPECT_FALSE(root->GetBool("No"));
  for (const char* text : {"true", "TRUE", " 1", "1 ", "01", "", "2"}) {
    SCOPED_TRACE(text);
    TXmlParser p;
    p.Root()->AddText("Flag", text);
    EXPECT_FALSE(p.Root()->GetBool("Flag"));
  }
}

TEST(XmlItemBuild, AddAppendsInOrderAndTheMirrorSurvivesASaveAndLoad) {
  TXmlParser parser;
  TXmlItem* root = parser.Root();
  EXPECT_EQ(root->Name(), "root");
  EXPECT_EQ(root->Count(), 0);
  root->AddText("b", "2");
  TXmlItem* a = root->Add("a");
  root->AddInt("c", 3);
  a->AddText("inner", "x");
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(a->Parent(), root);
  EXPECT_EQ(root->Items(1), a);

  TXmlParser reloaded;
  reloaded.LoadFromText(parser.SaveToText(), "mem");
  EXPECT_EQ(ChildNames(reloaded.Root()), (std::vector<std::string>{"b", "a", "c"}));
  EXPECT_EQ(reloaded.Root()->GetItem("a")->GetText("inner"), "x");

  EXPECT_THROW(root->Items(3), Exception);
  EXPECT_THROW(root->Items(-1), Exception);
}

TEST(XmlItemBuild, SetTextReplacesTheContentLiterally) {
  TXmlParser parser;
  parser.LoadFromText("<r><v>old<i>inner</i><!--c--></v></r>", "mem");
  TXmlItem* v = parser.Root()->GetItem("v");
  ASSERT_EQ(v->Count(), 3);
  v->SetText("a &amp; <b> &x;");
  EXPECT_EQ(v->Text(), "a &amp; <b> &x;") << "no entity or markup parsing";
  ASSERT_EQ(v->Count(), 1) << "one text node, mirrored";
  EXPECT_EQ(v->Items(0)->Name(), "#text");

  v->SetText("");
  EXPECT_EQ(v->Count(), 0);
  EXPECT_EQ(v->Text(), "");

  TXmlParser reloaded;
  parser.Root()->GetItem("v")->SetText("x < y & \"z\"\r\n\tend");
  reloaded.LoadFromText(parser.SaveToText(), "mem");
  EXPECT_EQ(reloaded.Root()->GetText("v"), "x < y & \"z\"\r\n\tend") << "CR and tab survive";
}

TEST(XmlItemBuild, RefusesWhatXmlCannotCarryAndChangesNothing) {
  TXmlParser parser;
  TXmlItem* root = parser.Root();
  root->AddText("keep", "kept");
  // libxml2 would silently drop a control character on save.
  EXPECT_THROW(root->AddText("bad", std::string("a\x01z")), Exception);
  EXPECT_THROW(root->AddText("bad", std::string("a\0z", 3)), Exception);
  EXPECT_THROW(root->AddText("bad", "\xC3\x28"), EEncodingError);
  EXPECT_THROW(root->GetItem("keep")->SetText("\x1B[0m"), Exception);
  EXPECT_THROW(root->Add("two words"), Exception);
  EXPECT_THROW(root->Add("1abc"), Exception);
  EXPECT_THROW(root->Add(""), Exception);
  EXPECT_EQ(ChildNames(root), (std::vector<std::string>{"keep"}));
  EXPECT_EQ(root->GetText("keep"), "kept");
  EXPECT_EQ(parser.SaveToText().find("bad"), std::string::npos);
}

TEST(XmlItemBuild, OnlyElementsTakeChildren) {
  TXmlParser parser;
  parser.LoadFromText("<r> <!--c--></r>", "mem");
  TXmlItem* blank = parser.Root()->Items(0);
  ASSERT_EQ(blank->Name(), "#text");
  EXPECT_THROW(blank->Add("x"), Exception);
  EXPECT_THROW(parser.Root()->Items(1)->Add("x"), Exception);
  EXPECT_EQ(parser.Root()->Count(), 2);
}

TEST(XmlItemNil, NullNodesAreRefused) {
  EXPECT_EQ(ErrorOf([] { TXmlItem(nullptr, nullptr); }), "AxmlNode = nil");
  EXPECT_EQ(ErrorOf([] { TXmlItemParams{nullptr}; }), "AxmlNode = nil");
}

TEST(XmlItemParams, GetAndSetAttributes) {
  TXmlParser parser;
  parser.LoadFromText("<r a='1' b=\"x &amp; y\" xml:lang='ru'> <c/></r>", "mem");
  TXmlItemParams& params = parser.Root()->Params();
  EXPECT_EQ(&params, &parser.Root()->Params()) << "created once";
  EXPECT_EQ(params.Count(), 3);
  EXPECT_EQ(params.GetValue("b"), "x & y");
  EXPECT_EQ(params.GetValue("xml:lang"), "ru");
  EXPECT_EQ(params.GetValue("missing"), "");
  EXPECT_EQ(params.GetValue("A"), "") << "attribute names keep their case";

  params.SetValue("a", "2 & <3>");
  EXPECT_EQ(params.Count(), 3) << "changed in place, no second attribute";
  EXPECT_EQ(params.GetValue("a"), "2 & <3>");
  params.SetValue("new", "Значение");
  EXPECT_EQ(params.Count(), 4);

  TXmlParser reloaded;
  reloaded.LoadFromText(parser.SaveToText(), "mem");
  TXmlItemParams& back = reloaded.Root()->Params();
  EXPECT_EQ(back.Count(), 4);
  EXPECT_EQ(back.GetValue("a"), "2 & <3>");
  EXPECT_EQ(back.GetValue("new"), "Значение");
  EXPECT_EQ(reloaded.SaveToText().find("a=\"2 &amp; &lt;3&gt;\""), reloaded.SaveToText().find(" a=") + 1);

  EXPECT_THROW(params.SetValue("bad name", "v"), Exception);
  EXPECT_THROW(params.SetValue("a", std::string("\x02")), Exception);
  EXPECT_EQ(params.GetValue("a"), "2 & <3>");
  EXPECT_EQ(params.Count(), 4);
}

TEST(XmlItemParams, NodesWithoutAttributesTraceAndRefuseWrites) {
  std::vector<std::string> traces;
  SetXmlDebugTrace([&](std::string_view t) { traces.emplace_back(t); });
  TXmlParser parser;
  parser.LoadFromText("<r> </r>", "mem");
  TXmlItemParams& params = parser.Root()->Items(0)->Params();
  EXPECT_EQ(params.Count(), 0);
  EXPECT_EQ(params.GetValue("a"), "");
  EXPECT_EQ(traces, (std::vector<std::string>{"attributes"}));
  EXPECT_THROW(params.SetValue("a", "1"), Exception);
  EXPECT_EQ(parser.Root()->Params().GetValue("a"), "");
  EXPECT_EQ(traces.size(), 1u) << "an element without attributes is no trace";
  SetXmlDebugTrace(nullptr);
}
