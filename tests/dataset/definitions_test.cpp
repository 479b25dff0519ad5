// Field and index definitions: lookups, the updated flag, copies.
#include "dataset_fixture.h"

namespace dataset_test {
namespace {

// A dataset that counts how often it is asked to describe its indexes.
class IndexedDataSet : public TMemoryDataSet {
 public:
  int index_updates = 0;

 protected:
  void UpdateIndexDefs() override {
    ++index_updates;
    IndexDefs().Clear();
    IndexDefs().Add("BY_ID", "ID", {ixPrimary, ixUnique});
    IndexDefs().Add("BY_NAME_ID", "NAME;ID", {ixCaseInsensitive});
    IndexDefs().Add("BY_NAME_DESC", "NAME", {ixDescending});
  }
};

TEST(FieldDefinitions, NumberedInOrderAndFoundIgnoringCase) {
  TMemoryDataSet dataset;
  TFieldDefs& defs = dataset.FieldDefs();
  defs.Add("ID", ftInteger, 0, true);
  TFieldDef* amount = defs.Add("Amount", ftBCD, 2);
  amount->SetPrecision(10);
  EXPECT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs.Find("amount"), amount);
  EXPECT_EQ(amount->FieldNo(), 2);
  EXPECT_TRUE(defs.Items(0)->Required());
  EXPECT_EQ(defs.IndexOf("nope"), -1);
  try {
    defs.Find("nope");
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Field 'nope' not found");
  }
  EXPECT_THROW(defs.Items(2), EListError);
  EXPECT_THROW(amount->SetName("id"), EDatabaseError);

  TFieldDefs copy(nullptr);
  copy.Assign(&defs);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(copy.Items(1)->Precision(), 10);
  EXPECT_EQ(copy.Items(1)->Size(), 2);

  // Opening makes the fields from the definitions: BCD keeps its scale and
  // precision, a required definition makes a required field.
  dataset.Open();
  auto* field = dynamic_cast<TBCDField*>(dataset.FieldByName("AMOUNT"));
  ASSERT_NE(field, nullptr);
  EXPECT_EQ(field->Size(), 2);
  EXPECT_EQ(field->Precision(), 10);
  EXPECT_TRUE(dataset.FieldByName("ID")->Required());
  EXPECT_TRUE(defs.Updated());
}

TEST(IndexDefinitions, UpdatedOnDemandAndMatchedByFields) {
  IndexedDataSet dataset;
  TIndexDefs& defs = dataset.IndexDefs();
  defs.Update();
  defs.Update();  // already up to date
  EXPECT_EQ(dataset.index_updates, 1);
  defs.SetUpdated(false);
  defs.Update();
  EXPECT_EQ(dataset.index_updates, 2);
  ASSERT_EQ(defs.Count(), 3);
  EXPECT_TRUE(defs.Find("by_id")->Options().Contains(ixUnique));
  EXPECT_THROW(defs.Find("missing"), EDatabaseError);
  EXPECT_EQ(defs.GetIndexForFields("id", false)->Name(), "BY_ID");
  // An exact match wins over a longer index that begins with the fields.
  EXPECT_EQ(defs.GetIndexForFields("NAME", false)->Name(), "BY_NAME_DESC");
  EXPECT_EQ(defs.GetIndexForFields("NAME", true)->Name(), "BY_NAME_ID");
  EXPECT_EQ(defs.GetIndexForFields("NAM", false), nullptr);
  EXPECT_EQ(defs.GetIndexForFields("", false), nullptr);
}

TEST(StoredActive, OpensOnlyAfterLoading) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  dataset.Loading();
  dataset.SetActive(true);
  EXPECT_FALSE(dataset.Active());
  dataset.Loaded();
  EXPECT_TRUE(dataset.Active());
}

}  // namespace
}  // namespace dataset_test
