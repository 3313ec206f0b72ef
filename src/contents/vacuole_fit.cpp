#include "contents/vacuole_fit.h"

// Placeholder until the stage is built.
void fitVacuoles(const RunSettings&, FrameBuffers&) {}
