#include "app/slice_order.h"

#include <gtest/gtest.h>

namespace focustrack {
namespace {

// Each way of telling at its limits: the counts need more than twice as many
// negative cores as positive ones, the nesting no positive nested core and a
// majority of negative cores; both need at least three negative cores. A
// census is cell-sized positive and negative cores, then nested positive and
// negative ones.
TEST(SliceOrder, ReversedOnlyBeyondTheLimitsOfEitherRule) {
  EXPECT_FALSE(looksReversed(CoreCensus{2, 4, 0, 0}));  // exactly twice
  EXPECT_TRUE(looksReversed(CoreCensus{2, 5, 0, 0}));
  EXPECT_FALSE(looksReversed(CoreCensus{0, 2, 0, 0}));  // too few to tell
  EXPECT_TRUE(looksReversed(CoreCensus{0, 3, 0, 0}));
  EXPECT_TRUE(looksReversed(CoreCensus{3, 4, 0, 3}));   // nesting tells
  EXPECT_FALSE(looksReversed(CoreCensus{3, 4, 1, 3}));  // a positive nested core
  EXPECT_FALSE(looksReversed(CoreCensus{4, 4, 0, 3}));  // no majority
  EXPECT_FALSE(looksReversed(CoreCensus{3, 4, 0, 2}));  // too few nested
}

}  // namespace
}  // namespace focustrack
