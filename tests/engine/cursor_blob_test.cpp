// Blob fields through cursors: presence markers in the record image, lengths
// and kinds, reads at offsets, pieces written with NdsSetBinary, memo texts.
#include <cstring>

#include "cursor_test_support.h"

namespace nce_test {
namespace {

class Blobs : public StoreCursorTest {
 protected:
  Blobs() {
    Exec("CREATE TABLE docs (id INTEGER, notes MEMO, data BLOB, pic IMAGE)");
    Exec("INSERT INTO docs VALUES (1, 'ten chars!', x'000102030405060708090a0b0c0d0e0f', NULL)");
    Exec("INSERT INTO docs VALUES (2, NULL, NULL, x'ff')");
  }
  int32_t Marker(NDSHANDLE cursor, const char* field) {
    char record[256];
    uint32_t length = sizeof record, offset = 0;
    EXPECT_EQ(NdsGetRecord(cursor, record, &length), 0u);
    EXPECT_EQ(NdsGetFieldOffset(cursor, field, &offset), 0u);
    int32_t marker;
    std::memcpy(&marker, record + offset, 4);
    return marker;
  }
};
INSTANTIATE_TEST_SUITE_P(Stores, Blobs, BothStores(), StoreKindName);

TEST_P(Blobs, PresenceLengthsAndKinds) {
  NDSHANDLE cursor = OpenTable("docs");
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  EXPECT_EQ(Marker(cursor, "notes"), -1);
  EXPECT_EQ(Marker(cursor, "pic"), 0);
  uint32_t length = 0;
  ASSERT_EQ(NdsGetMemoLength(cursor, "notes", &length), 0u);
  EXPECT_EQ(length, 10u);
  ASSERT_EQ(NdsGetBinaryLength(cursor, "data", &length), 0u);
  EXPECT_EQ(length, 16u);
  uint16_t kind = 0, empty = 9;
  ASSERT_EQ(NdsGetMemoDataType(cursor, "notes", &kind), 0u);
  EXPECT_EQ(kind, NDS_MEMO_TEXT);
  ASSERT_EQ(NdsGetMemoDataType(cursor, "data", &kind), 0u);
  EXPECT_EQ(kind, NDS_MEMO_BINARY);
  ASSERT_EQ(NdsIsEmpty(cursor, "pic", &empty), 0u);
  EXPECT_EQ(empty, 1);
  ASSERT_EQ(NdsIsEmpty(cursor, "notes", &empty), 0u);
  EXPECT_EQ(empty, 0);
  ExpectError(NdsGetMemoLength(cursor, "id", &length), NDS_E_INVALID_FIELD);
}

TEST_P(Blobs, ReadsAtOffsets) {
  NDSHANDLE cursor = OpenTable("docs");
  ASSERT_EQ(NdsGotoTop(cursor), 0u);
  unsigned char part[8] = {};
  uint32_t length = 4;
  ASSERT_EQ(NdsGetBinary(cursor, "data", 6, part, &length), 0u) << LastErrorText();
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(part[0], 6);
  EXPECT_EQ(part[3], 9);
  length = 8;  // a read running past the end gives what is there
  ASSERT_EQ(NdsGetBinary(cursor, "data", 12, part, &length), 0u);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(part[3], 15);
  length = 8;
  ASSERT_EQ(NdsGetBinary(cursor, "data", 40, part, &length), 0u);
  EXPECT_EQ(length, 0u);
  length = 3;
  ASSERT_EQ(NdsGetBinary(cursor, "notes", 4, part, &length), 0u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(part), 3), "cha");
  // A memo as text: the whole value, zero-terminated; too small a buffer says so.
  char text[11];
  uint32_t size = sizeof text;
  ASSERT_EQ(NdsGetField(cursor, "notes", text, &size, NDS_NONE), 0u);
  EXPECT_EQ(size, 10u);
  EXPECT_STREQ(text, "ten chars!");
  size = 10;
  ExpectError(NdsGetField(cursor, "notes", text, &size, NDS_NONE), NDS_E_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 10u);
}

TEST_P(Blobs, WritesInPiecesAndEmpties) {
  NDSHANDLE cursor = OpenTable("docs");
  ASSERT_EQ(NdsGotoRecord(cursor, 2), 0u);
  ASSERT_EQ(NdsSetBinary(cursor, "data", NDS_BINARY, 6, 0, "abc", 3), 0u) << LastErrorText();
  ASSERT_EQ(NdsSetBinary(cursor, "data", NDS_BINARY, 6, 3, "def", 3), 0u) << LastErrorText();
  ExpectError(NdsSetBinary(cursor, "data", NDS_BINARY, 6, 5, "xyz", 3), NDS_E_INVALID_ARGUMENT);
  // The edit shows before it is written.
  uint32_t length = 0;
  ASSERT_EQ(NdsGetBinaryLength(cursor, "data", &length), 0u);
  EXPECT_EQ(length, 6u);
  ASSERT_EQ(NdsSetField(cursor, "notes", "memo text", 9), 0u);
  ASSERT_EQ(NdsSetEmpty(cursor, "pic"), 0u);
  EXPECT_EQ(Marker(cursor, "pic"), 0);
  EXPECT_EQ(Marker(cursor, "data"), -1);
  ASSERT_EQ(NdsWriteRecord(cursor), 0u) << LastErrorText();
  EXPECT_EQ(store_.Read("SELECT data, notes FROM docs WHERE id = 2 AND pic IS NULL"),
            "abcdef|memo text\n");
  if (!OnServer()) {
    EXPECT_EQ(store_.Read("SELECT typeof(data) FROM docs WHERE id = 2"), "blob\n");
  }
}

}  // namespace
}  // namespace nce_test
