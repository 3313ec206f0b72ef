#include "io/imagej_stack.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io/stack_layout.h"
#include "support/picture_files.h"

namespace focustrack {

namespace {

constexpr int32_t kWidth = 7;
constexpr int32_t kHeight = 5;

// A 7 x 5 16-bit stack of `pages` pages with directory slots for `capacity`,
// its counts at a fixed width as the mask stack writes them.
StackFileLayout smallLayout(int32_t pages, int32_t capacity) {
  char count[16];
  std::snprintf(count, sizeof count, "%010d", pages);
  const std::string description =
      std::string("ImageJ=1.11a\nimages=") + count + "\nframes=" + count + "\nhyperstack=true\n";
  return {.width = kWidth, .height = kHeight, .pages = pages, .capacity = capacity, .description = description,
          .pixelsPerUnit = 4.0};
}

// Page k: sample i is k * 100 + i.
std::vector<uint32_t> pageSamples(int32_t k) {
  std::vector<uint32_t> samples(kWidth * kHeight);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = uint32_t(k) * 100 + uint32_t(i);
  return samples;
}

std::vector<uint8_t> pageBytes(int32_t k) {
  std::vector<uint8_t> bytes;
  for (const uint32_t v : pageSamples(k)) bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
  return bytes;
}

// A file in memory that takes the first `writesLeft` writes and fails every
// later one: the file a process leaves when it is killed after those writes.
struct CutFile {
  std::vector<uint8_t> bytes;
  size_t at = 0;
  int writesLeft = 0;
};

ssize_t cutWrite(void* cookie, const char* data, size_t size) {
  CutFile& f = *static_cast<CutFile*>(cookie);
  if (f.writesLeft-- <= 0) return -1;
  if (f.bytes.size() < f.at + size) f.bytes.resize(f.at + size, 0);
  std::memcpy(f.bytes.data() + f.at, data, size);
  f.at += size;
  return static_cast<ssize_t>(size);
}

int cutSeek(void* cookie, off64_t* offset, int whence) {
  CutFile& f = *static_cast<CutFile*>(cookie);
  const off64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? off64_t(f.at) : off64_t(f.bytes.size());
  if (base + *offset < 0) return -1;
  f.at = size_t(base + *offset);
  *offset = off64_t(f.at);
  return 0;
}

FILE* openCut(CutFile& f) { return fopencookie(&f, "r+", {nullptr, cutWrite, cutSeek, nullptr}); }

// The whole file of a layout, written with its head and then every page.
std::vector<uint8_t> wholeFile(const StackFileLayout& l) {
  CutFile f{{}, 0, 1 << 20};
  FILE* file = openCut(f);
  EXPECT_TRUE(writeStackHead(file, l));
  for (int32_t k = 0; k < l.pages; ++k) std::fwrite(pageBytes(k).data(), 1, stackPageBytes(l), file);
  std::fclose(file);
  return f.bytes;
}

TEST(ImageJStack, AppendingEqualsWritingWholeAndEveryCutLeavesAValidStack) {
  TempFolder folder;
  const std::string path = folder.file("cut.tif");
  const std::vector<uint8_t> before = wholeFile(smallLayout(2, 4));
  bool sawLinkedButUncounted = false;
  for (int cut = 0;; ++cut) {
    ASSERT_LT(cut, 20) << "the page is never complete";
    CutFile f{before, 0, cut};
    FILE* file = openCut(f);
    const bool complete = appendStackPage(file, smallLayout(3, 4), pageBytes(2));
    std::fclose(file);
    ASSERT_TRUE(writeBytes(path, f.bytes));
    int complaints = 0;
    const std::vector<TiffPage> pages = readTiffPagesStrictly(path, &complaints);
    EXPECT_EQ(complaints, 0) << "cut after " << cut << " writes";
    ASSERT_TRUE(pages.size() == 2 || pages.size() == 3) << pages.size();
    for (size_t k = 0; k < pages.size(); ++k) EXPECT_EQ(pages[k].samples, pageSamples(int32_t(k)));
    // A reader that trusts the description never reads beyond the pages
    // the directories hold.
    const int32_t images = std::stoi(imageJKeyValues(pages[0].description).at("images"));
    EXPECT_TRUE(images == 2 || images == 3) << pages[0].description;
    EXPECT_LE(size_t(images), pages.size());
    EXPECT_GE(f.bytes.size(), pages[0].firstStripOffset + size_t(images) * stackPageBytes(smallLayout(3, 4)));
    sawLinkedButUncounted = sawLinkedButUncounted || (pages.size() == 3 && images == 2);
    if (complete) {
      EXPECT_EQ(images, 3);
      EXPECT_EQ(f.bytes, wholeFile(smallLayout(3, 4)));
      break;
    }
  }
  EXPECT_TRUE(sawLinkedButUncounted);
}

TEST(ImageJStack, PagesThatFitWithTheirSlotsStayWithinFourGiB) {
  StackFileLayout layout{.width = 4096, .height = 4096, .bytesPerSample = 4, .description = "ImageJ=1.11a\n"};
  const int64_t fit = stackPagesThatFit(layout);
  EXPECT_EQ(fit, 63);
  layout.pages = layout.capacity = int32_t(fit);
  EXPECT_LE(stackFileBytes(layout), 0xFFFFFFFFull);
  layout.pages = layout.capacity = int32_t(fit + 1);
  EXPECT_GT(stackFileBytes(layout), 0xFFFFFFFFull);
  // Slots count: the same pages with room for a million more do not fit.
  layout.pages = int32_t(fit);
  layout.capacity = int32_t(fit) + 1000000;
  FILE* sink = std::tmpfile();
  ASSERT_NE(sink, nullptr);
  EXPECT_FALSE(writeStackHead(sink, layout));
  std::fclose(sink);
}

TEST(ImageJStack, RationalsKeepSixDecimalsWithinThirtyTwoBits) {
  uint32_t numerator = 0, denominator = 0;
  rationalOf(1.0 / 0.065, &numerator, &denominator);
  EXPECT_EQ(denominator, 1000000u);
  EXPECT_EQ(numerator, 15384615u);
  rationalOf(20000.0, &numerator, &denominator);  // 20000e6 does not fit
  EXPECT_EQ(denominator, 100000u);
  EXPECT_EQ(numerator, 2000000000u);
}

}  // namespace

}  // namespace focustrack
