// Opening and closing a dataset: events, the open-failure clean-up, the
// active/inactive checks and the field objects made at open.
#include "dataset_fixture.h"

namespace dataset_test {
namespace {

TEST(DataSetLifecycle, OpenAndCloseFireEventsAndManageDefaultFields) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  dataset.FieldDefs().Add("NAME", ftString, 20);
  EventLog log;
  log.Watch(dataset);

  dataset.Open();
  EXPECT_TRUE(dataset.Active());
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(dataset.FieldCount(), 2);
  EXPECT_NE(dynamic_cast<TStringField*>(dataset.FieldByName("name")), nullptr);
  EXPECT_EQ(dataset.FieldByName("NAME")->Size(), 20);
  EXPECT_EQ(dataset.FieldByName("ID")->FieldNo(), 1);
  // An empty dataset: no AfterScroll after opening.
  EXPECT_EQ(log.Joined(), "BeforeOpen AfterOpen");

  log.events.clear();
  dataset.Close();
  EXPECT_FALSE(dataset.Active());
  EXPECT_EQ(dataset.State(), dsInactive);
  EXPECT_EQ(dataset.FieldCount(), 0);  // default fields go with the cursor
  EXPECT_EQ(log.Joined(), "BeforeClose AfterClose");
}

TEST(DataSetLifecycle, OpenOnRecordsLandsOnFirstAndScrolls) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.Close();
  EventLog log;
  log.Watch(dataset);
  dataset.Open();
  EXPECT_EQ(log.Joined(), "BeforeOpen AfterOpen AfterScroll");
  EXPECT_TRUE(dataset.Bof());
  EXPECT_FALSE(dataset.Eof());
  EXPECT_EQ(CurrentId(dataset), 1);
}

TEST(DataSetLifecycle, FailedOpenClosesTheCursorAndStaysInactive) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  EventLog log;
  log.Watch(dataset);
  dataset.fail_open = "disk on fire";
  try {
    dataset.Open();
    FAIL() << "open should fail";
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "disk on fire");
  }
  EXPECT_FALSE(dataset.Active());
  EXPECT_EQ(dataset.State(), dsInactive);
  EXPECT_FALSE(dataset.CursorIsOpenForTest());
  EXPECT_EQ(log.Joined(), "BeforeOpen");
  // The failure leaves nothing behind: the next open works.
  dataset.Open();
  EXPECT_TRUE(dataset.Active());
}

TEST(DataSetLifecycle, BeforeOpenCanRefuse) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  dataset.BeforeOpen = [](TDataSet&) { throw EAbort(); };
  EXPECT_THROW(dataset.Open(), EAbort);
  EXPECT_FALSE(dataset.Active());
  EXPECT_FALSE(dataset.CursorIsOpenForTest());
}

TEST(DataSetLifecycle, ActiveAndInactiveChecksUseTheFrameworkMessages) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  try {
    dataset.CheckActive();
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Cannot perform this operation on a closed dataset");
  }
  EXPECT_NO_THROW(dataset.CheckInactive());
  EXPECT_THROW(dataset.First(), EDatabaseError);
  EXPECT_THROW(dataset.Edit(), EDatabaseError);
  EXPECT_THROW(dataset.Delete(), EDatabaseError);
  dataset.Open();
  try {
    dataset.CheckInactive();
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Cannot perform this operation on an open dataset");
  }
  // Fields cannot be added or renamed under an open dataset.
  auto* extra = new TIntegerField(&dataset);
  extra->SetFieldName("EXTRA");
  EXPECT_THROW(extra->SetDataSet(&dataset), EDatabaseError);
  EXPECT_THROW(dataset.FieldByName("ID")->SetFieldName("X"), EDatabaseError);
}

TEST(DataSetLifecycle, PersistentFieldsSurviveCloseAndBindByName) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  dataset.FieldDefs().Add("NAME", ftString, 20);
  auto* name = new TStringField(&dataset);
  name->SetFieldName("NAME");
  name->SetSize(20);
  name->SetDataSet(&dataset);
  dataset.Open();
  EXPECT_EQ(dataset.FieldCount(), 1);  // only the persistent field
  EXPECT_EQ(name->FieldNo(), 2);
  dataset.AppendRecord({"x"});
  EXPECT_EQ(name->AsString(), "x");
  dataset.Close();
  EXPECT_EQ(dataset.FieldCount(), 1);
  EXPECT_EQ(name->FieldNo(), 0);
}

TEST(DataSetLifecycle, FieldsThatDoNotMatchTheirDefinitionRefuseToOpen) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  dataset.FieldDefs().Add("NAME", ftString, 20);
  auto* name = new TStringField(&dataset);
  name->SetFieldName("NAME");
  name->SetSize(5);  // narrower than the column: reading would overflow
  name->SetDataSet(&dataset);
  EXPECT_THROW(dataset.Open(), EDatabaseError);
  EXPECT_FALSE(dataset.Active());
  name->SetSize(20);
  auto* missing = new TIntegerField(&dataset);
  missing->SetFieldName("NOPE");
  missing->SetDataSet(&dataset);
  EXPECT_THROW(dataset.Open(), EDatabaseError);
  delete missing;
  auto* wrong = new TFloatField(&dataset);
  wrong->SetFieldName("ID");
  wrong->SetDataSet(&dataset);
  EXPECT_THROW(dataset.Open(), EDatabaseError);
  delete wrong;
  dataset.Open();
  EXPECT_TRUE(dataset.Active());
}

TEST(DataSetLifecycle, DuplicateFieldNamesAreRefused) {
  TMemoryDataSet dataset;
  EXPECT_THROW(dataset.FieldDefs().Add("", ftInteger), EDatabaseError);
  dataset.FieldDefs().Add("ID", ftInteger);
  EXPECT_THROW(dataset.FieldDefs().Add("id", ftInteger), EDatabaseError);
  EXPECT_THROW(dataset.FieldDefs().Add("S", ftString, 0), EDatabaseError);
  auto* a = new TIntegerField(&dataset);
  a->SetFieldName("A");
  a->SetDataSet(&dataset);
  auto* b = new TIntegerField(&dataset);
  b->SetFieldName("a");
  EXPECT_THROW(b->SetDataSet(&dataset), EDatabaseError);
  EXPECT_EQ(b->DataSet(), nullptr);
}

TEST(DataSetLifecycle, DestroyingAnOpenDatasetReleasesEverything) {
  auto* owner = new TComponent(nullptr);
  auto* dataset = new TMemoryDataSet(owner);
  FillNumbered(*dataset, 3);
  bool closed_event = false;
  dataset->AfterClose = [&](TDataSet&) { closed_event = true; };
  delete owner;  // the sanitizer build checks that nothing leaks
  EXPECT_FALSE(closed_event);
}

}  // namespace
}  // namespace dataset_test
