#include "ProviderGroup.h"
#include "ServiceProvider.h"

#include "Errors.h"

#include <gtest/gtest.h>

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

std::string Repeat(const std::string& unit, int count) {
  std::string s;
  for (int i = 0; i < count; ++i) s += unit;
  return s;
}

void Fill(TServiceProvider& p, const std::string& id) {
  p.SetIdentifier(id);
  p.SetText("Текст " + id);
  p.Prefixes = "910;916";
  p.Button = 3;
  p.FeeTableID = 2;
  p.FormatID = 10;
  p.Description = "описание " + id;
  p.SetMinAmount(10);
  p.SetMaxAmount(15000);
}

}  // namespace

TEST(ServiceProvider, NewProviderDefaults) {
  TServiceProviders list;
  TServiceProvider& p = list.Add();
  EXPECT_EQ(p.MinAmount(), 0);
  EXPECT_EQ(p.MaxAmount(), 30000);
  EXPECT_EQ(p.Identifier(), "");
  EXPECT_EQ(p.Text(), "");
  EXPECT_EQ(p.Prefixes, "");
  EXPECT_EQ(p.Button, 0);
  EXPECT_EQ(p.FeeTableID, 0);
  EXPECT_EQ(p.FormatID, 0);
  EXPECT_EQ(p.Owner(), &list);
  EXPECT_EQ(p.Index(), 0);
  EXPECT_EQ(p.Compare(p), 0);
}

TEST(ServiceProvider, IdentifierRulesCountCharacters) {
  const std::string lengthMessage =
      "Неверная длина идентификатора провайдера.\r\nМаксимальная длина идентификатора провайдера: 50";
  struct Row {
    std::string id;
    std::string message;
  } rows[] = {
      {"", kProviderIdEmptyMessage},    {Repeat("a", 50), ""},
      {Repeat("a", 51), lengthMessage}, {Repeat("я", 50), ""},  // 100 bytes, 50 characters
      {Repeat("я", 51), lengthMessage}, {" ", ""},              // only an empty identifier is refused
  };
  for (const auto& r : rows) {
    TServiceProvider p;
    p.SetIdentifier("old");
    EXPECT_EQ(MessageOf([&] { p.SetIdentifier(r.id); }), r.message) << r.id;
    EXPECT_EQ(p.Identifier(), r.message.empty() ? r.id : "old");
  }
}

TEST(ServiceProvider, TextIsCutTo19Characters) {
  TServiceProvider p;
  p.SetText(Repeat("x", 25));
  EXPECT_EQ(p.Text(), Repeat("x", 19));
  p.SetText(Repeat("ж", 25));  // cut at characters, never inside one
  EXPECT_EQ(p.Text(), Repeat("ж", 19));
  p.SetText("МТС");
  EXPECT_EQ(p.Text(), "МТС");
  EXPECT_EQ(MessageOf([&] { p.SetText(""); }), kProviderTextEmptyMessage);
  EXPECT_EQ(p.Text(), "МТС");
}

TEST(ServiceProvider, AmountRangesAndMessages) {
  TServiceProvider p;
  struct Row {
    bool minimum;
    std::int64_t n;
    std::string message;
  } rows[] = {
      {false, 30001, "Неверная максимальная сумма платежа, 30001. Допустимые значения: 0..30000"},
      {true, -1, "Неверная минимальная сумма платежа, -1. Допустимые значения: 0..30000"},
      {true, 30001, "Неверная минимальная сумма платежа, 30001. Допустимые значения: 0..30000"},
      {false, -1, "Неверная максимальная сумма платежа, -1. Допустимые значения: 0..30000"},
      {true, 0, ""},
      {false, 30000, ""},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(MessageOf([&] { r.minimum ? p.SetMinAmount(r.n) : p.SetMaxAmount(r.n); }), r.message);
  }
  EXPECT_EQ(p.MinAmount(), 0);
  EXPECT_EQ(p.MaxAmount(), 30000);
  p.SetMinAmount(500);
  p.SetMaxAmount(100);  // the minimum is not compared with the maximum
  EXPECT_EQ(p.MinAmount(), 500);
  EXPECT_EQ(p.MaxAmount(), 100);
}

TEST(ServiceProviders, AssignCopiesEveryFieldInOrder) {
  TServiceProviders source, target;
  for (const char* id : {"mts", "beeline", "megafon"}) Fill(source.Add(), id);
  source.Items(1).Prefixes = "903;905;906";
  target.Add().SetIdentifier("stale");
  target.Assign(source);
  ASSERT_EQ(target.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    const TServiceProvider& a = source.Items(i);
    const TServiceProvider& b = target.Items(i);
    EXPECT_NE(&a, &b);
    EXPECT_EQ(b.Identifier(), a.Identifier());
    EXPECT_EQ(b.Text(), a.Text());
    EXPECT_EQ(b.Prefixes, a.Prefixes);
    EXPECT_EQ(b.Button, a.Button);
    EXPECT_EQ(b.FeeTableID, a.FeeTableID);
    EXPECT_EQ(b.FormatID, a.FormatID);
    EXPECT_EQ(b.Description, a.Description);
    EXPECT_EQ(b.MinAmount(), a.MinAmount());
    EXPECT_EQ(b.MaxAmount(), a.MaxAmount());
    EXPECT_EQ(b.Owner(), &target);
    EXPECT_EQ(b.Index(), i);
  }
  EXPECT_EQ(target.Items(1).Prefixes, "903;905;906");
  target.Assign(target);  // copying onto itself keeps the list
  EXPECT_EQ(target.Count(), 3);
}

TEST(ServiceProviders, AssignGoesThroughTheSetters) {
  TServiceProviders source, target;
  source.Add();  // a fresh provider has no identifier
  EXPECT_EQ(MessageOf([&] { target.Assign(source); }), kProviderIdEmptyMessage);
  EXPECT_EQ(target.Count(), 1);  // added before its copy failed
  EXPECT_TRUE(target.IsValidIndex(0));
  EXPECT_FALSE(target.IsValidIndex(1));
  target.Delete(0);
  EXPECT_EQ(target.Count(), 0);
}

TEST(ProviderGroup, NestingStopsBelowLevelNine) {
  TProviderGroup root;
  EXPECT_EQ(root.Level(), 0);
  EXPECT_EQ(root.Parent(), nullptr);
  TProviderGroup* deepest = &root;
  for (int level = 1; level <= 9; ++level) {
    deepest = &deepest->AddChild();
    EXPECT_EQ(deepest->Level(), level);
  }
  EXPECT_EQ(MessageOf([&] { deepest->AddChild(); }), "Максимальный уровень вложенности групп 9");
  EXPECT_EQ(deepest->Count(), 0);
  // the failed group left no trace in the tree; a sibling at level 9 is still possible
  TProviderGroup& sibling = deepest->Parent()->AddChild();
  EXPECT_EQ(sibling.Level(), 9);
  EXPECT_EQ(deepest->Parent()->Count(), 2);
}

TEST(ProviderGroup, ChildrenOrderAssignAndCompare) {
  TProviderGroup root;
  root.Text = "Провайдеры";
  TProviderGroup& a = root.AddChild();
  TProviderGroup& b = root.AddChild();
  a.Text = "Связь";
  Fill(a.Providers().Add(), "mts");
  a.AddChild();
  EXPECT_EQ(&root.Items(0), &a);
  EXPECT_EQ(b.Index(), 1);
  EXPECT_EQ(b.Parent(), &root);

  b.Assign(a);
  EXPECT_EQ(b.Text, "Связь");
  EXPECT_EQ(b.Count(), 0);
  EXPECT_EQ(b.Providers().Count(), 0);

  TServiceProvider provider;
  EXPECT_EQ(a.Compare(provider), -1);
  EXPECT_EQ(provider.Compare(a), 0);

  root.Delete(0);
  ASSERT_EQ(root.Count(), 1);
  EXPECT_EQ(&root.Items(0), &b);
  EXPECT_EQ(b.Index(), 0);
  root.Clear();
  EXPECT_EQ(root.Count(), 0);
}
