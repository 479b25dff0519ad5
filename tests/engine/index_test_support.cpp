#include "index_test_support.h"

namespace nce_test {

IndexTest::IndexTest() {
  connection_ = ConnectOrFail(dir_.str());
}

IndexTest::~IndexTest() {
  if (connection_) NdsDisconnect(connection_);
}

StoreIndexTest::StoreIndexTest() : store_(GetParam()) {
  NdsDisconnect(connection_);
  connection_ = store_.Connect();
}

NDSHANDLE IndexTest::OpenTable(const std::string& name) {
  NDSHANDLE cursor = 0;
  EXPECT_EQ(NdsOpenTable(connection_, name.c_str(), 0, 0, 0, &cursor), NDS_SUCCESS)
      << LastErrorText();
  return cursor;
}

NDSHANDLE IndexTest::Order(NDSHANDLE cursor, const std::string& name) {
  NDSHANDLE order = 0;
  EXPECT_EQ(NdsGetIndexHandle(cursor, name.c_str(), &order), NDS_SUCCESS) << LastErrorText();
  return order;
}

std::string IndexTest::Field(NDSHANDLE cursor, const std::string& field) {
  char buffer[512];
  uint32_t length = sizeof buffer;
  NDSRESULT rc = NdsGetField(cursor, field.c_str(), buffer, &length, NDS_TRIM_RIGHT);
  if (rc != NDS_SUCCESS) return "<error " + std::to_string(rc) + ">";
  return std::string(buffer, length);
}

bool IndexTest::Eof(NDSHANDLE cursor) {
  uint16_t eof = 1;
  NdsAtEOF(cursor, &eof);
  return eof != 0;
}

std::vector<std::string> IndexTest::Walk(NDSHANDLE navigation, NDSHANDLE cursor,
                                         const std::string& field) {
  std::vector<std::string> values;
  EXPECT_EQ(NdsGotoTop(navigation), NDS_SUCCESS) << LastErrorText();
  for (int guard = 0; !Eof(cursor) && guard < 100000; ++guard) {
    values.push_back(Field(cursor, field));
    if (NdsSkip(navigation, 1) != NDS_SUCCESS) {
      ADD_FAILURE() << LastErrorText();
      break;
    }
  }
  return values;
}

std::vector<std::string> IndexTest::WalkBack(NDSHANDLE navigation, NDSHANDLE cursor,
                                             const std::string& field) {
  std::vector<std::string> values;
  EXPECT_EQ(NdsGotoBottom(navigation), NDS_SUCCESS) << LastErrorText();
  for (int guard = 0; guard < 100000; ++guard) {
    uint16_t bof = 1;
    NdsAtBOF(cursor, &bof);
    if (bof || Eof(cursor)) break;
    values.push_back(Field(cursor, field));
    if (NdsSkip(navigation, -1) != NDS_SUCCESS) {
      ADD_FAILURE() << LastErrorText();
      break;
    }
  }
  return values;
}

uint32_t IndexTest::Count(NDSHANDLE handle, uint16_t option) {
  uint32_t count = 0;
  EXPECT_EQ(NdsGetRecordCount(handle, option, &count), NDS_SUCCESS) << LastErrorText();
  return count;
}

}  // namespace nce_test
