// What a profile file may hold before a bench sends anything: each group once, its file bytes
// in strict Base64 of any size the file cap allows, a server with an address, a PIN per slot.
#include "Base64.h"
#include "BenchRun.h"
#include "ErrorOf.h"
#include "Profile.h"
#include "ProfileTransfer.h"

#include <gtest/gtest.h>

namespace quorvel {
namespace {

using test::ErrorOf;

// The profile's file with the first occurrence of from replaced by to.
std::string Edited(const TProfile& profile, const std::string& from, const std::string& to) {
  std::string text = profile.SaveToText();
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(ProfileCheck, AGroupGivenTwiceOrItsBytesOutsideBase64AreRefusedWithTheGroupNamed) {
  TProfile profile;
  profile.SetActiveSystem(5);  // EasyPay
  profile.Files.Key = "key bytes";
  profile.SimCards.FindSlot(1).Apn = "internet";
  profile.PhoneBase = "79001234567";
  profile.XmlData = "<p/>";
  profile.Header = "Магазин\r\n";
  profile.Groups = {TProfileGroup::Sim,    TProfileGroup::PhoneBase, TProfileGroup::XmlData,
                    TProfileGroup::Paysys, TProfileGroup::Header,    TProfileGroup::Credentials};
  const std::string base = Base64Encode(profile.PhoneBase);
  const std::string key = Base64Encode(profile.Files.Key);
  const struct {
    const char* name;
    std::string from, to;
    std::string error;  // empty: the file reads
  } cases[] = {
      {"two SimCards", "<SimCards>", "<SimCards/><SimCards>", "sim: элемент SimCards задан дважды"},
      {"two servers", "<server>", "<server/><server>", "paysys: элемент server задан дважды"},
      {"two headers", "<Header ", "<Header/><Header ", "header: элемент Header задан дважды"},
      {"two phone bases", "<PhoneBase>", "<PhoneBase/><PhoneBase>",
       "phonebase: элемент PhoneBase задан дважды"},
      {"a letter outside the alphabet", base, base.substr(0, 4) + "*" + base.substr(5),
       "phonebase: Base64: недопустимый символ (код 0x2A) в позиции 5"},
      {"a key file's letter", key, "!" + key.substr(1),
       "credentials, KeyFile: Base64: недопустимый символ (код 0x21) в позиции 1"},
      {"split over lines", base, base.substr(0, 4) + "\r\n  " + base.substr(4, 4) + "\n\t" + base.substr(8),
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TProfile read;
    const std::string error = ErrorOf([&] { read.LoadFromText(Edited(profile, c.from, c.to), "p.xml"); });
    if (c.error.empty()) {
      EXPECT_EQ(error, "");
      EXPECT_EQ(read.PhoneBase, profile.PhoneBase);
    } else {
      EXPECT_EQ(error.rfind("Профиль p.xml: ", 0), 0u) << error;
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
  }
}

// Base64 of a phone base below the file cap is one text node longer than libxml2 takes by
// default; the check of the run and every parse of the profile must take it whole.
TEST(ProfileCheck, APhoneBaseOfManyMegabytesGoesThroughEveryParse) {
  TProfile profile;
  profile.PhoneBase = std::string(9 << 20, '7');
  profile.Groups = {TProfileGroup::PhoneBase};
  TBenchPlan plan;
  plan.ProfileText = profile.SaveToText();
  ASSERT_LT(plan.ProfileText.size(), std::size_t{16} << 20);
  plan.ProfileName = "big.xml";
  plan.Groups = ParseProfileGroups("");
  plan.Ports = {"/dev/null-port-never-opened"};
  EXPECT_EQ(ErrorOf([&] { TBenchRun run(plan); }), "");
  TProfile read;
  read.LoadFromText(plan.ProfileText, "big.xml");
  EXPECT_EQ(read.PhoneBase.size(), profile.PhoneBase.size());

  // What lifts the cap must not let entities in.
  const std::string bomb =
      "<?xml version=\"1.0\"?><!DOCTYPE settings [<!ENTITY a \"aaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>"
      "<settings><XmlData>&b;</XmlData></settings>";
  EXPECT_NE(ErrorOf([&] { read.LoadFromText(bomb, "bomb.xml"); }).find("<!ENTITY"), std::string::npos);
}

TEST(ProfileCheck, ValuesEveryTerminalNeedsAreAskedForByTheirColumn) {
  TProfile profile;
  profile.SetActiveSystem(4);  // OSMP
  TSimCard& first = profile.SimCards.FindSlot(1);
  first.Enabled = true;
  first.Apn = "internet";
  TSimCard& second = profile.SimCards.FindSlot(2);
  second.Enabled = true;
  second.Apn = "internet";
  second.Pin = "1111";
  profile.System().ServerParams().Address = " ";
  profile.System().ServerParams().Port = 80;
  profile.Groups = {TProfileGroup::Sim, TProfileGroup::Paysys};

  EXPECT_EQ(ErrorOf([&] { CheckProfileGroups(profile, {TProfileGroup::Sim}); }),
            "sim: SIM-карта 1: нет PIN-кода; задайте его в профиле или в столбце sim_pin файла значений");
  EXPECT_EQ(UnreadValueNotes(profile),
            std::vector<std::string>{"SIM-карта 1: терминал не отдает PIN-код; задайте его в профиле или в "
                                     "столбце sim_pin файла значений"});
  first.Pin = "2222";
  second.Pin.clear();
  EXPECT_EQ(ErrorOf([&] { CheckProfileGroups(profile, {TProfileGroup::Sim}); }),
            "sim: SIM-карта 2: нет PIN-кода; задайте его в профиле или в столбце sim2_pin файла значений");
  // A slot not in use needs none.
  second.Enabled = false;
  EXPECT_EQ(ErrorOf([&] { CheckProfileGroups(profile, {TProfileGroup::Sim}); }), "");
  EXPECT_TRUE(UnreadValueNotes(profile).empty());

  EXPECT_EQ(ErrorOf([&] { CheckProfileGroups(profile, {TProfileGroup::Paysys}); }),
            std::string("paysys: ") + kServerAddressMissingMessage);
  profile.System().ServerParams().Address = "10.0.0.1";
  EXPECT_EQ(ErrorOf([&] { CheckProfileGroups(profile, profile.Groups); }), "");
}

}  // namespace
}  // namespace quorvel
