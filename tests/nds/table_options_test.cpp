// TNdsTableOptions: copying the settings of one dataset to another.
#include <gtest/gtest.h>

#include "nds/ndsdata.h"
#include "nds/ndstable.h"

namespace nds_test {
namespace {

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
}  // namespace nds_test
