// The slice order check: cells must brighten towards higher slice numbers.
// Taken the other way round, a stack gives few cells, or none, and nothing
// else would say why; its classification shows it, because cell interiors
// then become negative cores and their halos positive ones.
#pragma once

#include "frame/frame_buffers.h"

namespace focustrack {

// Enough negative cores to judge by.
constexpr int32_t kFewestTellingCores = 3;

// Adds a frame's census to the run's so far.
void addCensus(const CoreCensus& frame, CoreCensus* run);

// True when the census of the frames so far looks like stacks in reverse
// focus order: at least kFewestTellingCores cell-sized negative cores and
// more than twice as many as positive ones; or at least kFewestTellingCores
// negative cores each inside a positive one, none the other way round, and
// more cell-sized negative cores than positive ones. A single frame of a
// few cells can look reversed by chance; the run's sums settle it.
bool looksReversed(const CoreCensus& census);

}  // namespace focustrack
