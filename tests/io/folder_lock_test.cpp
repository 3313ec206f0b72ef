#include "io/folder_lock.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/test_files.h"

namespace focustrack {

namespace {

namespace fs = std::filesystem;

// (Another process being refused: ExitStatus.SecondRunIntoALockedFolderIsRefused.)
TEST(FolderLock, SecondHolderIsRefusedUntilTheFirstLetsGo) {
  TempFolder folder;
  const std::string out = folder.file("run/out");
  FolderLock first;
  std::string why;
  ASSERT_TRUE(first.acquire(out, &why)) << why;  // creates the folder
  EXPECT_TRUE(fs::is_directory(out));
  EXPECT_TRUE(fs::exists(FolderLock::lockPath(out)));
  FolderLock second;
  EXPECT_FALSE(second.acquire(out, &why));
  EXPECT_EQ(why, "output folder '" + out + "' is in use by another focustrack run (it holds '" + out +
                     "/.focustrack.lock'); use another output folder or wait for that run to end");
  first.release();
  EXPECT_FALSE(fs::exists(FolderLock::lockPath(out)));  // a clean run leaves no file behind
  // A lock file left by a killed run (its lock went with the process) is
  // taken over.
  std::ofstream(FolderLock::lockPath(out)) << "";
  ASSERT_TRUE(second.acquire(out, &why)) << why;
  // The current directory is the folder when none is given.
  EXPECT_EQ(FolderLock::lockPath(""), ".focustrack.lock");
}

}  // namespace

}  // namespace focustrack
