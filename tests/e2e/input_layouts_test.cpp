// Whole runs over every way a recording comes in: one file per slice, one
// multi-page TIFF per frame, an ImageJ hyperstack, an OME-TIFF, 8 or 16 bits,
// several channels, the other slice order; real 16-bit stacks at another scale.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/padded_number.h"
#include "io/slice_loader.h"
#include "io/slice_path.h"
#include "io/tiff_writer.h"
#include "support/image_files.h"
#include "support/label_image.h"
#include "support/result_table.h"
#include "support/run_capture.h"
#include "synth/synth.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

const fs::path kSharedData = FOCUSTRACK_SHARED_DATA;

// The test recording: 200 x 150 pixels, 8 slices, 3 frames.
SynthOptions recording(const fs::path& pattern, SynthFormat format, int32_t bits = 8, int32_t channels = 1,
                       int32_t brightChannel = 1) {
  SynthOptions o;
  o.width = 200;
  o.height = 150;
  o.sliceCount = 8;
  o.frameCount = 3;
  o.seed = 9;
  o.pathPattern = pattern.string();
  o.format = format;
  o.bits = bits;
  o.channels = channels;
  o.brightChannel = brightChannel;
  return o;
}

void generate(const SynthOptions& options) {
  std::string why;
  ASSERT_TRUE(generateRecording(options, &why)) << why;
}

// Every output file but run.json (which holds times), by name.
std::vector<std::string> outputNames(const fs::path& out) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(out)) {
    if (entry.path().filename() != "run.json") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The same files with the same bytes; `only` limits the comparison to names
// starting with one of its entries.
void expectSameOutputs(const fs::path& expected, const fs::path& actual, std::vector<std::string> only = {}) {
  const std::vector<std::string> names = outputNames(expected);
  ASSERT_EQ(outputNames(actual), names) << actual;
  size_t compared = 0;
  for (const std::string& name : names) {
    const bool wanted = only.empty() || std::any_of(only.begin(), only.end(), [&name](const std::string& start) {
                          return name.starts_with(start);
                        });
    if (!wanted) continue;
    EXPECT_EQ(readFile(actual / name), readFile(expected / name)) << actual / name;
    ++compared;
  }
  EXPECT_GT(compared, 0u);
}

std::vector<std::string> withOutputs(std::vector<std::string> words, const fs::path& out) {
  words.insert(words.end(), {"-o", out.string(), "-i", "--masks"});
  return words;
}

size_t countOf(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

const std::string kReverseHint = "slices may be in reverse focus order; try --reverse-slices";

}  // namespace

TEST(InputLayouts, EveryLayoutAndChannelGivesTheOutputOfSliceFiles) {
  const fs::path folder = freshFolder("layouts");
  generate(recording(folder / "slices" / "t%0_z%1.tif", SynthFormat::Slices));
  const RunResult base = runFocustrack(
      withOutputs({"-w", "200", "-h", "150", "-sc", "8", "-c", "3", "-p", (folder / "slices" / "t%0_z%1.tif").string()},
                  folder / "out_slices"));
  ASSERT_EQ(base.status, 0) << base.err;
  ASSERT_EQ(countOf(base.out, " Finished"), 4u);
  struct Case {
    const char* name;
    SynthOptions options;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"frame tiffs", recording(folder / "frames" / "t%0.tif", SynthFormat::FrameTiff),
       {"-p", (folder / "frames" / "t%0.tif").string(), "-c", "3"}},
      {"hyperstack", recording(folder / "imagej" / "rec.tif", SynthFormat::ImageJ),
       {"-p", (folder / "imagej" / "rec.tif").string()}},
      {"ome", recording(folder / "ome" / "rec.ome.tif", SynthFormat::Ome),
       {"-p", (folder / "ome" / "rec.ome.tif").string(), "-w", "200", "-sc", "8"}},
      {"frame tiffs, channel 2 of 2", recording(folder / "frames2" / "t%0.tif", SynthFormat::FrameTiff, 8, 2, 2),
       {"-p", (folder / "frames2" / "t%0.tif").string(), "-c", "3", "--channel", "2"}},
      {"hyperstack, channel 3 of 3", recording(folder / "imagej3" / "rec.tif", SynthFormat::ImageJ, 8, 3, 3),
       {"-p", (folder / "imagej3" / "rec.tif").string(), "--channel", "3"}},
      {"ome, channel 1 of 2", recording(folder / "ome2" / "rec.ome.tif", SynthFormat::Ome, 8, 2, 1),
       {"-p", (folder / "ome2" / "rec.ome.tif").string()}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    generate(c.options);
    const fs::path out = folder / ("out " + std::string(c.name));
    const RunResult r = runFocustrack(withOutputs(c.words, out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(withoutTimes(r.out), withoutTimes(base.out));
    expectSameOutputs(folder / "out_slices", out);
    // The sizes the file gave are the run's.
    const std::string json = readFile(out / "run.json");
    EXPECT_NE(json.find("\"width\": 200,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"sliceCount\": 8,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"frameCount\": 3,"), std::string::npos) << json;
  }
}

TEST(InputLayouts, SixteenBitRecordingsTimesTwoFiftySevenFindTheSameCells) {
  const fs::path folder = freshFolder("sixteen");
  generate(recording(folder / "eight" / "t%0_z%1.tif", SynthFormat::Slices));
  generate(recording(folder / "sixteen" / "t%0_z%1.tif", SynthFormat::Slices, 16));
  generate(recording(folder / "hyper16" / "rec.tif", SynthFormat::ImageJ, 16));
  const std::vector<std::string> sizes{"-w", "200", "-h", "150", "-sc", "8", "-c", "3"};
  auto run = [&](const fs::path& pattern, const std::string& name) {
    std::vector<std::string> words = sizes;
    words.insert(words.end(), {"-p", pattern.string()});
    const RunResult r = runFocustrack(withOutputs(words, folder / name));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.out, " Finished"), 4u) << r.out;
  };
  run(folder / "eight" / "t%0_z%1.tif", "out8");
  run(folder / "sixteen" / "t%0_z%1.tif", "out16");
  run(folder / "hyper16" / "rec.tif", "outhyper16");
  // On this recording the slight differences of the 16-bit slopes change no
  // pixel: tables and masks are those of the 8-bit run.
  expectSameOutputs(folder / "out8", folder / "out16", {"_cells", "_average", "masks_"});
  // The result image shows the stretched 16-bit slice, the same from either file.
  EXPECT_NE(readFile(folder / "out16" / "result_0001.bmp"), readFile(folder / "out8" / "result_0001.bmp"));
  expectSameOutputs(folder / "out16", folder / "outhyper16");
}

TEST(InputLayouts, RealRecordingTimesTwoFiftySevenKeepsItsCells) {
  const fs::path slices = kSharedData / "traps-234";
  if (!fs::exists(slices)) GTEST_SKIP() << "no shared data";
  const fs::path folder = freshFolder("x257");
  for (int32_t frame = 1; frame <= 4; ++frame) {
    for (int32_t z = 1; z <= 5; ++z) {
      const std::string name = slicePath("t%0_z%1.tif", frame, 4, z, 3);
      std::vector<uint8_t> plane(234 * 234);
      std::vector<uint16_t> deep(234 * 234);
      std::string why;
      ASSERT_TRUE(loadSlice((slices / name).string(), 234, 234, plane.data(), &why)) << why;
      for (size_t i = 0; i < plane.size(); ++i) deep[i] = static_cast<uint16_t>(plane[i] * 257);
      ASSERT_TRUE(writeTiff((folder / name).string(), 234, 234, TiffSample::UInt16, deep.data(), &why)) << why;
    }
  }
  const std::vector<std::string> sizes{"-w", "234", "-h", "234", "-sc", "5", "-c", "4", "-p"};
  std::vector<std::string> eight = sizes, sixteen = sizes;
  eight.push_back((slices / "t%0_z%1.tif").string());
  sixteen.push_back((folder / "t%0_z%1.tif").string());
  ASSERT_EQ(runFocustrack(withOutputs(eight, folder / "out8")).status, 0);
  ASSERT_EQ(runFocustrack(withOutputs(sixteen, folder / "out16")).status, 0);
  // The same cells with the same track ids in every frame; a few pixels at
  // the classification's thresholds may fall the other way, so areas agree
  // to within a fifth.
  const ResultTable cells8 = readResultTable((folder / "out8" / "_cells.csv").string());
  const ResultTable cells16 = readResultTable((folder / "out16" / "_cells.csv").string());
  ASSERT_EQ(cells8.rows.size(), cells16.rows.size());
  for (size_t k = 0; k < cells8.rows.size(); ++k) {
    SCOPED_TRACE("row " + std::to_string(k + 1));
    EXPECT_EQ(cells16.integer(k, "Index"), cells8.integer(k, "Index"));
    EXPECT_EQ(cells16.integer(k, "Id"), cells8.integer(k, "Id"));
    const double area8 = cells8.real(k, "Cell Size");
    EXPECT_NEAR(cells16.real(k, "Cell Size"), area8, 0.2 * area8);
  }
}

TEST(InputLayouts, ReversedRealRecordingsGiveTheHintAndReverseSlicesUndoesIt) {
  for (const std::string name : {"traps-234", "traps-162"}) {
    const fs::path slices = kSharedData / name;
    if (!fs::exists(slices)) GTEST_SKIP() << "no shared data";
    SCOPED_TRACE(name);
    const fs::path folder = freshFolder("reversed_" + name);
    const int32_t frames = name == "traps-234" ? 4 : 5;
    for (int32_t frame = 1; frame <= frames; ++frame) {
      for (int32_t z = 1; z <= 5; ++z) {
        fs::copy_file(slices / slicePath("t%0_z%1.tif", frame, 4, z, 3), folder / slicePath("t%0_z%1.tif", frame, 4, 6 - z, 3));
      }
    }
    const std::string side = name == "traps-234" ? "234" : "162";
    const std::vector<std::string> sizes{"-w", side, "-h", side, "-sc", "5", "-c", std::to_string(frames), "-p"};
    std::vector<std::string> normal = sizes, reversed = sizes;
    normal.push_back((slices / "t%0_z%1.tif").string());
    reversed.push_back((folder / "t%0_z%1.tif").string());
    const RunResult plain = runFocustrack(withOutputs(normal, folder / "out"));
    const RunResult backwards = runFocustrack(withOutputs(reversed, folder / "out_reversed"));
    std::vector<std::string> undone = reversed;
    undone.push_back("--reverse-slices");
    const RunResult fixed = runFocustrack(withOutputs(undone, folder / "out_fixed"));
    EXPECT_EQ(countOf(plain.err, "reverse focus order"), 0u) << plain.err;
    EXPECT_EQ(countOf(backwards.err, kReverseHint), 1u) << backwards.err;
    EXPECT_EQ(countOf(backwards.out, "Warning"), 1u) << backwards.out;
    // Taken in reverse, the reversed files are the recording again.
    EXPECT_EQ(fixed.err, plain.err);
    EXPECT_EQ(withoutTimes(fixed.out), withoutTimes(plain.out));
    expectSameOutputs(folder / "out", folder / "out_fixed");
  }
}

TEST(InputLayouts, RealSixteenBitFilesFindTheCellsOfTheirEightBitCopy) {
  const fs::path data = kSharedData / "trapB-16bit";
  if (!fs::exists(data) || !fs::exists(kSharedData / "traps-234")) GTEST_SKIP() << "no shared data";
  const fs::path folder = freshFolder("trapB");
  const RunResult copy = runFocustrack(withOutputs({"-w", "234", "-h", "234", "-sc", "5", "-c", "4", "-p",
                                                    (kSharedData / "traps-234" / "t%0_z%1.tif").string()},
                                                   folder / "traps234"));
  ASSERT_EQ(copy.status, 0);
  for (const char* file : {"trapB_hyperstack.tif", "trapB.ome.tif"}) {
    SCOPED_TRACE(file);
    const fs::path out = folder / file;
    // The OME-TIFF records its pixel size, the hyperstack none: given the
    // same one, both write the same tables, unit columns included.
    std::vector<std::string> words = {"-p", (data / file).string(), "--scale", "2", "--reverse-slices"};
    if (std::string(file) == "trapB_hyperstack.tif") words.insert(words.end(), {"--pixel-size", "0.182"});
    const RunResult r = runFocustrack(withOutputs(words, out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.out, " Finished"), 5u) << r.out;
    EXPECT_EQ(countOf(r.err, "reverse focus order"), 0u) << r.err;
    for (int32_t ordinal = 1; ordinal <= 4; ++ordinal) {
      const std::string number = paddedNumber(ordinal, 4);
      const LabelImage mask = readLabelImage((out / ("masks_" + number + ".tif")).string());
      ASSERT_EQ(mask.width, 117u);  // the file's own size
      const LabelImage reference = readLabelImage((folder / "traps234" / ("masks_" + number + ".tif")).string());
      EXPECT_GE(matchedLabels(reference, mask, 0.7), 5) << "frame " << ordinal;
    }
    // In the camera's order the hint tells what to do.
    const RunResult asRecorded =
        runFocustrack({"-p", (data / file).string(), "--scale", "2", "-o", (folder / (std::string(file) + " as recorded")).string()});
    EXPECT_EQ(countOf(asRecorded.err, kReverseHint), 1u) << asRecorded.err;
  }
  expectSameOutputs(folder / "trapB_hyperstack.tif", folder / "trapB.ome.tif");
  // The OME-TIFF's pixel size, halved by --scale 2; it records no interval.
  const std::string json = readFile(folder / "trapB.ome.tif" / "run.json");
  EXPECT_NE(json.find("\"pixelSize\": {\"microns\": 0.090999999999999998, \"source\": \"OME-TIFF metadata\", "
                      "\"inputMicrons\": 0.182}"), std::string::npos)
      << json;
  EXPECT_EQ(json.find("frameInterval"), std::string::npos) << json;
}

}  // namespace focustrack
