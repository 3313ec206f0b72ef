// libFuzzer target: one slice decoder, driven through loadSlice on a
// temporary file. The first two bytes of an input choose the expected width
// and height (1 to 64 pixels each), so that sizes that match the file's own
// are reached as easily as sizes that do not; the rest is the file. Inputs
// whose file does not start with the target's signature are left to the
// other targets. FOCUSTRACK_FUZZ_FORMAT picks the format: 1 TIFF, 2 PNG,
// 3 BMP, 4 JPEG.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "io/slice_loader.h"

namespace {

constexpr size_t kSizeBytes = 2;
constexpr int32_t kLargestSide = 64;

bool hasSignature(const uint8_t* file, size_t length) {
  auto startsWith = [&](std::initializer_list<uint8_t> magic) {
    return length >= magic.size() && std::memcmp(file, magic.begin(), magic.size()) == 0;
  };
#if FOCUSTRACK_FUZZ_FORMAT == 1
  return startsWith({'I', 'I', 42, 0}) || startsWith({'M', 'M', 0, 42}) || startsWith({'I', 'I', 43, 0}) ||
         startsWith({'M', 'M', 0, 43});
#elif FOCUSTRACK_FUZZ_FORMAT == 2
  return startsWith({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});
#elif FOCUSTRACK_FUZZ_FORMAT == 3
  return startsWith({'B', 'M'});
#elif FOCUSTRACK_FUZZ_FORMAT == 4
  return startsWith({0xFF, 0xD8, 0xFF});
#else
#error "FOCUSTRACK_FUZZ_FORMAT must be 1 (TIFF), 2 (PNG), 3 (BMP) or 4 (JPEG)"
#endif
}

// One file per fuzzing process, in memory-backed /dev/shm when there is one.
const std::string& scratchPath() {
  static const std::string path = [] {
    const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    return std::string(folder) + "/focustrack_fuzz_" + std::to_string(getpid()) + ".slice";
  }();
  return path;
}

void removeScratch() { unlink(scratchPath().c_str()); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kSizeBytes || !hasSignature(data + kSizeBytes, size - kSizeBytes)) return 0;
  static const bool registered = std::atexit(removeScratch) == 0;
  (void)registered;
  const int32_t width = 1 + data[0] % kLargestSide;
  const int32_t height = 1 + data[1] % kLargestSide;
  FILE* file = std::fopen(scratchPath().c_str(), "wb");
  if (file == nullptr) return 0;
  const size_t length = size - kSizeBytes;
  const bool written = std::fwrite(data + kSizeBytes, 1, length, file) == length;
  if (std::fclose(file) != 0 || !written) return 0;
  // A guard byte on either side of the plane: a write outside it shows.
  std::vector<uint8_t> plane(static_cast<size_t>(width) * height + 2, 0xA5);
  std::string reason;
  focustrack::SliceProblem problem = focustrack::SliceProblem::None;
  const bool loaded = focustrack::loadSlice(scratchPath(), width, height, plane.data() + 1, &reason, &problem);
  if (plane.front() != 0xA5 || plane.back() != 0xA5) std::abort();
  // A failure always says why and is never taken for a missing file.
  if (!loaded && (reason.empty() || problem != focustrack::SliceProblem::Unreadable)) std::abort();
  if (loaded && problem != focustrack::SliceProblem::None) std::abort();
  return 0;
}
