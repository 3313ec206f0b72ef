#include "synth/random.h"

#include <cmath>

namespace focustrack {

namespace {

constexpr uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ull;  // splitmix64 increment
// Mean and standard deviation of the sum of four uniform 16-bit lanes.
constexpr double kLaneSumMean = 4.0 * 65535.0 / 2.0;
const double kLaneSumDeviation = std::sqrt(4.0 * (65536.0 * 65536.0 - 1.0) / 12.0);
// Directions closer than this to the origin are redrawn (unstable to normalise).
constexpr double kMinDiscRadiusSquared = 1e-4;

uint64_t rotateLeft(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

}  // namespace

uint64_t mixBits(uint64_t value) {
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

Random::Random(uint64_t seed) {
  for (uint64_t& word : state_) {
    seed += kGoldenGamma;
    word = mixBits(seed);
  }
}

uint64_t Random::next() {
  const uint64_t result = rotateLeft(state_[1] * 5, 7) * 9;
  const uint64_t shifted = state_[1] << 17;
  state_[2] ^= state_[0];
  state_[3] ^= state_[1];
  state_[1] ^= state_[2];
  state_[0] ^= state_[3];
  state_[2] ^= shifted;
  state_[3] = rotateLeft(state_[3], 45);
  return result;
}

double Random::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double Random::range(double lo, double hi) { return lo + (hi - lo) * uniform(); }

int32_t Random::below(int32_t count) {
  return static_cast<int32_t>(((next() >> 32) * static_cast<uint64_t>(count)) >> 32);
}

bool Random::chance(double probability) { return uniform() < probability; }

double Random::noise() {
  const uint64_t bits = next();
  const uint64_t sum = (bits & 0xFFFF) + ((bits >> 16) & 0xFFFF) + ((bits >> 32) & 0xFFFF) + (bits >> 48);
  return (static_cast<double>(sum) - kLaneSumMean) / kLaneSumDeviation;
}

void Random::unitVector(double* x, double* y) {
  for (;;) {
    const double u = range(-1.0, 1.0);
    const double v = range(-1.0, 1.0);
    const double radiusSquared = u * u + v * v;
    if (radiusSquared > kMinDiscRadiusSquared && radiusSquared <= 1.0) {
      const double radius = std::sqrt(radiusSquared);
      *x = u / radius;
      *y = v / radius;
      return;
    }
  }
}

}  // namespace focustrack
