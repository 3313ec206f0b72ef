#include "reduce/delta_map.h"

// Placeholder until the stage is built.
void computeDeltaMap(const RunSettings&, FrameBuffers&) {}
