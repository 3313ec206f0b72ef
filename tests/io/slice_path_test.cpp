#include "base/padded_number.h"
#include "io/slice_path.h"

#include <gtest/gtest.h>

#include <string>

namespace focustrack {

// Frame and slice numbers zero-padded to their digit counts, each
// placeholder any number of times.
TEST(SlicePath, PlaceholdersAnyNumberOfTimesZeroPadded) {
  EXPECT_EQ(slicePath("stack_t%0_z%1.tif", 12, 4, 1, 3), "stack_t0012_z001.tif");
  EXPECT_EQ(slicePath("%0/t%0_z%1.tif", 7, 4, 2, 3), "0007/t0007_z002.tif");
  EXPECT_EQ(slicePath("same.tif", 7, 4, 2, 3), "same.tif");
  EXPECT_EQ(slicePath("z%1%1", 1, 4, 5, 2), "z0505");
  // The slice numbers go into the text the frame replacement left, so a "%1"
  // formed by a frame number of 1 after a "%" is replaced as well.
  EXPECT_EQ(slicePath("%%0%1", 1, 1, 9, 1), "99");
}

TEST(SlicePath, PaddingAndLongNumbers) {
  EXPECT_EQ(paddedNumber(0, 4), "0000");
  EXPECT_EQ(paddedNumber(123456, 4), "123456");
  EXPECT_EQ(paddedNumber(-3, 4), "-003");
  EXPECT_EQ(paddedNumber(2147483647, 1), "2147483647");
}

TEST(SlicePath, NoLengthLimit) {
  const std::string folder(300, 'd');
  const std::string path = slicePath(folder + "/t%0_z%1.tif", 1, 20, 1, 20);
  EXPECT_EQ(path, folder + "/t" + std::string(19, '0') + "1_z" + std::string(19, '0') + "1.tif");
}

}  // namespace focustrack
