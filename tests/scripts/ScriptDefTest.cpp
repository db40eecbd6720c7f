#include "ScriptDef.h"

#include "Errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ScriptDefSignatures.h"

using namespace quorvel;
using quorvel::test::Signatures;

namespace {

TEST(ScriptDef, BuiltInDefinition) {
  TScriptDef def;
  EXPECT_EQ(def.ModemVersion, "Ver 2.0.909875");
  const std::vector<std::string> expected = {
      "SELECT:0(p:100)",
      "GOTO:0(n:3)",
      "NEXT_WND:0(n:3)",
      "LIST:0(x:3,y:3,cx:3,cy:3,p:100)",
      "MASKEDIT:256(x:3,y:3,cx:3,cy:3,p:256,n:3)",
      "PAYPARAMS:0()",
      "STATIC:0(x:3,y:3,cx:3,cy:3,p:256,n:3)",
      "SUMEDIT:256(x:3,y:3,cx:3,cy:3,min:6,max:6,n:3)",
      "TESTNUMBER:0()",
      "WINDOW:0(Number:3)",
      "PROTOCOL:256",
      "NUMBER:256",
      "ACCOUNT:256",
      "AMOUNT:256",
      "AMOUNT_ALL:256",
      "SESSION:256",
      "REQ_TYPE:256",
      "COMMENT:256",
      "EXT_ID:256",
      "SUMM:256",
      "COMMISION:256",
      "COMMVALUE:256",
  };
  EXPECT_EQ(Signatures(def), expected);
  EXPECT_EQ(def.GetKeywords(),
            "SELECT\r\nGOTO\r\nNEXT_WND\r\nLIST\r\nMASKEDIT\r\nPAYPARAMS\r\nSTATIC\r\nSUMEDIT\r\n"
            "TESTNUMBER\r\nWINDOW\r\nPROTOCOL\r\nNUMBER\r\nACCOUNT\r\nAMOUNT\r\nAMOUNT_ALL\r\n"
            "SESSION\r\nREQ_TYPE\r\nCOMMENT\r\nEXT_ID\r\nSUMM\r\nCOMMISION\r\nCOMMVALUE\r\n");
}

TEST(ScriptDef, ArgumentRules) {
  TScriptDef def;
  const TScriptMethods& m = def.Methods();
  ASSERT_NE(m.Find("select"), nullptr);
  EXPECT_EQ(m.Find("select")->Name, "SELECT");
  EXPECT_EQ(m.Find("Next_Wnd"), m.Items(2));
  EXPECT_EQ(m.Find("SELEC"), nullptr);
  EXPECT_EQ(def.Variables().Find("comment"), def.Variables().Items(7));
  EXPECT_EQ(def.Variables().Find("WINDOW"), nullptr);

  EXPECT_EQ(m.Find("SELECT")->MaxArgs(), kScriptUnlimitedArgs);
  EXPECT_EQ(m.Find("LIST")->MaxArgs(), kScriptUnlimitedArgs);
  EXPECT_EQ(m.Find("MASKEDIT")->MaxArgs(), 6);
  EXPECT_EQ(m.Find("TESTNUMBER")->MaxArgs(), 0);
  EXPECT_EQ(m.Find("LIST")->MinArgs(), 5);

  const TScriptMethod* list = m.Find("LIST");
  EXPECT_TRUE(list->ArgAccepts(7, kScriptTypeString));  // beyond the end: tested against p
  EXPECT_TRUE(list->ArgAccepts(4, kScriptTypeString));
  EXPECT_FALSE(list->ArgAccepts(7, kScriptTypeInteger));
  EXPECT_FALSE(list->ArgAccepts(0, kScriptTypeString));  // x wants an integer
  EXPECT_TRUE(list->ArgAccepts(0, kScriptTypeInteger));
  EXPECT_FALSE(m.Find("TESTNUMBER")->ArgAccepts(0, kScriptTypeInteger));
  EXPECT_FALSE(m.Find("SUMEDIT")->ArgAccepts(4, kScriptTypeInteger));
  EXPECT_TRUE(m.Find("SUMEDIT")->ArgAccepts(4, kScriptTypeFloat));
}

TEST(ScriptDef, Accepts) {
  struct Case {
    std::int32_t itemType, offered;
    bool accepted;
  };
  const Case cases[] = {
      {kScriptTypeStringList, kScriptTypeString, true},
      {kScriptTypeStringList, kScriptTypeStringList, true},
      {kScriptTypeStringList, kScriptTypeInteger, false},
      {kScriptTypeString, kScriptTypeString, true},
      {kScriptTypeString, kScriptTypeStringList, false},
      {kScriptTypeString, kScriptTypeInteger, false},
      {kScriptTypeInteger, kScriptTypeFloat, false},
      {kScriptTypeFloat, kScriptTypeFloat, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TScriptVariable("v", c.itemType).Accepts(c.offered), c.accepted)
        << c.itemType << " offered " << c.offered;
  }
}

TEST(ScriptDef, AssignCopiesDeeply) {
  TScriptDef from;
  from.ModemVersion = "Ver 3";
  from.Methods().Add("EXTRA", kScriptTypeInteger)->Params.Add("q", kScriptTypeFloat);
  from.Variables().Add("MORE", kScriptTypeStringList);
  TScriptDef to;
  to.Assign(from);
  EXPECT_EQ(Signatures(to), Signatures(from));
  EXPECT_EQ(to.ModemVersion, "Ver 3");
  from.SetDefaults();
  EXPECT_EQ(to.Methods().Count(), 11);
  EXPECT_EQ(to.Methods().Items(10)->Params.Items(0)->Name, "q");
}

TEST(ScriptDefs, SetsAndTheirFirstDefinition) {
  TScriptDefs defs;
  EXPECT_EQ(defs.Count(), 0);
  EXPECT_EQ(defs.FileVersion, "1.0");
  // An empty set used by the editor is first given the built-in definition.
  TScriptDef* first = defs.First();
  ASSERT_EQ(defs.Count(), 1);
  EXPECT_EQ(first, defs.Items(0));
  EXPECT_EQ(first->Methods().Count(), 10);
  EXPECT_EQ(defs.First(), first);

  defs.FileVersion = "7";
  defs.Add()->ModemVersion = "other";
  defs.SetDefaults();
  EXPECT_EQ(defs.Count(), 1);
  EXPECT_EQ(defs.FileVersion, "1.0");
  EXPECT_EQ(defs.Items(0)->ModemVersion, "Ver 2.0.909875");
  EXPECT_THROW(defs.Items(1), Exception);
  EXPECT_THROW(defs.Items(-1), Exception);
  EXPECT_THROW(defs.Items(0)->Methods().Items(10), Exception);
  EXPECT_THROW(defs.Items(0)->Variables().Items(12), Exception);
}

}  // namespace
