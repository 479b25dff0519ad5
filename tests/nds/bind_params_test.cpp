// BindParams: every parameter type as the engine receives it, by position,
// and the refusals. Values are read back from the store with SQLite.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset/datetime.h"
#include "dataset/params.h"
#include "engine/testing/nce_failpoints.h"
#include "nds/ndscnnct.h"
#include "nds/ndsdata.h"
#include "tests/nds/query_test_support.h"

namespace nds_test {
namespace {

using nce::testing::ArmFailpoint;
using nce::testing::FailpointGuard;
using nds_test::QueryDatabase;

class BindParams : public ::testing::Test {
 protected:
  void SetUp() override {
    db_.Exec("create table v (n integer, x)");
    db_.Connection().Connect();
    ASSERT_EQ(NdsCreateSQLStatement(db_.Connection().ConnectionHandle(), &statement_), 0u);
  }
  void TearDown() override { NdsCloseSQLStatement(statement_); }

  // Binds a one-parameter list into "insert into v values (1, :p)" and
  // answers the stored value with its SQLite type.
  std::string Stored(dataset::TParams& params) {
    EXPECT_EQ(NdsPrepareSQL(statement_, "insert into v values (1, :p)"), 0u);
    nds::BindParams(statement_, params, nullptr);
    NDSHANDLE cursor = 0;
    EXPECT_EQ(NdsExecuteSQL(statement_, &cursor), 0u);
    const auto values = db_.Column("select x from v", true);
    db_.Exec("delete from v");
    return values.empty() ? "(none)" : values[0];
  }

  dataset::TParam& One(dataset::TFieldType type, const std::string& name = "p") {
    params_.Clear();
    return *params_.CreateParam(type, name, dataset::ptInput);
  }

  std::string RefusalOf(dataset::TParams& params) {
    EXPECT_EQ(NdsPrepareSQL(statement_, "insert into v values (1, :p)"), 0u);
    try {
      nds::BindParams(statement_, params, nullptr);
    } catch (const nds::ENDSDatabaseError& error) {
      EXPECT_EQ(error.EngineErrorCode(), NDS_E_COMPONENT);
      return error.Message();
    }
    return "(nothing raised)";
  }

  QueryDatabase db_;
  FailpointGuard failpoints_;
  NDSHANDLE statement_ = 0;
  dataset::TParams params_{nullptr};
};

TEST_F(BindParams, TextTypesTravelAsTheirTextForm) {
  One(dataset::ftInteger).SetAsInteger(42);
  EXPECT_EQ(Stored(params_), "text:42");
  One(dataset::ftString).SetAsString("it's");
  EXPECT_EQ(Stored(params_), "text:it's");
  One(dataset::ftLargeint).SetAsLargeInt(-9000000000LL);
  EXPECT_EQ(Stored(params_), "text:-9000000000");
  One(dataset::ftMemo).SetAsMemo("line1\r\nline2");
  EXPECT_EQ(Stored(params_), "text:line1\r\nline2");
}

TEST_F(BindParams, LogicalAndFloatingValues) {
  One(dataset::ftBoolean).SetAsBoolean(true);
  EXPECT_EQ(Stored(params_), "integer:1");
  One(dataset::ftBoolean).SetAsBoolean(false);
  EXPECT_EQ(Stored(params_), "integer:0");
  One(dataset::ftFloat).SetAsFloat(2.5);
  EXPECT_EQ(Stored(params_), "real:2.5");
  One(dataset::ftCurrency).SetAsCurrency(12.25);
  EXPECT_EQ(Stored(params_), "real:12.25");
}

TEST_F(BindParams, DatesTravelAsJulianDaysAndMilliseconds) {
  const double noon = dataset::EncodeDate(2000, 1, 1) + 0.5;
  One(dataset::ftDate).SetAsDate(noon);
  EXPECT_EQ(Stored(params_), "text:2000-01-01");  // Julian day 2 451 545
  One(dataset::ftTime).SetAsTime(noon);
  EXPECT_EQ(Stored(params_), "text:12:00:00.000");  // 43 200 000 ms
  One(dataset::ftDateTime).SetAsDateTime(noon);
  EXPECT_EQ(Stored(params_), "text:2000-01-01 12:00:00.000");
  // Milliseconds round to the nearest one.
  One(dataset::ftTime).SetAsTime(dataset::EncodeTime(8, 30, 15, 250) + 0.4 / 86400000.0);
  EXPECT_EQ(Stored(params_), "text:08:30:15.250");
}

TEST_F(BindParams, JulianDayOutsideThirtyTwoBitsIsARangeError) {
  One(dataset::ftDate).SetAsDate(3e9);
  EXPECT_EQ(NdsPrepareSQL(statement_, "insert into v values (1, :p)"), 0u);
  EXPECT_THROW(nds::BindParams(statement_, params_, nullptr), dataset::ERangeError);
}

TEST_F(BindParams, BinaryTypesTravelAsTheirBytes) {
  One(dataset::ftBlob).SetAsBlob(std::string("a\0b", 3));
  EXPECT_EQ(Stored(params_), std::string("blob:a\0b", 8));
}

TEST_F(BindParams, NullIsBoundEmptyWhateverTheType) {
  One(dataset::ftInteger).Clear();
  EXPECT_EQ(Stored(params_), "null:NULL");
  // A null parameter of unknown type raises nothing.
  One(dataset::ftUnknown).Clear();
  EXPECT_EQ(Stored(params_), "null:NULL");
}

TEST_F(BindParams, SkippedTypesLeaveTheParameterUnbound) {
  dataset::TParam& guid = One(dataset::ftGuid);
  guid.SetAsString("{00000000-0000-0000-0000-000000000000}");
  guid.SetDataType(dataset::ftGuid);
  EXPECT_EQ(Stored(params_), "null:NULL");
}

TEST_F(BindParams, RefusalsNameTheParameter) {
  dataset::TParam& wide = One(dataset::ftWideString, "Wide");
  wide.SetAsString("w");
  wide.SetDataType(dataset::ftWideString);
  EXPECT_EQ(RefusalOf(params_), "The field named: 'Wide' has a DataType that is not supported.");
  params_.Clear();
  dataset::TParam* p = params_.CreateParam(dataset::ftUnknown, "Who", dataset::ptInput);
  p->SetAsString("x");
  p->SetDataType(dataset::ftUnknown);
  EXPECT_EQ(RefusalOf(params_),
            "The field named: 'Who' has the DataType of ftUnknown, which is invalid.");
}

TEST_F(BindParams, PositionNotNameDecides) {
  params_.Clear();
  params_.CreateParam(dataset::ftInteger, "second", dataset::ptInput)->SetAsInteger(10);
  params_.CreateParam(dataset::ftString, "first", dataset::ptInput)->SetAsString("ten");
  EXPECT_EQ(NdsPrepareSQL(statement_, "insert into v values (:first, :second)"), 0u);
  nds::BindParams(statement_, params_, nullptr);
  NDSHANDLE cursor = 0;
  ASSERT_EQ(NdsExecuteSQL(statement_, &cursor), 0u);
  EXPECT_EQ(db_.Column("select x from v"), std::vector<std::string>{"ten"});
  EXPECT_EQ(db_.Column("select n from v"), std::vector<std::string>{"10"});
}

TEST_F(BindParams, EngineRefusalStopsTheBinding) {
  params_.Clear();
  params_.CreateParam(dataset::ftFloat, "a", dataset::ptInput)->SetAsFloat(1.0);
  params_.CreateParam(dataset::ftInteger, "b", dataset::ptInput)->SetAsInteger(2);
  ASSERT_EQ(NdsPrepareSQL(statement_, "insert into v values (:a, :b)"), 0u);
  ArmFailpoint("NdsSetDouble", 5000, "double refused");
  ArmFailpoint("NdsSetString", 5000, "the second parameter must not be bound");
  try {
    nds::BindParams(statement_, params_, nullptr);
    FAIL();
  } catch (const nds::ENDSDatabaseError& error) {
    EXPECT_EQ(error.Message(), "double refused");
    EXPECT_EQ(error.EngineErrorCode(), 5000u);
  }
  EXPECT_EQ(nce::testing::FailpointHits("NdsSetString"), 0);
  // An empty list calls the engine for nothing.
  ArmFailpoint("NdsSetEmpty", 5000, "nothing may be bound");
  dataset::TParams none(nullptr);
  nds::BindParams(statement_, none, nullptr);
}

}  // namespace
}  // namespace nds_test
