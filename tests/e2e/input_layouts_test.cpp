// Whole runs over every way a recording comes in: one file per slice, one
// multi-page TIFF per frame, an ImageJ hyperstack, an OME-TIFF, 8 or 16 bits,
// several channels, the other slice order; real 16-bit stacks at another scale.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/padded_number.h"
#include "io/slice_path.h"
#include "support/label_image.h"
#include "support/recording.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

// The test recording: 200 x 150 pixels, 8 slices, 3 frames.
SynthOptions recording(const fs::path& pattern, SynthFormat format, int32_t bits = 8, int32_t channels = 1,
                       int32_t brightChannel = 1) {
  SynthOptions o = synthOptions(pattern, 200, 150, 8, 3, 9);
  o.format = format;
  o.bits = bits;
  o.channels = channels;
  o.brightChannel = brightChannel;
  return o;
}

std::vector<std::string> withOutputs(std::vector<std::string> words, const fs::path& out) {
  words.insert(words.end(), {"-o", out.string(), "-i", "--masks"});
  return words;
}

const std::string kReverseHint = "slices may be in reverse focus order; try --reverse-slices";

}  // namespace

TEST(InputLayouts, EveryLayoutAndChannelGivesTheOutputOfSliceFiles) {
  const fs::path folder = freshFolder("layouts");
  const RunResult base = runFocustrack(
      withOutputs(generated(recording(folder / "slices" / "t%0_z%1.tif", SynthFormat::Slices)), folder / "out_slices"));
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
    generated(c.options);
    const fs::path out = folder / ("out " + std::string(c.name));
    const RunResult r = runFocustrack(withOutputs(c.words, out));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(withoutTimes(r.out), withoutTimes(base.out));
    expectSameOutputs(folder / "out_slices", out);
    // The sizes the file gave are the run's.
    const std::string json = readFile(out / "run.json");
    for (const char* size : {"\"width\": 200,", "\"sliceCount\": 8,", "\"frameCount\": 3,"}) {
      EXPECT_TRUE(has(json, size)) << json;
    }
  }
}

TEST(InputLayouts, SixteenBitRecordingsTimesTwoFiftySevenFindTheSameCells) {
  const fs::path folder = freshFolder("sixteen");
  auto run = [&](const SynthOptions& options, const std::string& name) {
    const RunResult r = runFocustrack(withOutputs(generated(options), folder / name));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(countOf(r.out, " Finished"), 4u) << r.out;
  };
  run(recording(folder / "eight" / "t%0_z%1.tif", SynthFormat::Slices), "out8");
  run(recording(folder / "sixteen" / "t%0_z%1.tif", SynthFormat::Slices, 16), "out16");
  run(recording(folder / "hyper16" / "rec.tif", SynthFormat::ImageJ, 16), "outhyper16");
  // On this recording the slight differences of the 16-bit slopes change no
  // pixel: tables and masks are those of the 8-bit run.
  expectSameOutputs(folder / "out8", folder / "out16", {"_cells", "_average", "masks_"});
  // The result image shows the stretched 16-bit slice, the same from either file.
  EXPECT_NE(readFile(folder / "out16" / "result_0001.bmp"), readFile(folder / "out8" / "result_0001.bmp"));
  expectSameOutputs(folder / "out16", folder / "outhyper16");
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
        fs::copy_file(slices / slicePath("t%0_z%1.tif", frame, 4, z, 3),
                      folder / slicePath("t%0_z%1.tif", frame, 4, 6 - z, 3));
      }
    }
    const std::vector<std::string> normal = realWords(name);
    std::vector<std::string> reversed = normal;
    reversed.back() = (folder / "t%0_z%1.tif").string();
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
  const RunResult copy = runFocustrack(withOutputs(realWords("traps-234"), folder / "traps234"));
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
    const fs::path recorded = folder / (std::string(file) + " as recorded");
    const RunResult asRecorded = runFocustrack({"-p", (data / file).string(), "--scale", "2", "-o", recorded.string()});
    EXPECT_EQ(countOf(asRecorded.err, kReverseHint), 1u) << asRecorded.err;
  }
  expectSameOutputs(folder / "trapB_hyperstack.tif", folder / "trapB.ome.tif");
}

}  // namespace focustrack
