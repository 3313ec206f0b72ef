// The cells of a synthetic recording and their life from frame to frame.
// A cell is an ellipse with optional contents (a nucleus with its nucleolus,
// round vacuoles). A bud is a small cell attached to its mother; a motion
// group is a set of cells that drift as one (a mother with her buds, cells
// placed touching each other).
#pragma once

#include <cstdint>
#include <vector>

#include "synth/random.h"

namespace focustrack {

// An ellipse with semi-axis `a` along the unit vector (axisX, axisY) and
// semi-axis `b` across it, centred at (cx, cy) in pixel coordinates.
struct Ellipse {
  double cx = 0.0;
  double cy = 0.0;
  double axisX = 1.0;
  double axisY = 0.0;
  double a = 1.0;
  double b = 1.0;
};

// A content disc placed by its centre in the cell's own frame, as fractions of
// the semi-axes, so that it keeps its place while the cell grows.
struct ContentDisc {
  double u = 0.0;
  double v = 0.0;
  double radius = 0.0;  // pixels
};

constexpr int32_t kMaxVacuoles = 3;

struct SynthCell {
  Ellipse shape;
  int32_t trackId = 0;
  int32_t parentId = 0;  // track id of the mother, 0 for none
  int32_t mother = -1;   // index of the mother in Population::cells, -1 for none
  int32_t group = 0;     // motion group
  double budX = 0.0;     // a bud's direction away from its mother's centre
  double budY = 0.0;
  double swing = 0.0;    // through-focus swing of the cytoplasm, grey levels
  uint64_t textureSeed = 0;
  bool hasNucleus = false;
  ContentDisc nucleus;
  double nucleolusRadius = 0.0;
  int32_t vacuoleCount = 0;
  ContentDisc vacuoles[kMaxVacuoles];
};

struct Population {
  std::vector<SynthCell> cells;  // in creation order; track ids ascend with it
  // The trap device: pillars that never move or change, no cells, no track ids.
  std::vector<SynthCell> device;
  int32_t width = 0;
  int32_t height = 0;
  int32_t groupCount = 0;
  int32_t nextTrackId = 1;
  double focusDrift = 0.0;  // focal offset of the frame, in half-stack units
};

// Places up to `cellCount` cells (fewer when the image is too crowded), some
// of them touching a neighbour and some with a bud, and draws the first
// frame's focal offset.
void seedPopulation(Population* population, Random& random, int32_t width, int32_t height,
                    int32_t cellCount);

// Places `pairs` pillar pairs of a trap device (two round pillars side by
// side with a narrow gap), clear of the image border and of each other. Call
// before seedPopulation's cells, which then keep clear of the pillars.
void placeTrapDevice(Population* population, Random& random, int32_t width, int32_t height,
                     int32_t pairs);

// One frame later: the focus drifts, motion groups move a few pixels, cells and
// buds grow, and some cells start a bud.
void advancePopulation(Population* population, Random& random);

// Signed distance of (x, y) from the outline, measured along the ray from the
// centre: negative inside. Exact on the axes, a slight overestimate elsewhere.
double signedDistance(const Ellipse& ellipse, double x, double y);

// Smallest distance between two outlines; negative when they overlap, by
// about the depth of the overlap.
double gapBetween(const Ellipse& first, const Ellipse& second);

// Centre of a content disc of the cell in pixel coordinates.
void contentCentre(const SynthCell& cell, const ContentDisc& disc, double* x, double* y);

}  // namespace focustrack
