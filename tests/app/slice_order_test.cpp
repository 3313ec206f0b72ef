#include "app/slice_order.h"

#include <gtest/gtest.h>

namespace focustrack {
namespace {

CoreCensus census(int32_t sizedPositive, int32_t sizedNegative, int32_t nestedPositive, int32_t nestedNegative) {
  CoreCensus c;
  c.cellSizedPositive = sizedPositive;
  c.cellSizedNegative = sizedNegative;
  c.nestedPositive = nestedPositive;
  c.nestedNegative = nestedNegative;
  return c;
}

// Each way of telling at its limits: the counts need more than twice as many
// negative cores as positive ones, the nesting no positive nested core and a
// majority of negative cores; both need at least three negative cores.
TEST(SliceOrder, ReversedOnlyBeyondTheLimitsOfEitherRule) {
  EXPECT_FALSE(looksReversed(census(2, 4, 0, 0)));  // exactly twice
  EXPECT_TRUE(looksReversed(census(2, 5, 0, 0)));
  EXPECT_FALSE(looksReversed(census(0, 2, 0, 0)));  // too few to tell
  EXPECT_TRUE(looksReversed(census(0, 3, 0, 0)));
  EXPECT_TRUE(looksReversed(census(3, 4, 0, 3)));   // nesting tells
  EXPECT_FALSE(looksReversed(census(3, 4, 1, 3)));  // a positive nested core
  EXPECT_FALSE(looksReversed(census(4, 4, 0, 3)));  // no majority
  EXPECT_FALSE(looksReversed(census(3, 4, 0, 2)));  // too few nested
}

}  // namespace
}  // namespace focustrack
