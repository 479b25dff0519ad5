// Data sources and links: events in order, held-back events, editing
// through a link, master/detail and circular links.
#include "dataset/data_source.h"

#include "dataset_fixture.h"

namespace dataset_test {
namespace {

// Records the data events a link receives.
class RecordingLink : public TDataLink {
 public:
  std::vector<std::string> events;
  std::string pending_name;  // written into NAME on UpdateData

  std::string Joined() const {
    std::string text;
    for (const std::string& event : events) text += (text.empty() ? "" : " ") + event;
    return text;
  }

 protected:
  void DataEvent(TDataEvent event, std::intptr_t info) override {
    static const char* const kNames[] = {"field",    "record",   "dataset", "scroll",
                                         "layout",   "update",   "state",   "checkbrowse",
                                         "property", "fieldlist"};
    events.push_back(kNames[event]);
    TDataLink::DataEvent(event, info);
  }
  void ActiveChanged() override { events.push_back(Active() ? "+active" : "-active"); }
  void EditingChanged() override { events.push_back(Editing() ? "+editing" : "-editing"); }
  void UpdateData() override {
    if (!pending_name.empty()) DataSet()->FieldByName("NAME")->SetAsString(pending_name);
  }
};

TEST(DataLinks, EventsArriveInTheOrderOfTheOperations) {
  TMemoryDataSet dataset;
  dataset.FieldDefs().Add("ID", ftInteger);
  dataset.FieldDefs().Add("NAME", ftString, 20);
  TDataSource source(nullptr);
  source.SetDataSet(&dataset);
  RecordingLink link;
  link.SetDataSource(&source);
  EXPECT_FALSE(link.Active());

  dataset.Open();
  EXPECT_EQ(link.Joined(), "state +active");
  dataset.AppendRecord({1, "a"});
  dataset.AppendRecord({2, "b"});
  link.events.clear();

  dataset.First();
  EXPECT_EQ(link.Joined(), "checkbrowse dataset");
  link.events.clear();
  dataset.Next();  // a one-record window scrolls
  EXPECT_EQ(link.Joined(), "checkbrowse scroll");
  link.events.clear();

  dataset.Edit();
  EXPECT_EQ(link.Joined(), "checkbrowse state +editing record");
  link.events.clear();
  dataset.FieldByName("NAME")->SetAsString("B");
  EXPECT_EQ(link.Joined(), "field");
  link.events.clear();
  dataset.Post();
  EXPECT_EQ(link.Joined(), "update checkbrowse state -editing dataset");
  link.events.clear();

  dataset.Close();
  EXPECT_EQ(link.Joined(), "state -active");
}

TEST(DataLinks, InsertCancelAndDeleteReachLinksInOrder) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 2);
  TDataSource source(nullptr);
  source.SetDataSet(&dataset);
  RecordingLink link;
  link.SetDataSource(&source);
  link.events.clear();
  dataset.Insert();
  EXPECT_EQ(link.Joined(), "checkbrowse state +editing dataset");
  link.events.clear();
  dataset.Cancel();
  EXPECT_EQ(link.Joined(), "checkbrowse state -editing dataset");
  link.events.clear();
  dataset.Delete();
  EXPECT_EQ(link.Joined(), "checkbrowse dataset");
  link.events.clear();
  int state_changes = 0, data_changes = 0;
  source.OnStateChange = [&](TDataSource&) { ++state_changes; };
  source.OnDataChange = [&](TDataSource&, TField*) { ++data_changes; };
  dataset.Edit();
  dataset.Cancel();
  EXPECT_EQ(state_changes, 2);
  EXPECT_EQ(data_changes, 2);  // the record change of Edit, the dataset change of Cancel
}

TEST(DataLinks, PendingValuesOfALinkArePostedWithTheRecord) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 1);
  TDataSource source(nullptr);
  source.SetDataSet(&dataset);
  RecordingLink editor;
  editor.SetDataSource(&source);
  EXPECT_TRUE(editor.Edit());  // AutoEdit puts the dataset in edit state
  EXPECT_EQ(dataset.State(), dsEdit);
  editor.pending_name = "typed";
  dataset.Post();
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "typed");
  source.SetAutoEdit(false);
  EXPECT_FALSE(editor.Edit());
  EXPECT_EQ(dataset.State(), dsBrowse);
}

TEST(DataLinks, DisabledControlsHearOneChangeAtTheEnd) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 5);
  TDataSource source(nullptr);
  source.SetDataSet(&dataset);
  RecordingLink link;
  link.SetDataSource(&source);
  link.events.clear();
  dataset.DisableControls();
  dataset.DisableControls();
  while (!dataset.Eof()) dataset.Next();
  dataset.EnableControls();
  EXPECT_TRUE(link.events.empty());
  EXPECT_TRUE(dataset.ControlsDisabled());
  dataset.EnableControls();
  EXPECT_EQ(link.Joined(), "dataset");
  link.events.clear();
  dataset.DisableControls();
  dataset.EnableControls();  // nothing happened: nothing sent
  EXPECT_TRUE(link.events.empty());
}

TEST(DataLinks, DisabledSourceAndDestroyedPartnersDetachCleanly) {
  auto* dataset = new TMemoryDataSet;
  FillNumbered(*dataset, 2);
  auto* source = new TDataSource(nullptr);
  source->SetDataSet(dataset);
  RecordingLink link;
  link.SetDataSource(source);
  EXPECT_TRUE(link.Active());
  source->SetEnabled(false);
  EXPECT_FALSE(link.Active());
  source->SetEnabled(true);
  EXPECT_TRUE(link.Active());
  delete dataset;  // the source forgets it, the link goes inactive
  EXPECT_EQ(source->DataSet(), nullptr);
  EXPECT_FALSE(link.Active());
  delete source;  // the link forgets it
  EXPECT_EQ(link.DataSource(), nullptr);
}

// A detail dataset following its master through a TMasterDataLink, as the
// cursor dataset does with MasterSource/MasterFields.
class DetailDataSet : public TMemoryDataSet {
 public:
  DetailDataSet() : master_link(this) {
    master_link.OnMasterChange = [this] { ++master_changes; };
    master_link.OnMasterDisable = [this] { ++master_disables; };
  }
  void SetMasterSource(TDataSource* source) {
    if (source && IsLinkedTo(source)) DatabaseError(kCircularDataLinkMessage);
    master_link.SetDataSource(source);
  }
  TMasterDataLink master_link;
  int master_changes = 0;
  int master_disables = 0;

 protected:
  TDataSource* MasterDataSource() override { return master_link.DataSource(); }
};

TEST(MasterDetail, DetailFollowsTheMasterRecord) {
  TMemoryDataSet master;
  FillNumbered(master, 3);
  TDataSource master_source(nullptr);
  master_source.SetDataSet(&master);

  DetailDataSet detail;
  detail.FieldDefs().Add("MASTER_ID", ftInteger);
  detail.FieldDefs().Add("NOTE", ftString, 20);
  detail.Open();
  for (int id = 1; id <= 3; ++id) {
    for (int n = 0; n < id; ++n) detail.AppendRecord({id, "note"});
  }
  // Follow the master with a filter on its ID.
  detail.SetOnFilterRecord([&master](TDataSet& ds, bool& accept) {
    accept = ds.FieldByName("MASTER_ID")->AsInteger() == master.FieldByName("ID")->AsInteger();
  });
  detail.SetFiltered(true);
  detail.master_link.OnMasterChange = [&detail] {
    ++detail.master_changes;
    detail.First();
  };
  detail.master_link.SetFieldNames("ID");
  detail.SetMasterSource(&master_source);
  EXPECT_EQ(detail.master_link.Fields().size(), 1u);
  auto detail_count = [&detail] {
    int n = 0;
    for (detail.First(); !detail.Eof(); detail.Next()) ++n;
    return n;
  };
  EXPECT_EQ(detail_count(), 1);
  int changes = detail.master_changes;
  master.Next();
  EXPECT_GT(detail.master_changes, changes);
  EXPECT_EQ(detail_count(), 2);
  master.Last();
  EXPECT_EQ(detail_count(), 3);

  // Changing a master field that is not linked does not reach the detail.
  master.Edit();
  changes = detail.master_changes;
  master.FieldByName("NAME")->SetAsString("renamed");
  EXPECT_EQ(detail.master_changes, changes);
  master.FieldByName("ID")->SetAsInteger(1);
  EXPECT_GT(detail.master_changes, changes);
  master.Cancel();
  master.Close();
  EXPECT_GE(detail.master_disables, 1);
}

TEST(MasterDetail, CircularLinksAreRefused) {
  DetailDataSet a, b;
  a.FieldDefs().Add("ID", ftInteger);
  b.FieldDefs().Add("ID", ftInteger);
  TDataSource source_a(nullptr), source_b(nullptr);
  source_a.SetDataSet(&a);
  source_b.SetDataSet(&b);
  try {
    a.SetMasterSource(&source_a);
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Circular Data Link");
  }
  b.SetMasterSource(&source_a);                                // b follows a
  EXPECT_THROW(a.SetMasterSource(&source_b), EDatabaseError);  // a would follow b
  EXPECT_TRUE(source_a.IsLinkedTo(&b));
  // A source may not show a dataset that follows that very source.
  TDataSource source_c(nullptr);
  DetailDataSet c;
  c.SetMasterSource(&source_c);
  EXPECT_THROW(source_c.SetDataSet(&c), EDatabaseError);
  EXPECT_EQ(source_c.DataSet(), nullptr);
}

}  // namespace
}  // namespace dataset_test
