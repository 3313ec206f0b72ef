// Builds a benchmark recording with real bright-field texture from the small
// traps-234 recording: every slice of a frame is tiled from one 234 x 234
// frame, mirrored in every other column and row of tiles so that the seams
// stay smooth, and its 5 slices are interpolated linearly to the requested
// slice count along focus. Frames cycle forward and back through the source
// frames, so cells move a little from frame to frame as they do in the source.
//
// Usage: real_texture SOURCE_DIR OUT_PATTERN [width height slices frames]
//   SOURCE_DIR holds t0001_z001.tif .. t0004_z005.tif; OUT_PATTERN names the
//   slices with %0 (frame) and %1 (slice), e.g. out/t%0_z%1.tif.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "io/slice_loader.h"
#include "io/slice_path.h"
#include "io/tiff_writer.h"

namespace {

constexpr int kSide = 234;
constexpr int kSourceFrames = 4;
constexpr int kSourceSlices = 5;

using Plane = std::vector<uint8_t>;

bool loadSource(const std::string& folder, std::vector<std::vector<Plane>>* frames) {
  frames->assign(kSourceFrames, std::vector<Plane>(kSourceSlices, Plane(kSide * kSide)));
  for (int f = 0; f < kSourceFrames; ++f) {
    for (int s = 0; s < kSourceSlices; ++s) {
      const std::string path = focustrack::slicePath(folder + "/t%0_z%1.tif", f + 1, 4, s + 1, 3);
      std::string why;
      if (!focustrack::loadSlice(path, kSide, kSide, (*frames)[f][s].data(), &why)) {
        std::fprintf(stderr, "real_texture: %s: %s\n", path.c_str(), why.c_str());
        return false;
      }
    }
  }
  return true;
}

// Source frame of output frame k: 0 1 2 3 2 1 0 1 2 3 ...
int sourceFrame(int k) {
  const int period = 2 * (kSourceFrames - 1);
  const int phase = k % period;
  return phase < kSourceFrames ? phase : period - phase;
}

// Slice z of `slices` taken between the source slices, linearly.
Plane focusPlane(const std::vector<Plane>& source, int z, int slices) {
  const double at = slices > 1 ? static_cast<double>(z) * (kSourceSlices - 1) / (slices - 1) : 0.0;
  const int low = static_cast<int>(at);
  const int high = low + 1 < kSourceSlices ? low + 1 : low;
  const double t = at - low;
  Plane plane(kSide * kSide);
  for (int i = 0; i < kSide * kSide; ++i) {
    plane[i] = static_cast<uint8_t>(std::lround(source[low][i] * (1.0 - t) + source[high][i] * t));
  }
  return plane;
}

// The tiled picture: tile (tx, ty) mirrored horizontally when tx is odd and
// vertically when ty is odd.
Plane tile(const Plane& plane, int width, int height) {
  Plane out(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const int ty = y / kSide;
    const int sy = ty % 2 == 0 ? y % kSide : kSide - 1 - y % kSide;
    for (int x = 0; x < width; ++x) {
      const int tx = x / kSide;
      const int sx = tx % 2 == 0 ? x % kSide : kSide - 1 - x % kSide;
      out[static_cast<size_t>(y) * width + x] = plane[sy * kSide + sx];
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 7) {
    std::fprintf(stderr, "usage: real_texture SOURCE_DIR OUT_PATTERN [width height slices frames]\n");
    return 2;
  }
  const int width = argc == 7 ? std::atoi(argv[3]) : 960;
  const int height = argc == 7 ? std::atoi(argv[4]) : 720;
  const int slices = argc == 7 ? std::atoi(argv[5]) : 16;
  const int frames = argc == 7 ? std::atoi(argv[6]) : 10;
  std::vector<std::vector<Plane>> source;
  if (!loadSource(argv[1], &source)) return 1;
  for (int k = 0; k < frames; ++k) {
    for (int z = 0; z < slices; ++z) {
      const Plane picture = tile(focusPlane(source[sourceFrame(k)], z, slices), width, height);
      const std::string path = focustrack::slicePath(argv[2], k + 1, 4, z + 1, 3);
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      std::string why;
      if (!focustrack::writeTiff(path, width, height, focustrack::TiffSample::UInt8, picture.data(), &why)) {
        std::fprintf(stderr, "real_texture: %s: %s\n", path.c_str(), why.c_str());
        return 1;
      }
    }
  }
  return 0;
}
