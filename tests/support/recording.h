// Recordings for whole-run tests: tiny hand-made ones, synthetic ones, the
// shared real ones, and the comparison of two runs' files.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "io/slice_path.h"
#include "io/tiff_writer.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

inline const std::filesystem::path kSharedData = FOCUSTRACK_SHARED_DATA;

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

// The words that run `frames` frames of the tiny recording, `extra` last.
inline std::vector<std::string> tinyRun(const std::filesystem::path& data, const std::filesystem::path& out,
                                        int32_t frames, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> words = {"-w", "24", "-h", "20", "-sc", "3", "-c", std::to_string(frames), "-p",
                                    (data / "t%0_z%1.tif").string(), "-o", out.string()};
  words.insert(words.end(), extra.begin(), extra.end());
  return words;
}

// A synthetic recording of slice files at `pattern`.
inline SynthOptions synthOptions(const std::filesystem::path& pattern, int32_t width, int32_t height, int32_t slices,
                                 int32_t frames, uint64_t seed) {
  SynthOptions options;
  options.width = width;
  options.height = height;
  options.sliceCount = slices;
  options.frameCount = frames;
  options.pathPattern = pattern.string();
  options.seed = seed;
  return options;
}

// Writes the recording and returns the words that run it: sizes, first
// frame and, last, the pattern.
inline std::vector<std::string> generated(const SynthOptions& options) {
  std::string why;
  EXPECT_TRUE(generateRecording(options, &why)) << why;
  return {"-w", std::to_string(options.width), "-h", std::to_string(options.height),
          "-sc", std::to_string(options.sliceCount), "-c", std::to_string(options.frameCount),
          "-fs", std::to_string(options.firstFrame), "-p", options.pathPattern};
}

// The words that run a shared real recording: traps-234 (4 frames) or
// traps-162 (5 frames), 5 slices each.
inline std::vector<std::string> realWords(const std::string& name) {
  const std::string side = name == "traps-234" ? "234" : "162";
  return {"-w", side, "-h", side, "-sc", "5", "-c", name == "traps-234" ? "4" : "5",
          "-p", (kSharedData / name / "t%0_z%1.tif").string()};
}

inline size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

using FileBytes = std::map<std::string, std::string>;  // relative path -> bytes

// Every file below `folder`.
inline FileBytes filesBelow(const std::filesystem::path& folder) {
  FileBytes files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[relative(entry.path(), folder).string()] = readFile(entry.path());
  }
  return files;
}

// The same file names with the same bytes; `only` limits the bytes compared
// to names starting with one of its entries.
inline void expectSameFiles(const FileBytes& expected, const FileBytes& actual,
                            const std::vector<std::string>& only = {}) {
  std::vector<std::string> names, actualNames;
  for (const auto& file : expected) names.push_back(file.first);
  for (const auto& file : actual) actualNames.push_back(file.first);
  ASSERT_EQ(actualNames, names);
  size_t compared = 0;
  for (const auto& [name, bytes] : expected) {
    const std::string& file = name;  // older clang cannot capture a structured binding
    const auto starts = [&file](const std::string& start) { return file.starts_with(start); };
    if (!only.empty() && std::none_of(only.begin(), only.end(), starts)) continue;
    EXPECT_TRUE(actual.at(name) == bytes) << name << " differs";
    ++compared;
  }
  EXPECT_GT(compared, 0u);
}

// Two runs' output folders hold the same files but run.json (which holds times).
inline void expectSameOutputs(const std::filesystem::path& expected, const std::filesystem::path& actual,
                              const std::vector<std::string>& only = {}) {
  FileBytes want = filesBelow(expected), got = filesBelow(actual);
  want.erase("run.json");
  got.erase("run.json");
  SCOPED_TRACE(actual.string());
  expectSameFiles(want, got, only);
}

}  // namespace focustrack
