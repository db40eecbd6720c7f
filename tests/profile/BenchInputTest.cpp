// What a bench takes from the user beside the profile: a values table as spreadsheets save it,
// and the ports, none of which may be named twice.
#include "BenchRun.h"
#include "BenchValues.h"
#include "ErrorOf.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace quorvel {
namespace {

using test::ErrorOf;

TEST(BenchValues, AByteOrderMarkAndBlanksAroundCellsAreNoPartOfTheValues) {
  const struct {
    const char* name;
    std::string text;
  } tables[] = {
      {"plain", "factory_number,serial,sim_apn\n1001,12345678,internet\n"},
      {"byte order mark",
       "\xEF\xBB\xBF"
       "factory_number,serial,sim_apn\n1001,12345678,internet\n"},
      {"padded cells",
       "\xEF\xBB\xBF factory_number , serial,\tsim_apn\r\n  1001 ,12345678\t, internet \r\n \r\n"},
      {"quoted padding", "factory_number,serial,sim_apn\n\"1001\" , \"12345678\",internet\n"},
  };
  for (const auto& t : tables) {
    SCOPED_TRACE(t.name);
    const std::string error = ErrorOf([&] {
      const TBenchValues table = TBenchValues::Parse(t.text, "v.csv", TValueKey::FactoryNumber);
      const TValueRow* row = table.Find("1001");
      ASSERT_NE(row, nullptr);
      EXPECT_EQ(row->at(kSerialColumn), "12345678");
      EXPECT_EQ(row->at(kSimApnColumn), "internet");
      EXPECT_EQ(table.Rows().size(), 1u);
    });
    EXPECT_EQ(error, "");
  }
  // Blanks a value holds inside its quotes are its own.
  const TBenchValues quoted = TBenchValues::Parse("factory_number,sim_password\n1, \" pa ss \" \n", "v.csv",
                                                  TValueKey::FactoryNumber);
  EXPECT_EQ(quoted.Rows().at(0).at(kSimPasswordColumn), " pa ss ");
  // A mark anywhere but at the start is no blank.
  EXPECT_NE(ErrorOf([] {
              TBenchValues::Parse("factory_number,\xEF\xBB\xBFserial\n", "v.csv", TValueKey::FactoryNumber);
            }).find("неизвестный столбец"),
            std::string::npos);
}

TEST(BenchPorts, APortNamedTwiceInAnySpellingIsRefused) {
  test::TempDir dir;
  const std::string device = dir.File("ttyUSB0");
  std::ofstream(device) << "";
  std::filesystem::create_directory(dir.File("by-id"));
  std::filesystem::create_symlink(device, dir.File("by-id/usb-Ortena-if00"));
  const std::string other = dir.File("ttyUSB1");
  std::ofstream(other) << "";
  const struct {
    const char* name;
    std::vector<std::string> ports;
    std::string error;
  } cases[] = {
      {"distinct", {device, other}, ""},
      {"the same path", {device, other, device}, "Порт " + device + " назван дважды"},
      {"a link and its target",
       {device, dir.File("by-id/usb-Ortena-if00")},
       "Порты " + device + " и " + dir.File("by-id/usb-Ortena-if00") + " ведут к одному устройству " +
           device},
      {"a dotted spelling", {dir.File("by-id/../ttyUSB1"), other}, "к одному устройству " + other},
      {"missing paths as written",
       {"/dev/none-a", "/dev/none-b", "/dev/none-a"},
       "Порт /dev/none-a назван дважды"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string error = ErrorOf([&] { CheckDistinctPorts(c.ports); });
    if (c.error.empty())
      EXPECT_EQ(error, "");
    else
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace quorvel
