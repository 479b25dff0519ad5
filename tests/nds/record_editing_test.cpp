// Editing records through a live query: every field type of NDT and DBF
// tables survives insert/post and edit/post, values that do not fit are
// refused before anything reaches the engine, a failed post keeps the edit
// and leaves nothing half-written, and new records take their defaults.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/testing/nce_failpoints.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;
using nds_test::SetText;

// A column, the text assigned at insert and the text assigned at edit; the
// field shows each text back exactly.
struct Column {
  const char* name;
  const char* declaration;
  const char* inserted;
  const char* edited;
};

class RecordEditing : public ::testing::Test {
 protected:
  void SetUp() override {
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
    query_.SetRequestLive(true);
  }
  // Creates the table with the query's table type and opens it.
  void Open(const std::string& create) {
    SetText(query_, create);
    query_.ExecSQL();
    SetText(query_, "select * from t");
    query_.Open();
  }
  dataset::TField& F(const char* name) { return *query_.FieldByName(name); }
  std::string Stored(const std::string& select) { return db_.Column(select, true).at(0); }

  // Inserts a record with every column's first text, edits it to the
  // second, and reads both back through a reopened query.
  void ExpectRoundTrips(const std::vector<Column>& columns) {
    std::string create = "create table t (";
    for (const Column& c : columns)
      create += std::string(c.name) + " " + c.declaration + (&c == &columns.back() ? ")" : ", ");
    Open(create);
    for (bool editing : {false, true}) {
      editing ? query_.Edit() : query_.Append();
      for (const Column& c : columns) F(c.name).SetAsString(editing ? c.edited : c.inserted);
      query_.Post();
      query_.Close();
      query_.Open();
      ASSERT_EQ(db_.Count("t"), 1);
      for (const Column& c : columns)
        EXPECT_EQ(F(c.name).AsString(), editing ? c.edited : c.inserted) << c.name;
    }
  }

  QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
  nce::testing::FailpointGuard failpoints_;
};

TEST_F(RecordEditing, EveryNdtFieldTypeRoundTripsThroughInsertAndEdit) {
  ExpectRoundTrips({{"l", "logical", "True", "False"},
                    {"n", "numeric(10,2)", "-1234.50", "7.25"},
                    {"d", "date", "2000-01-01", "2024-02-29"},
                    {"s", "char(6)", "ab", "abcdef"},
                    {"cd", "compactdate", "2024-03-05", "1999-12-31"},
                    {"dbl", "double", "3.25", "-0.125"},
                    {"i", "integer", "-70000", "2147483647"},
                    {"sh", "short", "-300", "32767"},
                    {"tm", "time", "13:45:07.250", "00:00:01"},
                    {"ts", "timestamp", "1999-12-31 23:59:59.999", "2024-02-29 12:00:00"},
                    {"r", "raw(4)", "ABCD", "WXYZ"},
                    {"cur", "curdouble", "-0.5", "1234.75"},
                    {"mo", "money", "12.3456", "-0.0001"},
                    {"ci", "cichar(5)", "XyZ", "abc"}});
  EXPECT_EQ(Stored("select n from t"), "real:7.25");
}

TEST_F(RecordEditing, EveryDbfFieldTypeRoundTripsThroughInsertAndEdit) {
  query_.SetSourceTableType(nds::ttNdsCDX);
  ExpectRoundTrips({{"l", "logical", "True", "False"},
                    {"n", "numeric(10,2)", "12.25", "-0.1"},
                    {"n4", "numeric(4,0)", "-42", "999"},
                    {"d", "date", "2000-01-01", "2024-02-29"},
                    {"s", "char(6)", "ab", "abcdef"},
                    {"cd", "compactdate", "2024-03-05", "1999-12-31"},
                    {"ci", "cichar(5)", "XyZ", "abc"},
                    {"dbl", "double", "3.25", "-0.125"},
                    {"i", "integer", "-7", "70000"},
                    {"sh", "short", "-300", "12"}});
  EXPECT_NE(query_.EngineTableType(), NDS_NDT);
}

TEST_F(RecordEditing, ValuesThatDoNotFitAreRefusedAtAssignment) {
  query_.NdsTableOptions()->SetNdsNumericsAsFloats(true);
  Open("create table t (n numeric(5,1), s char(4), sh short, i integer)");
  query_.Append();
  F("n").SetAsString("12.5");
  EXPECT_EQ(MessageOf([&] { F("n").SetAsFloat(123456); }), "Q: Numeric out of range.");
  EXPECT_EQ(MessageOf([&] { F("n").SetAsFloat(1e300); }), "Q: Numeric out of range.");
  EXPECT_EQ(MessageOf([&] { F("s").SetAsString("abcde"); }),
            "Q: Field 's' holds at most 4 characters; 5 were given.");
  // The smallest integers are the NDT empty forms: stored, they would read
  // back as no value.
  EXPECT_EQ(MessageOf([&] { F("sh").SetAsInteger(-32768); }), "Q: Numeric out of range.");
  EXPECT_EQ(MessageOf([&] { F("i").SetAsInteger(INT32_MIN); }), "Q: Numeric out of range.");
  EXPECT_EQ(F("n").AsString(), "12.5");
  query_.Post();
  EXPECT_EQ(Stored("select n || '|' || typeof(s) || typeof(sh) from t"), "text:12.5|nullnull");
  // Outside editing, nothing can be written at all.
  EXPECT_EQ(MessageOf([&] { F("n").SetAsString("1"); }), "Q: Dataset not in edit mode");
}

TEST_F(RecordEditing, BlankStringsFollowTheTableTypeAndPreserveSpaces) {
  Open("create table t (id integer, s char(4))");
  for (bool preserve : {false, true})
    for (const char* text : {"", "   "}) {
      query_.NdsTableOptions()->SetNdsPreserveSpaces(preserve);
      query_.AppendRecord({dataset::Variant(1), dataset::Variant(text)});
    }
  // Without PreserveSpaces an empty or blank text is stored empty; with it
  // the spaces reach the engine, which keeps an empty text.
  EXPECT_EQ(db_.Column("select typeof(s) from t"),
            (std::vector<std::string>{"null", "null", "text", "text"}));
}

TEST_F(RecordEditing, AFailedPostKeepsTheEditAndWritesNothingHalf) {
  Open("create table t (id integer, n numeric(6,1), s char(4))");
  query_.AppendRecord({dataset::Variant(1), dataset::Variant(1.5), dataset::Variant("a")});
  query_.NdsTableOptions()->SetNdsRecordLockingMode(nds::lmOptimistic);
  query_.Edit();
  F("n").SetAsString("2.5");
  F("s").SetAsString("bb");
  // The string is handed over first, then the number fails. Had the engine
  // kept the string, the next move (the second post's) would write it alone
  // and the checksum would then refuse that post.
  nce::testing::ArmFailpoint("NdsSetFieldRaw", NDS_E_BUSY, "store busy");
  EXPECT_EQ(MessageOf([&] { query_.Post(); }), "Q: store busy");
  EXPECT_EQ(query_.State(), dataset::dsEdit);
  EXPECT_EQ(F("s").AsString(), "bb");
  EXPECT_EQ(Stored("select n || s from t"), "text:1.5a");
  query_.Post();
  EXPECT_EQ(Stored("select n || s from t"), "text:2.5bb");

  // A post that fails at the write keeps the edit; the second post sends
  // every assigned field again.
  query_.Edit();
  F("n").SetAsString("3.5");
  F("s").SetAsString("cc");
  nce::testing::ArmFailpoint("NdsWriteRecord", NDS_E_BUSY, "store busy");
  EXPECT_THROW(query_.Post(), nds::ENDSDatabaseError);
  EXPECT_EQ(Stored("select n || s from t"), "text:2.5bb");
  query_.Post();
  EXPECT_EQ(Stored("select n || s from t"), "text:3.5cc");

  // A new record appended by a failed post is reused by the next one.
  query_.Append();
  F("id").SetAsInteger(2);
  nce::testing::ArmFailpoint("NdsWriteRecord", NDS_E_BUSY, "store busy");
  EXPECT_THROW(query_.Post(), nds::ENDSDatabaseError);
  query_.Post();
  EXPECT_EQ(db_.Column("select id from t order by rowid"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(query_.RecNo(), 2);

  // Fields cleared after such a failure are stored empty, not with the
  // values the failed post had handed to the engine.
  query_.Append();
  F("id").SetAsInteger(3);
  F("s").SetAsString("zz");
  nce::testing::ArmFailpoint("NdsWriteRecord", NDS_E_BUSY, "store busy");
  EXPECT_THROW(query_.Post(), nds::ENDSDatabaseError);
  query_.ClearFields();
  F("id").SetAsInteger(3);
  query_.Post();
  EXPECT_EQ(Stored("select coalesce(s, 'null') from t where id = 3"), "text:null");
}

TEST_F(RecordEditing, CancelAndDeleteLeaveTheNeighbouringRecordCurrent) {
  Open("create table t (id integer)");
  for (int id : {1, 2, 3}) query_.AppendRecord({dataset::Variant(id)});
  query_.First();
  query_.Next();
  query_.Insert();
  F("id").SetAsInteger(9);
  query_.Cancel();
  EXPECT_EQ(F("id").AsInteger(), 2);
  query_.Append();
  query_.Cancel();
  EXPECT_EQ(F("id").AsInteger(), 3);
  query_.Prior();
  query_.Delete();
  EXPECT_EQ(F("id").AsInteger(), 3);
  EXPECT_EQ(db_.Column("select id from t"), (std::vector<std::string>{"1", "3"}));
}

TEST_F(RecordEditing, NewRecordsTakeTheirDefaultExpressions) {
  Open("create table t (i integer, s char(5), l logical, d date, n numeric(6,2), sh short)");
  F("i").SetDefaultExpression(" 42 ");
  F("s").SetDefaultExpression("'abc'");
  F("l").SetDefaultExpression(".t.");
  F("d").SetDefaultExpression("2024-03-05");
  F("n").SetDefaultExpression("1.5");
  query_.Append();
  EXPECT_EQ(F("i").AsInteger(), 42);
  EXPECT_EQ(F("s").AsString(), "abc");
  EXPECT_TRUE(F("l").AsBoolean());
  EXPECT_EQ(F("n").AsString(), "1.50");
  query_.Post();
  EXPECT_EQ(Stored("select i || s || l || d || n || typeof(sh) from t"),
            "text:42abc12024-03-051.5null");

  // A default the field cannot hold refuses the new record and leaves the
  // dataset as it was.
  for (const char* bad : {"40000", "-32768"}) {
    F("sh").SetDefaultExpression(bad);
    EXPECT_EQ(
        MessageOf([&] { query_.Append(); }),
        std::string("Q: Error setting default field value. (sh)\r\nNumeric out of range:") + bad);
    EXPECT_EQ(query_.State(), dataset::dsBrowse);
    EXPECT_EQ(F("i").AsInteger(), 42);
  }
}

TEST_F(RecordEditing, AStaticViewIsRefusedWhenItsRecordIsLocked) {
  Open("create table t (id integer)");
  query_.AppendRecord({dataset::Variant(1)});
  nce::testing::ArmFailpoint("NdsLockRecord", NDS_E_STATIC_VIEW, "static");
  try {
    query_.Edit();
    ADD_FAILURE() << "a static view was edited";
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.Message(),
              "Q: This table is based on a static VIEW. Static VIEWs can not be updated.");
    EXPECT_EQ(error.EngineErrorCode(), NDS_E_STATIC_VIEW);
  }
  EXPECT_EQ(query_.State(), dataset::dsBrowse);
}

}  // namespace
