// Moving through a dataset: both ends, empty datasets, windows of several
// buffers, record numbers and bookmarks.
#include "dataset/data_source.h"
#include "dataset_fixture.h"

namespace dataset_test {
namespace {

// A link that asks for a window of several records, as a grid does.
class GridLink : public TDataLink {
 public:
  explicit GridLink(int rows) { SetBufferCount(rows); }
};

TEST(DataSetNavigation, WalksBothWaysAndStopsAtTheEnds) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 5);
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(dataset.Eof());
  EXPECT_EQ(CurrentId(dataset), 5);  // Eof keeps the last record current
  dataset.Next();
  EXPECT_EQ(CurrentId(dataset), 5);

  std::vector<int> backwards;
  for (dataset.Last(); !dataset.Bof(); dataset.Prior()) backwards.push_back(CurrentId(dataset));
  EXPECT_EQ(backwards, (std::vector<int>{5, 4, 3, 2, 1}));
  EXPECT_EQ(CurrentId(dataset), 1);

  dataset.First();
  EXPECT_TRUE(dataset.Bof());
  EXPECT_EQ(dataset.MoveBy(10), 4);
  EXPECT_TRUE(dataset.Eof());
  EXPECT_EQ(dataset.MoveBy(-2), -2);
  EXPECT_EQ(CurrentId(dataset), 3);
  EXPECT_FALSE(dataset.Eof());
  EXPECT_EQ(dataset.MoveBy(-10), -2);
  EXPECT_TRUE(dataset.Bof());
  EXPECT_EQ(dataset.MoveBy(0), 0);
}

TEST(DataSetNavigation, EmptyDatasetIsBofAndEofEverywhere) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 0);
  EXPECT_TRUE(dataset.IsEmpty());
  dataset.Last();
  EXPECT_TRUE(dataset.Bof() && dataset.Eof());
  EXPECT_EQ(dataset.MoveBy(3), 0);
  EXPECT_TRUE(dataset.FieldByName("ID")->IsNull());
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "");
  EXPECT_EQ(dataset.RecNo(), 0);
  EXPECT_TRUE(dataset.GetBookmark().empty());
  try {
    dataset.Delete();
    FAIL();
  } catch (const EDatabaseError& error) {
    EXPECT_EQ(error.Message(), "Cannot perform this operation on an empty dataset");
  }
  // Editing an empty dataset starts a new record.
  dataset.Edit();
  EXPECT_EQ(dataset.State(), dsInsert);
  dataset.Cancel();
  EXPECT_TRUE(dataset.IsEmpty());
}

TEST(DataSetNavigation, GridWindowScrollsAndKeepsItsRecords) {
  TMemoryDataSet dataset;
  TDataSource source(nullptr);
  source.SetDataSet(&dataset);
  GridLink grid(3);
  grid.SetDataSource(&source);
  FillNumbered(dataset, 10);
  EXPECT_EQ(dataset.BufferCount(), 3);
  EXPECT_EQ(dataset.WindowRecordCount(), 3);
  EXPECT_EQ(grid.RecordCount(), 3);

  dataset.MoveBy(4);  // beyond the window: it scrolls
  EXPECT_EQ(CurrentId(dataset), 5);
  EXPECT_EQ(grid.ActiveRecord(), 2);
  // The window holds consecutive records ending at the active one.
  std::vector<int> shown;
  for (int row = 0; row < grid.RecordCount(); ++row) {
    grid.SetActiveRecord(row);
    shown.push_back(CurrentId(dataset));
  }
  EXPECT_EQ(shown, (std::vector<int>{3, 4, 5}));
  grid.SetActiveRecord(2);

  dataset.Last();
  EXPECT_EQ(CurrentId(dataset), 10);
  EXPECT_EQ(grid.ActiveRecord(), 2);
  dataset.MoveBy(-4);
  EXPECT_EQ(CurrentId(dataset), 6);
  EXPECT_EQ(grid.ActiveRecord(), 0);
  EXPECT_EQ(AllIds(dataset), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));

  // A smaller window keeps the active record.
  dataset.RecNo();
  dataset.SetRecNo(5);
  EXPECT_EQ(CurrentId(dataset), 5);
  grid.SetBufferCount(1);
  EXPECT_EQ(dataset.BufferCount(), 1);
  EXPECT_EQ(CurrentId(dataset), 5);
  dataset.Next();
  EXPECT_EQ(CurrentId(dataset), 6);
}

TEST(DataSetNavigation, RecordNumbersAndCounts) {
  TMemoryDataSet dataset;
  EXPECT_THROW(dataset.RecNo(), EDatabaseError);
  FillNumbered(dataset, 4);
  EXPECT_EQ(dataset.RecordCount(), 4);
  EXPECT_EQ(dataset.RecNo(), 1);
  dataset.SetRecNo(3);
  EXPECT_EQ(CurrentId(dataset), 3);
  EXPECT_EQ(dataset.RecNo(), 3);
}

TEST(DataSetNavigation, BookmarksFollowTheirRecordAcrossEdits) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 5);
  dataset.SetRecNo(3);
  TBookmark third = dataset.GetBookmark();
  ASSERT_FALSE(third.empty());
  dataset.First();
  TBookmark first = dataset.GetBookmark();

  // Records inserted before it and an edit of it do not lose it.
  dataset.First();
  dataset.InsertRecord({100, "inserted"});
  dataset.GotoBookmark(third);
  EXPECT_EQ(CurrentId(dataset), 3);
  dataset.Edit();
  dataset.FieldByName("NAME")->SetAsString("changed");
  dataset.Post();
  dataset.Last();
  dataset.GotoBookmark(third);
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "changed");
  EXPECT_TRUE(dataset.BookmarkValid(third));
  EXPECT_EQ(dataset.CompareBookmarks(first, third), -1);
  EXPECT_EQ(dataset.CompareBookmarks(third, first), 1);
  EXPECT_EQ(dataset.CompareBookmarks(third, third), 0);
  EXPECT_EQ(dataset.CompareBookmarks(third, {}), -1);
  EXPECT_EQ(dataset.CompareBookmarks({}, third), 1);
  EXPECT_EQ(dataset.CompareBookmarks({}, {}), 0);

  // Once its record is deleted the bookmark is no longer valid.
  dataset.Delete();
  EXPECT_FALSE(dataset.BookmarkValid(third));
  EXPECT_FALSE(dataset.BookmarkValid({}));
  EXPECT_THROW(dataset.GotoBookmark(third), EDatabaseError);
  EXPECT_THROW(dataset.GotoBookmark({1, 2}), EDatabaseError);  // wrong size
}

TEST(DataSetNavigation, ScrollEventsSurroundEveryMove) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  EventLog log;
  log.Watch(dataset);
  dataset.Next();
  dataset.Last();
  dataset.First();
  EXPECT_EQ(log.Joined(),
            "BeforeScroll AfterScroll BeforeScroll AfterScroll BeforeScroll AfterScroll");
}

TEST(DataSetNavigation, MovingPostsAPendingEdit) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.Edit();
  dataset.FieldByName("NAME")->SetAsString("moved away");
  dataset.Next();  // the browse-mode check posts the modified record
  EXPECT_EQ(dataset.State(), dsBrowse);
  dataset.First();
  EXPECT_EQ(dataset.FieldByName("NAME")->AsString(), "moved away");
  dataset.Edit();
  int posts = dataset.post_count;
  dataset.Next();  // unmodified: cancelled, not posted
  EXPECT_EQ(dataset.post_count, posts);
}

TEST(DataSetNavigation, RefreshRereadsTheWindow) {
  TMemoryDataSet dataset;
  FillNumbered(dataset, 3);
  dataset.SetRecNo(2);
  bool before = false, after = false;
  dataset.BeforeRefresh = [&](TDataSet&) { before = true; };
  dataset.AfterRefresh = [&](TDataSet&) { after = true; };
  dataset.Refresh();
  EXPECT_TRUE(before && after);
  EXPECT_EQ(CurrentId(dataset), 2);
}

}  // namespace
}  // namespace dataset_test
