// Pixel classes: positive and negative cores grown from the most extreme delta
// values inward, margins beside them, outside regions touching the border.
#pragma once

#include "run/buffers.h"

// Stage [41]: reads deltaMap and sortedPixels, writes classMap (PixelClass);
// floodQueue is scratch.
void classifyPixels(const RunSettings& settings, FrameBuffers& buffers);
