#include "contents/nucleus_fit.h"

// Placeholder until the stage is built.
void fitNuclei(const RunSettings&, FrameBuffers&) {}
