// Start-up and frame errors of the input: options that do not fit the file,
// files that do not hold what they say. Each names the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "io/slice_path.h"
#include "io/tiff_writer.h"
#include "support/image_files.h"
#include "support/recording.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<uint8_t>;

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Five 24 x 20 pages of 8-bit values with `description` on the first.
void writeStack(const fs::path& path, const std::string& description, int32_t pages = 5) {
  std::vector<Bytes> contents;
  for (int32_t k = 0; k < pages; ++k) contents.push_back(Bytes(24 * 20, static_cast<uint8_t>(40 + 10 * k)));
  ASSERT_TRUE(test_images::writeTiffPages(path.string(), {{.width = 24, .height = 20, .description = description},
                                                          {.width = 24, .height = 20}},
                                          contents));
}

// A run that cannot start: status 1, an Error line, the reason on stderr.
void expectStartError(const std::vector<std::string>& words, const std::string& reason) {
  const RunResult r = runFocustrack(words);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(has(r.out, "Error")) << r.out;
  EXPECT_FALSE(has(r.out, "Frame 1")) << r.out;
  EXPECT_TRUE(has(r.err, reason)) << r.err << "\nexpected: " << reason;
}

}  // namespace

TEST(StackInput, FilesThatDisagreeWithThemselvesOrTheOptionsStopTheStart) {
  const fs::path folder = freshFolder("stack_input_start");
  const std::string out = (folder / "out").string();
  const fs::path hyper = folder / "hyper.tif";
  writeStack(hyper, "ImageJ=1.53t\nimages=6\nslices=6\nhyperstack=true\n");
  expectStartError({"-p", hyper.string(), "-o", out},
                   "cannot read '" + hyper.string() + "': ImageDescription says images=6 but the file has 5 pages");
  const fs::path ome = folder / "broken.ome.tif";
  writeStack(ome, "<?xml version=\"1.0\"?><OME><Image><Pixels SizeX=\"24\"</Image></OME>");
  expectStartError({"-p", ome.string(), "-o", out}, "cannot read '" + ome.string() + "': OME-XML does not parse: ");

  const fs::path plain = folder / "plain.tif";
  writeStack(plain, "ImageJ=1.53t\nimages=5\nslices=5\n");
  expectStartError({"-p", plain.string(), "-o", out, "-w", "30"},
                   "option -w 30 disagrees with '" + plain.string() + "', which has 24 pixels per row");
  expectStartError({"-p", plain.string(), "-o", out, "-sc", "4"},
                   "option -sc 4 disagrees with '" + plain.string() + "', which has 5 slices per frame");
  expectStartError({"-p", plain.string(), "-o", out, "-c", "2"},
                   "option -c 2 runs past the last frame of '" + plain.string() + "', which holds frames 1 to 1");
  expectStartError({"-p", plain.string(), "-o", out, "--channel", "2"},
                   "'" + plain.string() + "' has 1 channel, --channel 2 names none of them");
  // A frame's file that holds several frames.
  const fs::path frames = folder / "t0001.tif";
  writeStack(frames, "ImageJ=1.53t\nimages=4\nslices=2\nframes=2\nhyperstack=true\n", 4);
  expectStartError({"-p", (folder / "t%0.tif").string(), "-o", out},
                   "cannot read '" + frames.string() + "': it holds 2 frames; a file holding a whole recording is named without %0");
  for (const char* scale : {"0", "-1"}) {
    expectStartError({"-p", plain.string(), "-o", out, "--scale", scale}, "option --scale must be a positive number");
  }
  expectStartError({"-p", plain.string(), "-o", out, "--scale", "2x"}, "option --scale expects a number, got '2x'");
  expectStartError({"-p", plain.string(), "-o", out, "--scale", "inf"},
                   "option --scale expects a finite number, got 'inf'");
  expectStartError({"-p", plain.string(), "-o", out, "--channel", "0"}, "option --channel must be a channel number from 1");
  expectStartError({"-p", (folder / "t%0_z%1.tif").string(), "-o", out, "--channel", "2"},
                   "option --channel picks a channel of a stack file, but the pattern names one file per slice");
  expectStartError({"-p", plain.string(), "-o", out, "--scale", "50000"}, "too large to resample");
}

TEST(StackInput, BrokenPagesAndMixedDepthsStopTheFrameNamingTheFile) {
  const fs::path folder = freshFolder("stack_input_frames");
  // The last page's pixels are cut short, its directory is whole.
  std::vector<Bytes> pages;
  for (int k = 0; k < 3; ++k) pages.push_back(Bytes(24 * 20, static_cast<uint8_t>(50 + 30 * k)));
  Bytes bytes = test_images::directoryFirstTiff(24, 20, pages, "ImageJ=1.53t\nimages=3\nslices=3\n");
  bytes.resize(bytes.size() - 100);
  const fs::path cut = folder / "cut.tif";
  ASSERT_TRUE(test_images::writeBytes(cut.string(), bytes));
  RunResult r = runFocustrack({"-p", cut.string(), "-o", (folder / "out_cut").string()});
  EXPECT_TRUE(has(r.err, "cannot read slice 3 of frame 1 from '" + cut.string() + "': page 3: TIFF decoding failed: "))
      << r.err;
  EXPECT_EQ(readFile(folder / "out_cut" / "_cells.csv").find('\n'), readFile(folder / "out_cut" / "_cells.csv").size() - 1);

  // Slice 2 of frame 1 is 16-bit, the others 8-bit.
  writeRecording(folder, 1, 1, 3);
  std::vector<uint16_t> deep(24 * 20, 30000);
  std::string why;
  const std::string second = slicePath((folder / "t%0_z%1.tif").string(), 1, 4, 2, 3);
  ASSERT_TRUE(writeTiff(second, 24, 20, TiffSample::UInt16, deep.data(), &why)) << why;
  r = runFocustrack(tinyRun(folder, folder / "out_mixed", 1));
  EXPECT_TRUE(has(r.err, "cannot read slice '" + second + "' of frame 1: it is 16-bit, the frame's earlier slices are 8-bit"))
      << r.err;
  EXPECT_FALSE(has(r.out, "Frame 1 Finished")) << r.out;
}

TEST(StackInput, MissingStackFileIsToldByTheFrameThatNeedsIt) {
  const fs::path folder = freshFolder("stack_input_missing");
  const fs::path none = folder / "none.ome.tif";
  const RunResult r = runFocustrack({"-p", none.string(), "-o", (folder / "out").string(), "-w", "24", "-h", "20",
                                     "-sc", "3", "-c", "1"});
  EXPECT_TRUE(has(r.err, "cannot read slice 1 of frame 1 from '" + none.string() + "': file not found")) << r.err;
  // One line for the file, not one per slice.
  EXPECT_EQ(r.err.find("cannot read"), r.err.rfind("cannot read")) << r.err;
}

}  // namespace focustrack
