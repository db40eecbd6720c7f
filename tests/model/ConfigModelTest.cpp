#include "CompareObject.h"
#include "GprsProvider.h"
#include "ServerParams.h"
#include "SimCard.h"

#include "Errors.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(SimCards, TwoSlotsAndFindSlotAppendsMissing) {
  TSimCards cards;
  ASSERT_EQ(cards.Count(), 2);
  EXPECT_EQ(cards.Items(0).SlotNumber, 1);
  EXPECT_EQ(cards.Items(1).SlotNumber, 2);
  for (int i = 0; i < 2; ++i) {
    const TSimCard& card = cards.Items(i);
    EXPECT_EQ(card.Pin, "");
    EXPECT_EQ(card.Apn, "");
    EXPECT_EQ(card.Login, "");
    EXPECT_EQ(card.Password, "");
    EXPECT_FALSE(card.Enabled);
    EXPECT_FALSE(card.Priority);
  }
  EXPECT_EQ(&cards.FindSlot(2), &cards.Items(1));
  EXPECT_EQ(&cards.FindSlot(1), &cards.Items(0));
  EXPECT_EQ(cards.Count(), 2);

  TSimCard& third = cards.FindSlot(3);
  EXPECT_EQ(cards.Count(), 3);
  EXPECT_EQ(&cards.Items(2), &third);
  EXPECT_EQ(third.SlotNumber, 3);
  EXPECT_EQ(&cards.FindSlot(3), &third);  // found now, not appended again
  EXPECT_EQ(cards.Count(), 3);
}

TEST(SimCards, FindSlotTakesTheFirstOfDuplicates) {
  TSimCards cards;
  TSimCard& extra = cards.AddSlot(1);
  EXPECT_EQ(cards.Count(), 3);
  EXPECT_NE(&cards.FindSlot(1), &extra);
  EXPECT_EQ(&cards.FindSlot(1), &cards.Items(0));
  EXPECT_THROW(cards.Items(3), std::out_of_range);
}

TEST(ServerParams, RetryCountBoundsAndMessage) {
  TServerParams params;
  EXPECT_EQ(params.RetryCount(), 1);
  EXPECT_EQ(params.Port, 0);
  params.SetRetryCount(100);
  EXPECT_EQ(params.RetryCount(), 100);
  params.SetRetryCount(1);
  EXPECT_EQ(params.RetryCount(), 1);
  struct Row {
    std::int64_t n;
    const char* message;
  } rows[] = {
      {101, "Неверное значение числа повторов, 101. Допустимые значения: 1..100"},
      {0, "Неверное значение числа повторов, 0. Допустимые значения: 1..100"},
      {-5, "Неверное значение числа повторов, -5. Допустимые значения: 1..100"},
      {4294967297, "Неверное значение числа повторов, 4294967297. Допустимые значения: 1..100"},
  };
  params.SetRetryCount(7);
  for (const auto& r : rows) {
    try {
      params.SetRetryCount(r.n);
      ADD_FAILURE() << r.n << " accepted";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), r.message);
    }
    EXPECT_EQ(params.RetryCount(), 7);
  }
}

TEST(ServerParams, AssignCopiesAllButServerName) {
  TServerParams source, target;
  source.Address = "10.1.2.3";
  source.Port = 8080;
  source.SetRetryCount(42);
  source.ServerName = "X";
  target.ServerName = "mine";
  target.Assign(source);
  EXPECT_EQ(target.Address, "10.1.2.3");
  EXPECT_EQ(target.Port, 8080);
  EXPECT_EQ(target.RetryCount(), 42);
  EXPECT_EQ(target.ServerName, "mine");
}

TEST(GprsProvider, SetNameRefusesBlankKeepsUntrimmed) {
  TGprsProvider provider;
  provider.SetName("MTS");
  for (const char* blank : {"", "   ", "\t \r\n"}) {
    try {
      provider.SetName(blank);
      ADD_FAILURE() << "blank name accepted";
    } catch (const Exception& e) {
      EXPECT_STREQ(e.what(), "Имя GPRS провайдера не может быть пустым");
    }
    EXPECT_EQ(provider.Name(), "MTS");
  }
  provider.SetName(" Билайн ");
  EXPECT_EQ(provider.Name(), " Билайн ");
}

TEST(GprsProviders, AddDeleteMoveAndClear) {
  TGprsProviders list, other;
  EXPECT_EQ(list.ItemIndex, 0);
  TGprsProvider& a = list.Add();
  TGprsProvider& b = list.Add();
  a.SetName("A");
  b.SetName("B");
  EXPECT_EQ(a.Owner(), &list);
  EXPECT_EQ(a.Apn, "");
  EXPECT_TRUE(list.IsValidIndex(1));
  EXPECT_FALSE(list.IsValidIndex(2));

  other.Append(list.Extract(a));  // moving: out of the old list, appended to the new
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(&list.Items(0), &b);
  EXPECT_EQ(&other.Items(0), &a);
  EXPECT_EQ(a.Owner(), &other);
  EXPECT_THROW(list.Append(nullptr), std::invalid_argument);

  list.Delete(0);
  EXPECT_EQ(list.Count(), 0);
  other.Add();
  other.Clear();
  EXPECT_EQ(other.Count(), 0);
}

TEST(CompareObject, BaseAnswersEqual) {
  TCompareObject a, b;
  EXPECT_EQ(a.Compare(b), 0);
}
