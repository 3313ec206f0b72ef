// Vacuole fit.
#pragma once

#include "run/buffers.h"

// Stage [31]: the best vacuole outline of every blob of the backward flood.
void fitVacuoles(const RunSettings& settings, FrameBuffers& buffers);
