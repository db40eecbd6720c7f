#include "Ortenas.h"
#include "SimCard.h"
#include "SimCardEntry.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace quorvel;

namespace {

struct TRefusal {
  std::string Message;
  TSimEntryField Field;
};

std::optional<TRefusal> RefusalOf(const TSimEntry& entry) {
  try {
    CheckSimEntry(entry);
  } catch (const ESimEntryError& e) {
    return TRefusal{e.what(), e.Field()};
  }
  return std::nullopt;
}

}  // namespace

TEST(SimCardEntry, RulesInTheirOrderNameTheFieldToCorrect) {
  // An empty PIN wins over an empty access point.
  auto r = RefusalOf({"", "", "", ""});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Message, "Необходимо ввести PIN-код SIM-карты 1.");
  EXPECT_EQ(r->Field, TSimEntryField::Pin);

  for (const char* pin : {"123", "12345", "жжж"}) {
    r = RefusalOf({pin, "", "", ""});
    ASSERT_TRUE(r) << pin;
    EXPECT_EQ(r->Message, kSimPinMessage) << pin;
    EXPECT_EQ(r->Field, TSimEntryField::Pin);
  }

  r = RefusalOf({"1234", "", "user", "pass"});
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Message, "Не введено имя точки доступа SIM-карты 1.");
  EXPECT_EQ(r->Field, TSimEntryField::Apn);

  EXPECT_FALSE(RefusalOf({"0000", "internet", "", ""}));
  // Four Cyrillic characters are four characters here; the facade refuses them as non-digits.
  EXPECT_FALSE(RefusalOf({"жжжж", "internet", "", ""}));
}

TEST(SimCardEntry, SlotOneTakesTheEntrySlotTwoIsOnlySwitchedOff) {
  TSimCards cards;
  TSimCard& second = cards.FindSlot(2);
  second.Enabled = true;
  second.Priority = true;
  second.Apn = "second.apn";
  cards.FindSlot(1).Priority = false;

  ApplySimEntry(cards, {"4321", "internet.mts.ru", "mts", "secret"});

  ASSERT_EQ(cards.Count(), 2);
  const TSimCard& first = cards.Items(0);
  EXPECT_EQ(first.SlotNumber, 1);
  EXPECT_TRUE(first.Enabled);
  EXPECT_TRUE(first.Priority);
  EXPECT_EQ(first.Pin, "4321");
  EXPECT_EQ(first.Apn, "internet.mts.ru");
  EXPECT_EQ(first.Login, "mts");
  EXPECT_EQ(first.Password, "secret");
  EXPECT_FALSE(second.Enabled);
  EXPECT_EQ(second.Apn, "second.apn");
}
