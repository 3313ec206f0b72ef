// Nucleus and nucleolus fit.
#pragma once

#include "run/buffers.h"

// Stage [21]: the best nucleus of every analysable cell into its record.
void fitNuclei(const RunSettings& settings, FrameBuffers& buffers);
