// TNdsTableOptions: the values a dataset starts with and copying them.
#include <gtest/gtest.h>

#include "nds/ndsdata.h"
#include "nds/ndstable.h"

namespace {

TEST(TableOptions, StartWithTheStoredDefaults) {
  nds::TNdsQuery query(nullptr);
  const nds::TNdsTableOptions& o = *query.NdsTableOptions();
  EXPECT_EQ(o.NdsLockType(), nds::Proprietary);
  EXPECT_EQ(o.NdsCharType(), nds::ANSI);
  EXPECT_EQ(o.NdsFilterOptions(), nds::IGNORE_WHEN_COUNTING);
  EXPECT_FALSE(o.NdsFreshRecordCount());
  EXPECT_EQ(o.NdsScopeOptions(), nds::IGNORE_SCOPES_WHEN_COUNTING);
  EXPECT_FALSE(o.NdsAOFResolveImmediate());
  EXPECT_TRUE(o.NdsRightsCheck());
  EXPECT_TRUE(o.NdsOptimizedFilters());
  EXPECT_EQ(o.NdsIndexPageSize(), 0);
  EXPECT_EQ(o.NdsRecordCache(), nds::rcStandard);
  EXPECT_EQ(o.NdsAOFType(), nds::atDynamic);
  EXPECT_FALSE(o.NdsAutoKeyFieldCount());
  EXPECT_FALSE(o.NdsCalcFieldsBeforeFilter());
  EXPECT_EQ(o.NdsRecordLockingMode(), nds::lmPessimistic);
  EXPECT_FALSE(o.NdsPreserveSpaces());
  EXPECT_FALSE(o.NdsNumericsAsFloats());
  EXPECT_EQ(o.GetOwner(), &query);
}

TEST(TableOptions, ClosedDataSetTakesEverySetting) {
  nds::TNdsQuery source(nullptr), target(nullptr);
  nds::TNdsTableOptions& s = *source.NdsTableOptions();
  s.SetNdsLockType(nds::Compatible);
  s.SetNdsCharType(nds::OEM);
  s.SetNdsRightsCheck(false);
  s.SetNdsRecordCache(nds::rcAggressive);  // closed: no engine call
  s.SetNdsOptimizedFilters(false);         // closed and unfiltered: stored only
  s.SetNdsAOFType(nds::atFixed);
  s.SetNdsIndexPageSize(4096);
  s.SetNdsPreserveSpaces(true);
  target.SetNdsTableOptions(&s);
  const nds::TNdsTableOptions& t = *target.NdsTableOptions();
  EXPECT_EQ(t.NdsLockType(), nds::Compatible);
  EXPECT_EQ(t.NdsCharType(), nds::OEM);
  EXPECT_FALSE(t.NdsRightsCheck());
  EXPECT_EQ(t.NdsRecordCache(), nds::rcAggressive);
  EXPECT_FALSE(t.NdsOptimizedFilters());
  EXPECT_EQ(t.NdsAOFType(), nds::atFixed);
  EXPECT_EQ(t.NdsIndexPageSize(), 4096);
  EXPECT_TRUE(t.NdsPreserveSpaces());
  // The object stays the target's own.
  EXPECT_EQ(t.GetOwner(), &target);
}

}  // namespace
