#include "contents/nucleus_mask.h"

// Placeholder until the stage is built.
void excludeNucleusBlobs(const RunSettings&, FrameBuffers&) {}
