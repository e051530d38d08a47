// local_ranges_test.cpp — overlap checks in file order and out of it, at the edges.
#include <gtest/gtest.h>

#include "exports/local_ranges.h"

namespace kestrel::exports {
namespace {

TEST(LocalRanges, RangesMeetingAnyTakenOneAreRefusedInAnyOrder) {
  LocalRanges r;
  EXPECT_TRUE(r.Take(100, 200));
  EXPECT_TRUE(r.Take(200, 300));   // touching is not meeting
  EXPECT_FALSE(r.Take(100, 130));  // the same local header
  EXPECT_FALSE(r.Take(250, 400));  // starts inside the last one
  EXPECT_TRUE(r.Take(500, 600));
  // Out of order: before, between and inside the ranges taken in order.
  EXPECT_TRUE(r.Take(0, 100));
  EXPECT_FALSE(r.Take(50, 60));    // inside one taken out of order
  EXPECT_FALSE(r.Take(290, 510));  // spans a gap into the next
  EXPECT_TRUE(r.Take(300, 500));
  EXPECT_FALSE(r.Take(420, 430));  // inside the gap just filled out of order
  EXPECT_FALSE(r.Take(590, 700));  // back in order, but meets the last ordered one
  EXPECT_TRUE(r.Take(600, 700));
}

}  // namespace
}  // namespace kestrel::exports
