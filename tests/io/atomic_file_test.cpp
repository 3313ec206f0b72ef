#include "io/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "io/tiff_writer.h"
#include "support/run_capture.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

TEST(AtomicFile, RegularFilesGoThroughATemporaryNameInTheSameFolder) {
  TempFolder folder;
  const std::string path = folder.file("masks_0001.tif");
  EXPECT_EQ(temporaryPath(path), path + ".part");  // a new file
  std::ofstream(path) << "old";
  EXPECT_EQ(temporaryPath(path), path + ".part");  // an existing regular file
  std::ofstream(path + ".part") << "new";
  std::string why;
  ASSERT_TRUE(publishFile(path + ".part", path, &why)) << why;
  EXPECT_EQ(readFile(path), "new");
  EXPECT_FALSE(fs::exists(path + ".part"));
  // A failed rename removes the temporary file.
  std::ofstream(path + ".part") << "x";
  EXPECT_FALSE(publishFile(path + ".part", folder.file("missing/a.tif"), &why));
  EXPECT_TRUE(why.starts_with("cannot rename the finished file: ")) << why;
  EXPECT_FALSE(fs::exists(path + ".part"));
}

// Renaming over a device, a FIFO or a link would replace it: such a path is
// written in place, and never removed.
TEST(AtomicFile, OtherThanRegularFilesAreWrittenInPlace) {
  TempFolder folder;
  const std::string fifo = folder.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string link = folder.file("link");
  std::ofstream(folder.file("target")) << "kept";
  fs::create_symlink(folder.file("target"), link);
  for (const std::string& path : {std::string("/dev/null"), fifo, link}) {
    EXPECT_EQ(temporaryPath(path), path);
    std::string why;
    EXPECT_TRUE(publishFile(path, path, &why));
    discardFile(path, path);
    EXPECT_TRUE(fs::exists(fs::symlink_status(path))) << path;
  }
  EXPECT_EQ(readFile(folder.file("target")), "kept");
}

// A TIFF written whole replaces the old file only when complete (its
// contents: Masks.*); a failed write leaves neither a temporary file nor a
// changed final file.
TEST(AtomicFile, TiffWriterPublishesOnlyCompleteFiles) {
  TempFolder folder;
  const std::string path = folder.file("delta_0001.tif");
  std::ofstream(path) << "old";
  const std::vector<uint8_t> pixels(6 * 4, 7);
  std::string why;
  ASSERT_TRUE(writeTiff(path, 6, 4, TiffSample::UInt8, pixels.data(), &why)) << why;
  EXPECT_FALSE(fs::exists(path + ".part"));
  // The temporary name is taken by a folder: the write fails, the file stays.
  fs::create_directories(path + ".part");
  const std::string before = readFile(path);
  EXPECT_FALSE(writeTiff(path, 6, 4, TiffSample::UInt8, pixels.data(), &why));
  EXPECT_EQ(readFile(path), before);
  // A device is written in place and stays a device.
  EXPECT_FALSE(writeTiff("/dev/full", 6, 4, TiffSample::UInt8, pixels.data(), &why));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

}  // namespace

}  // namespace focustrack
