// The shared pieces of the configuration document and their lookup rules.
#include "AppDocSections.h"

#include "AppDoc.h"
#include "xmlParser.h"

#include <gtest/gtest.h>

#include "AppDocTestSupport.h"
#include "TextUtils.h"

using namespace quorvel;
using namespace quorvel::appdocxml;
using quorvel::test::ErrorOf;

namespace {

TXmlItem& Parse(TXmlParser& parser, const std::string& xml) {
  parser.LoadFromText(xml, "t.xml");
  return *parser.Root();
}

const char* kProvider = "<provider><name>p1</name><text>T</text></provider>";

}  // namespace

TEST(AppDocSections, ReceiptLinesAreLineAttributes) {
  TXmlParser parser;
  EXPECT_EQ(ReadLines(*Parse(parser, "<root><Header Line1='A' Line2='B'/></root>").Find("Header")),
            "A\r\nB\r\n");
  // Two attributes mean Line1 and Line2, whatever they are called.
  EXPECT_EQ(ReadLines(Parse(parser, "<Header Line1='A' Line3='C'/>")), "A\r\n\r\n");
  EXPECT_EQ(ReadLines(Parse(parser, "<Header/>")), "");

  parser.NewDocument();
  WriteLines(*parser.Root(), "Header", "A\r\nB\r\n");
  TXmlItem& header = *parser.Root()->Find("Header");
  EXPECT_EQ(header.Params().Count(), 2);
  EXPECT_EQ(header.Params().GetValue("Line1"), "A");
  EXPECT_EQ(header.Params().GetValue("Line2"), "B");

  struct Row {
    const char* text;
    std::vector<std::string> lines;
  };
  for (const Row& row : std::vector<Row>{{"", {}},
                                         {"A", {"A"}},
                                         {"A\r\n", {"A"}},
                                         {"A\nB\rC\r\n", {"A", "B", "C"}},
                                         {"\r\n\r\nX", {"", "", "X"}},
                                         {"A\r\n\r\n", {"A", ""}}})
    EXPECT_EQ(SplitLines(row.text), row.lines) << row.text;
}

TEST(AppDocSections, FeeValuesAndSums) {
  for (auto [value, text] : std::vector<std::pair<double, const char*>>{{12.5, "12.5"},
                                                                        {0.01, "0.01"},
                                                                        {100, "100"},
                                                                        {1e-7, "1e-07"},
                                                                        {0.1 + 0.2, "0.3"},
                                                                        {2.0 / 3, "0.666666666666667"}})
    EXPECT_EQ(FormatFeeValue(value), text);
  for (auto [text, value] : std::vector<std::pair<const char*, double>>{
           {"12.5", 12.5}, {" 7 ", 7}, {"1E-5", 1e-5}, {"+3", 3}, {"-0.5", -0.5}})
    EXPECT_EQ(ParseFeeValue(text), value) << text;
  for (const char* bad : {"", "abc", "1,5", "inf", "nan", "1e999", "+-1", "1.5x"})
    EXPECT_EQ(ErrorOf([&] { ParseFeeValue(bad); }),
              fmt::format("'{}' - неверное вещественное значение", bad));

  TXmlParser parser;
  TFeeTables tables;
  TXmlItem& list = Parse(parser,
                         "<FeeTables><ItemIndex>2</ItemIndex><FeeTable><SchemeType>1</SchemeType><FEES>"
                         "<Fee><FeeSum>0.00005</FeeSum><FeeValue>1</FeeValue><FeeType>0</FeeType></Fee>"
                         "</FEES></FeeTable></FeeTables>");
  EXPECT_THROW(ReadFeeTableList(list, tables), EConvertError) << "a sum finer than four decimals";
  EXPECT_EQ(tables.ItemIndex, 2);
  EXPECT_EQ(tables.Items(0).SchemeType(), 1);
}

TEST(AppDocSections, ElevenFeeTablesFillTenAndFewerLeaveTheRest) {
  auto table = [](int scheme, const char* sum) {
    return fmt::format(
        "<FeeTable><SchemeType>{}</SchemeType><fees><Fee><FeeSum>{}</FeeSum>"
        "<FeeValue>150</FeeValue><FeeType>7</FeeType></Fee></fees></FeeTable>",
        scheme, sum);
  };
  std::string eleven = "<root><FeeTables><ItemIndex>9</ItemIndex>";
  for (int i = 0; i < 10; ++i) eleven += table(1, "10");
  eleven += table(2, "99") + "</FeeTables></root>";
  TXmlParser parser;
  TFeeTables tables;
  ReadFeeTableList(*Parse(parser, eleven).Find("FeeTables"), tables);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(tables.Items(i).SchemeType(), 1);
    ASSERT_EQ(tables.Items(i).Fees().Count(), 1);
    EXPECT_EQ(tables.Items(i).Fees().Items(0).FeeSum, Money::Parse("10"));
    EXPECT_EQ(tables.Items(i).Fees().Items(0).FeeValue, 150) << "no rate rules when reading a file";
    EXPECT_EQ(tables.Items(i).Fees().Items(0).FeeType, 7);
  }
  ReadFeeTableList(Parse(parser, "<FeeTables><ItemIndex>0</ItemIndex>" + table(2, "5") + "</FeeTables>"),
                   tables);
  EXPECT_EQ(tables.Items(0).SchemeType(), 2);
  EXPECT_EQ(tables.Items(1).SchemeType(), 1) << "tables without an element keep their content";
  EXPECT_EQ(tables.Items(1).Fees().Count(), 1);
}

TEST(AppDocSections, ProviderListsMatchEntriesExactlyAndListNamesInAnyCase) {
  TXmlParser parser;
  TServiceProviders list;
  list.Add().SetIdentifier("old");
  ReadProviderList(
      *Parse(parser, "<s><providers><Provider><name>x</name><text>T</text></Provider></providers></s>")
           .GetItem("providers"),
      list);
  EXPECT_EQ(list.Count(), 0) << "Provider with a capital P is not a provider";

  TXmlItem& s =
      Parse(parser, std::string("<s><PROVIDERS>\n  ") + kProvider +
                        "\n  <provider><MAXAMOUNT>100</MAXAMOUNT><name>p2</name><Text>Очень длинный "
                        "текст провайдера</Text><FeeTableID>4</FeeTableID></provider></PROVIDERS></s>");
  ReadProviderList(*s.GetItem("providers"), list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(1).Identifier(), "p2");
  EXPECT_EQ(list.Items(1).Text(), "Очень длинный текст") << "cut to 19 characters by the setter";
  EXPECT_EQ(list.Items(1).MaxAmount(), 100);
  EXPECT_EQ(list.Items(1).FeeTableID, 4);
  EXPECT_EQ(list.Items(1).MinAmount(), 0) << "missing values keep the defaults";

  TXmlItem& bad = Parse(parser, std::string("<providers>") + kProvider +
                                    "<provider><name>p2</name><MinAmount>-1</MinAmount></provider>" +
                                    kProvider + "</providers>");
  EXPECT_EQ(ErrorOf([&] { ReadProviderList(bad, list); }),
            "Неверная минимальная сумма платежа, -1. Допустимые значения: 0..30000");
  ASSERT_EQ(list.Count(), 1) << "the refused provider is not left behind, the read stops";
  EXPECT_EQ(list.Items(0).Identifier(), "p1");
}

TEST(AppDocSections, ProviderTrees) {
  TXmlParser parser;
  TEPort system;
  system.ProviderGroup().AddChild().Text = "old";
  ReadSharedFour(
      Parse(parser, std::string("<s><server><ip>1</ip><port>2</port><trycount>3</trycount></server>"
                                "<scripts/><providers>") +
                        kProvider + "</providers></s>"),
      system);
  EXPECT_EQ(system.ProviderGroup().Text, "Группа 1");
  EXPECT_EQ(system.ProviderGroup().Count(), 0);
  ASSERT_EQ(system.ProviderGroup().Providers().Count(), 1);
  EXPECT_EQ(system.ProviderGroup().Providers().Items(0).Identifier(),
            system.Providers().Items(0).Identifier());

  const std::string tree =
      "<s><providers/><PROVIDERGROUP><Text>R</Text><providers/>"
      "<ProviderGroup><Text>A</Text><providers>" +
      std::string(kProvider) +
      "</providers><ProviderGroup><Text>A1</Text><providers/></ProviderGroup></ProviderGroup>"
      "<providergroup><Text>ignored</Text><providers/></providergroup></PROVIDERGROUP></s>";
  ReadProviderTree(Parse(parser, tree), system.ProviderGroup());
  EXPECT_EQ(system.ProviderGroup().Text, "R");
  ASSERT_EQ(system.ProviderGroup().Count(), 1) << "subgroups must be named exactly ProviderGroup";
  EXPECT_EQ(system.ProviderGroup().Items(0).Providers().Count(), 1);
  EXPECT_EQ(system.ProviderGroup().Items(0).Items(0).Text, "A1");

  std::string deep = "<s>";
  for (int i = 0; i < 11; ++i) deep += "<ProviderGroup><Text>L</Text><providers/>";
  for (int i = 0; i < 11; ++i) deep += "</ProviderGroup>";
  deep += "</s>";
  EXPECT_EQ(ErrorOf([&] { ReadProviderTree(Parse(parser, deep), system.ProviderGroup()); }),
            "Максимальный уровень вложенности групп 9");
  EXPECT_EQ(ErrorOf([&] {
              ReadProviderTree(Parse(parser, "<s><ProviderGroup><Text/></ProviderGroup></s>"),
                               system.ProviderGroup());
            }),
            "Элемент не найден, providers");
}

TEST(AppDocSections, ServerParams) {
  TXmlParser parser;
  TServerParams params;
  params.ServerName = "old";
  ReadServerParams(
      Parse(parser, "<s><server><IP>1.2.3.4</IP><port>80</port><trycount>100</trycount></server></s>"),
      params);
  EXPECT_EQ(params.Address, "1.2.3.4");
  EXPECT_EQ(params.Port, 80);
  EXPECT_EQ(params.RetryCount(), 100);
  EXPECT_EQ(params.ServerName, "") << "an absent ServerName clears the old one";
  EXPECT_EQ(ErrorOf([&] {
              ReadServerParams(
                  Parse(parser, "<server><ip>9</ip><port>8O</port><trycount>1</trycount></server>"), params);
            }),
            "'8O' - неверное целое значение");
  EXPECT_EQ(params.Address, "9") << "values before the error stay";
  EXPECT_EQ(ErrorOf([&] {
              ReadServerParams(
                  Parse(parser, "<server><ip>9</ip><port>8</port><trycount>0</trycount></server>"), params);
            }),
            "Неверное значение числа повторов, 0. Допустимые значения: 1..100");
  EXPECT_EQ(params.RetryCount(), 100);
  EXPECT_EQ(ErrorOf([&] { ReadServerParams(Parse(parser, "<s><port>1</port></s>"), params); }),
            "Элемент не найден, server");
}

TEST(AppDocSections, ScriptsKeepTheBuiltInOnesAndStopAtABadOne) {
  TXmlParser parser;
  TScripts scripts;
  scripts.AddNew().SetName("old");
  auto script = [](int id, const char* name) {
    return fmt::format("<script><id>{}</id><text>{}</text><data>D{}</data></script>", id, name, id);
  };
  ReadScripts(
      Parse(parser, "<s><SCRIPTS>" + script(300, "b") + "<other/>" + script(20, "a") + "</SCRIPTS></s>"),
      scripts);
  ASSERT_EQ(scripts.Count(), 4);
  EXPECT_FALSE(scripts.Items(0).Editable());
  EXPECT_EQ(scripts.Items(2).Number(), 20);
  EXPECT_EQ(scripts.Items(3).Text(), "D300");

  EXPECT_EQ(ErrorOf([&] {
              ReadScripts(Parse(parser, "<scripts>" + script(30, "a") + script(30, "dup") + script(40, "c") +
                                            "</scripts>"),
                          scripts);
            }),
            kScriptNumberNotUniqueMessage);
  ASSERT_EQ(scripts.Count(), 3) << "the duplicate is not left behind with a made-up number";
  EXPECT_EQ(scripts.Items(2).Number(), 30);

  std::string many = "<scripts>";
  for (int i = 0; i < 119; ++i) many += script(10 + i, "s");
  EXPECT_EQ(ErrorOf([&] { ReadScripts(Parse(parser, many + "</scripts>"), scripts); }),
            "Количество скриптов ввода не может быть больше 120");
  EXPECT_EQ(scripts.Count(), 120);
}

TEST(AppDocSections, SimCardsAndGprsOperators) {
  TXmlParser parser;
  TSimCards cards;
  ReadSimCardList(Parse(parser,
                        "<SimCards><SimCard><slotnumber>3</slotnumber><pin>1</pin><apn>a</apn>"
                        "<login/><password>p</password><enabled>1</enabled><priority>true</priority>"
                        "</SimCard></SimCards>"),
                  cards);
  ASSERT_EQ(cards.Count(), 3);
  EXPECT_EQ(cards.Items(0).SlotNumber, 1);
  EXPECT_EQ(cards.Items(1).SlotNumber, 2);
  EXPECT_EQ(cards.Items(2).SlotNumber, 3);
  EXPECT_TRUE(cards.Items(2).Enabled);
  EXPECT_FALSE(cards.Items(2).Priority) << "only \"1\" is true";

  TGprsProviders ops;
  ops.Add().SetName("old");
  ReadGprsProviderList(
      Parse(parser,
            "<ServiceProviders>\n  <ServiceProvider name=\" МТС\" apn=\"internet.mts.ru\" "
            "login=\"mts\" password=\"mts\"/>\n  <!-- c -->\n  <ServiceProvider apn=\"x\"/>\n"
            "  <ServiceProvider name=\"   \"/>\n  <Other name=\"Билайн\"/>\n</ServiceProviders>"),
      ops);
  ASSERT_EQ(ops.Count(), 2);
  EXPECT_EQ(ops.Items(0).Name(), " МТС");
  EXPECT_EQ(ops.Items(0).Password, "mts");
  EXPECT_EQ(ops.Items(1).Name(), "Билайн");
  EXPECT_EQ(ops.Items(1).Apn, "") << "a missing attribute reads as empty";
}

TEST(AppDocSections, KeysChangeOnlyAsAWhole) {
  TXmlParser parser;
  TCyberplatKey key;
  key.Key = "old";
  key.KeyType = kCyberplatPublicKey;
  EXPECT_EQ(ErrorOf([&] {
              ReadCyberplatKey(Parse(parser, "<k><Key>new</Key><Sig/><KeyNum/><SigNum/><KeyName/></k>"), key);
            }),
            "Элемент не найден, SigName");
  EXPECT_EQ(key.Key, "old");
  ReadCyberplatKey(
      Parse(parser, "<k><Key>new</Key><Sig/><KeyNum/><SigNum/><KeyName/><SigName>s</SigName></k>"), key);
  EXPECT_EQ(key.Key, "new");
  EXPECT_EQ(key.SigName, "s");
  EXPECT_EQ(key.KeyType, kCyberplatPublicKey);
  EXPECT_EQ(UpperLatin("ab-Яя-z9"), "AB-Яя-Z9");
}
