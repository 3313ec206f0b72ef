// What the processor offers beyond the baseline the program is built for.
// A kernel can be compiled a second time for processors with AVX2 and
// chosen at run time: every vector lane rounds as a lone double would and no
// operation is fused, so both versions give the same bits.
#pragma once

namespace focustrack {

// True when the processor runs AVX2 instructions and their use is allowed.
bool processorHasAvx2();

// Allows or forbids the AVX2 versions (allowed from the start); tests
// forbid them to run the baseline versions on any processor. Answers the
// previous setting.
bool allowAvx2(bool allowed);

}  // namespace focustrack

// Compiles the function it marks for processors with AVX2 (x86-64 only).
#if defined(__x86_64__)
#define FOCUSTRACK_AVX2 __attribute__((target("avx2")))
#else
#define FOCUSTRACK_AVX2
#endif
