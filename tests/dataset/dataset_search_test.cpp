// Filters, find, Locate, Lookup, key editing and the exception hook.
#include "dataset_fixture.h"

namespace dataset_test {
namespace {

void EvenOnly(TDataSet& dataset, bool& accept) {
  accept = dataset.FieldByName("ID")->AsInteger() % 2 == 0;
}

TEST(DataSetFilter, OnFilterRecordHidesRecordsWhileFiltered) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 6);
  dataset.SetOnFilterRecord(EvenOnly);
  EXPECT_EQ(AllIds(dataset).size(), 6u);  // not filtered yet
  dataset.SetFiltered(true);
  EXPECT_EQ(CurrentId(dataset), 2);  // filtering moves to the first visible record
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{2, 4, 6}));
  dataset.Last();
  dataset.Prior();
  EXPECT_EQ(CurrentId(dataset), 4);
  // A record edited out of the filter leaves the view after posting.
  dataset.Edit();
  dataset.FieldByName("ID")->SetAsInteger(5);
  dataset.Post();
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{2, 6}));
  dataset.SetFiltered(false);
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 2, 3, 5, 5, 6}));
  EXPECT_EQ(dataset.Filter(), "");
  dataset.SetFilterText("ID > 3");
  EXPECT_EQ(dataset.Filter(), "ID > 3");
}

TEST(DataSetFilter, FilterRefusingEverythingGivesAnEmptyView) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.SetOnFilterRecord([](TDataSet&, bool& accept) { accept = false; });
  dataset.SetFiltered(true);
  EXPECT_TRUE(dataset.IsEmpty());
  EXPECT_TRUE(dataset.FieldByName("ID")->IsNull());
}

TEST(DataSetFilter, FindWalksTheFilterWithoutFiltering) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 6);
  EXPECT_FALSE(dataset.FindFirst());  // no filter handler
  dataset.SetOnFilterRecord(EvenOnly);
  ASSERT_TRUE(dataset.FindFirst());
  EXPECT_EQ(CurrentId(dataset), 2);
  ASSERT_TRUE(dataset.FindNext());
  EXPECT_EQ(CurrentId(dataset), 4);
  ASSERT_TRUE(dataset.FindLast());
  EXPECT_EQ(CurrentId(dataset), 6);
  EXPECT_FALSE(dataset.FindNext());
  EXPECT_FALSE(dataset.Found());
  EXPECT_EQ(CurrentId(dataset), 6);  // a failed find stays put
  ASSERT_TRUE(dataset.FindPrior());
  EXPECT_EQ(CurrentId(dataset), 4);
  EXPECT_EQ(AllIds(dataset).size(), 6u);  // the view itself is unfiltered
}

TEST(DataSetLocate, OptionsDecideHowTextMatches) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.AppendRecord({4, "Kowalski"});
  dataset.AppendRecord({5, "Kowal"});
  dataset.First();
  EXPECT_FALSE(dataset.Locate("NAME", Variant("kowal"), {}));
  EXPECT_EQ(CurrentId(dataset), 1);  // not found: unmoved
  ASSERT_TRUE(dataset.Locate("NAME", Variant("kowal"), {loCaseInsensitive}));
  EXPECT_EQ(CurrentId(dataset), 5);
  dataset.First();
  ASSERT_TRUE(dataset.Locate("NAME", Variant("Kow"), {loPartialKey}));
  EXPECT_EQ(CurrentId(dataset), 4);  // the first beginning with it
  ASSERT_TRUE(dataset.Locate("NAME", Variant("KOWALS"), {loPartialKey, loCaseInsensitive}));
  EXPECT_EQ(CurrentId(dataset), 4);
  EXPECT_FALSE(dataset.Locate("NAME", Variant("Kowalskiego"), {loPartialKey}));
}

TEST(DataSetLocate, SeveralFieldsTakeAnArrayOfValues) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 5);
  ASSERT_TRUE(dataset.Locate("ID;NAME", Variant(std::vector<Variant>{3, "name3"}), {}));
  EXPECT_EQ(CurrentId(dataset), 3);
  EXPECT_FALSE(dataset.Locate("ID;NAME", Variant(std::vector<Variant>{3, "name4"}), {}));
  ASSERT_TRUE(dataset.Locate("ID", Variant("4"), {}));  // converted for comparison
  EXPECT_EQ(CurrentId(dataset), 4);
  EXPECT_THROW(dataset.Locate("ID;NAME", Variant(3), {}), EDatabaseError);
  try {
    dataset.Locate("NOPE", Variant(1), {});
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Field 'NOPE' not found");
  }
  dataset.Edit();
  dataset.FieldByName("NAME")->SetAsString("pending");
  ASSERT_TRUE(dataset.Locate("ID", Variant(1), {}));  // posts the pending edit first
  ASSERT_TRUE(dataset.Locate("NAME", Variant("pending"), {}));
  EXPECT_EQ(CurrentId(dataset), 4);
}

TEST(DataSetLocate, LookupReturnsValuesWithoutMoving) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 4);
  dataset.SetRecNo(2);
  EXPECT_EQ(dataset.Lookup("ID", Variant(3), "NAME").AsString(), "name3");
  Variant both = dataset.Lookup("NAME", Variant("name4"), "ID;NAME");
  ASSERT_TRUE(both.IsArray());
  EXPECT_EQ(both[0].AsInteger(), 4);
  EXPECT_EQ(both[1].AsString(), "name4");
  EXPECT_TRUE(dataset.Lookup("ID", Variant(42), "NAME").IsNull());
  EXPECT_TRUE(dataset.Lookup("ID", Variant::Null(), "NAME").IsNull());
  EXPECT_EQ(CurrentId(dataset), 2);
  dataset.Next();
  EXPECT_EQ(CurrentId(dataset), 3);
}

TEST(DataSetKeys, SetKeyEditsTheKeyBufferAndEndsWithPostOrCancel) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 2);
  dataset.SetKey();
  EXPECT_EQ(dataset.State(), dsSetKey);
  dataset.FieldByName("ID")->SetAsInteger(2);
  EXPECT_EQ(dataset.FieldByName("ID")->AsInteger(), 2);
  dataset.Post();
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(CurrentId(dataset), 1);  // the record itself is untouched
  dataset.SetKey();
  dataset.Cancel();
  EXPECT_EQ(dataset.State(), dsBrowse);
  dataset.SetKey();
  dataset.Next();  // moving ends key editing
  EXPECT_EQ(dataset.State(), dsBrowse);
}

int g_hook_calls = 0;
void CountingHook(TDataSet&) {
  ++g_hook_calls;
}

TEST(DataSetExceptionHook, SwallowsFilterExceptionsOnlyWhenSet) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.SetOnFilterRecord([](TDataSet& ds, bool& accept) {
    if (ds.FieldByName("ID")->AsInteger() == 1) throw EDatabaseError("filter broke");
    accept = true;
  });
  ASSERT_EQ(DataSetExceptionHook(), nullptr);
  EXPECT_THROW(dataset.SetFiltered(true), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsBrowse);

  SetDataSetExceptionHook(CountingHook);
  g_hook_calls = 0;
  dataset.First();
  // The record whose filter raised is skipped; the hook heard of it.
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{2, 3}));
  EXPECT_GE(g_hook_calls, 1);
  SetDataSetExceptionHook(nullptr);
}

TEST(DataSetProvider, DefaultsDescribeADatasetWithoutSql) {
  TMemoryDataSet dataset;
  EXPECT_FALSE(dataset.ProviderIsSQLBased());
  EXPECT_FALSE(dataset.ProviderInTransaction());
  EXPECT_EQ(dataset.ProviderTableName(), "");
  EXPECT_EQ(dataset.ProviderParams(), nullptr);
  EXPECT_EQ(dataset.ProviderDefaultOrder(), nullptr);
  EXPECT_FALSE(dataset.ProviderUpdateRecord(ukModify, dataset));
  EXPECT_THROW(dataset.ProviderExecuteStatement("select 1", nullptr, nullptr), EDatabaseError);
  EXPECT_NO_THROW(dataset.ProviderSetCommandText(""));
  EXPECT_THROW(dataset.ProviderSetCommandText("select 1"), EDatabaseError);
}

}  // namespace
}  // namespace dataset_test
