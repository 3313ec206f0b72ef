#include "contents/blobs.h"

// Placeholder until the stage is built.
void floodBlobs(const RunSettings&, FrameBuffers&, FloodDirection) {}
