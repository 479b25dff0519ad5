// Blob streams: every blob kind and size reads back whole and in parts,
// written values live in the buffer's cache until stored or dropped, and a
// cache stores what was written into the engine's record.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <vector>

#include "dataset/data_source.h"
#include "dataset/params.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"
#include "tests/support/store_sql.h"

namespace {

using nds_test::MessageOf;
using nds_test::SetText;

constexpr int kSizes[] = {0, 1, 64 * 1024, 16 * 1024 * 1024};
const char* const kBlobFields[] = {"m", "b", "im", "vc"};

bool IsText(const std::string& field) {
  return field == "m" || field == "vc";
}

// Text for the text kinds, every byte value for the others.
std::string Value(const std::string& field, int size) {
  std::string value(static_cast<size_t>(size), '\0');
  for (int i = 0; i < size; ++i) value[i] = static_cast<char>(IsText(field) ? 'a' + i % 26 : i * 7);
  return value;
}

std::string ReadAll(dataset::TStream& stream) {
  std::string bytes(static_cast<size_t>(stream.Size()), '\0');
  stream.SetPosition(0);
  stream.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

// Writes `value` through a write-mode stream, in two parts.
void WriteAll(dataset::TStream& stream, const std::string& value) {
  const auto half = static_cast<int64_t>(value.size() / 2);
  stream.WriteBuffer(value.data(), half);
  stream.WriteBuffer(value.data() + half, static_cast<int64_t>(value.size()) - half);
}

// A live query with the blob hooks and the presence markers exposed.
class EditableQuery : public nds::TNdsQuery {
 public:
  EditableQuery() : TNdsQuery(nullptr) {}
  using TNdsQuery::OpenBlobStream;
  using TNdsQuery::StoreModifiedBlobCaches;
  std::uint32_t Marker(const std::string& field) {
    std::uint32_t marker = 0;
    const int at = EngineFieldDefs().FindEngineField(field);
    std::memcpy(&marker, ActiveBuffer() + EngineFieldDefs().Items(at)->offset, 4);
    return marker;
  }
};

class BlobStreams : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table t (id integer, m memo, b blob, im image, vc varchar(20), s char(4))");
    for (int id = 0; id < 3; ++id) AddRecord(id);
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
    query_.SetRequestLive(true);
    SetText(query_, "select * from t");
  }
  // Every blob of record `id` holds kSizes[id] bytes.
  void AddRecord(int id) {
    dataset::TParams params(nullptr);
    params.CreateParam(dataset::ftInteger, "id", dataset::ptInput)->SetAsInteger(id);
    for (const char* name : kBlobFields) {  // text as text, bytes as bytes
      dataset::TParam& param = *params.CreateParam(dataset::ftBlob, name, dataset::ptInput);
      IsText(name) ? param.SetAsMemo(Value(name, kSizes[id]))
                   : param.SetAsBlob(Value(name, kSizes[id]));
    }
    db_.Connection().ExecuteStatement("insert into t (id, m, b, im, vc) values (?, ?, ?, ?, ?)",
                                      &params, false, nullptr);
  }
  std::string Read(const std::string& field) {
    return ReadAll(*query_.CreateBlobStream(*query_.FieldByName(field), dataset::bmRead));
  }
  void Write(const std::string& field, const std::string& value) {
    WriteAll(*query_.CreateBlobStream(*query_.FieldByName(field), dataset::bmWrite), value);
  }
  // Makes record `id` the current one.
  void Go(int id) {
    query_.First();
    while (!query_.Eof() && query_.FieldByName("id")->AsInteger() != id) query_.Next();
    ASSERT_FALSE(query_.Eof()) << id;
  }
  // The bytes of `field` of record `id` as SQLite finds them in the store.
  std::string Stored(const std::string& field, int id) {
    test_support::StoreSql store(db_.Dir() + "/nce.db", test_support::StoreSql::Access::kReadOnly);
    sqlite3_stmt* statement = nullptr;
    const std::string select = "select " + field + " from t where id = " + std::to_string(id);
    EXPECT_EQ(sqlite3_prepare_v2(store.db(), select.c_str(), -1, &statement, nullptr), SQLITE_OK);
    std::string bytes = "<no row>";
    if (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, 0));
      bytes.assign(data != nullptr ? data : "", sqlite3_column_bytes(statement, 0));
    }
    sqlite3_finalize(statement);
    return bytes;
  }

  nds_test::QueryDatabase db_;
  EditableQuery query_;
  nce::testing::FailpointGuard failpoints_;
};

TEST_F(BlobStreams, EveryKindAndSizeReadsBackWholeAndInPartsFromEveryBufferOfTheWindow) {
  AddRecord(3);
  dataset::TDataSource source(nullptr);
  source.SetDataSet(&query_);
  dataset::TDataLink grid;
  grid.SetDataSource(&source);
  grid.SetBufferCount(3);
  query_.SetRequestLive(false);  // a static result
  query_.Open();
  int id = 0;
  for (; !query_.Eof(); query_.Next(), ++id) {
    for (const char* name : kBlobFields) {
      SCOPED_TRACE(std::string(name) + " of record " + std::to_string(id));
      const std::string expected = Value(name, kSizes[id]);
      EXPECT_EQ(query_.FieldByName(name)->IsNull(), expected.empty());
      auto stream = query_.CreateBlobStream(*query_.FieldByName(name), dataset::bmRead);
      ASSERT_EQ(stream->Size(), static_cast<int64_t>(expected.size()));
      if (expected.empty()) continue;
      const int64_t middle = stream->Seek(kSizes[id] / 2, dataset::soBeginning);
      char part[8] = {};
      const int64_t got = stream->Read(part, sizeof part);  // cut short at the end
      EXPECT_EQ(std::string(part, got), expected.substr(static_cast<size_t>(middle), 8));
      stream->Seek(-1, dataset::soEnd);
      EXPECT_EQ(stream->Read(part, sizeof part), 1);
      EXPECT_EQ(part[0], expected.back());
      EXPECT_TRUE(ReadAll(*stream) == expected);
    }
  }
  EXPECT_EQ(id, 4);
  // Records of the other buffers, read while the cursor stands elsewhere.
  query_.First();
  for (int row : {2, 0, 1}) {
    grid.SetActiveRecord(row);
    EXPECT_TRUE(Read("b") == Value("b", kSizes[row])) << row;
  }
}

TEST_F(BlobStreams, WritingIsRefusedOutsideEditingThroughReadStreamsAndOnOtherFields) {
  query_.Open();
  for (auto mode : {dataset::bmWrite, dataset::bmReadWrite})
    EXPECT_EQ(MessageOf([&] { query_.CreateBlobStream(*query_.FieldByName("m"), mode); }),
              "Q: Table must be in Edit or Insert state to open blob stream in Write Mode.");
  query_.Last();
  auto stream = query_.CreateBlobStream(*query_.FieldByName("m"), dataset::bmRead);
  EXPECT_EQ(MessageOf([&] { stream->Write("x", 1); }), "Q: Error modifying read only blob.");
  EXPECT_TRUE(ReadAll(*stream) == Value("m", kSizes[2]));
  EXPECT_EQ(MessageOf([&] { query_.OpenBlobStream(*query_.FieldByName("s"), dataset::bmRead); }),
            "Q: Invalid blob open on non-blob field.");
}

TEST_F(BlobStreams, WrittenValuesShowUntilCancelledAndAreStoredWithTheirPresenceMarkers) {
  query_.Open();
  query_.Next();  // one byte in every blob
  // A new record reads empty blobs, although its buffer took the bookmark
  // of the record it is inserted before.
  query_.Insert();
  EXPECT_TRUE(query_.FieldByName("im")->IsNull());
  EXPECT_EQ(Read("im"), "");
  query_.FieldByName("im")->SetAsString(std::string("\0\1", 2));
  EXPECT_EQ(Read("im"), std::string("\0\1", 2));
  query_.Cancel();
  EXPECT_EQ(Read("im"), Value("im", 1));

  query_.Edit();
  query_.FieldByName("m")->SetAsString("new text");
  query_.FieldByName("b")->Clear();
  EXPECT_TRUE(query_.Modified());
  EXPECT_EQ(Read("m"), "new text");
  EXPECT_TRUE(query_.FieldByName("b")->IsNull());
  query_.Cancel();
  EXPECT_EQ(Read("m"), Value("m", 1));
  EXPECT_FALSE(query_.FieldByName("b")->IsNull());

  // A read-write stream of an unchanged blob starts from the stored value,
  // not from what the buffer cached.
  EXPECT_EQ(Read("vc"), Value("vc", 1));
  db_.Exec("update t set vc = 'changed' where id = 1");
  query_.Edit();
  auto stream = query_.CreateBlobStream(*query_.FieldByName("vc"), dataset::bmReadWrite);
  EXPECT_EQ(ReadAll(*stream), "changed");
  stream->Write("!", 1);
  stream.reset();
  query_.FieldByName("b")->Clear();
  query_.StoreModifiedBlobCaches(query_.ActiveBuffer());
  EXPECT_EQ(query_.Marker("vc"), 0xFFFFFFFFu);
  EXPECT_EQ(query_.Marker("b"), 0u);
  ASSERT_EQ(NdsWriteRecord(query_.TableHandle()), 0u);
  EXPECT_EQ(db_.Column("select vc || '/' || length(b) from t where id = 1"),
            std::vector<std::string>{"changed!/0"});
}

TEST_F(BlobStreams, EveryKindAndSizePostsFromEditAndInsertAndReadsBackFreshAndFromTheStore) {
  AddRecord(3);
  query_.Open();
  // Record k takes the size of record 3 - k in the edit, so every size
  // replaces another (16 MiB grows from nothing, 0 bytes empties 16 MiB);
  // appended record 10 + k takes the size of record k.
  auto posted = [](int id) { return id >= 10 ? kSizes[id - 10] : kSizes[3 - id]; };
  for (int k = 0; k < 4; ++k) {
    Go(k);
    query_.Edit();
    for (const char* name : kBlobFields) Write(name, Value(name, posted(k)));
    query_.Post();
    for (const char* name : kBlobFields)
      EXPECT_EQ(query_.Marker(name), posted(k) == 0 ? 0u : 0xFFFFFFFFu) << name << k;
    query_.Append();
    query_.FieldByName("id")->SetAsInteger(10 + k);
    for (const char* name : kBlobFields) Write(name, Value(name, posted(10 + k)));
    query_.Post();
  }
  EditableQuery fresh;
  fresh.SetNdsConnection(&db_.Connection());
  SetText(fresh, "select * from t");
  fresh.Open();
  int records = 0;
  for (; !fresh.Eof(); fresh.Next(), ++records) {
    const int id = fresh.FieldByName("id")->AsInteger();
    for (const char* name : kBlobFields) {
      SCOPED_TRACE(std::string(name) + " of record " + std::to_string(id));
      const std::string expected = Value(name, posted(id));
      EXPECT_EQ(fresh.FieldByName(name)->IsNull(), expected.empty());
      EXPECT_EQ(fresh.Marker(name), expected.empty() ? 0u : 0xFFFFFFFFu);
      EXPECT_TRUE(ReadAll(*fresh.CreateBlobStream(*fresh.FieldByName(name), dataset::bmRead)) ==
                  expected);
      EXPECT_TRUE(Stored(name, id) == expected);
    }
  }
  EXPECT_EQ(records, 8);
}

TEST_F(BlobStreams, CancelDropsAnUnpostedBlobAndAFailedPostKeepsTheStoredBlobAndTheEdit) {
  query_.Open();
  Go(1);
  const std::string old = Value("b", 1);
  // Cancelled, then another field posted: the dropped blob is not written.
  query_.Edit();
  Write("b", "dropped");
  query_.Cancel();
  query_.Edit();
  query_.FieldByName("s")->SetAsString("x");
  query_.Post();
  EXPECT_EQ(Stored("b", 1), old);

  // A conflict found by the optimistic lock writes nothing.
  query_.NdsTableOptions()->SetNdsRecordLockingMode(nds::lmOptimistic);
  query_.Edit();
  Write("b", "mine");
  db_.Exec("update t set s = 'y' where id = 1");
  EXPECT_EQ(MessageOf([&] { query_.Post(); }), "Q: Record was changed by another user.");
  EXPECT_EQ(query_.State(), dataset::dsEdit);
  EXPECT_EQ(Read("b"), "mine");
  EXPECT_EQ(Stored("b", 1), old);
  query_.Cancel();

  // Failures while the blobs are handed over and at the write: the edit
  // stays with its blobs, and the next post stores them.
  for (const char* failing : {"NdsSetField", "NdsWriteRecord"}) {
    SCOPED_TRACE(failing);
    const std::string value = Value("b", 64 * 1024) + failing;
    query_.Edit();
    Write("m", failing);
    Write("b", value);
    nce::testing::ArmFailpoint(failing, NDS_E_BUSY, "store busy");
    EXPECT_THROW(query_.Post(), nds::ENDSDatabaseError);
    EXPECT_EQ(query_.State(), dataset::dsEdit);
    EXPECT_EQ(Stored("m", 1), Value("m", 1));
    EXPECT_EQ(Stored("b", 1), old);
    EXPECT_TRUE(Read("b") == value);
    query_.Post();
    EXPECT_EQ(Stored("m", 1), failing);
    EXPECT_TRUE(Stored("b", 1) == value);
    query_.Edit();
    Write("m", Value("m", 1));
    Write("b", old);
    query_.Post();
  }

  // A new record whose first post failed is stored once, blobs included.
  query_.Append();
  query_.FieldByName("id")->SetAsInteger(7);
  Write("im", "picture");
  nce::testing::ArmFailpoint("NdsWriteRecord", NDS_E_BUSY, "store busy");
  EXPECT_THROW(query_.Post(), nds::ENDSDatabaseError);
  EXPECT_EQ(Read("im"), "picture");
  query_.Post();
  EXPECT_EQ(db_.Count("t"), 4);
  EXPECT_EQ(Stored("im", 7), "picture");

  // A blob of a failed first post is not stored once the fields are cleared.
  query_.Append();
  query_.FieldByName("id")->SetAsInteger(8);
  Write("im", "dropped");
  nce::testing::ArmFailpoint("NdsWriteRecord", NDS_E_BUSY, "store busy");
  EXPECT_THROW(query_.Post(), nds::ENDSDatabaseError);
  query_.ClearFields();
  query_.FieldByName("id")->SetAsInteger(8);
  query_.Post();
  EXPECT_EQ(Stored("im", 8), "");
}

TEST_F(BlobStreams, ClearingTheFieldsOfAnEditedRecordEmptiesItsStoredBlobs) {
  query_.Open();
  Go(2);
  query_.Edit();
  Write("m", "written before the clear");
  query_.ClearFields();
  for (const char* name : kBlobFields) {
    EXPECT_TRUE(query_.FieldByName(name)->IsNull()) << name;
    EXPECT_EQ(Read(name), "") << name;
  }
  // A blob written after the clear is kept.
  Write("im", "after");
  query_.FieldByName("id")->SetAsInteger(2);
  query_.Post();
  for (const char* name : {"m", "b", "vc"}) {
    EXPECT_EQ(query_.Marker(name), 0u) << name;
    EXPECT_EQ(Stored(name, 2), "") << name;
  }
  EXPECT_EQ(Stored("im", 2), "after");
  query_.Close();
  query_.Open();
  Go(2);
  EXPECT_TRUE(query_.FieldByName("m")->IsNull());
  EXPECT_EQ(Read("b"), "");
  EXPECT_EQ(Read("im"), "after");
}

TEST_F(BlobStreams, AGoneRecordReadsEmptyAndOtherLoadFailuresRaiseWithoutKeepingHalfAValue) {
  query_.Open();
  query_.Last();
  nce::testing::ArmFailpoint("NdsGetMemoLength", NDS_E_NO_CURRENT_RECORD, "gone");
  EXPECT_EQ(Read("m"), "");
  nce::testing::ArmFailpoint("NdsGetField", NDS_E_GENERAL, "disk trouble");
  EXPECT_EQ(MessageOf([&] { Read("m"); }), "disk trouble");
  EXPECT_TRUE(Read("m") == Value("m", kSizes[2]));
}

}  // namespace
