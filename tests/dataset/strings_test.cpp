#include "dataset/strings.h"

#include <gtest/gtest.h>

#include "dataset/exceptions.h"

namespace dataset_test {

using namespace dataset;

namespace {

// Counts the change notifications of a list.
struct ChangeCounter {
  int changing = 0;
  int changed = 0;
  void Attach(TStrings& list) {
    list.OnChanging = [this](TObject*) { ++changing; };
    list.OnChange = [this](TObject*) { ++changed; };
  }
};

TEST(StringList, TextPutsALineBreakAfterEveryLine) {
  TStringList list;
  EXPECT_EQ(list.Text(), "");
  list.Add("delete from a;");
  list.Add("");
  EXPECT_EQ(list.Text(), "delete from a;\r\n\r\n");
}

TEST(StringList, SetTextSplitsAtEveryKindOfLineBreak) {
  TStringList list;
  list.SetText("a\r\nb\nc\rd");
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "b", "c", "d"}));
  list.SetText("a\r\n");
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a"}));
  list.SetText("a\n\nb\r\n\r\n");
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "", "b", ""}));
  list.SetText("");
  EXPECT_EQ(list.Count(), 0);
  // Text of a list read from text gives the text back with a final break.
  list.SetText("x\r\ny");
  EXPECT_EQ(list.Text(), "x\r\ny\r\n");
}

TEST(StringList, IndexErrorsNameTheIndex) {
  TStringList list;
  list.Add("a");
  try {
    list.Strings(1);
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (1)");
  }
  EXPECT_THROW(list.Delete(-1), EListError);
  EXPECT_THROW(list.Insert(2, "x"), EStringListError);
  list.Insert(1, "b");  // inserting at the end is allowed
  EXPECT_EQ(list.Strings(1), "b");
}

TEST(StringList, SortedListKeepsOrderAndHandlesDuplicates) {
  TStringList list;
  list.SetSorted(true);
  list.Add("pear");
  list.Add("Apple");
  list.Add("fig");
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"Apple", "fig", "pear"}));

  // dupIgnore (the default): the existing index, nothing added.
  EXPECT_EQ(list.Add("APPLE"), 0);
  EXPECT_EQ(list.Count(), 3);

  list.SetDuplicates(dupError);
  try {
    list.Add("Fig");
    FAIL();
  } catch (const EStringListError& e) {
    EXPECT_EQ(e.Message(), "String list does not allow duplicates");
  }
  EXPECT_EQ(list.Count(), 3);

  list.SetDuplicates(dupAccept);
  list.Add("FIG");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.IndexOf("fig"), 1);
  EXPECT_TRUE(SameText(list.Strings(2), "fig"));
}

TEST(StringList, PositionalChangesAreRefusedOnSortedList) {
  TStringList list;
  list.Add("b");
  list.Add("a");
  list.SetSorted(true);
  EXPECT_EQ(list.Strings(0), "a");
  for (auto op : std::vector<std::function<void()>>{
           [&] { list.Insert(0, "c"); }, [&] { list.SetStrings(0, "z"); },
           [&] { list.Exchange(0, 1); }, [&] { list.Move(0, 1); }}) {
    try {
      op();
      FAIL();
    } catch (const EStringListError& e) {
      EXPECT_EQ(e.Message(), "Operation not allowed on sorted list");
    }
  }
  EXPECT_EQ(list.ToVector(), (std::vector<std::string>{"a", "b"}));
  list.SetSorted(false);
  list.Insert(0, "c");
  EXPECT_EQ(list.Strings(0), "c");
}

TEST(StringList, FindReportsInsertionPoint) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"b", "d", "f"}) list.Add(s);
  int index;
  EXPECT_TRUE(list.Find("D", index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(list.Find("e", index));
  EXPECT_EQ(index, 2);
  EXPECT_FALSE(list.Find("a", index));
  EXPECT_EQ(index, 0);
  EXPECT_FALSE(list.Find("z", index));
  EXPECT_EQ(index, 3);
}

TEST(StringList, CaseSensitiveSearchAndResort) {
  TStringList list;
  list.Add("abc");
  EXPECT_EQ(list.IndexOf("ABC"), 0);
  list.SetCaseSensitive(true);
  EXPECT_EQ(list.IndexOf("ABC"), -1);
  list.Add("ABC");
  list.SetSorted(true);
  EXPECT_EQ(list.Strings(0), "ABC");  // upper case sorts first byte-wise
}

TEST(StringList, UpdateBracketsFireOneNotificationEach) {
  TStringList list;
  ChangeCounter counter;
  counter.Attach(list);
  list.Add("a");
  EXPECT_EQ(counter.changing, 1);
  EXPECT_EQ(counter.changed, 1);

  list.BeginUpdate();
  list.BeginUpdate();
  list.Add("b");
  list.Delete(0);
  list.SetText("x\ny");
  list.EndUpdate();
  EXPECT_EQ(counter.changed, 1);  // still inside the outer update
  list.EndUpdate();
  EXPECT_EQ(counter.changing, 2);
  EXPECT_EQ(counter.changed, 2);
  list.EndUpdate();  // unbalanced: ignored
  EXPECT_EQ(counter.changed, 2);
  EXPECT_EQ(list.UpdateCount(), 0);
}

TEST(StringList, SetTextAndAssignNotifyOnce) {
  TStringList list, source;
  source.SetText("one\r\ntwo\r\nthree");
  ChangeCounter counter;
  counter.Attach(list);
  list.Assign(&source);
  EXPECT_EQ(counter.changed, 1);
  EXPECT_TRUE(list.Equals(source));
  list.SetText("a\nb\nc");
  EXPECT_EQ(counter.changed, 2);
}

TEST(StringList, NotificationSeesTheChangedContent) {
  TStringList list;
  std::string seen;
  list.OnChange = [&](TObject* sender) { seen = static_cast<TStrings*>(sender)->Text(); };
  list.BeginUpdate();
  list.Add("select 1");
  EXPECT_EQ(seen, "");
  list.EndUpdate();
  EXPECT_EQ(seen, "select 1\r\n");
}

TEST(StringList, FailedChangeStillEndsTheUpdate) {
  TStringList list;
  list.SetSorted(true);
  list.SetDuplicates(dupError);
  list.Add("a");
  TStringList dup;
  dup.Add("b");
  dup.Add("a");
  int changed = 0;
  list.OnChange = [&](TObject*) { ++changed; };
  EXPECT_THROW(list.AddStrings(dup), EStringListError);
  EXPECT_EQ(list.UpdateCount(), 0);
  EXPECT_EQ(changed, 1);
}

TEST(StringList, AssignFromAnUnrelatedClassIsRefused) {
  TStringList list;
  TComponent c(nullptr);
  EXPECT_THROW(list.Assign(&c), EConvertError);
}

TEST(StringList, NameValuePairs) {
  TStringList list;
  list.Add("Alias=VOLANTRAX");
  list.Add("Path=/srv/data;N");
  list.Add("novalue");
  EXPECT_EQ(list.Names(0), "Alias");
  EXPECT_EQ(list.Names(2), "");
  EXPECT_EQ(list.Values("PATH"), "/srv/data;N");
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.ValueFromIndex(1), "/srv/data;N");
  list.SetValues("alias", "OTHER");
  EXPECT_EQ(list.Strings(0), "alias=OTHER");
  list.SetValues("New", "1");
  EXPECT_EQ(list.Strings(3), "New=1");
  list.SetValues("Path", "");
  EXPECT_EQ(list.IndexOfName("Path"), -1);
  EXPECT_EQ(list.Count(), 3);
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  TStringList list;
  list.Add("plain");
  list.Add("two words");
  list.Add("a,b");
  list.Add("say \"hi\"");
  std::string text = list.CommaText();
  EXPECT_EQ(text, "plain,\"two words\",\"a,b\",\"say \"\"hi\"\"\"");
  TStringList back;
  back.SetCommaText(text);
  EXPECT_TRUE(back.Equals(list));
  back.SetCommaText("a, b ,c,");
  EXPECT_EQ(back.ToVector(), (std::vector<std::string>{"a", "b", "c", ""}));
}

TEST(StringList, ObjectsTravelWithTheirStrings) {
  TStringList list;
  TComponent x(nullptr), y(nullptr);
  list.AddObject("y", &y);
  list.AddObject("x", &x);
  list.SetSorted(true);
  EXPECT_EQ(list.Objects(0), &x);
  EXPECT_EQ(list.IndexOfObject(&y), 1);
}

TEST(StringList, OwnedObjectsAreDeleted) {
  // ASan reports a leak if the list forgets an owned object.
  TStringList list;
  list.SetOwnsObjects(true);
  list.AddObject("a", new TComponent(nullptr));
  list.AddObject("b", new TComponent(nullptr));
  list.AddObject("c", new TComponent(nullptr));
  list.Delete(0);
  list.SetObjects(0, new TComponent(nullptr));
  EXPECT_EQ(list.Count(), 2);
}

}  // namespace
}  // namespace dataset_test
