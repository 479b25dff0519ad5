// Blob streams of the cursor dataset: memo, binary, image and varchar values
// of every size read back whole and in parts through streams, written values
// stay in the record buffer's cache until they are stored or dropped, and
// the caches store what was written into the engine's record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "dataset/data_source.h"
#include "dataset/params.h"
#include "dataset/stream.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;
using nds_test::SetText;

constexpr int kSizes[] = {0, 1, 64 * 1024, 16 * 1024 * 1024};
const char* const kBlobFields[] = {"m", "b", "im", "vc"};

// `size` bytes: text for the text kinds, every byte value for the others.
std::string Value(const std::string& field, int size) {
  std::string value(static_cast<size_t>(size), '\0');
  const bool text = field == "m" || field == "vc";
  for (int i = 0; i < size; ++i)
    value[static_cast<size_t>(i)] = static_cast<char>(text ? 'a' + i % 26 : (i * 7 + 3) % 256);
  return value;
}

// Lets the dataset enter edit and insert and exposes the blob hooks; the
// editing of the records themselves is not used.
class EditableQuery : public nds::TNdsQuery {
 public:
  EditableQuery() : TNdsQuery(nullptr) {}
  using TNdsQuery::OpenBlobStream;
  using TNdsQuery::StoreModifiedBlobCaches;

 protected:
  bool CanModify() override { return CursorWritable(); }
};

// Compares values too large to print: reports sizes and the first
// difference.
::testing::AssertionResult Same(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at " << at;
}

std::string ReadAll(dataset::TStream& stream) {
  std::string bytes(static_cast<size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  if (!bytes.empty()) stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

std::uint32_t Marker(EditableQuery& query, const std::string& field) {
  const int at = query.EngineFieldDefs().FindEngineField(field);
  std::uint32_t marker = 0;
  std::memcpy(&marker, query.ActiveBuffer() + query.EngineFieldDefs().Items(at)->offset, 4);
  return marker;
}

class BlobStreams : public ::testing::Test {
 protected:
  // Records 0, 1 and 2 hold blobs of kSizes[id] bytes.
  void SetUp() override {
    db_.Exec("create table t (id integer, m memo, b blob, im image, vc varchar(20), s char(4))");
    for (int id = 0; id < 3; ++id) AddRecord(id);
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
    query_.SetRequestLive(true);
    SetText(query_, "select * from t");
  }

  void AddRecord(int id) {
    dataset::TParams params(nullptr);
    params.CreateParam(dataset::ftInteger, "id", dataset::ptInput)->SetAsInteger(id);
    for (const char* name : kBlobFields)
      params.CreateParam(dataset::ftBlob, name, dataset::ptInput)
          ->SetAsBlob(Value(name, kSizes[id]));
    db_.Connection().ExecuteStatement(
        "insert into t (id, m, b, im, vc) values (:id, :m, :b, :im, :vc)", &params, false, nullptr);
  }

  std::string Read(const std::string& field) {
    auto stream = query_.CreateBlobStream(*query_.FieldByName(field), dataset::bmRead);
    return ReadAll(*stream);
  }

  QueryDatabase db_;
  EditableQuery query_;
  nce::testing::FailpointGuard failpoints_;
};

TEST_F(BlobStreams, EveryKindAndSizeReadsBackWholeAndInPartsFromEveryBufferOfTheWindow) {
  AddRecord(3);  // 16 MiB
  dataset::TDataSource source(nullptr);
  source.SetDataSet(&query_);
  dataset::TDataLink grid;  // three records shown at once
  grid.SetDataSource(&source);
  grid.SetBufferCount(3);
  query_.SetRequestLive(false);  // a static result; the edits below use live ones
  query_.Open();
  for (int pass = 0; pass < 2; ++pass) {
    int id = 0;
    for (query_.First(); !query_.Eof(); query_.Next(), ++id) {
      for (const char* name : kBlobFields) {
        const std::string expected = Value(name, kSizes[id]);
        SCOPED_TRACE(std::string(name) + " of record " + std::to_string(id));
        EXPECT_EQ(query_.FieldByName(name)->IsNull(), expected.empty());
        auto stream = query_.CreateBlobStream(*query_.FieldByName(name), dataset::bmRead);
        ASSERT_EQ(stream->Size(), static_cast<int64_t>(expected.size()));
        if (expected.empty()) continue;
        // A part from the middle, cut short at the end, then the last byte.
        const int64_t middle = stream->Seek(static_cast<int64_t>(expected.size() / 2),
                                            dataset::soBeginning);
        char part[8] = {};
        const int64_t got = stream->Read(part, sizeof part);
        EXPECT_EQ(std::string(part, static_cast<size_t>(got)),
                  expected.substr(static_cast<size_t>(middle), sizeof part));
        stream->Seek(-1, dataset::soEnd);
        EXPECT_EQ(stream->Read(part, sizeof part), 1);
        EXPECT_EQ(part[0], expected.back());
        EXPECT_TRUE(Same(ReadAll(*stream), expected));
      }
    }
    // Records of other buffers, read while the cursor stands elsewhere.
    query_.First();
    for (int row = 2; row >= 0; --row) {
      grid.SetActiveRecord(row);
      EXPECT_TRUE(Same(Read("b"), Value("b", kSizes[row]))) << row;
    }
  }
}

TEST_F(BlobStreams, WritingIsRefusedOutsideEditingThroughReadStreamsAndOnOtherFields) {
  query_.Open();
  for (auto mode : {dataset::bmWrite, dataset::bmReadWrite}) {
    EXPECT_EQ(MessageOf([&] { query_.CreateBlobStream(*query_.FieldByName("m"), mode); }),
              "Q: Table must be in Edit or Insert state to open blob stream in Write Mode.");
  }
  query_.Last();
  auto stream = query_.CreateBlobStream(*query_.FieldByName("m"), dataset::bmRead);
  try {
    stream->Write("x", 1);
    ADD_FAILURE() << "a read stream wrote";
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_COMPONENT);
    EXPECT_EQ(error.Message(), "Q: Error modifying read only blob.");
  }
  EXPECT_TRUE(Same(ReadAll(*stream), Value("m", kSizes[2])));
  EXPECT_EQ(MessageOf([&] { query_.OpenBlobStream(*query_.FieldByName("s"), dataset::bmRead); }),
            "Q: Invalid blob open on non-blob field.");

  // An empty result has no record to read: the stream is empty.
  query_.Close();
  SetText(query_, "select * from t where id < 0");
  query_.Open();
  EXPECT_EQ(query_.FieldByName("b")->AsString(), "");
}

TEST_F(BlobStreams, AnEditShowsWrittenValuesUntilCancelAndStoresThemWithTheirMarkers) {
  query_.Open();
  query_.Next();  // one byte in every blob
  query_.Edit();
  query_.FieldByName("m")->SetAsString("new text");
  query_.FieldByName("b")->Clear();
  EXPECT_TRUE(query_.Modified());
  EXPECT_EQ(query_.FieldByName("m")->AsString(), "new text");
  EXPECT_TRUE(query_.FieldByName("b")->IsNull());
  EXPECT_TRUE(dynamic_cast<dataset::TBlobField&>(*query_.FieldByName("m")).Modified());
  query_.Cancel();
  EXPECT_EQ(Read("m"), Value("m", 1));
  EXPECT_FALSE(query_.FieldByName("b")->IsNull());

  // A read-write stream of an unchanged blob starts from the stored value,
  // not from what the buffer cached before.
  EXPECT_EQ(Read("vc"), Value("vc", 1));
  db_.Exec("update t set vc = 'changed' where id = 1");
  query_.Edit();
  auto stream = query_.CreateBlobStream(*query_.FieldByName("vc"), dataset::bmReadWrite);
  EXPECT_EQ(ReadAll(*stream), "changed");
  stream->Write("!", 1);
  stream.reset();
  EXPECT_EQ(Read("vc"), "changed!");

  query_.FieldByName("b")->Clear();
  query_.StoreModifiedBlobCaches(query_.ActiveBuffer());
  EXPECT_EQ(Marker(query_, "vc"), 0xFFFFFFFFu);
  EXPECT_EQ(Marker(query_, "b"), 0u);
  std::uint32_t length = 99;
  ASSERT_EQ(NdsGetMemoLength(query_.TableHandle(), "vc", &length), 0u);
  EXPECT_EQ(length, 8u);
  ASSERT_EQ(NdsGetBinaryLength(query_.TableHandle(), "b", &length), 0u);
  EXPECT_EQ(length, 0u);
  query_.Cancel();
}

TEST_F(BlobStreams, ANewRecordReadsEmptyBlobsAndCancellingItShowsTheRecordBefore) {
  query_.Open();
  query_.MoveBy(2);  // 64 KiB in every blob
  query_.Insert();
  EXPECT_TRUE(query_.FieldByName("im")->IsNull());
  EXPECT_EQ(Read("im"), "");
  query_.FieldByName("im")->SetAsString(std::string("\0\1", 2));
  EXPECT_EQ(Read("im"), std::string("\0\1", 2));
  query_.Cancel();
  EXPECT_TRUE(Same(Read("im"), Value("im", kSizes[2])));
}

TEST_F(BlobStreams, ACacheStoresItsContentsInTheRecordBeingEditedAndSurvivesLoadFailures) {
  db_.Connection().Connect();
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsOpenTable(db_.Connection().ConnectionHandle(), "t", 0, 0, 0, &cursor), 0u);
  ASSERT_EQ(NdsGotoBottom(cursor), 0u);
  std::uint32_t record = 0;
  ASSERT_EQ(NdsGetRecordNum(cursor, NDS_IGNOREFILTERS, &record), 0u);
  ASSERT_EQ(NdsGotoTop(cursor), 0u);

  nds::TNdsBlobCache cache;
  cache.Load(cursor, 3, false, record);  // b, 64 KiB; moves the cursor there
  EXPECT_TRUE(Same(std::string(cache.Bytes().begin(), cache.Bytes().end()), Value("b", kSizes[2])));
  const std::string written = Value("im", 100 * 1000);
  cache.ClearForWriting();
  cache.WriteBuffer(written.data(), static_cast<int64_t>(written.size()));
  cache.Load(cursor, 3, false, record);  // same owner: the written value stays
  EXPECT_TRUE(cache.Modified());
  EXPECT_EQ(cache.Position(), 0);
  cache.Store();
  EXPECT_FALSE(cache.Modified());
  ASSERT_EQ(NdsWriteRecord(cursor), 0u);

  nds::TNdsBlobCache reread;
  reread.Load(cursor, 3, true, record);
  EXPECT_TRUE(Same(std::string(reread.Bytes().begin(), reread.Bytes().end()), written));

  // A record that is gone reads empty; another failure raises and leaves
  // the cache to be read afresh by the next load.
  nce::testing::ArmFailpoint("NdsGetMemoLength", NDS_E_NO_CURRENT_RECORD, "gone");
  reread.Load(cursor, 3, true, record);
  EXPECT_TRUE(reread.Bytes().empty());
  EXPECT_EQ(reread.RecordNumber(), 0u);
  nce::testing::ArmFailpoint("NdsGetBinary", NDS_E_GENERAL, "disk trouble");
  EXPECT_EQ(MessageOf([&] { reread.Load(cursor, 3, false, record); }), "disk trouble");
  EXPECT_TRUE(reread.Bytes().empty());
  reread.Load(cursor, 3, false, record);
  EXPECT_EQ(reread.Bytes().size(), written.size());
  NdsCloseTable(cursor);
}

}  // namespace
