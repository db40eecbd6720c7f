// Imports of stand-alone files change their part of the document all or nothing.
#include "AppDoc.h"
#include "AppDocXml.h"
#include "FeeTable.h"
#include "Fees.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include "AppDocTestSupport.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

// The n-th (0-based) element <tag> of text gets the content value, or is renamed to value.
std::string Damage(std::string text, const std::string& tag, const std::string& value, int n, bool rename) {
  const std::string open = "<" + tag + ">";
  std::size_t at = text.find(open);
  for (int i = 0; i < n && at != std::string::npos; ++i) at = text.find(open, at + 1);
  const std::size_t end = at == std::string::npos ? at : text.find("</" + tag + ">", at);
  if (end == std::string::npos) {
    ADD_FAILURE() << tag << " #" << n << " not in the file";
    return text;
  }
  if (!rename) return text.replace(at + open.size(), end - at - open.size(), value);
  text.replace(end + 2, tag.size(), value);
  return text.replace(at + 1, tag.size(), value);
}

struct ImportCase {
  const char* name;
  // Writes the filled document's part to the file.
  std::function<void(TAppDoc&, const std::string&)> save;
  // The damage: the n-th element tag gets the content value (or is renamed to it).
  const char* tag;
  const char* value;
  int nth;
  bool rename;
  std::function<void(TAppDoc&, const std::string&)> load;
};

}  // namespace

TEST(AppDocImport, FileThatFailsHalfWayLeavesThePartAsItWas) {
  const std::vector<ImportCase> cases = {
      {"fee sum of the second rate",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); }, "FeeSum", "12x",
       1, false, [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"fee value nan in the third table",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); }, "FeeValue",
       "nan", 2, false,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"fee sum 1e308", [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); },
       "FeeSum", "1e308", 3, false,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"fee type 7 in the sixth table",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); }, "FeeType", "7",
       20, false, [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"negative fee sum",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); }, "FeeSum",
       "-100", 4, false,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"negative fee value",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); }, "FeeValue",
       "-2.5", 0, false,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"fee value 1e20",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); }, "FeeValue",
       "1e20", 54, false,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"scheme type of the last table",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveFeeTables(d.FeeTables(), f); }, "SchemeType",
       "7", 9, false, [](TAppDoc& d, const std::string& f) { AppDocXml().LoadFeeTables(d.FeeTables(), f); }},
      {"script id out of range",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveScripts(d.OSMP(), f); }, "id", "9", 2, false,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadScripts(d.OSMP(), f); }},
      {"script id not a number",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveScripts(d.OSMP(), f); }, "id", "1a", 1, false,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadScripts(d.OSMP(), f); }},
      {"server retry count",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveServerParams(d.Bercut(), f); }, "trycount", "0",
       0, false, [](TAppDoc& d, const std::string& f) { AppDocXml().LoadServerParams(d.Bercut(), f); }},
      {"EPort provider after the card values",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveEPort(d.EPort(), f); }, "MinAmount", "z", 1,
       false, [](TAppDoc& d, const std::string& f) { AppDocXml().LoadEPort(d.EPort(), f); }},
      {"XPlat without its login",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SaveXPlat(d.XPlat(), f); }, "Login", "Logon", 0,
       true, [](TAppDoc& d, const std::string& f) { AppDocXml().LoadXPlat(d.XPlat(), f); }},
      {"OSMP without its login", [](TAppDoc& d, const std::string& f) { AppDocXml().SaveOSMP(d.OSMP(), f); },
       "Login", "Logon", 0, true,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadOSMP(d.OSMP(), f); }},
      {"PegasOSMP without its login",
       [](TAppDoc& d, const std::string& f) { AppDocXml().SavePegasOSMP(d.PegasOSMP(), f); }, "Login",
       "Logon", 0, true,
       [](TAppDoc& d, const std::string& f) { AppDocXml().LoadPegasOSMP(d.PegasOSMP(), f); }},
  };
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    TAppDoc source(dir.File("source-none.xml"));
    source.SaveOnDestroy = false;
    FillDocument(source);
    const std::string file = dir.File("part.xml");
    c.save(source, file);
    WriteBytes(file, Damage(ReadBytes(file), c.tag, c.value, c.nth, c.rename));

    // The target holds other values than the file, so a half-done import shows.
    TAppDoc target(dir.File("target-none.xml"));
    target.SaveOnDestroy = false;
    FillDocument(target);
    for (int t = 0; t < target.FeeTables().Count(); ++t) target.FeeTables().Items(t).Fees().Delete(0);
    target.OSMP().Scripts().FindByNumber(500)->SetText("другой текст");
    target.Bercut().ServerParams().Address = "192.168.0.9";
    target.EPort().CardNumber = "0000";
    target.XPlat().Point = "другая точка";
    target.OSMP().TerminalID = "другой";
    target.PegasOSMP().TerminalID = "другой";
    const auto before = Dump(target);
    EXPECT_FALSE(ErrorOf([&] { c.load(target, file); }).empty());
    ExpectSameDump(Dump(target), before);
  }
}

// A fee file is held to the rules of a rate, which the terminal relies on: the first rate that
// breaks one is named, and no table changes.
TEST(AppDocImport, AFeeFileWithARateAgainstTheRulesIsRefusedNamingIt) {
  const struct {
    const char* Sum;
    const char* Value;
    const char* Type;
    std::string Expected;
  } rows[] = {
      {"200", "1", "7", "Таблица 2, ставка 2: Неверный тип ставки комиссии, 7. Допустимые значения: 0..1"},
      {"-200", "1", "0", std::string("Таблица 2, ставка 2: ") + kFeeSumMessage},
      {"200", "-1", "1", std::string("Таблица 2, ставка 2: ") + kFeeValueMessage},
      {"200", "0", "0", std::string("Таблица 2, ставка 2: ") + kFeeValueMessage},
      {"200", "1e20", "0", std::string("Таблица 2, ставка 2: ") + kFeeMaxPercentMessage},
      {"200", "1e20", "1", std::string("Таблица 2, ставка 2: ") + kFeeFixedMessage},
      {"200", "0.001", "0", std::string("Таблица 2, ставка 2: ") + kFeeMinPercentMessage},
      {"200", "150", "1", ""},  // the same place with a rate that keeps the rules
  };
  const auto fee = [](const char* sum, const char* value, const char* type) {
    return fmt::format("<Fee><FeeSum>{}</FeeSum><FeeValue>{}</FeeValue><FeeType>{}</FeeType></Fee>", sum,
                       value, type);
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Expected);
    TempDir dir;
    const std::string file = dir.File("fees.xml");
    WriteBytes(file,
               "<root><FeeTables><ItemIndex>1</ItemIndex>"
               "<FeeTable><SchemeType>1</SchemeType><fees>" +
                   fee("50", "2", "0") +
                   "</fees></FeeTable>"
                   "<FeeTable><SchemeType>2</SchemeType><fees>" +
                   fee("100", "3", "1") + fee(row.Sum, row.Value, row.Type) +
                   "</fees></FeeTable></FeeTables></root>");
    TFeeTables tables;
    tables.Items(0).Fees().Add().SetValues(kFeeFixed, Money::Parse("700"), 7);
    tables.Items(1).Fees().Add().SetValues(kFeePercent, Money::Parse("800"), 8);
    tables.ItemIndex = 5;
    if (row.Expected.empty())
      EXPECT_NO_THROW(AppDocXml().LoadFeeTables(tables, file));
    else
      EXPECT_EQ(ErrorOf([&] { AppDocXml().LoadFeeTables(tables, file); }), row.Expected);
    if (!row.Expected.empty()) {
      EXPECT_EQ(tables.ItemIndex, 5);
      for (int t = 0; t < 2; ++t) {
        EXPECT_EQ(tables.Items(t).SchemeType(), 0) << t;
        ASSERT_EQ(tables.Items(t).Fees().Count(), 1) << t;
        EXPECT_EQ(tables.Items(t).Fees().Items(0).FeeSum, Money::Parse(t == 0 ? "700" : "800")) << t;
      }
    } else {
      EXPECT_EQ(tables.Items(1).SchemeType(), 2);
      EXPECT_EQ(tables.Items(1).Fees().Count(), 2);
    }
  }
}
