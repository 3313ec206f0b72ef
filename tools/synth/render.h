// Pictures of a synthetic frame. The grey value of a pixel at a slice is
//   base + swing x focusCurve(slice) + noise:
// base is the in-focus appearance, swing the through-focus change (positive:
// the pixel brightens towards higher slice numbers), focusCurve runs from
// about -1 at the lowest slice to +1 at the highest, shifted by focus drift.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/population.h"
#include "synth/random.h"

namespace focustrack {

// The static background: faint texture in both the base and the swing.
struct Background {
  std::vector<double> base;
  std::vector<double> swing;
};

struct FrameMaps {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<double> base;
  std::vector<double> swing;
  // Smallest and second smallest signed outline distance at each pixel, and
  // 1 + the index into Population::cells of the nearest outline (0: none
  // within reach).
  std::vector<double> nearest;
  std::vector<double> secondNearest;
  std::vector<int32_t> nearestCell;
  // 1 + index of the cell that holds the pixel (its nearest outline, when the
  // pixel lies inside it), 0 for background; indices past the cells count
  // the pillars of a trap device.
  std::vector<int32_t> owner;
};

void makeBackground(int32_t width, int32_t height, uint64_t seed, Background* background);

// Fills the maps of the frame from the population: background plus every
// cell's interior, rim and contents, each cell ending at the midline to a
// neighbour it touches; a pixel belongs to the cell it lies deepest in.
void renderFrame(const Population& population, const Background& background, FrameMaps* maps);

// The focus curve of slice index `slice` (0-based) of `sliceCount`, with the
// frame's focus drift: smooth, rising, about -1 .. +1 over the stack.
double focusCurve(int32_t slice, int32_t sliceCount, double drift);

// One 8-bit slice: base + swing x focus + noise x noiseSigma, rounded and
// clamped to 0..255.
void renderSlice(const FrameMaps& maps, double focus, double noiseSigma, Random& noise, uint8_t* out);

}  // namespace focustrack
