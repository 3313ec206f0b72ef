#include "synth/render.h"

#include <algorithm>
#include <cmath>

#include "synth/texture.h"

namespace focustrack {

namespace {

// Background: grey level, blotches and fine grain in the base, and a faint
// through-focus texture, each as amplitude and lattice spacing in pixels.
constexpr double kBackgroundLevel = 108.0;
constexpr double kBlotchAmplitude = 3.0;
constexpr double kBlotchSpacing = 24.0;
constexpr double kGrainAmplitude = 1.5;
constexpr double kGrainSpacing = 6.0;
constexpr double kBackgroundSwing = 1.0;
constexpr double kBackgroundSwingSpacing = 16.0;

// Cell outline profile over the signed distance s (negative inside): the
// interior swing fades from full at kInteriorFull to none at kInteriorNone;
// the rim, a bump of opposite swing, is centred kRimCentre outside the outline.
constexpr double kInteriorFull = -2.0;
constexpr double kInteriorNone = 1.0;
constexpr double kRimCentre = 1.5;
constexpr double kRimHalfWidth = 3.5;
constexpr double kRimShare = 0.9;  // rim swing relative to the cytoplasm
// In focus the outline shows as a thin dark line with a bright halo beyond
// it (grey levels, centre and half width along s); neither changes through
// focus.
constexpr double kLineOffset = -30.0;
constexpr double kLineCentre = 0.5;
constexpr double kLineHalfWidth = 1.5;
constexpr double kHaloOffset = 20.0;
constexpr double kHaloCentre = 3.5;
constexpr double kHaloHalfWidth = 2.0;
// How far beyond its outline a cell changes the picture.
constexpr double kOutlineReach = std::max(kRimCentre + kRimHalfWidth, kHaloCentre + kHaloHalfWidth);
// A slightly stronger band just inside the outline, as in real cells.
constexpr double kBandCentre = -4.0;
constexpr double kBandHalfWidth = 3.0;
constexpr double kBandShare = 0.08;
// Granular cytoplasm: swing and base texture.
constexpr double kGrainSwingShare = 0.05;
constexpr double kCellGrainAmplitude = 4.0;
constexpr double kCellGrainSpacing = 5.0;
// In-focus offsets of interior, nucleus and vacuoles, in grey levels.
constexpr double kInteriorOffset = 6.0;
constexpr double kNucleusOffset = 2.0;
constexpr double kVacuoleOffset = 4.0;

// Contents, as swing relative to the cytoplasm: the nucleus adds
// kNucleusLift, its nucleolus a dome of kNucleolusLift more at its centre,
// and a vacuole keeps only kVacuoleFloor of the cytoplasm swing at its
// centre. In shares of the frame's largest slope that is cytoplasm 0.4,
// nucleus 0.76, nucleolus 1.0, vacuole 0.02: within a cell, whose values
// also reach down into the rim, the nucleus then stands well above the
// cytoplasm, the nucleolus less far above the nucleus, and vacuoles well
// below the cytoplasm.
constexpr double kNucleusLift = 0.9;
constexpr double kNucleusEdge = 1.0;      // half width of the nucleus edge
constexpr double kNucleolusLift = 0.6;
constexpr double kNucleolusSkirt = 2.0;   // dome radius beyond the nucleolus radius
// A thin ring of lower swing around the nucleus (its envelope) closes the
// nucleus off from the cytoplasm.
constexpr double kEnvelopeDip = 0.45;
constexpr double kEnvelopeOffset = 1.5;   // ring centre beyond the nucleus radius
constexpr double kEnvelopeHalfWidth = 1.5;
constexpr double kVacuoleFloor = 0.05;
// A vacuole is a cone-shaped basin, deepest at its centre and reaching the
// cytoplasm kVacuoleEdge beyond its radius: with no flat floor, noise
// cannot split it into several low points.
constexpr double kVacuoleEdge = 2.0;

// Seeds of the three background textures, mixed with the recording's seed.
constexpr uint64_t kBlotchSeed = 0xB10C;
constexpr uint64_t kGrainSeed = 0x6AA1;
constexpr uint64_t kSwingSeed = 0x5F1C;

// Distance of pixels beyond every outline's reach.
constexpr double kFarAway = 1e300;

// The focus curve: t(1.25 - 0.25 t^2), rising over |t| <= kFocusClamp.
constexpr double kFocusClamp = 1.2;

double clamp01(double x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); }
double smoothstep(double x) {
  const double t = clamp01(x);
  return t * t * (3.0 - 2.0 * t);
}
// A smooth bump: 1 at 0, 0 from |x| = 1 on.
double bump(double x) {
  const double q = 1.0 - x * x;
  return q > 0.0 ? q * q : 0.0;
}

struct DiscAt {
  double x;
  double y;
  double radius;
};

// Positions of a cell's contents in this frame.
struct CellContents {
  bool hasNucleus;
  DiscAt nucleus;
  double nucleolusRadius;
  int32_t vacuoleCount;
  DiscAt vacuoles[kMaxVacuoles];
};

CellContents locateContents(const SynthCell& cell) {
  CellContents c{};
  c.hasNucleus = cell.hasNucleus;
  if (cell.hasNucleus) {
    contentCentre(cell, cell.nucleus, &c.nucleus.x, &c.nucleus.y);
    c.nucleus.radius = cell.nucleus.radius;
    c.nucleolusRadius = cell.nucleolusRadius;
  }
  c.vacuoleCount = cell.vacuoleCount;
  for (int32_t k = 0; k < cell.vacuoleCount; ++k) {
    contentCentre(cell, cell.vacuoles[k], &c.vacuoles[k].x, &c.vacuoles[k].y);
    c.vacuoles[k].radius = cell.vacuoles[k].radius;
  }
  return c;
}

double distanceTo(const DiscAt& disc, double x, double y) {
  return std::sqrt((x - disc.x) * (x - disc.x) + (y - disc.y) * (y - disc.y));
}

// Swing and base of the contents at (x, y), in units of the cell's swing and
// in grey levels.
// Adds the contents at (x, y) to the swing (in units of the cell's swing) and
// to the base (grey levels); returns how deep the pixel lies in a vacuole
// (0 outside, about 1 at the bottom).
double addContents(const CellContents& c, double x, double y, double* swingShare, double* base) {
  if (c.hasNucleus) {
    const double r = distanceTo(c.nucleus, x, y);
    const double nucleus = smoothstep((c.nucleus.radius + kNucleusEdge - r) / (2.0 * kNucleusEdge));
    const double dome = bump(r / (c.nucleolusRadius + kNucleolusSkirt));
    const double envelope = bump((r - c.nucleus.radius - kEnvelopeOffset) / kEnvelopeHalfWidth);
    *swingShare += kNucleusLift * nucleus + kNucleolusLift * dome - kEnvelopeDip * envelope;
    *base += kNucleusOffset * nucleus;
  }
  double deepest = 0.0;
  for (int32_t k = 0; k < c.vacuoleCount; ++k) {
    const DiscAt& v = c.vacuoles[k];
    const double r = distanceTo(v, x, y);
    if (r >= v.radius + kVacuoleEdge) continue;
    const double depth = 1.0 - r / (v.radius + kVacuoleEdge);
    *swingShare -= (1.0 - kVacuoleFloor) * depth;
    *base += kVacuoleOffset * depth;
    if (depth > deepest) deepest = depth;
  }
  return deepest;
}

struct PixelBox {
  int32_t x0;
  int32_t y0;
  int32_t x1;
  int32_t y1;
};

// The pixels within reach of the cell's outline, clipped to the image.
PixelBox reachOf(const Ellipse& e, const FrameMaps& maps) {
  const double reach = e.a + kOutlineReach + 1.0;
  PixelBox box;
  box.x0 = static_cast<int32_t>(std::fmax(0.0, std::floor(e.cx - reach)));
  box.y0 = static_cast<int32_t>(std::fmax(0.0, std::floor(e.cy - reach)));
  box.x1 = static_cast<int32_t>(std::fmin(maps.width - 1.0, std::ceil(e.cx + reach)));
  box.y1 = static_cast<int32_t>(std::fmin(maps.height - 1.0, std::ceil(e.cy + reach)));
  return box;
}

// Pass 1: the nearest and second-nearest outline at every pixel (smallest
// signed distances). The nearest owns the pixel when it lies inside it; on
// equal distances the earlier cell keeps it.
void measureOutlines(const SynthCell& cell, int32_t index, FrameMaps* maps) {
  const PixelBox box = reachOf(cell.shape, *maps);
  for (int32_t y = box.y0; y <= box.y1; ++y) {
    const size_t row = static_cast<size_t>(y) * maps->width;
    double* nearest = maps->nearest.data() + row;
    double* second = maps->secondNearest.data() + row;
    int32_t* nearestCell = maps->nearestCell.data() + row;
    for (int32_t x = box.x0; x <= box.x1; ++x) {
      const double s = signedDistance(cell.shape, x, y);
      if (s >= kOutlineReach) continue;
      if (s < nearest[x]) {
        second[x] = nearest[x];
        nearest[x] = s;
        nearestCell[x] = index + 1;
      } else if (s < second[x]) {
        second[x] = s;
      }
    }
  }
}

// Pass 2: adds one cell's interior, rim and contents. Where another outline
// is near, the cell ends at the midline between the two (the signed distance
// becomes max(s, (s - s_other) / 2)), so that cells pressed into each other
// still show one interior each with a rim between them.
void paintCell(const SynthCell& cell, int32_t index, FrameMaps* maps) {
  const Ellipse& e = cell.shape;
  const CellContents contents = locateContents(cell);
  const PixelBox box = reachOf(e, *maps);
  for (int32_t y = box.y0; y <= box.y1; ++y) {
    const size_t row = static_cast<size_t>(y) * maps->width;
    double* base = maps->base.data() + row;
    double* swing = maps->swing.data() + row;
    const double* nearest = maps->nearest.data() + row;
    const double* second = maps->secondNearest.data() + row;
    const int32_t* nearestCell = maps->nearestCell.data() + row;
    for (int32_t x = box.x0; x <= box.x1; ++x) {
      const double own = signedDistance(e, x, y);
      if (own >= kOutlineReach) continue;
      const double other = nearestCell[x] == index + 1 ? second[x] : nearest[x];
      const double midline = 0.5 * (own - other);
      const double s = midline > own ? midline : own;
      const double interior = smoothstep((kInteriorNone - s) / (kInteriorNone - kInteriorFull));
      const double rim = bump((s - kRimCentre) / kRimHalfWidth);
      double share = interior - kRimShare * rim + kBandShare * bump((s - kBandCentre) / kBandHalfWidth);
      double offset = kInteriorOffset * interior + kLineOffset * bump((s - kLineCentre) / kLineHalfWidth) +
                      kHaloOffset * bump((s - kHaloCentre) / kHaloHalfWidth);
      double vacuole = 0.0;
      if (s < 0.0) vacuole = addContents(contents, x, y, &share, &offset);
      if (interior > 0.0) {
        // Granular cytoplasm (smooth inside vacuoles), in the cell's own frame
        // so that it travels with the cell.
        const double u = (x - e.cx) * e.axisX + (y - e.cy) * e.axisY;
        const double v = -(x - e.cx) * e.axisY + (y - e.cy) * e.axisX;
        const double grain = interior * (1.0 - vacuole);
        share += grain * kGrainSwingShare * valueNoise(cell.textureSeed, u, v, kCellGrainSpacing);
        offset += grain * kCellGrainAmplitude * valueNoise(~cell.textureSeed, u, v, kCellGrainSpacing);
      }
      swing[x] += cell.swing * share;
      base[x] += offset;
    }
  }
}

}  // namespace

void makeBackground(int32_t width, int32_t height, uint64_t seed, Background* background) {
  const size_t n = static_cast<size_t>(width) * height;
  background->base.assign(n, 0.0);
  background->swing.assign(n, 0.0);
  const uint64_t blotchSeed = mixBits(seed ^ kBlotchSeed);
  const uint64_t grainSeed = mixBits(seed ^ kGrainSeed);
  const uint64_t swingSeed = mixBits(seed ^ kSwingSeed);
  for (int32_t y = 0; y < height; ++y) {
    double* base = background->base.data() + static_cast<size_t>(y) * width;
    double* swing = background->swing.data() + static_cast<size_t>(y) * width;
    for (int32_t x = 0; x < width; ++x) {
      base[x] = kBackgroundLevel + kBlotchAmplitude * valueNoise(blotchSeed, x, y, kBlotchSpacing) +
                kGrainAmplitude * valueNoise(grainSeed, x, y, kGrainSpacing);
      swing[x] = kBackgroundSwing * valueNoise(swingSeed, x, y, kBackgroundSwingSpacing);
    }
  }
}

void renderFrame(const Population& population, const Background& background, FrameMaps* maps) {
  maps->width = population.width;
  maps->height = population.height;
  const size_t n = static_cast<size_t>(maps->width) * maps->height;
  maps->base = background.base;
  maps->swing = background.swing;
  maps->nearest.assign(n, kFarAway);
  maps->secondNearest.assign(n, kFarAway);
  maps->nearestCell.assign(n, 0);
  // Pillars of a trap device come after the cells: index cellCount + j.
  const int32_t cellCount = static_cast<int32_t>(population.cells.size());
  const int32_t pillarCount = static_cast<int32_t>(population.device.size());
  for (int32_t k = 0; k < cellCount; ++k) measureOutlines(population.cells[k], k, maps);
  for (int32_t j = 0; j < pillarCount; ++j) measureOutlines(population.device[j], cellCount + j, maps);
  for (int32_t k = 0; k < cellCount; ++k) paintCell(population.cells[k], k, maps);
  for (int32_t j = 0; j < pillarCount; ++j) paintCell(population.device[j], cellCount + j, maps);
  maps->owner.assign(n, 0);
  for (size_t i = 0; i < n; ++i) {
    if (maps->nearest[i] < 0.0) maps->owner[i] = maps->nearestCell[i];
  }
}

double focusCurve(int32_t slice, int32_t sliceCount, double drift) {
  const double half = 0.5 * (sliceCount - 1);
  double t = (half > 0.0 ? (slice - half) / half : 0.0) - drift;
  if (t > kFocusClamp) t = kFocusClamp;
  if (t < -kFocusClamp) t = -kFocusClamp;
  return t * (1.25 - 0.25 * t * t);
}

void renderSlice(const FrameMaps& maps, double focus, double noiseSigma, Random& noise, uint8_t* out) {
  const size_t n = static_cast<size_t>(maps.width) * maps.height;
  const double* base = maps.base.data();
  const double* swing = maps.swing.data();
  for (size_t i = 0; i < n; ++i) {
    double value = base[i] + swing[i] * focus + noiseSigma * noise.noise() + 0.5;
    if (value < 0.0) value = 0.0;
    if (value > 255.0) value = 255.0;
    out[i] = static_cast<uint8_t>(value);
  }
}

}  // namespace focustrack
