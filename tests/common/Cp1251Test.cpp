#include "Cp1251.h"

#include "Errors.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace quorvel;

TEST(Cp1251, CyrillicBothWays) {
  const std::string utf8 = "Ошибок нет, №5 ёЁ €";
  const std::string cp = Utf8ToCp1251(utf8);
  EXPECT_EQ(cp, "\xCE\xF8\xE8\xE1\xEE\xEA \xED\xE5\xF2, \xB9" "5 \xB8\xA8 \x88");
  EXPECT_EQ(Cp1251ToUtf8(cp), utf8);
}

TEST(Cp1251, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(Cp1251, MissingCharacterIsAClearError) {
  try {
    Utf8ToCp1251("ok 漢 ok");
    FAIL() << "no error";
  } catch (const EEncodingError& e) {
    EXPECT_NE(std::string(e.what()).find("漢"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("U+6F22"), std::string::npos) << e.what();
  }
  EXPECT_THROW(Utf8ToCp1251("\xFF\xFE"), EEncodingError);   // not UTF-8
  EXPECT_THROW(Utf8ToCp1251("abc\xD0"), EEncodingError);    // cut sequence
  EXPECT_FALSE(IsCp1251Representable("😀"));
  EXPECT_TRUE(IsCp1251Representable("Привет"));
}

TEST(Cp1251, AgreesWithTheIconvProgram) {
  if (!test::HaveProgram("iconv")) GTEST_SKIP() << "iconv program not installed";
  test::TempDir dir;
  const std::string utf8 = "Съешь же ещё этих мягких французских булок, да выпей чаю. №«»";
  {
    std::ofstream(dir.File("in.txt"), std::ios::binary) << utf8;
  }
  const std::string ref = test::RunCommand("iconv -f UTF-8 -t WINDOWS-1251 " + dir.File("in.txt"));
  EXPECT_EQ(Utf8ToCp1251(utf8), ref);
}
