#include "synth/texture.h"

#include <cmath>

#include "synth/random.h"

namespace focustrack {

namespace {

// Hash constants that spread lattice columns and rows over the 64 bits.
constexpr uint64_t kColumnFactor = 0xD1B54A32D192ED03ull;
constexpr uint64_t kRowFactor = 0xABC98388FB8FAC03ull;

double latticeValue(uint64_t seed, int64_t column, int64_t row) {
  const uint64_t key = seed ^ (static_cast<uint64_t>(column) * kColumnFactor) ^
                       (static_cast<uint64_t>(row) * kRowFactor);
  return static_cast<double>(mixBits(key) >> 11) * 0x1.0p-52 - 1.0;
}

double smoothstep(double t) { return t * t * (3.0 - 2.0 * t); }

}  // namespace

double valueNoise(uint64_t seed, double x, double y, double spacing) {
  const double fx = x / spacing;
  const double fy = y / spacing;
  const double cellX = std::floor(fx);
  const double cellY = std::floor(fy);
  const double tx = smoothstep(fx - cellX);
  const double ty = smoothstep(fy - cellY);
  const int64_t column = static_cast<int64_t>(cellX);
  const int64_t row = static_cast<int64_t>(cellY);
  const double top = latticeValue(seed, column, row) +
                     (latticeValue(seed, column + 1, row) - latticeValue(seed, column, row)) * tx;
  const double bottom = latticeValue(seed, column, row + 1) +
                        (latticeValue(seed, column + 1, row + 1) - latticeValue(seed, column, row + 1)) * tx;
  return top + (bottom - top) * ty;
}

}  // namespace focustrack
