// Reading a query's records: every engine field type of NDT and DBF-kind
// tables reaches the field objects with the type, size and value stored,
// null columns read null, and the field definitions follow the table.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dataset/bcd.h"
#include "dataset/strings.h"
#include "nds/ndscnnct.h"
#include "nds/ndstable.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nds_test::MessageOf;
using nds_test::QueryDatabase;

using nds_test::SetText;

void Execute(nds::TNdsQuery& query, const std::string& text) {
  SetText(query, text);
  query.ExecSQL();
}

// One column: its declaration, the value inserted (SQL literal), and what
// the field object shows.
struct Column {
  const char* name;
  const char* declaration;
  const char* literal;
  dataset::TFieldType type;
  int size;
  const char* shown;
};

// Creates `table` with `columns` of the query's table type, inserts one row
// with every value and one with only `keep` set, opens the query over it
// and checks both rows field by field.
void ExpectColumnsRead(nds::TNdsQuery& query, const std::vector<Column>& columns,
                       const std::string& keep, const std::string& keepValue) {
  std::string create = "create table t (", names, values;
  for (const Column& c : columns) {
    create += std::string(names.empty() ? "" : ", ") + c.name + " " + c.declaration;
    names += std::string(names.empty() ? "" : ", ") + c.name;
    values += std::string(values.empty() ? "" : ", ") + c.literal;
  }
  Execute(query, create + ")");
  Execute(query, "insert into t (" + names + ") values (" + values + ")");
  Execute(query, "insert into t (" + keep + ") values (" + keepValue + ")");
  SetText(query, "select * from t");
  query.Open();
  ASSERT_EQ(query.FieldCount(), static_cast<int>(columns.size()));
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    dataset::TField& field = *query.FieldByName(c.name);
    EXPECT_EQ(field.DataType(), c.type) << c.name;
    EXPECT_EQ(field.Size(), c.size) << c.name;
    EXPECT_FALSE(field.IsNull()) << c.name;
    if (!field.IsBlob()) {
      EXPECT_EQ(field.AsString(), c.shown) << c.name;
    }
  }
  query.Next();
  ASSERT_FALSE(query.Eof());
  for (const Column& c : columns) {
    // DBF images have no null form for binary numbers: they read 0.
    const bool neverNull = query.EngineTableType() != NDS_NDT &&
                           (c.type == dataset::ftFloat || c.type == dataset::ftCurrency ||
                            c.type == dataset::ftInteger || c.type == dataset::ftSmallint) &&
                           std::string(c.declaration).rfind("numeric", 0) != 0;
    EXPECT_EQ(query.FieldByName(c.name)->IsNull(), c.name != keep && !neverNull)
        << c.name << " in the null row";
  }
  query.Next();
  EXPECT_TRUE(query.Eof());
}

class QueryReading : public ::testing::Test {
 protected:
  void SetUp() override {
    query_.SetName("Q");
    query_.SetNdsConnection(&db_.Connection());
  }

  QueryDatabase db_;
  nds::TNdsQuery query_{nullptr};
};

TEST_F(QueryReading, EveryNdtFieldTypeReadsAsStoredAndEmptyColumnsReadNull) {
  const std::vector<Column> columns = {
      {"l", "logical", "1", dataset::ftBoolean, 0, "True"},
      {"n", "numeric(10,2)", "-1234.5", dataset::ftBCD, 2, "-1234.50"},
      {"d", "date", "'2000-01-01'", dataset::ftDate, 0, "2000-01-01"},
      {"s", "char(6)", "'ab'", dataset::ftString, 6, "ab"},
      {"m", "memo", "'memo text'", dataset::ftMemo, 0, ""},
      {"b", "blob", "x'0102'", dataset::ftBlob, 0, ""},
      {"im", "image", "x'03'", dataset::ftBlob, 0, ""},
      {"vc", "varchar(10)", "'vc'", dataset::ftMemo, 0, ""},
      {"cd", "compactdate", "'2024-03-05'", dataset::ftDate, 0, "2024-03-05"},
      {"dbl", "double", "3.25", dataset::ftFloat, 0, "3.25"},
      {"i", "integer", "-70000", dataset::ftInteger, 0, "-70000"},
      {"sh", "short", "-300", dataset::ftSmallint, 0, "-300"},
      {"tm", "time", "'13:45:07.250'", dataset::ftTime, 0, "13:45:07.250"},
      {"ts", "timestamp", "'1999-12-31 23:59:59.999'", dataset::ftDateTime, 0,
       "1999-12-31 23:59:59.999"},
      {"ai", "autoinc", "5", dataset::ftAutoInc, 0, "5"},
      {"r", "raw(4)", "x'41424344'", dataset::ftBytes, 4, "ABCD"},
      {"cur", "curdouble", "-0.5", dataset::ftCurrency, 0, "-0.5"},
      {"mo", "money", "12.3456", dataset::ftBCD, 4, "12.3456"},
      {"ci", "cichar(5)", "'XyZ'", dataset::ftString, 5, "XyZ"},
      {"rv", "rowversion", "1099511627776", dataset::ftBCD, 0, "1099511627776"},
      {"mt", "modtime", "'2024-02-29 00:00:00.000'", dataset::ftDateTime, 0, "2024-02-29"},
  };
  ExpectColumnsRead(query_, columns, "ai", "6");

  // Precision of the BCD definitions, and what opening sets on the
  // dataset's own field classes.
  EXPECT_EQ(query_.FieldDefs().Find("n")->Precision(), 8);
  EXPECT_EQ(query_.FieldDefs().Find("mo")->Precision(), 20);
  EXPECT_EQ(query_.FieldDefs().Find("rv")->Precision(), 20);
  EXPECT_TRUE(dynamic_cast<nds::TNdsBCDField&>(*query_.FieldByName("mo")).Currency());
  EXPECT_FALSE(dynamic_cast<nds::TNdsBCDField&>(*query_.FieldByName("n")).Currency());
  EXPECT_FALSE(dynamic_cast<nds::TNdsBCDField&>(*query_.FieldByName("rv")).Currency());
  EXPECT_TRUE(dynamic_cast<nds::TNdsStringField&>(*query_.FieldByName("ci")).CaseInsensitive());
  EXPECT_FALSE(dynamic_cast<nds::TNdsStringField&>(*query_.FieldByName("s")).CaseInsensitive());
  EXPECT_EQ(query_.EngineFieldDefs().FindEngineField("MO"), 17);
}

TEST_F(QueryReading, EveryDbfFieldTypeReadsAsStoredAndEmptyColumnsReadNull) {
  query_.SetSourceTableType(nds::ttNdsCDX);
  const std::vector<Column> columns = {
      {"l", "logical", "0", dataset::ftBoolean, 0, "False"},
      {"n", "numeric(10,2)", "12.5", dataset::ftFloat, 0, "12.5"},
      {"n4", "numeric(4,0)", "-42", dataset::ftSmallint, 0, "-42"},
      {"d", "date", "'2000-01-01'", dataset::ftDate, 0, "2000-01-01"},
      {"s", "char(6)", "'ab'", dataset::ftString, 6, "ab"},
      {"m", "memo", "'memo'", dataset::ftMemo, 0, ""},
      {"b", "blob", "x'0102'", dataset::ftBlob, 0, ""},
      {"cd", "compactdate", "'2024-03-05'", dataset::ftDate, 0, "2024-03-05"},
      {"ci", "cichar(5)", "'XyZ'", dataset::ftString, 5, "XyZ"},
      {"ts", "timestamp", "'1999-12-31 23:59:59.999'", dataset::ftDateTime, 0,
       "1999-12-31 23:59:59.999"},
      {"dbl", "double", "3.25", dataset::ftFloat, 0, "3.25"},
      {"i", "integer", "-7", dataset::ftInteger, 0, "-7"},
      {"sh", "short", "-300", dataset::ftSmallint, 0, "-300"},
      {"cur", "curdouble", "-0.5", dataset::ftCurrency, 0, "-0.5"},
  };
  ExpectColumnsRead(query_, columns, "l", "0");
  EXPECT_NE(query_.EngineTableType(), NDS_NDT);
}

TEST_F(QueryReading, DbfBinaryNumbersAreNeverNull) {
  query_.SetSourceTableType(nds::ttNdsCDX);
  Execute(query_, "create table t (i integer, dbl double, s char(2))");
  Execute(query_, "insert into t (s) values ('x')");
  SetText(query_, "select * from t");
  query_.Open();
  EXPECT_FALSE(query_.FieldByName("i")->IsNull());
  EXPECT_EQ(query_.FieldByName("i")->AsInteger(), 0);
  EXPECT_FALSE(query_.FieldByName("dbl")->IsNull());
}

TEST_F(QueryReading, NumericColumnsMapByTableKindAndTheFloatOption) {
  db_.Exec("create table t (a numeric(10,2), b numeric(20,0), c numeric(12,6))");
  SetText(query_, "select * from t");
  query_.FieldDefs().Update();  // closed: a temporary cursor describes it
  EXPECT_FALSE(query_.Active());
  const dataset::TFieldDefs& defs = query_.FieldDefs();
  EXPECT_EQ(defs.Find("a")->DataType(), dataset::ftBCD);
  EXPECT_EQ(defs.Find("b")->DataType(), dataset::ftFMTBcd);
  EXPECT_EQ(defs.Find("b")->Precision(), 19);
  EXPECT_EQ(defs.Find("c")->DataType(), dataset::ftFMTBcd);
  EXPECT_EQ(defs.Find("c")->Size(), 6);
  EXPECT_EQ(defs.Find("c")->Precision(), 10);

  // Values keep their decimal places; zero has no sign.
  db_.Exec(
      "insert into t values (0.05, 7, -0.5), (0, -1234567890123456789, 0), "
      "(-999999.99, 123456789012345, 1234.567891)");
  query_.Open();
  const std::vector<std::string> expected = {
      "0.05",     "7",          "-0.500000",       "0.00",       "-1234567890123456789",
      "0.000000", "-999999.99", "123456789012345", "1234.567891"};
  std::vector<std::string> shown;
  for (; !query_.Eof(); query_.Next()) {
    for (const char* name : {"a", "b", "c"}) {
      const dataset::TField& field = *query_.FieldByName(name);
      shown.push_back(field.AsString());
      // AsFloat reads the text straight as a double where it can: the same
      // double, sign of zero included, as the BCD value converts to.
      const double straight = field.AsFloat(), viaBcd = dataset::BcdToDouble(field.AsBCD());
      EXPECT_EQ(straight, viaBcd) << name << " " << shown.back();
      EXPECT_EQ(std::signbit(straight), std::signbit(viaBcd)) << name << " " << shown.back();
    }
  }
  EXPECT_EQ(shown, expected);
  query_.Close();

  query_.NdsTableOptions()->SetNdsNumericsAsFloats(true);
  query_.Open();
  EXPECT_EQ(query_.FieldByName("a")->DataType(), dataset::ftFloat);
}

// AsString reads a text column straight from the record image: the same
// text as the field's value form holds, up to its first zero byte.
TEST_F(QueryReading, TextsReadStraightMatchTheirValueForm) {
  db_.Exec("create table t (s char(12))");
  db_.Exec(
      "insert into t values ('plain'), ('two  blanks '), ('ab' || char(0) || 'cd'), (''), "
      "('twelve chars')");
  SetText(query_, "select * from t");
  query_.Open();
  const dataset::TField& field = *query_.FieldByName("s");
  std::vector<std::string> shown;
  for (; !query_.Eof(); query_.Next()) {
    std::vector<char> form(static_cast<size_t>(field.DataSize()), 'X');
    ASSERT_TRUE(field.GetData(form.data()));
    shown.push_back(field.AsString());
    EXPECT_EQ(shown.back(), std::string(form.data(), strnlen(form.data(), form.size())));
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"plain", "two  blanks", "ab", "", "twelve chars"}));
}

TEST_F(QueryReading, OemTextKeepsTheNeighbouringFieldsIntact) {
  db_.Exec("create table t (a char(3), b integer, c char(2))");
  db_.Exec("insert into t values ('xy', 7, 'z')");
  query_.NdsTableOptions()->SetNdsCharType(nds::OEM);
  SetText(query_, "select * from t");
  query_.Open();
  EXPECT_EQ(query_.FieldByName("a")->AsString(), "xy");
  EXPECT_EQ(query_.FieldByName("b")->AsInteger(), 7);
  EXPECT_EQ(query_.FieldByName("c")->AsString(), "z");
}

TEST_F(QueryReading, CalculatedFieldsAreComputedForEveryRecordFetched) {
  db_.Exec("create table t (id integer)");
  db_.Exec("insert into t values (1), (2), (3)");
  SetText(query_, "select * from t");
  auto* id = new dataset::TIntegerField(&query_);
  id->SetFieldName("id");
  id->SetDataSet(&query_);
  auto* twice = new dataset::TIntegerField(&query_);
  twice->SetFieldName("twice");
  twice->SetFieldKind(dataset::fkCalculated);
  twice->SetDataSet(&query_);
  query_.OnCalcFields = [](dataset::TDataSet& ds) {
    ds.FieldByName("twice")->SetAsInteger(ds.FieldByName("id")->AsInteger() * 2);
  };
  query_.Open();
  std::vector<int> values;
  for (; !query_.Eof(); query_.Next()) values.push_back(twice->AsInteger());
  EXPECT_EQ(values, (std::vector<int>{2, 4, 6}));
  query_.Prior();
  EXPECT_EQ(twice->AsInteger(), 4);
  // A data field still refuses values: the dataset does not edit yet.
  EXPECT_NE(MessageOf([&] { id->SetAsInteger(5); }), "(nothing raised)");
}

TEST_F(QueryReading, AReopenedQueryShowsAColumnTheTableGained) {
  db_.Exec("create table t (a integer)");
  db_.Exec("insert into t values (1)");
  SetText(query_, "select * from t");
  query_.Open();
  EXPECT_EQ(query_.FieldCount(), 1);
  query_.Close();
  db_.Exec("alter table t add column b char(4)");
  db_.Exec("update t set b = 'new'");
  query_.Open();
  ASSERT_EQ(query_.FieldCount(), 2);
  EXPECT_EQ(query_.FieldByName("b")->AsString(), "new");
  EXPECT_EQ(query_.FieldByName("a")->AsInteger(), 1);
}

}  // namespace
}  // namespace nds_test
