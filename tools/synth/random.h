// Deterministic random numbers for synthetic recordings: integer generators
// and plain double arithmetic only, so a seed gives the same numbers with
// every compiler and standard library.
#pragma once

#include <cstdint>

namespace focustrack {

// The splitmix64 finaliser: a fast bijective scramble of 64 bits.
uint64_t mixBits(uint64_t value);

// xoshiro256** seeded through splitmix64.
class Random {
 public:
  explicit Random(uint64_t seed);

  uint64_t next();
  // Uniform in [0, 1) with 53 random bits.
  double uniform();
  // Uniform in [lo, hi).
  double range(double lo, double hi);
  // Uniform integer in 0 .. count - 1 (count >= 1).
  int32_t below(int32_t count);
  // True with the given probability.
  bool chance(double probability);
  // Approximately normal with mean 0 and standard deviation 1: the sum of the
  // four 16-bit lanes of one draw (Irwin-Hall), centred and scaled.
  double noise();
  // A direction uniformly spread over the circle, without trigonometry.
  void unitVector(double* x, double* y);

 private:
  uint64_t state_[4];
};

}  // namespace focustrack
