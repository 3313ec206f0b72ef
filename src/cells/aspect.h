// Per-cell rescaling of the delta values to 0..1 and the cell's elongation.
#pragma once

#include "run/buffers.h"

// Stage [44]: rescales deltaMap inside every cell, writes aspect.
void adjustCells(const RunSettings& settings, FrameBuffers& buffers);
