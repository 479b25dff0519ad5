#include <gtest/gtest.h>

#include <cstring>

#include "dataset/collection.h"
#include "dataset/exceptions.h"
#include "dataset/stream.h"
#include "dataset/strings.h"

namespace dataset_test {

using namespace dataset;

namespace {

class TTestItem : public TCollectionItem {
 public:
  explicit TTestItem(TCollection* c) : TCollectionItem(c) {}
  int value = 0;
  void Assign(const TPersistent* source) override {
    if (auto* s = dynamic_cast<const TTestItem*>(source)) {
      value = s->value;
      return;
    }
    TCollectionItem::Assign(source);
  }
};

class TTestCollection : public TCollection {
 public:
  TTestCollection() : TCollection([](TCollection* c) { return new TTestItem(c); }) {}
  TTestItem* At(int i) const { return static_cast<TTestItem*>(Items(i)); }
  int updates = 0;
  std::vector<std::string> notes;

 protected:
  void Update(TCollectionItem*) override { ++updates; }
  void Notify(TCollectionItem* item, TCollectionNotification action) override {
    notes.push_back(std::to_string(item->ID()) + (action == cnAdded ? "+" : "-"));
  }
};

TEST(Collection, ItemsAreOwnedAndIndexed) {
  TTestCollection c;
  TTestItem* a = static_cast<TTestItem*>(c.Add());
  TTestItem* b = static_cast<TTestItem*>(c.Add());
  TTestItem* first = static_cast<TTestItem*>(c.Insert(0));
  EXPECT_EQ(c.Count(), 3);
  EXPECT_EQ(first->Index(), 0);
  EXPECT_EQ(a->Index(), 1);
  EXPECT_EQ(c.FindItemID(b->ID()), b);
  EXPECT_NE(a->ID(), b->ID());
  b->SetIndex(0);
  EXPECT_EQ(c.Items(0), b);
  EXPECT_THROW(b->SetIndex(3), EListError);
  delete a;  // an item deleted directly leaves its collection
  EXPECT_EQ(c.Count(), 2);
  c.Delete(0);
  EXPECT_EQ(c.Items(0), first);
  EXPECT_THROW(c.Items(1), EListError);
  EXPECT_THROW(c.Insert(5), EListError);
}

TEST(Collection, UpdatesAreHeldBackInsideBeginEnd) {
  TTestCollection c;
  c.Add();
  int before = c.updates;
  c.BeginUpdate();
  c.Add();
  c.Add();
  c.Delete(0);
  EXPECT_EQ(c.updates, before);
  c.EndUpdate();
  EXPECT_EQ(c.updates, before + 1);
}

TEST(Collection, AssignCopiesItems) {
  TTestCollection a, b;
  static_cast<TTestItem*>(a.Add())->value = 3;
  static_cast<TTestItem*>(a.Add())->value = 4;
  b.Add();
  b.Assign(&a);
  ASSERT_EQ(b.Count(), 2);
  EXPECT_EQ(b.At(1)->value, 4);
  TStringList list;
  EXPECT_THROW(b.Assign(&list), EConvertError);
}

TEST(Collection, NotifiesAdditionAndRemoval) {
  TTestCollection c;
  TCollectionItem* item = c.Add();
  int id = item->ID();
  c.Clear();
  ASSERT_GE(c.notes.size(), 2u);
  EXPECT_EQ(c.notes.front(), std::to_string(id) + "+");
  EXPECT_EQ(c.notes.back(), std::to_string(id) + "-");
}

TEST(MemoryStream, ReadWriteSeek) {
  TMemoryStream s;
  const char text[] = "hello";
  EXPECT_EQ(s.Write(text, 5), 5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_EQ(s.Size(), 5);
  s.SetPosition(1);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(s.Read(buf, 8), 0);
  EXPECT_EQ(s.Seek(-2, soEnd), 3);
  EXPECT_EQ(s.Seek(1, soCurrent), 4);
  EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
  EXPECT_THROW(s.Seek(-6, soEnd), EStreamError);
  // Writing past the end fills the gap with zeros.
  s.Seek(7, soBeginning);
  s.Write("!", 1);
  EXPECT_EQ(s.Size(), 8);
  EXPECT_EQ(s.Memory()[5], 0);
  s.SetSize(2);
  EXPECT_EQ(s.Size(), 2);
  EXPECT_EQ(s.Read(buf, 1), 0);  // position 8 is past the new end
}

TEST(MemoryStream, ExactReadsAndCopies) {
  TStringStream src("abcdef");
  char buf[4];
  src.ReadBuffer(buf, 4);
  EXPECT_THROW(src.ReadBuffer(buf, 4), EReadError);
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 6);  // 0: all of the source from its start
  src.SetPosition(2);
  dst.CopyFrom(src, 3);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(dst.Memory()), 9), "abcdefcde");
  src.SetPosition(5);
  EXPECT_THROW(dst.CopyFrom(src, 2), EReadError);
  TMemoryStream copy;
  copy.LoadFromStream(dst);
  EXPECT_EQ(copy.Bytes(), dst.Bytes());
}

TEST(MemoryStream, StringListsThroughStreams) {
  TStringList list;
  list.Add("one");
  list.Add("two");
  TStringStream s;
  list.SaveToStream(s);
  EXPECT_EQ(s.DataString(), "one\r\ntwo\r\n");
  s.SetPosition(0);
  TStringList back;
  back.LoadFromStream(s);
  EXPECT_TRUE(back.Equals(list));
}

}  // namespace
}  // namespace dataset_test
