#include "Scripts.h"

#include "Errors.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

using namespace quorvel;

namespace {

std::string MessageOf(const std::function<void()>& action) {
  try {
    action();
    return "";
  } catch (const Exception& e) {
    return e.what();
  }
}

const char* kWrongNumberFmt = "Неверный номер скрипта (%d)\r\nДопустимые значения: 10..2000";

std::string WrongNumber(int n) {
  char buf[128];
  std::snprintf(buf, sizeof buf, kWrongNumberFmt, n);
  return buf;
}

}  // namespace

TEST(Scripts, NewListHoldsTheTwoBuiltInScripts) {
  TScripts list;
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Items(0).Number(), 0);
  EXPECT_EQ(list.Items(0).Name(), "Ввод номера");
  EXPECT_EQ(list.Items(1).Number(), 1);
  EXPECT_EQ(list.Items(1).Name(), "Ввод счета");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(list.Items(i).Text(), "");
    EXPECT_FALSE(list.Items(i).Editable());
    EXPECT_EQ(list.Items(i).Owner(), &list);
    EXPECT_EQ(list.Items(i).Index(), i);
  }
  EXPECT_FALSE(list.HasEditable());
  EXPECT_EQ(list.ItemIndex, 0);
}

TEST(Scripts, BuiltInScriptsCannotBeChanged) {
  TScripts list;
  TScript& number = list.Items(0);
  EXPECT_EQ(MessageOf([&] { number.SetText("x"); }), kScriptNotEditableMessage);
  EXPECT_EQ(MessageOf([&] { number.SetName("x"); }), kScriptNotEditableMessage);
  EXPECT_EQ(MessageOf([&] { number.SetNumber(0); }), kScriptNotEditableMessage);  // checked first
  EXPECT_EQ(MessageOf([&] { number.SetNumber(50); }), kScriptNotEditableMessage);
  EXPECT_EQ(number.Number(), 0);
  EXPECT_EQ(number.Name(), "Ввод номера");
  list.ClearEditable();
  EXPECT_EQ(list.Count(), 2);
}

TEST(Scripts, AddNewTakesTheFirstFreeNumber) {
  TScripts list;
  TScript& a = list.AddNew();
  EXPECT_EQ(a.Number(), 10);
  EXPECT_TRUE(a.Editable());
  EXPECT_EQ(list.AddNew().Number(), 11);
  list.Delete(a);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.AddNew().Number(), 10);
  list.AddNew().SetNumber(13);
  EXPECT_EQ(list.FirstFreeNumber(), 12);
  EXPECT_EQ(list.FindByNumber(13)->Number(), 13);
  EXPECT_EQ(list.FindByNumber(12), nullptr);
  EXPECT_EQ(list.FindByNumber(0), &list.Items(0));
}

TEST(Scripts, LimitOf120IncludesTheBuiltInOnes) {
  TScripts list;
  for (int i = 0; i < 118; ++i) list.AddNew();
  ASSERT_EQ(list.Count(), 120);
  EXPECT_EQ(list.Items(119).Number(), 127);
  EXPECT_EQ(MessageOf([&] { list.AddNew(); }), "Количество скриптов ввода не может быть больше 120");
  EXPECT_EQ(list.Count(), 120);
  EXPECT_EQ(MessageOf([&] { list.AddFixed(5, "x", ""); }),
            "Количество скриптов ввода не может быть больше 120");
  EXPECT_EQ(list.Count(), 120);
}

TEST(Scripts, SetNumberRangeUniquenessAndNoOp) {
  TScripts list;
  TScript& a = list.AddNew();
  TScript& b = list.AddNew();
  struct Row {
    int n;
    std::string message;
  } rows[] = {
      {9, WrongNumber(9)},     {2001, WrongNumber(2001)},           {0, WrongNumber(0)},
      {-10, WrongNumber(-10)}, {11, kScriptNumberNotUniqueMessage},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(MessageOf([&] { a.SetNumber(r.n); }), r.message) << r.n;
    EXPECT_EQ(a.Number(), 10);
  }
  EXPECT_EQ(MessageOf([&] { a.SetNumber(10); }), "");  // its own number: nothing happens
  a.SetNumber(2000);
  EXPECT_EQ(a.Number(), 2000);
  b.SetNumber(10);
  EXPECT_EQ(b.Number(), 10);
}

TEST(Scripts, SortAndIndexFollowNumbers) {
  TScripts list;
  TScript& a = list.AddNew();
  TScript& b = list.AddNew();
  a.SetNumber(500);
  b.SetNumber(20);
  list.Sort();
  EXPECT_EQ(list.Items(0).Number(), 0);
  EXPECT_EQ(list.Items(1).Number(), 1);
  EXPECT_EQ(&list.Items(2), &b);
  EXPECT_EQ(&list.Items(3), &a);
  EXPECT_EQ(a.Index(), 3);
}

TEST(Scripts, ClearEditableAndAssign) {
  TScripts list;
  TScript& a = list.AddNew();
  a.SetName("Оплата");
  a.SetText("line 1\r\nline 2");
  list.AddNew();
  EXPECT_TRUE(list.HasEditable());

  TScript copy;
  copy.Assign(a);
  EXPECT_EQ(copy.Number(), 10);
  EXPECT_EQ(copy.Name(), "Оплата");
  EXPECT_EQ(copy.Text(), "line 1\r\nline 2");
  EXPECT_EQ(copy.Index(), -1);
  list.Items(0).Assign(a);  // Assign bypasses the checks, even of a built-in script
  EXPECT_EQ(list.Items(0).Number(), 10);
  EXPECT_FALSE(list.Items(0).Editable());

  list.ClearEditable();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_FALSE(list.Items(0).Editable());
  EXPECT_FALSE(list.Items(1).Editable());
  EXPECT_FALSE(list.HasEditable());
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}
