#include "synth/population.h"

#include <cmath>

namespace focustrack {

namespace {

// Cell size: semi-axes of 20 to 35 pixels along the long axis (40 to 70
// across), the short axis 72 to 95 percent of it but never below 17.5.
constexpr double kMinLongRadius = 20.0;
constexpr double kMaxLongRadius = 35.0;
constexpr double kMinAxisRatio = 0.72;
constexpr double kMaxAxisRatio = 0.95;
constexpr double kMinShortRadius = 17.5;
// Through-focus swing of the cytoplasm in grey levels (half the change from
// the lowest to the highest slice).
constexpr double kMinSwing = 34.0;
constexpr double kMaxSwing = 40.0;

// Placement: attempts per cell, the share of cells placed against a
// neighbour, the free gap between cells that do not touch, and the overlap
// that touching cells are placed at.
constexpr int32_t kPlacementTries = 40;
// Trap pillars: round, larger than most cells, with a stronger through-focus
// swing than any cell (real pillars give the strongest cores of a picture).
constexpr double kMinPillarRadius = 22.0;
constexpr double kMaxPillarRadius = 28.0;
constexpr double kPillarGap = 8.0;      // between the two pillars of a pair
constexpr double kPillarMargin = 30.0;  // from the image border and other pairs
constexpr double kPillarSwing = 55.0;
constexpr double kTouchingShare = 0.3;
constexpr double kFreeGap = 6.0;
constexpr double kTouchGap = -0.5;
constexpr int32_t kTouchSearchSteps = 30;

// Life: the largest step of a motion group per frame and axis, the gap that
// separate groups keep, how far touching cells may press into each other,
// and the growth of a cell per frame.
constexpr double kMoveStep = 2.5;
constexpr double kMoveGap = 3.0;
constexpr double kMaxOverlap = 2.0;
constexpr double kMinGrowth = 1.004;
constexpr double kMaxGrowth = 1.012;

// Buds: chance per cell and frame (and at the first frame), size at birth,
// growth per frame, largest size relative to the mother's short semi-axis,
// shape, and how far a bud reaches into its mother at the neck.
constexpr double kBudChance = 0.15;
constexpr double kInitialBudShare = 0.25;
constexpr double kMinBudRadius = 7.0;
constexpr double kMaxNewBudRadius = 9.0;
constexpr double kMinBudGrowth = 1.0;
constexpr double kMaxBudGrowth = 2.0;
constexpr double kBudMaxShare = 0.8;
constexpr double kBudAspect = 0.88;
constexpr double kNeckOverlap = 0.5;
constexpr int32_t kBudTries = 8;
// Label maps hold 16-bit track ids.
constexpr int32_t kLastTrackId = 65535;

// Focus: drift step per frame and its limit, in half-stack units.
constexpr double kFocusStep = 0.08;
constexpr double kFocusLimit = 0.2;

// Contents: share of cells with a nucleus, nucleus radius, nucleolus radius
// as a share of it, vacuole radius, and the clearances that keep contents
// apart from each other and from the cell outline.
constexpr double kNucleusShare = 0.6;
constexpr double kMinNucleusRadius = 7.0;
constexpr double kMaxNucleusRadius = 10.0;
constexpr double kMinNucleolusShare = 0.38;
constexpr double kMaxNucleolusShare = 0.5;
constexpr double kMinVacuoleRadius = 5.0;
constexpr double kMaxVacuoleRadius = 12.0;
constexpr double kNucleusClearance = 5.0;
constexpr double kVacuoleClearance = 4.0;
constexpr double kContentSpacing = 4.0;
constexpr int32_t kContentTries = 12;
// Only the inner part of the cell is tried for content centres.
constexpr double kContentReach = 0.65;

// Outline samples for the gap measure: 48 directions 7.5 degrees apart.
constexpr int32_t kOutlineSamples = 48;
constexpr double kStepCos = 0.99144486137381041;  // cos 7.5 degrees
constexpr double kStepSin = 0.13052619222005157;  // sin 7.5 degrees

struct Direction {
  double c;
  double s;
};

// The directions are built by repeated rotation, so they are the same bits on
// every platform.
const Direction* outlineDirections() {
  static Direction table[kOutlineSamples];
  static bool filled = false;
  if (!filled) {
    double c = 1.0;
    double s = 0.0;
    for (int32_t k = 0; k < kOutlineSamples; ++k) {
      table[k] = {c, s};
      const double nextC = c * kStepCos - s * kStepSin;
      s = s * kStepCos + c * kStepSin;
      c = nextC;
    }
    filled = true;
  }
  return table;
}

double outlineGap(const Ellipse& from, const Ellipse& to) {
  const Direction* directions = outlineDirections();
  double smallest = 1e300;
  for (int32_t k = 0; k < kOutlineSamples; ++k) {
    const double u = from.a * directions[k].c;
    const double v = from.b * directions[k].s;
    const double x = from.cx + u * from.axisX - v * from.axisY;
    const double y = from.cy + u * from.axisY + v * from.axisX;
    const double d = signedDistance(to, x, y);
    if (d < smallest) smallest = d;
  }
  return smallest;
}

// Distance from the centre to the outline along the unit direction (dx, dy).
double boundaryDistance(const Ellipse& e, double dx, double dy) {
  const double u = (dx * e.axisX + dy * e.axisY) / e.a;
  const double v = (-dx * e.axisY + dy * e.axisX) / e.b;
  return 1.0 / std::sqrt(u * u + v * v);
}

bool isFamily(const Population& p, int32_t first, int32_t second) {
  return p.cells[first].mother == second || p.cells[second].mother == first;
}

// True when cell `index` keeps the required gap to every other cell: `sameGroup`
// to cells of its own motion group, `otherGroup` to the rest. A mother and her
// bud are never compared.
bool keepsGaps(const Population& p, int32_t index, double sameGroup, double otherGroup) {
  const SynthCell& cell = p.cells[index];
  for (int32_t k = 0; k < static_cast<int32_t>(p.cells.size()); ++k) {
    if (k == index || isFamily(p, index, k)) continue;
    const SynthCell& other = p.cells[k];
    const double required = other.group == cell.group ? sameGroup : otherGroup;
    const double dx = other.shape.cx - cell.shape.cx;
    const double dy = other.shape.cy - cell.shape.cy;
    const double reach = cell.shape.a + other.shape.a + required + 1.0;
    if (dx * dx + dy * dy > reach * reach) continue;
    if (gapBetween(cell.shape, other.shape) < required) return false;
  }
  for (const SynthCell& pillar : p.device) {
    if (gapBetween(cell.shape, pillar.shape) < otherGroup) return false;
  }
  return true;
}

bool centreInImage(const Population& p, const SynthCell& cell) {
  return cell.shape.cx >= 0.0 && cell.shape.cx < p.width && cell.shape.cy >= 0.0 &&
         cell.shape.cy < p.height;
}

// A disc fits when its whole outline stays `clearance` pixels inside the cell.
bool discFits(const SynthCell& cell, double x, double y, double radius, double clearance) {
  const Direction* directions = outlineDirections();
  for (int32_t k = 0; k < kOutlineSamples; k += 3) {
    const double px = x + radius * directions[k].c;
    const double py = y + radius * directions[k].s;
    if (signedDistance(cell.shape, px, py) > -clearance) return false;
  }
  return true;
}

bool discsApart(const SynthCell& cell, const ContentDisc& first, const ContentDisc& second) {
  double x1, y1, x2, y2;
  contentCentre(cell, first, &x1, &y1);
  contentCentre(cell, second, &x2, &y2);
  const double reach = first.radius + second.radius + kContentSpacing;
  return (x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1) >= reach * reach;
}

// Draws a content position inside the inner part of the cell.
ContentDisc randomDisc(Random& random, double radius) {
  ContentDisc disc;
  double x, y;
  random.unitVector(&x, &y);
  const double reach = kContentReach * std::sqrt(random.uniform());
  disc.u = x * reach;
  disc.v = y * reach;
  disc.radius = radius;
  return disc;
}

void placeNucleus(SynthCell* cell, Random& random) {
  if (!random.chance(kNucleusShare)) return;
  const double radius = random.range(kMinNucleusRadius, kMaxNucleusRadius);
  const double nucleolus = radius * random.range(kMinNucleolusShare, kMaxNucleolusShare);
  for (int32_t t = 0; t < kContentTries; ++t) {
    const ContentDisc disc = randomDisc(random, radius);
    double x, y;
    contentCentre(*cell, disc, &x, &y);
    if (!discFits(*cell, x, y, radius, kNucleusClearance)) continue;
    cell->hasNucleus = true;
    cell->nucleus = disc;
    cell->nucleolusRadius = nucleolus;
    return;
  }
}

void placeVacuoles(SynthCell* cell, Random& random) {
  // 0, 1, 2 or 3 vacuoles tried, 1 and 2 the most common.
  const double draw = random.uniform();
  const int32_t wanted = draw < 0.3 ? 0 : draw < 0.65 ? 1 : draw < 0.9 ? 2 : 3;
  for (int32_t w = 0; w < wanted; ++w) {
    const double radius = random.range(kMinVacuoleRadius, kMaxVacuoleRadius);
    for (int32_t t = 0; t < kContentTries; ++t) {
      const ContentDisc disc = randomDisc(random, radius);
      double x, y;
      contentCentre(*cell, disc, &x, &y);
      if (!discFits(*cell, x, y, radius, kVacuoleClearance)) continue;
      bool apart = !cell->hasNucleus || discsApart(*cell, cell->nucleus, disc);
      for (int32_t k = 0; k < cell->vacuoleCount && apart; ++k) {
        apart = discsApart(*cell, cell->vacuoles[k], disc);
      }
      if (!apart) continue;
      cell->vacuoles[cell->vacuoleCount++] = disc;
      break;
    }
  }
}

SynthCell randomCell(Random& random) {
  SynthCell cell;
  random.unitVector(&cell.shape.axisX, &cell.shape.axisY);
  cell.shape.a = random.range(kMinLongRadius, kMaxLongRadius);
  cell.shape.b = cell.shape.a * random.range(kMinAxisRatio, kMaxAxisRatio);
  if (cell.shape.b < kMinShortRadius) cell.shape.b = kMinShortRadius;
  cell.swing = random.range(kMinSwing, kMaxSwing);
  cell.textureSeed = random.next();
  return cell;
}

// Puts the bud against its mother: its long axis along its direction, its
// near end kNeckOverlap pixels inside the mother's outline.
void attachBud(const SynthCell& mother, SynthCell* bud) {
  const double reach = boundaryDistance(mother.shape, bud->budX, bud->budY) + bud->shape.a - kNeckOverlap;
  bud->shape.cx = mother.shape.cx + bud->budX * reach;
  bud->shape.cy = mother.shape.cy + bud->budY * reach;
  bud->shape.axisX = bud->budX;
  bud->shape.axisY = bud->budY;
}

void setBudRadius(SynthCell* bud, double radius) {
  bud->shape.a = radius;
  bud->shape.b = radius * kBudAspect;
}

bool budStillGrowing(const Population& p, const SynthCell& bud) {
  return bud.shape.b < kBudMaxShare * p.cells[bud.mother].shape.b;
}

bool hasGrowingBud(const Population& p, int32_t index) {
  for (const SynthCell& cell : p.cells) {
    if (cell.mother == index && budStillGrowing(p, cell)) return true;
  }
  return false;
}

// Tries a few directions for a new bud of the given radius; the bud is kept
// when it stays clear of every cell but its mother.
bool tryBud(Population* p, int32_t motherIndex, Random& random, double radius) {
  if (p->nextTrackId > kLastTrackId) return false;
  for (int32_t t = 0; t < kBudTries; ++t) {
    SynthCell bud;
    random.unitVector(&bud.budX, &bud.budY);
    setBudRadius(&bud, radius);
    bud.swing = p->cells[motherIndex].swing;
    bud.textureSeed = random.next();
    bud.mother = motherIndex;
    bud.group = p->cells[motherIndex].group;
    bud.parentId = p->cells[motherIndex].trackId;
    attachBud(p->cells[motherIndex], &bud);
    p->cells.push_back(bud);
    if (keepsGaps(*p, static_cast<int32_t>(p->cells.size()) - 1, kFreeGap, kFreeGap)) {
      p->cells.back().trackId = p->nextTrackId++;
      return true;
    }
    p->cells.pop_back();
  }
  return false;
}

// Moves the new cell along `direction` from the neighbour's centre until the
// two outlines just overlap (bisection on the gap).
void slideAgainst(const Ellipse& neighbour, double dx, double dy, Ellipse* shape) {
  double inside = 0.0;
  double apart = neighbour.a + shape->a + 2.0 * kFreeGap;
  for (int32_t step = 0; step < kTouchSearchSteps; ++step) {
    const double middle = 0.5 * (inside + apart);
    shape->cx = neighbour.cx + dx * middle;
    shape->cy = neighbour.cy + dy * middle;
    if (gapBetween(*shape, neighbour) < kTouchGap) {
      inside = middle;
    } else {
      apart = middle;
    }
  }
  shape->cx = neighbour.cx + dx * apart;
  shape->cy = neighbour.cy + dy * apart;
}

// One placement attempt: a free cell anywhere in the image, or a cell pressed
// against a neighbour that is not a bud.
bool tryPlaceCell(Population* p, Random& random) {
  SynthCell cell = randomCell(random);
  const int32_t index = static_cast<int32_t>(p->cells.size());
  int32_t neighbour = -1;
  if (index > 0 && random.chance(kTouchingShare)) {
    neighbour = random.below(index);
    if (p->cells[neighbour].mother >= 0) neighbour = p->cells[neighbour].mother;
    double dx, dy;
    random.unitVector(&dx, &dy);
    slideAgainst(p->cells[neighbour].shape, dx, dy, &cell.shape);
    cell.group = p->cells[neighbour].group;
  } else {
    cell.shape.cx = random.range(0.0, p->width);
    cell.shape.cy = random.range(0.0, p->height);
    cell.group = p->groupCount;
  }
  p->cells.push_back(cell);
  // The touching pair is pressed together on purpose; every other cell stays
  // clear by the free gap.
  const bool fits = centreInImage(*p, cell) &&
                    (neighbour < 0 ? keepsGaps(*p, index, kFreeGap, kFreeGap)
                                   : keepsGaps(*p, index, -kMaxOverlap, kFreeGap) &&
                                         gapBetween(cell.shape, p->cells[neighbour].shape) >= -kMaxOverlap);
  if (!fits) {
    p->cells.pop_back();
    return false;
  }
  if (neighbour < 0) ++p->groupCount;
  p->cells[index].trackId = p->nextTrackId++;
  placeNucleus(&p->cells[index], random);
  placeVacuoles(&p->cells[index], random);
  return true;
}

void driftFocus(Population* p, Random& random) {
  p->focusDrift += random.range(-kFocusStep, kFocusStep);
  if (p->focusDrift > kFocusLimit) p->focusDrift = kFocusLimit;
  if (p->focusDrift < -kFocusLimit) p->focusDrift = -kFocusLimit;
}

void shiftGroup(Population* p, int32_t group, double dx, double dy) {
  for (SynthCell& cell : p->cells) {
    if (cell.group != group) continue;
    cell.shape.cx += dx;
    cell.shape.cy += dy;
  }
}

// Every motion group drifts; a step that would take a cell centre out
// of the image or a cell too close to another group is not taken.
void moveGroups(Population* p, Random& random) {
  for (int32_t group = 0; group < p->groupCount; ++group) {
    const double dx = random.range(-kMoveStep, kMoveStep);
    const double dy = random.range(-kMoveStep, kMoveStep);
    shiftGroup(p, group, dx, dy);
    bool allowed = true;
    for (int32_t k = 0; k < static_cast<int32_t>(p->cells.size()) && allowed; ++k) {
      const SynthCell& cell = p->cells[k];
      if (cell.group != group) continue;
      allowed = (cell.mother >= 0 || centreInImage(*p, cell)) &&
                keepsGaps(*p, k, -kMaxOverlap, kMoveGap);
    }
    if (!allowed) shiftGroup(p, group, -dx, -dy);
  }
}

void reattachBuds(Population* p, int32_t motherIndex) {
  for (SynthCell& cell : p->cells) {
    if (cell.mother == motherIndex) attachBud(p->cells[motherIndex], &cell);
  }
}

bool familyKeepsGaps(const Population& p, int32_t motherIndex) {
  if (!keepsGaps(p, motherIndex, -kMaxOverlap, kMoveGap)) return false;
  for (int32_t k = 0; k < static_cast<int32_t>(p.cells.size()); ++k) {
    if (p.cells[k].mother == motherIndex && !keepsGaps(p, k, -kMaxOverlap, kMoveGap)) return false;
  }
  return true;
}

// Cells that are not buds grow by a small factor, carrying their buds
// outwards; growth that would press into a neighbour is skipped.
void growCells(Population* p, Random& random) {
  for (int32_t k = 0; k < static_cast<int32_t>(p->cells.size()); ++k) {
    if (p->cells[k].mother >= 0) continue;
    const double factor = random.range(kMinGrowth, kMaxGrowth);
    const Ellipse before = p->cells[k].shape;
    p->cells[k].shape.a *= factor;
    p->cells[k].shape.b *= factor;
    reattachBuds(p, k);
    if (!familyKeepsGaps(*p, k)) {
      p->cells[k].shape = before;
      reattachBuds(p, k);
    }
  }
}

// Buds that are still small grow outwards from their mother.
void growBuds(Population* p, Random& random) {
  for (int32_t k = 0; k < static_cast<int32_t>(p->cells.size()); ++k) {
    SynthCell& bud = p->cells[k];
    if (bud.mother < 0 || !budStillGrowing(*p, bud)) continue;
    const double step = random.range(kMinBudGrowth, kMaxBudGrowth);
    const Ellipse before = bud.shape;
    setBudRadius(&bud, bud.shape.a + step);
    attachBud(p->cells[bud.mother], &bud);
    if (!keepsGaps(*p, k, -kMaxOverlap, kMoveGap)) p->cells[k].shape = before;
  }
}

// Some cells without a growing bud start one.
void startBuds(Population* p, Random& random) {
  const int32_t existing = static_cast<int32_t>(p->cells.size());
  for (int32_t k = 0; k < existing; ++k) {
    if (p->cells[k].mother >= 0 || hasGrowingBud(*p, k)) continue;
    if (!random.chance(kBudChance)) continue;
    tryBud(p, k, random, random.range(kMinBudRadius, kMaxNewBudRadius));
  }
}

}  // namespace

double signedDistance(const Ellipse& e, double x, double y) {
  const double dx = x - e.cx;
  const double dy = y - e.cy;
  const double u = (dx * e.axisX + dy * e.axisY) / e.a;
  const double v = (-dx * e.axisY + dy * e.axisX) / e.b;
  const double rho = std::sqrt(u * u + v * v);
  if (rho == 0.0) return -e.b;
  const double r = std::sqrt(dx * dx + dy * dy);
  return r - r / rho;
}

double gapBetween(const Ellipse& first, const Ellipse& second) {
  const double one = outlineGap(first, second);
  const double other = outlineGap(second, first);
  return one < other ? one : other;
}

void contentCentre(const SynthCell& cell, const ContentDisc& disc, double* x, double* y) {
  const double u = disc.u * cell.shape.a;
  const double v = disc.v * cell.shape.b;
  *x = cell.shape.cx + u * cell.shape.axisX - v * cell.shape.axisY;
  *y = cell.shape.cy + u * cell.shape.axisY + v * cell.shape.axisX;
}

void placeTrapDevice(Population* p, Random& random, int32_t width, int32_t height, int32_t pairs) {
  p->device.clear();
  for (int32_t pair = 0; pair < pairs; ++pair) {
    for (int32_t t = 0; t < kPlacementTries; ++t) {
      const double radius = random.range(kMinPillarRadius, kMaxPillarRadius);
      const double reach = 2.0 * radius + 0.5 * kPillarGap + kPillarMargin;
      if (width <= 2.0 * reach || height <= 2.0 * (radius + kPillarMargin)) return;
      const double cx = random.range(reach, width - reach);
      const double cy = random.range(radius + kPillarMargin, height - radius - kPillarMargin);
      SynthCell left;
      left.shape = {cx - radius - 0.5 * kPillarGap, cy, 1.0, 0.0, radius, radius};
      left.swing = kPillarSwing;
      left.textureSeed = random.next();
      SynthCell right = left;
      right.shape.cx = cx + radius + 0.5 * kPillarGap;
      right.textureSeed = random.next();
      bool clear = true;
      for (const SynthCell& other : p->device) {
        clear = clear && gapBetween(left.shape, other.shape) > kPillarMargin &&
                gapBetween(right.shape, other.shape) > kPillarMargin;
      }
      if (!clear) continue;
      p->device.push_back(left);
      p->device.push_back(right);
      break;
    }
  }
}

void seedPopulation(Population* p, Random& random, int32_t width, int32_t height, int32_t cellCount) {
  p->cells.clear();
  p->width = width;
  p->height = height;
  p->groupCount = 0;
  p->nextTrackId = 1;
  p->focusDrift = 0.0;
  driftFocus(p, random);
  for (int32_t placed = 0; placed < cellCount && p->nextTrackId <= kLastTrackId; ++placed) {
    for (int32_t t = 0; t < kPlacementTries; ++t) {
      if (!tryPlaceCell(p, random)) continue;
      const int32_t mother = static_cast<int32_t>(p->cells.size()) - 1;
      if (random.chance(kInitialBudShare)) {
        const double largest = kBudMaxShare * p->cells[mother].shape.b;
        tryBud(p, mother, random, random.range(kMinBudRadius, largest));
      }
      break;
    }
  }
}

void advancePopulation(Population* p, Random& random) {
  driftFocus(p, random);
  moveGroups(p, random);
  growCells(p, random);
  growBuds(p, random);
  startBuds(p, random);
}

}  // namespace focustrack
