// Tiny hand-made recordings for whole-run tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "io/tiff_writer.h"
#include "io/slice_path.h"

namespace focustrack {

// Writes frames of a tiny recording whose slices brighten with the slice
// number; `skip` names slice numbers left out of the last frame.
inline void writeRecording(const std::filesystem::path& folder, int32_t firstFrame, int32_t frames, int32_t slices,
                    std::vector<int32_t> skipInLastFrame = {}) {
  const int32_t w = 24, h = 20;
  std::vector<uint8_t> plane(w * h);
  for (int32_t f = firstFrame; f < firstFrame + frames; ++f) {
    for (int32_t z = 1; z <= slices; ++z) {
      if (f == firstFrame + frames - 1 &&
          std::find(skipInLastFrame.begin(), skipInLastFrame.end(), z) != skipInLastFrame.end()) {
        continue;
      }
      for (int32_t i = 0; i < w * h; ++i) {
        const int32_t x = i % w, y = i / w;
        const bool inside = (x - 12) * (x - 12) + (y - 10) * (y - 10) < 36;
        plane[i] = static_cast<uint8_t>(100 + (inside ? 10 * z : 0) + (x * 7 + y * 3) % 5);
      }
      std::string why;
      ASSERT_TRUE(writeTiff(slicePath((folder / "t%0_z%1.tif").string(), f, 4, z, 3), w, h,
                            TiffSample::UInt8, plane.data(), &why))
          << why;
    }
  }
}

inline std::vector<std::string> tinyRun(const std::filesystem::path& data, const std::filesystem::path& out, int32_t frames) {
  return {"-w", "24", "-h", "20", "-sc", "3", "-c", std::to_string(frames), "-p",
          (data / "t%0_z%1.tif").string(), "-o", out.string()};
}

}  // namespace focustrack
