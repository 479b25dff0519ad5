// Editing: insert, append, edit, post, cancel, delete, their events and
// their failures.
#include "dataset_fixture.h"

namespace dataset_test {
namespace {

TEST(DataSetEditing, InsertInTheMiddleThenCancelRestoresTheWindow) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 5);
  dataset.SetRecNo(3);
  EventLog log;
  log.Watch(dataset);
  dataset.Insert();
  EXPECT_EQ(dataset.State(), dsInsert);
  EXPECT_TRUE(dataset.FieldByName("ID")->IsNull());
  EXPECT_EQ(log.Joined(), "BeforeInsert BeforeScroll OnNewRecord AfterInsert AfterScroll");
  dataset.FieldByName("ID")->SetAsInteger(99);
  log.events.clear();
  dataset.Cancel();
  EXPECT_EQ(log.Joined(), "BeforeCancel BeforeScroll AfterCancel AfterScroll");
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(CurrentId(dataset), 3);  // back on the record the new one stood before
  EXPECT_EQ(dataset.StoredCount(), 5);
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 2, 3, 4, 5}));
}

TEST(DataSetEditing, InsertPostsBeforeTheCurrentRecordAppendAtTheEnd) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.SetRecNo(2);
  dataset.Insert();
  dataset.FieldByName("ID")->SetAsInteger(10);
  dataset.Post();
  EXPECT_EQ(CurrentId(dataset), 10);  // the new record stays current
  dataset.Append();
  EXPECT_TRUE(dataset.Eof());
  dataset.FieldByName("ID")->SetAsInteger(20);
  dataset.Post();
  EXPECT_EQ(CurrentId(dataset), 20);
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 10, 2, 3, 20}));
  // Cancelling an append returns to the last record.
  dataset.Append();
  dataset.Cancel();
  EXPECT_EQ(CurrentId(dataset), 20);
}

TEST(DataSetEditing, EditPostAndCancel) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.SetRecNo(2);
  EventLog log;
  log.Watch(dataset);
  dataset.Edit();
  EXPECT_EQ(dataset.State(), dsEdit);
  dataset.FieldByName("NAME")->SetAsString("two");
  EXPECT_TRUE(dataset.Modified());
  EXPECT_EQ(dataset.FieldByName("NAME")->OldValue().AsString(), "name2");
  dataset.Post();
  EXPECT_EQ(log.Joined(), "BeforeEdit AfterEdit BeforePost AfterPost");
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "two");

  dataset.Edit();
  dataset.FieldByName("NAME")->SetAsString("dropped");
  dataset.Cancel();
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "two");
  EXPECT_EQ(dataset.State(), dsBrowse);
  // Edit in edit state is a no-op; post and cancel in browse too.
  dataset.Edit();
  dataset.Edit();
  dataset.Cancel();
  EXPECT_NO_THROW(dataset.Cancel());
  EXPECT_THROW(dataset.Post(), EDatabaseError);  // nothing to post
}

TEST(DataSetEditing, FailedPostKeepsTheRecordInEdit) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 2);
  dataset.Edit();
  dataset.FieldByName("NAME")->SetAsString("new name");
  dataset.fail_post = "locked by another user";
  bool after_post = false;
  dataset.AfterPost = [&](TDataSet&) { after_post = true; };
  EXPECT_THROW(dataset.Post(), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsEdit);
  EXPECT_FALSE(after_post);
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "new name");  // nothing lost
  dataset.Post();
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "new name");

  // A failed insert stays in insert with its values.
  dataset.Append();
  dataset.FieldByName("ID")->SetAsInteger(3);
  dataset.fail_post = "disk full";
  EXPECT_THROW(dataset.Post(), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsInsert);
  EXPECT_EQ(CurrentId(dataset), 3);
  dataset.Post();
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 2, 3}));
}

TEST(DataSetEditing, PostErrorEventRetriesOrAborts) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 1);
  int calls = 0;
  dataset.OnPostError = [&](TDataSet&, EDatabaseError& error, TDataAction& action) {
    ++calls;
    EXPECT_EQ(error.Message(), "busy");
    action = daRetry;
  };
  dataset.Edit();
  dataset.FieldByName("NAME")->SetAsString("retried");
  dataset.fail_post = "busy";  // fails once, the retry succeeds
  dataset.Post();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "retried");

  dataset.OnPostError = [](TDataSet&, EDatabaseError&, TDataAction& action) { action = daAbort; };
  dataset.Edit();
  dataset.FieldByName("NAME")->SetAsString("aborted");
  dataset.fail_post = "busy";
  EXPECT_THROW(dataset.Post(), EAbort);
  EXPECT_EQ(dataset.State(), dsEdit);
}

TEST(DataSetEditing, EditErrorEventRetriesOrFails) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 1);
  TDataAction answer = daRetry;
  int errors = 0;
  dataset.OnEditError = [&](TDataSet&, EDatabaseError& error, TDataAction& action) {
    ++errors;
    EXPECT_EQ(error.Message(), "record locked");
    action = answer;
  };
  dataset.fail_edit = "record locked";  // fails once: the retry succeeds
  dataset.Edit();
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(dataset.State(), dsEdit);
  dataset.Cancel();
  answer = daFail;
  dataset.fail_edit = "record locked";
  EXPECT_THROW(dataset.Edit(), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsBrowse);
}

TEST(DataSetEditing, RequiredFieldsAreCheckedAtPost) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger, 0, true);
  dataset.FieldDefs().Add("NAME", ftString, 20);
  dataset.Open();
  dataset.FieldByName("ID")->SetDisplayLabel("Identifier");
  dataset.Append();
  dataset.FieldByName("NAME")->SetAsString("no id");
  try {
    dataset.Post();
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Field 'Identifier' must have a value");
  }
  EXPECT_EQ(dataset.State(), dsInsert);
  EXPECT_EQ(dataset.StoredCount(), 0);
  dataset.FieldByName("ID")->SetAsInteger(1);
  dataset.Post();
  EXPECT_EQ(dataset.StoredCount(), 1);
  EXPECT_THROW(dataset.AppendRecord({Variant::Null(), "x"}), EDatabaseError);
  EXPECT_EQ(dataset.StoredCount(), 1);
  EXPECT_EQ(dataset.State(), dsBrowse);
}

TEST(DataSetEditing, OnNewRecordSetsDefaultsAndCanRefuse) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 2);
  dataset.OnNewRecord = [](TDataSet& ds) { ds.FieldByName("NAME")->SetAsString("default"); };
  dataset.Append();
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "default");
  EXPECT_FALSE(dataset.Modified());  // defaults alone do not count as a change
  dataset.Cancel();

  dataset.OnNewRecord = [](TDataSet&) { throw EDatabaseError("no new records today"); };
  dataset.SetRecNo(2);
  EXPECT_THROW(dataset.Insert(), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(CurrentId(dataset), 2);
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 2}));
}

TEST(DataSetEditing, DeleteMovesToTheNextRecordAndReportsFailures) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.SetRecNo(2);
  EventLog log;
  log.Watch(dataset);
  dataset.Delete();
  EXPECT_EQ(log.Joined(), "BeforeDelete BeforeScroll AfterDelete AfterScroll");
  EXPECT_EQ(CurrentId(dataset), 3);
  dataset.Last();
  dataset.Delete();  // the last record: the one before becomes current
  EXPECT_EQ(CurrentId(dataset), 1);

  dataset.fail_delete = "referenced elsewhere";
  int error_events = 0;
  dataset.OnDeleteError = [&](TDataSet&, EDatabaseError&, TDataAction&) { ++error_events; };
  EXPECT_THROW(dataset.Delete(), EDatabaseError);
  EXPECT_EQ(error_events, 1);
  EXPECT_EQ(dataset.StoredCount(), 1);
  dataset.Delete();
  EXPECT_TRUE(dataset.IsEmpty());

  // Delete of a record being inserted cancels it.
  dataset.Append();
  dataset.Delete();
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(dataset.StoredCount(), 0);
}

TEST(DataSetEditing, ReadOnlyDatasetsAndFieldsRefuseChanges) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 1);
  dataset.read_only = true;
  try {
    dataset.Edit();
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Cannot modify a read-only dataset");
  }
  EXPECT_THROW(dataset.Append(), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsBrowse);
  dataset.read_only = false;
  dataset.FieldByName("ID")->SetReadOnly(true);
  dataset.Edit();
  EXPECT_THROW(dataset.FieldByName("ID")->SetAsInteger(5), EDatabaseError);
  EXPECT_NO_THROW(dataset.FieldByName("NAME")->SetAsString("x"));
}

TEST(DataSetEditing, AssigningOutsideEditIsRefused) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 1);
  EXPECT_THROW(dataset.FieldByName("NAME")->SetAsString("x"), EDatabaseError);
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "name1");
}

TEST(DataSetEditing, OnValidateSeesTheNewValueAndCanRefuseIt) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 1);
  TField* name = dataset.FieldByName("NAME");
  std::string seen;
  name->OnValidate = [&seen](TField& field) {
    seen = field.AsString();
    if (seen == "bad") throw EDatabaseError("bad name");
  };
  int changes = 0;
  name->OnChange = [&changes](TField&) { ++changes; };
  dataset.Edit();
  name->SetAsString("good");
  EXPECT_EQ(seen, "good");
  EXPECT_EQ(changes, 1);
  EXPECT_THROW(name->SetAsString("bad"), EDatabaseError);
  EXPECT_EQ(name->AsString(), "good");
  EXPECT_EQ(changes, 1);
}

TEST(DataSetEditing, InsertRecordAndAppendRecordSetValuesAndPost) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 2);
  EventLog log;
  log.Watch(dataset);
  dataset.SetRecNo(2);
  log.events.clear();
  dataset.InsertRecord({7, "seven"});
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(CurrentId(dataset), 7);
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "seven");
  dataset.AppendRecord({8});  // missing values stay null
  EXPECT_TRUE(dataset.FieldByName("NAME")->IsNull());
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 7, 2, 8}));
  EXPECT_THROW(dataset.AppendRecord({1, "a", "too many"}), EDatabaseError);
  EXPECT_EQ(dataset.StoredCount(), 4);
  dataset.fail_post = "full";
  EXPECT_THROW(dataset.AppendRecord({9}), EDatabaseError);
  EXPECT_EQ(dataset.State(), dsBrowse);
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 7, 2, 8}));
}

TEST(DataSetEditing, ClearFieldsEmptiesTheRecordBeingEdited) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 1);
  EXPECT_THROW(dataset.ClearFields(), EDatabaseError);
  dataset.Edit();
  dataset.ClearFields();
  EXPECT_TRUE(dataset.FieldByName("ID")->IsNull());
  EXPECT_TRUE(dataset.FieldByName("NAME")->IsNull());
  dataset.Cancel();
  EXPECT_EQ(CurrentId(dataset), 1);
}

}  // namespace
}  // namespace dataset_test
