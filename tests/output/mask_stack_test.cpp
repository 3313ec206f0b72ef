#include "output/mask_stack.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "io/stack_layout.h"
#include "output/masks.h"
#include "support/output_fixture.h"
#include "support/picture_files.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

using Pages = std::vector<std::vector<uint32_t>>;

// Track ids on the cells' pixels, 0 elsewhere, as masks_NNNN.tif holds them.
std::vector<uint32_t> labelsOf(const HandFrame& f) {
  std::vector<uint32_t> samples(f.b.pixelCount);
  fillTrackIds(f.b, samples.data());
  return samples;
}

// A 7 x 5 frame whose two cells move one column right per frame.
void paintFrame(HandFrame& f, int32_t frame, int32_t firstId, int32_t secondId) {
  for (int32_t p = 0; p < f.b.pixelCount; ++p) f.b.cellMap[p] = -1;
  f.b.nextCellNumber = 1;
  f.b.frameOrdinal = frame;
  const int32_t x = (frame - 1) % 5;
  f.paintRect(f.addCell(firstId), x, 0, x + 1, 1);
  const int32_t excluded = f.addCell(secondId);
  f.paintRect(excluded, x + 1, 3, x + 2, 4);
  f.cell(excluded).excluded = 1;
}

// Paints the frame, adds it and notes its labels.
void addFrame(HandFrame& f, MaskStack& stack, Pages& added, int32_t frame, int32_t firstId, int32_t secondId) {
  paintFrame(f, frame, firstId, secondId);
  std::string why;
  ASSERT_TRUE(stack.addFrame(f.settings, f.b, &why)) << why;
  added.push_back(labelsOf(f));
}

// masks.tif as libtiff reads it without a complaint: exactly the pages
// added, of `bits` bits each, and a description that counts exactly them.
void expectStack(const std::string& path, const Pages& added, uint16_t bits) {
  int complaints = 0;
  const std::vector<TiffPage> pages = readTiffPagesStrictly(path, &complaints);
  EXPECT_EQ(complaints, 0);
  ASSERT_EQ(pages.size(), added.size());
  for (size_t k = 0; k < pages.size(); ++k) {
    EXPECT_EQ(std::tuple(pages[k].width, pages[k].height, pages[k].bits, pages[k].format),
              std::tuple(7u, 5u, bits, SAMPLEFORMAT_UINT));
    EXPECT_EQ(pages[k].samples, added[k]) << "page " << k << " of " << added.size();
  }
  // The program's own reader of ImageJ descriptions requires images= to
  // equal the page count.
  StackLayout layout;
  std::string why;
  EXPECT_TRUE(parseImageJDescription(pages[0].description, int32_t(pages.size()), &layout, &why)) << why;
  EXPECT_EQ(layout.frames, int32_t(pages.size()));
}

ino_t inodeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

// A run's mask stack in a folder of its own, with the 7 x 5 hand frame.
class MaskStackRun : public ::testing::Test {
 protected:
  MaskStackRun() { f.settings.outputFolder = folder.path(); }
  void add(int32_t frame, int32_t firstId, int32_t secondId) { addFrame(f, stack, added, frame, firstId, secondId); }

  TempFolder folder;
  HandFrame f{7, 5};
  const std::string path = folder.file("masks.tif");
  MaskStack stack;
  Pages added;
};

TEST_F(MaskStackRun, ImageJDescriptionAndContiguousSamples) {
  for (int32_t frame = 1; frame <= 4; ++frame) add(frame, 3, 9);
  const std::vector<TiffPage> pages = readTiffPages(path);
  ASSERT_EQ(pages.size(), 4u);
  EXPECT_EQ(pages[0].description,
            "ImageJ=1.11a\nimages=0000000004\nframes=0000000004\nhyperstack=true\nloop=false\nmin=0.0\n"
            "max=0000000009.0\n");
  // ImageJ reads the pages as one block from the first page's samples on,
  // and that block ends the file.
  for (size_t k = 1; k < pages.size(); ++k) {
    EXPECT_TRUE(pages[k].description.empty());
    EXPECT_EQ(pages[k].firstStripOffset, pages[0].firstStripOffset + k * 7 * 5 * 2);
  }
  EXPECT_EQ(std::filesystem::file_size(path), pages[0].firstStripOffset + 4 * 7 * 5 * 2);
  // Without a pixel size no resolution is claimed.
  EXPECT_EQ(pages[0].xResolution, 0.0f);
}

// (Known units, micron and seconds in the description and the resolution,
// are pinned by Units.StackMetadataAlsoWithAScaleAndAnOptionThatOverridesIt.)

// The one frame that widens the pages writes the file whole; the frames
// after it are added in place again.
TEST_F(MaskStackRun, AnIdAbove65535TurnsEveryPageThirtyTwoBit) {
  add(1, 65535, 2);
  const ino_t narrow = inodeOf(path);
  add(2, 70000, 2);
  EXPECT_NE(inodeOf(path), narrow);
  const ino_t wide = inodeOf(path);
  const uintmax_t size = std::filesystem::file_size(path);
  add(3, 5, 2);  // later pages stay 32-bit
  EXPECT_EQ(std::filesystem::file_size(path), size + 7 * 5 * 4);
  EXPECT_EQ(inodeOf(path), wide);
  expectStack(path, added, 32);
  EXPECT_TRUE(has(readTiffPages(path)[0].description, "max=0000070000.0\n"));
}

// After every frame the file holds exactly its pages and count. A run that
// gets more frames than it announced (settings.frameCount, which reserves
// the directory slots) goes on, rewriting the file whole once when the slots
// run out and then adding in place again.
TEST_F(MaskStackRun, ARunOutgrowingItsSlotsGoesOn) {
  f.settings.frameCount = 2;
  std::vector<ino_t> inodes;
  for (int32_t frame = 1; frame <= 7; ++frame) {
    add(frame, frame, 100);
    expectStack(path, added, 16);
    EXPECT_FALSE(std::filesystem::exists(folder.file("masks.tif.part")));
    inodes.push_back(inodeOf(path));
  }
  EXPECT_EQ(stack.pages(), 7);
  EXPECT_EQ(inodes[1], inodes[0]);  // the second slot
  EXPECT_NE(inodes[2], inodes[1]);  // no slot left: written whole
  EXPECT_EQ(inodes[3], inodes[2]);  // in place again
}

// A whole write that fails (here the widening frame, with a folder where its
// temporary file should go) leaves the previous file and count.
TEST_F(MaskStackRun, FailedWholeWriteKeepsThePreviousFile) {
  add(1, 3, 9);
  std::filesystem::create_directory(folder.file("masks.tif.part"));
  paintFrame(f, 2, 70000, 9);
  std::string why;
  EXPECT_FALSE(stack.addFrame(f.settings, f.b, &why));
  EXPECT_TRUE(has(why, "masks.tif")) << why;
  EXPECT_EQ(stack.pages(), 1);
  expectStack(path, added, 16);
  // Once the way is clear the stack goes on from the pages it holds.
  std::filesystem::remove(folder.file("masks.tif.part"));
  add(2, 70000, 9);
  expectStack(path, added, 32);
}

// A file size limit makes the write of the next page's samples fail halfway,
// as a full disk would: the file still holds the pages before, and the
// stack goes on once writing works again.
TEST_F(MaskStackRun, FailedInPlaceWriteKeepsAValidStack) {
  add(1, 3, 9);
  add(2, 3, 9);
  rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit limit = saved;
  limit.rlim_cur = std::filesystem::file_size(path) + 7 * 5;
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  paintFrame(f, 3, 3, 9);
  std::string why;
  const bool written = stack.addFrame(f.settings, f.b, &why);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(written);
  EXPECT_TRUE(has(why, "masks.tif")) << why;
  EXPECT_EQ(stack.pages(), 2);
  expectStack(path, added, 16);
  for (int32_t frame = 3; frame <= 5; ++frame) {
    add(frame, 3, 9 + frame);
    expectStack(path, added, 16);
  }
}

TEST_F(MaskStackRun, AStackLeftByAnEarlierRunIsReplaced) {
  {
    MaskStack earlier;
    Pages ignored;
    for (int32_t frame = 1; frame <= 3; ++frame) addFrame(f, earlier, ignored, frame, 3, 9);
  }
  add(1, 8, 9);
  add(2, 8, 9);
  expectStack(path, added, 16);
}

}  // namespace

}  // namespace focustrack
