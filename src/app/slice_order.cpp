#include "app/slice_order.h"

namespace focustrack {

void addCensus(const CoreCensus& frame, CoreCensus* run) {
  run->cellSizedPositive += frame.cellSizedPositive;
  run->cellSizedNegative += frame.cellSizedNegative;
  run->nestedPositive += frame.nestedPositive;
  run->nestedNegative += frame.nestedNegative;
}

bool looksReversed(const CoreCensus& census) {
  // Real recordings: cell interiors touch and merge with the halos between
  // them, so the counts tell. Isolated cells (most synthetic ones) show the
  // nesting of interior and halo directly.
  const bool countsTell = census.cellSizedNegative >= kFewestTellingCores &&
                          census.cellSizedNegative > 2 * census.cellSizedPositive;
  const bool nestingTells = census.nestedNegative >= kFewestTellingCores && census.nestedPositive == 0 &&
                            census.cellSizedNegative > census.cellSizedPositive;
  return countsTell || nestingTells;
}

}  // namespace focustrack
